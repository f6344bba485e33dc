// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Time values, system paths, user defaults and strings tables.
#include "KLVRAbsoluteTime.h"
#include "KLVRAssertionException.h"
#include "KLVRStringsTable.h"
#include "KLVRSystemPath.h"
#include "KLVRUserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestKLVRFoundationServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void absoluteTimeKeepsMicroseconds()
    {
        const KLVRAbsoluteTime t(786000000.123456);
        QCOMPARE(t.toText(), QStringLiteral("786000000.123456"));
        QCOMPARE(KLVRAbsoluteTime::fromText(t.toText()).seconds(), 786000000.123456);
        QCOMPARE(KLVRAbsoluteTime::fromUnix(978307200.0).seconds(), 0.0);
        QCOMPARE(KLVRAbsoluteTime(0).toDateTime().toUTC(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    }

    void absoluteTimeRejectsBadText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("word") << QStringLiteral("NULL");
        QTest::newRow("trailing junk") << QStringLiteral("12.5x");
        QTest::newRow("nan") << QStringLiteral("nan");
    }

    void absoluteTimeRejectsBadText()
    {
        QFETCH(QString, text);
        QVERIFY(!KLVRAbsoluteTime::fromText(text).isValid());
    }

    void parameterAssertionCarriesTheExactText()
    {
        try {
            const int *parameter = nullptr;
            KLVR_PARAMETER_ASSERT(parameter != nullptr);
            QFAIL("no exception");
        } catch (const KLVRAssertionException &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid parameter not satisfying: parameter != nullptr"));
            QCOMPARE(e.file(), QStringLiteral("tst_KLVRFoundationServices.cpp"));
        }
    }

    void systemPathsFollowTheTestRoot()
    {
        qunsetenv("RESTWATCH_SYSROOT");
        QCOMPARE(KLVRSystemPath::resolve(QStringLiteral("/var/log/wtmp")), QStringLiteral("/var/log/wtmp"));
        qputenv("RESTWATCH_SYSROOT", "/tmp/root/");
        QCOMPARE(KLVRSystemPath::resolve(QStringLiteral("/var/log/wtmp")), QStringLiteral("/tmp/root/var/log/wtmp"));
        QCOMPARE(KLVRSystemPath::resolve(QStringLiteral("relative")), QStringLiteral("relative"));
        qunsetenv("RESTWATCH_SYSROOT");
    }

    void userDefaultsKeepTypesAndFallBackToFactoryValues()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("defaults.plist"));
        {
            KLVRUserDefaults defaults(QStringLiteral("com.klvr.test"), file);
            defaults.registerDefaults({{QStringLiteral("Interval"), 240}, {QStringLiteral("Show"), true}});
            QCOMPARE(defaults.value(QStringLiteral("Interval")).toInt(), 240);
            QSignalSpy changed(&defaults, &KLVRUserDefaults::valueChanged);
            defaults.setValue(QStringLiteral("Interval"), 60);
            defaults.setValue(QStringLiteral("Interval"), 60); // no change, no signal
            QCOMPARE(changed.count(), 1);
            QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Interval"));
            defaults.sync();
        }
        KLVRUserDefaults reread(QStringLiteral("com.klvr.test"), file);
        QVERIFY(reread.value(QStringLiteral("Interval")).typeId() != QMetaType::QString); // numbers stay numbers
        QCOMPARE(reread.value(QStringLiteral("Interval")).toInt(), 60);
        QVERIFY(!reread.value(QStringLiteral("Show")).isValid()); // factory values are not stored
        QCOMPARE(reread.persistentValues().keys(), QStringList{QStringLiteral("Interval")});
    }

    void stringsTableFallsBackToTheKey()
    {
        QCOMPARE(KLVRStringsTable::localizedString(QStringLiteral("No such key"), QStringLiteral("NoSuchTable")),
                 QStringLiteral("No such key"));
        QCOMPARE(KLVRStringsTable::localizedString(QStringLiteral("k"), QStringLiteral("default"), QStringLiteral("NoSuchTable")),
                 QStringLiteral("default"));
    }
};

QTEST_GUILESS_MAIN(TestKLVRFoundationServices)
#include "tst_KLVRFoundationServices.moc"
