// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
//
// Runs under a comma-decimal locale (LC_ALL=de_DE.UTF-8, set by CMake): what is stored, sent or
// parsed must read the same as under C; what the user sees takes the locale's comma.
#include "KLVRAbsoluteTime.h"
#include "KLVRFormat.h"
#include "KLVRNumberText.h"
#include "KLVRPropertyList.h"

#include <QTest>
#include <clocale>
#include <cstdio>

class TestKLVRNumberText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // QCoreApplication took LC_ALL from the environment; make sure it really is a comma locale.
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 2.5);
        if (QByteArray(probe) != "2,5")
            QSKIP("no comma-decimal locale (de_DE.UTF-8) is installed here");
    }

    void timesTravelWithAPointInEveryLocale_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("microseconds") << 818360441.509829 << "818360441.509829";
        QTest::newRow("before 2001") << -12.5 << "-12.500000";
        QTest::newRow("distant future") << 63113904000.0 << "63113904000.000000";
        QTest::newRow("distant past") << -63114076800.0 << "-63114076800.000000";
    }

    void timesTravelWithAPointInEveryLocale()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(KLVRAbsoluteTime(seconds).toText(), text);
        QCOMPARE(KLVRAbsoluteTime::fromText(text).seconds(), seconds);
        QCOMPARE(KLVRFormat::string(QStringLiteral("%lf"), seconds), text);
        QCOMPARE(KLVRFormat::string(QStringLiteral("%@"), QVariant::fromValue(KLVRAbsoluteTime(seconds))), text);
    }

    // Earlier builds wrote dates under the user's LC_NUMERIC: those texts must still read.
    void readsWhatEarlierBuildsWrote_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("seconds");
        QTest::newRow("comma decimal") << "818360441,509829" << true << 818360441.509829;
        QTest::newRow("point decimal") << "818360441.509829" << true << 818360441.509829;
        QTest::newRow("sqlite text") << "818360441.50983" << true << 818360441.50983;
        QTest::newRow("spaces and plus") << " +12,25 " << true << 12.25;
        QTest::newRow("negative comma") << "-3,5" << true << -3.5;
        QTest::newRow("two separators") << "1,234.5" << false << 0.0;
        QTest::newRow("two commas") << "1,2,3" << false << 0.0;
        QTest::newRow("trailing text") << "12.5s" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("not ascii") << QStringLiteral("12\u00b75") << false << 0.0;
    }

    void readsWhatEarlierBuildsWrote()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, seconds);
        const KLVRAbsoluteTime time = KLVRAbsoluteTime::fromText(text);
        QCOMPARE(time.isValid(), valid);
        if (valid)
            QCOMPARE(time.seconds(), seconds);
    }

    void formatsSpeakTheUsersLocaleOnlyWhenAskedTo()
    {
        QCOMPARE(KLVRFormat::string(QStringLiteral("%.1f%% of %.2e"), 99.25, 1500.0), QStringLiteral("99.2% of 1.50e+03"));
        QCOMPARE(KLVRFormat::localizedString(QStringLiteral("%.1f%%"), 99.25), QStringLiteral("99,2%"));
        QCOMPARE(KLVRNumberText::leadingDouble("2.75 hours"), 2.75);
    }

    // libplist reads <real> with the C library: under a comma locale it read 2.5 as 2.
    void propertyListRealsSurviveTheLocale()
    {
        const QVariant read = KLVRPropertyList::read(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Idle Seconds</key><real>312.5</real></dict></plist>");
        QCOMPARE(read.toMap().value(QStringLiteral("Idle Seconds")).toDouble(), 312.5);
        const QVariantMap written{{QStringLiteral("Rate"), 0.125}};
        for (const auto format : {KLVRPropertyList::Format::Xml, KLVRPropertyList::Format::Binary}) {
            const QByteArray data = KLVRPropertyList::write(written, format);
            QCOMPARE(KLVRPropertyList::read(data).toMap(), written);
        }
        QVERIFY(KLVRPropertyList::write(written, KLVRPropertyList::Format::Xml).contains("<real>0.125"));
    }
};

QTEST_GUILESS_MAIN(TestKLVRNumberText)
#include "tst_KLVRNumberText.moc"
