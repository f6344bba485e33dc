// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRDatabaseController.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sqlite3.h>
#include <thread>

// A controller on a file of the test's choosing that counts its open and close hooks.
class TestDatabase : public KLVRDatabaseController
{
    Q_OBJECT
public:
    explicit TestDatabase(const QString &path) : m_path(path) {}
    QUrl databaseURL() override { return QUrl::fromLocalFile(m_path); }
    void databaseDidOpen() override { ++opened; }
    void databaseWillClose() override { ++closing; }
    int opened = 0;
    int closing = 0;

private:
    QString m_path;
};

#define QVERIFY_THROWS_MESSAGE(expression, expected)                                    \
    do {                                                                                \
        QString thrown;                                                                 \
        try {                                                                           \
            expression;                                                                 \
        } catch (const KLVRAssertionException &error) {                                 \
            thrown = error.message();                                                   \
        }                                                                               \
        QCOMPARE(thrown, QString(expected));                                            \
    } while (0)

class TestDatabaseController : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    QString freshPath() { return m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files)); }

    // A second connection to the same file, as another process would hold it.
    static sqlite3 *openOther(const QString &path)
    {
        sqlite3 *other = nullptr;
        if (sqlite3_open(QFile::encodeName(path).constData(), &other) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        return other;
    }

    // Counts every time a statement starts running on the connection, retries included.
    static void countRuns(sqlite3 *database, std::atomic<int> *runs)
    {
        sqlite3_trace_v2(
            database, SQLITE_TRACE_STMT,
            [](unsigned, void *counter, void *, void *) {
                ++*static_cast<std::atomic<int> *>(counter);
                return 0;
            },
            runs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        KLVRBundle::setMain(QStringLiteral(":/databasetest/Info.plist"));
    }

    void noRowIsNullNotEmpty()
    {
        TestDatabase db(freshPath());
        QVERIFY(!db.executeStatement(QStringLiteral("TestSampleNone")).has_value());
        // An INSERT yields no row either.
        QVERIFY(!db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "x"}}).has_value());
        QVERIFY(db.stringForSetting(QStringLiteral("missing")).isNull());
    }

    void settingsKeepNullAndEmptyApart()
    {
        TestDatabase db(freshPath());
        db.setString(QStringLiteral(""), QStringLiteral("empty"));
        const QString empty = db.stringForSetting(QStringLiteral("empty"));
        QVERIFY(!empty.isNull());
        QCOMPARE(empty, QString());

        db.setString(QStringLiteral("a"), QStringLiteral("k"));
        db.setString(QStringLiteral("b"), QStringLiteral("k"));
        QCOMPARE(db.stringForSetting(QStringLiteral("k")), QStringLiteral("b"));
        db.setString(QString(), QStringLiteral("k"));
        QVERIFY(db.stringForSetting(QStringLiteral("k")).isNull());
    }

    void deletingAbsentSettingExecutesNothing()
    {
        TestDatabase db(freshPath());
        db.setString(QString(), QStringLiteral("never-set"));
        QVERIFY(db.preparedStatementKeys().contains(QStringLiteral("KLVRDatabaseSQLSettingSelect")));
        QVERIFY(!db.preparedStatementKeys().contains(QStringLiteral("KLVRDatabaseSQLSettingDelete")));
    }

    void columnsComeBackAsText_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QVariantMap>("expected");
        const QVariantMap reals{{"itype", "integer"}, {"rtype", "real"}};
        auto with = [](QVariantMap map, const QVariantMap &more) {
            map.insert(more);
            return map;
        };
        QTest::newRow("numbers given as text are stored as numbers")
            << QVariantMap{{"@i", "1"}, {"@r", "2.5"}, {"@t", "text"}, {"@b", QByteArray("\x00\x01", 2)}}
            << with(reals, {{"i", "1"}, {"r", "2.5"}, {"t", "text"}, {"b", QByteArray("\x00\x01", 2)}});
        QTest::newRow("real keeps 15 significant digits")
            << QVariantMap{{"@i", "-7"}, {"@r", "790000000.123456"}, {"@t", "x"}, {"@b", QByteArray("z")}}
            << with(reals, {{"i", "-7"}, {"r", "790000000.123456"}, {"t", "x"}, {"b", QByteArray("z")}});
        QTest::newRow("empty text stays, empty blob is absent")
            << QVariantMap{{"@i", "3"}, {"@r", "0"}, {"@t", ""}, {"@b", QByteArray()}}
            << with(reals, {{"i", "3"}, {"r", "0.0"}, {"t", ""}});
        QTest::newRow("unicode text")
            << QVariantMap{{"@i", "4"}, {"@r", "1e3"}, {"@t", QStringLiteral("Ruhe \u2013 \u00e9t\u00e9")}, {"@b", QByteArray("b")}}
            << with(reals, {{"i", "4"}, {"r", "1000.0"}, {"t", QStringLiteral("Ruhe \u2013 \u00e9t\u00e9")}, {"b", QByteArray("b")}});
    }

    void columnsComeBackAsText()
    {
        QFETCH(QVariantMap, parameters);
        QFETCH(QVariantMap, expected);
        TestDatabase db(freshPath());
        db.executeStatement(QStringLiteral("TestSampleInsert"), parameters);
        const auto rows = db.executeStatement(QStringLiteral("TestSampleSelect"));
        QVERIFY(rows.has_value());
        QCOMPARE(rows->size(), 1);
        QCOMPARE(rows->first(), expected);
    }

    void sqlNullColumnIsAbsent()
    {
        const QString path = freshPath();
        TestDatabase db(path);
        db.database();
        sqlite3 *other = openOther(path);
        QCOMPARE(sqlite3_exec(other, "INSERT INTO samples (i) VALUES (5);", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        const auto rows = db.executeStatement(QStringLiteral("TestSampleSelect"));
        QVERIFY(rows.has_value());
        QCOMPARE(rows->first(), (QVariantMap{{"i", "5"}, {"itype", "integer"}, {"rtype", "null"}}));
    }

    void parametersAreCheckedBeforeBinding_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QString>("message");
        const QVariantMap good{{"@i", "1"}, {"@r", "1"}, {"@t", "t"}, {"@b", QByteArray("b")}};
        QVariantMap extra = good;
        extra.insert("@unused", "x");
        QTest::newRow("one entry too many")
            << extra << QStringLiteral("TestDatabase Statement 'TestSampleInsert' expects 4 parameters, but got 5 in ");
        QVariantMap missing = good;
        missing.remove("@b");
        QTest::newRow("one entry missing")
            << missing << QStringLiteral("TestDatabase Statement 'TestSampleInsert' expects 4 parameters, but got 3 in ");
        QVariantMap renamed = missing;
        renamed.insert("b", QByteArray("b"));
        QTest::newRow("name without @")
            << renamed << QStringLiteral("TestDatabase Parameter '@b' is required for statement 'TestSampleInsert'.");
        QVariantMap number = good;
        number.insert("@i", 1);
        QTest::newRow("number")
            << number << QStringLiteral("TestDatabase Parameter '@i' is in an unsupported format for statement 'TestSampleInsert'.");
        QVariantMap null = good;
        null.insert("@t", QVariant());
        QTest::newRow("null value")
            << null << QStringLiteral("TestDatabase Parameter '@t' is in an unsupported format for statement 'TestSampleInsert'.");
    }

    void parametersAreCheckedBeforeBinding()
    {
        QFETCH(QVariantMap, parameters);
        QFETCH(QString, message);
        TestDatabase db(freshPath());
        QString thrown;
        try {
            db.executeStatement(QStringLiteral("TestSampleInsert"), parameters);
        } catch (const KLVRAssertionException &error) {
            thrown = error.message();
        }
        QVERIFY2(thrown.startsWith(message), qPrintable(thrown));
        QVERIFY(!db.executeStatement(QStringLiteral("TestSampleSelect")).has_value());
    }

    void argumentChecksNameTheParameter()
    {
        TestDatabase db(freshPath());
        const QString key = QStringLiteral("Invalid parameter not satisfying: anInfoPListKey");
        const QString setting = QStringLiteral("Invalid parameter not satisfying: aSetting");
        QVERIFY_THROWS_MESSAGE(db.executeStatement(QString()), key);
        QVERIFY_THROWS_MESSAGE(db.executeStatements(QString()), key);
        QVERIFY_THROWS_MESSAGE(db.stringForSetting(QString()), setting);
        QVERIFY_THROWS_MESSAGE(db.setString(QStringLiteral("v"), QString()), setting);
        QVERIFY_THROWS_MESSAGE(db.executeStatement(QStringLiteral("NoSuchKey")),
                               "TestDatabase Missing Info.plist property 'NoSuchKey'");
    }

    void coreResourceWinsOverInfoPlist()
    {
        TestDatabase db(freshPath());
        const auto rows = db.executeStatement(QStringLiteral("TestSource"));
        QVERIFY(rows.has_value());
        QCOMPARE(rows->first().value("source").toString(), QStringLiteral("core"));
    }

    void versionIsWrittenOnceAtCreation()
    {
        const QString path = freshPath();
        {
            TestDatabase db(path);
            QCOMPARE(db.databaseVersion(), QStringLiteral("31"));
        }
        // A file created by an older program keeps its version when a newer one opens it.
        const QString older = freshPath();
        sqlite3 *other = openOther(older);
        QCOMPARE(sqlite3_exec(other,
                              "CREATE TABLE settings ( key TEXT PRIMARY KEY, value TEXT NOT NULL );"
                              "INSERT INTO settings VALUES ('version', '7');",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        TestDatabase db(older);
        QCOMPARE(db.databaseVersion(), QStringLiteral("7"));
        QCOMPARE(db.opened, 1);
    }

    void sameTextUnderTwoKeysIsPreparedTwice()
    {
        TestDatabase db(freshPath());
        sqlite3_stmt *a = db.statementForKey(QStringLiteral("TestSameA"));
        sqlite3_stmt *b = db.statementForKey(QStringLiteral("TestSameB"));
        QVERIFY(a != b);
        QCOMPARE(db.statementForKey(QStringLiteral("TestSameA")), a);
    }

    void stepErrorIsReportedByTheNextReset()
    {
        TestDatabase db(freshPath());
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "x"}});
        QCOMPARE(db.lastStepResult(), SQLITE_DONE);
        // The duplicate fails silently and is not retried as if it were transient.
        std::atomic<int> runs = 0;
        countRuns(db.database(), &runs);
        QVERIFY(!db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "x"}}).has_value());
        QCOMPARE(db.lastStepResult() & 0xff, SQLITE_CONSTRAINT);
        QCOMPARE(runs.load(), 1);
        QVERIFY_THROWS_MESSAGE(db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "y"}}),
                               "TestDatabase reset 'TestUniqueInsert' failed: UNIQUE constraint failed: uniques.u (19)");
        // A discarded statement is prepared afresh and works again.
        db.discardStatement(QStringLiteral("TestUniqueInsert"));
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "y"}});
        QCOMPARE(db.executeStatement(QStringLiteral("TestUniqueCount"))->first().value("n").toString(), QStringLiteral("2"));
    }

    void busyStepGivesUpAfterTheRetryBound()
    {
        const QString path = freshPath();
        TestDatabase db(path);
        std::atomic<int> attempts = 0;
        sqlite3_busy_handler(
            db.database(),
            [](void *counter, int) {
                ++*static_cast<std::atomic<int> *>(counter);
                return 0; // give up at once; the controller decides about retrying
            },
            &attempts);

        sqlite3 *other = openOther(path);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "held"}});
        QCOMPARE(db.lastStepResult(), SQLITE_BUSY);
        QCOMPARE(attempts.load(), KLVRDatabaseController::kTransientStepRetries + 1);
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);

        // A lock released while the retries run lets the step succeed.
        db.discardStatement(QStringLiteral("TestUniqueInsert"));
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread releaser([other] {
            std::this_thread::sleep_for(KLVRDatabaseController::kTransientStepBackoff * 3);
            sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        });
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "later"}});
        releaser.join();
        QCOMPARE(db.lastStepResult(), SQLITE_DONE);
        sqlite3_close(other);
        QCOMPARE(db.executeStatement(QStringLiteral("TestUniqueCount"))->first().value("n").toString(), QStringLiteral("1"));
    }

    void failedSchemaLeavesTheControllerClosed()
    {
        TestDatabase db(freshPath());
        db.setCoreSQLStatements({{"KLVRDatabaseSQLCreate", "CREATE TABLE broken ( ;"}});
        QString thrown;
        try {
            db.database();
        } catch (const KLVRAssertionException &error) {
            thrown = error.message();
        }
        QVERIFY2(thrown.startsWith("TestDatabase SQL 'CREATE TABLE broken ( ;' failed: "), qPrintable(thrown));
        QCOMPARE(db.opened, 0);

        // The next access opens again and runs the repaired schema.
        db.setCoreSQLStatements({});
        QVERIFY(db.database() != nullptr);
        QCOMPARE(db.opened, 1);
        QCOMPARE(db.databaseVersion(), QStringLiteral("31"));
    }

    void closingFinalizesCachedStatements()
    {
        TestDatabase db(freshPath());
        db.setString(QStringLiteral("v"), QStringLiteral("k"));
        QVERIFY(!db.preparedStatementKeys().isEmpty());
        db.setDatabase(nullptr);
        QCOMPARE(db.closing, 1);
        QVERIFY(db.preparedStatementKeys().isEmpty());
        // Reopened on the next use, with statements prepared on the new connection.
        QCOMPARE(db.stringForSetting(QStringLiteral("k")), QStringLiteral("v"));
        QCOMPARE(db.opened, 2);
    }

    void defaultFileIsInTheUserCache()
    {
        const QString cache = m_dir.filePath(QStringLiteral("cache"));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
        KLVRDatabaseController db;
        QCOMPARE(db.databaseURL().toLocalFile(), cache + QStringLiteral("/com.klvr.restwatch.databasetest.db"));
        QVERIFY(QFileInfo(cache).isDir());
        qunsetenv("XDG_CACHE_HOME");
    }
};

QTEST_GUILESS_MAIN(TestDatabaseController)
#include "tst_databasecontroller.moc"
