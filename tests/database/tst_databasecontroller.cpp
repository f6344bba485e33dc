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

namespace {

QString thrownBy(const std::function<void()> &call)
{
    try {
        call();
    } catch (const KLVRAssertionException &error) {
        return error.message();
    }
    return QString();
}

// A second connection to the same file, as another process would hold it.
sqlite3 *openOther(const QString &path)
{
    sqlite3 *other = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &other);
    return other;
}

// Counts every time a statement starts running on the connection, retries included.
void countRuns(sqlite3 *database, std::atomic<int> *runs)
{
    sqlite3_trace_v2(
        database, SQLITE_TRACE_STMT,
        [](unsigned, void *counter, void *, void *) {
            ++*static_cast<std::atomic<int> *>(counter);
            return 0;
        },
        runs);
}

QString count(TestDatabase &db)
{
    return db.executeStatement(QStringLiteral("TestUniqueCount"))->first().value("n").toString();
}

} // namespace

class TestDatabaseController : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    QString freshPath() { return m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        KLVRBundle::setMain(QStringLiteral(":/databasetest/Info.plist"));
    }

    void nullIsNotEmpty()
    {
        TestDatabase db(freshPath());
        QVERIFY(!db.executeStatement(QStringLiteral("TestSampleNone")).has_value());
        QVERIFY(db.stringForSetting(QStringLiteral("missing")).isNull());
        db.setString(QStringLiteral(""), QStringLiteral("empty"));
        QVERIFY(!db.stringForSetting(QStringLiteral("empty")).isNull());
        QCOMPARE(db.stringForSetting(QStringLiteral("empty")), QString());
        db.setString(QString(), QStringLiteral("empty"));
        QVERIFY(db.stringForSetting(QStringLiteral("empty")).isNull());
        // Deleting a setting that was never set executes no delete statement.
        TestDatabase fresh(freshPath());
        fresh.setString(QString(), QStringLiteral("never-set"));
        QVERIFY(!fresh.preparedStatementKeys().contains(QStringLiteral("KLVRDatabaseSQLSettingDelete")));
    }

    void columnsComeBackAsText_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QVariantMap>("expected");
        QTest::newRow("numbers given as text are stored as numbers")
            << QVariantMap{{"@i", "1"}, {"@r", "2.5"}, {"@t", "text"}, {"@b", QByteArray("\x00\x01", 2)}}
            << QVariantMap{{"i", "1"}, {"r", "2.5"}, {"rtype", "real"}, {"t", "text"}, {"b", QByteArray("\x00\x01", 2)}};
        QTest::newRow("real keeps 15 significant digits")
            << QVariantMap{{"@i", "-7"}, {"@r", "790000000.123456"}, {"@t", "\u00e9t\u00e9"}, {"@b", QByteArray("z")}}
            << QVariantMap{{"i", "-7"}, {"r", "790000000.123456"}, {"rtype", "real"}, {"t", "\u00e9t\u00e9"}, {"b", QByteArray("z")}};
        QTest::newRow("empty text stays, empty blob and NULL are absent")
            << QVariantMap{{"@i", "3"}, {"@r", "1e3"}, {"@t", ""}, {"@b", QByteArray()}}
            << QVariantMap{{"i", "3"}, {"r", "1000.0"}, {"rtype", "real"}, {"t", ""}};
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

    // Callers that read the columns themselves get every row, in order, and the same answer to
    // "no row at all" as the dictionary form.
    void rowHandlerSeesEveryRow()
    {
        TestDatabase db(freshPath());
        for (const char *text : {"a", "b", "c"})
            db.executeStatement(QStringLiteral("TestSampleInsert"),
                                {{"@i", "1"}, {"@r", "1"}, {"@t", QString::fromLatin1(text)}, {"@b", QByteArray()}});
        QStringList texts;
        const auto collect = [&texts](sqlite3_stmt *statement) {
            texts.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))));
        };
        QCOMPARE(db.executeStatement(QStringLiteral("TestSampleTexts"), {{"@min", "0"}}, collect), 3);
        QCOMPARE(texts, (QStringList{"a", "b", "c"}));
        QCOMPARE(db.executeStatement(QStringLiteral("TestSampleTexts"), {{"@min", "2"}}, collect), 0);
        QVERIFY(!db.executeStatement(QStringLiteral("TestSampleTexts"), {{"@min", "2"}}).has_value());
        QCOMPARE(db.lastStepResult(), SQLITE_DONE);
        // Parameters are checked as strictly as in the dictionary form.
        const QString thrown = thrownBy([&] { db.executeStatement(QStringLiteral("TestSampleTexts"), {}, collect); });
        QVERIFY2(thrown.startsWith("TestDatabase Statement 'TestSampleTexts' expects 1 parameters, but got 0"), qPrintable(thrown));
        QCOMPARE(texts.size(), 3);
    }

    void parametersAreCheckedBeforeBinding_data()
    {
        QTest::addColumn<QVariantMap>("parameters");
        QTest::addColumn<QString>("message");
        const QVariantMap good{{"@i", "1"}, {"@r", "1"}, {"@t", "t"}, {"@b", QByteArray("b")}};
        QVariantMap extra = good;
        extra.insert("@unused", "x");
        QTest::newRow("one entry too many")
            << extra << "TestDatabase Statement 'TestSampleInsert' expects 4 parameters, but got 5 in ";
        QVariantMap renamed = good;
        renamed.insert("b", renamed.take("@b"));
        QTest::newRow("name without @")
            << renamed << "TestDatabase Parameter '@b' is required for statement 'TestSampleInsert'.";
        QVariantMap number = good;
        number.insert("@i", 1);
        QTest::newRow("number")
            << number << "TestDatabase Parameter '@i' is in an unsupported format for statement 'TestSampleInsert'.";
    }

    void parametersAreCheckedBeforeBinding()
    {
        QFETCH(QVariantMap, parameters);
        QFETCH(QString, message);
        TestDatabase db(freshPath());
        const QString thrown = thrownBy([&] { db.executeStatement(QStringLiteral("TestSampleInsert"), parameters); });
        QVERIFY2(thrown.startsWith(message), qPrintable(thrown));
        QVERIFY(!db.executeStatement(QStringLiteral("TestSampleSelect")).has_value());
    }

    void lookupAndVersion()
    {
        TestDatabase db(freshPath());
        // The class's own resource wins over the Info.plist.
        QCOMPARE(db.executeStatement(QStringLiteral("TestSource"))->first().value("source").toString(),
                 QStringLiteral("core"));
        QCOMPARE(thrownBy([&] { db.executeStatement(QStringLiteral("NoSuchKey")); }),
                 QStringLiteral("TestDatabase Missing Info.plist property 'NoSuchKey'"));
        QCOMPARE(db.databaseVersion(), QStringLiteral("31"));

        // A file created by an older program keeps its version when a newer one opens it.
        const QString older = freshPath();
        sqlite3 *other = openOther(older);
        QCOMPARE(sqlite3_exec(other, "CREATE TABLE settings ( key TEXT PRIMARY KEY, value TEXT NOT NULL );"
                                     "INSERT INTO settings VALUES ('version', '7');", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        TestDatabase reopened(older);
        QCOMPARE(reopened.databaseVersion(), QStringLiteral("7"));
    }

    void stepErrorIsReportedByTheNextReset()
    {
        TestDatabase db(freshPath());
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "x"}});
        QCOMPARE(db.lastStepResult(), SQLITE_DONE);
        // The duplicate fails silently, once: a constraint failure is not retried as if transient.
        std::atomic<int> runs = 0;
        countRuns(db.database(), &runs);
        QVERIFY(!db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "x"}}).has_value());
        QCOMPARE(db.lastStepResult() & 0xff, SQLITE_CONSTRAINT);
        QCOMPARE(runs.load(), 1);
        QCOMPARE(thrownBy([&] { db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "y"}}); }),
                 QStringLiteral("TestDatabase reset 'TestUniqueInsert' failed: UNIQUE constraint failed: uniques.u (19)"));
        // A discarded statement is prepared afresh and works again.
        db.discardStatement(QStringLiteral("TestUniqueInsert"));
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "y"}});
        QCOMPARE(count(db), QStringLiteral("2"));
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
                return 0; // fail at once: retrying is the controller's decision
            },
            &attempts);
        sqlite3 *other = openOther(path);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "held"}});
        QCOMPARE(db.lastStepResult(), SQLITE_BUSY);
        QCOMPARE(attempts.load(), KLVRDatabaseController::kTransientStepRetries + 1);
        db.discardStatement(QStringLiteral("TestUniqueInsert"));

        // A lock released while the retries run lets the step succeed.
        std::thread releaser([other] {
            std::this_thread::sleep_for(KLVRDatabaseController::kTransientStepBackoff * 3);
            sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        });
        db.executeStatement(QStringLiteral("TestUniqueInsert"), {{"@u", "later"}});
        releaser.join();
        sqlite3_close(other);
        QCOMPARE(db.lastStepResult(), SQLITE_DONE);
        QCOMPARE(count(db), QStringLiteral("1"));
    }

    void failedSchemaLeavesTheControllerClosed()
    {
        TestDatabase db(freshPath());
        db.setCoreSQLStatements({{"KLVRDatabaseSQLCreate", "CREATE TABLE broken ( ;"}});
        const QString thrown = thrownBy([&] { db.database(); });
        QVERIFY2(thrown.startsWith("TestDatabase SQL 'CREATE TABLE broken ( ;' failed: "), qPrintable(thrown));
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
        db.setDatabase(nullptr);
        QCOMPARE(db.closing, 1);
        QVERIFY(db.preparedStatementKeys().isEmpty());
        // Reopened on the next use, with statements prepared on the new connection.
        QCOMPARE(db.stringForSetting(QStringLiteral("k")), QStringLiteral("v"));
        QCOMPARE(db.opened, 2);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseController)
#include "tst_databasecontroller.moc"
