// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAbsoluteTime.h"
#include "KLVRFormat.h"

#include <QTest>

class TestKLVRFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fillsPlaceholders_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");

        QTest::newRow("object") << "System sleeping after %@" << QVariantList{QStringLiteral("5 minutes")}
                                << "System sleeping after 5 minutes";
        QTest::newRow("integers") << "%d of %ld, %u" << QVariantList{3, qlonglong(-7), 9u} << "3 of -7, 9";
        QTest::newRow("real as lf") << "%lf" << QVariantList{1.25} << "1.250000";
        QTest::newRow("one decimal") << "%.1f%%" << QVariantList{99.96} << "100.0%";
        QTest::newRow("c string") << "%@ open failed: %s (%d)" << QVariantList{QStringLiteral("KLVRDatabaseController"), QStringLiteral("disk I/O error"), 10}
                                  << "KLVRDatabaseController open failed: disk I/O error (10)";
        QTest::newRow("width and padding") << "%02d:%02d" << QVariantList{7, 5} << "07:05";
        QTest::newRow("number as object") << "%@ and %@" << QVariantList{42, 0.5} << "42 and 0.5";
        QTest::newRow("date as object") << "%@" << QVariantList{QVariant::fromValue(KLVRAbsoluteTime(2.5))} << "2.500000";
        QTest::newRow("missing arguments read empty or zero") << "%@|%d|%s" << QVariantList{} << "|0|";
        QTest::newRow("unknown conversion kept") << "100%y" << QVariantList{} << "100%y";
        QTest::newRow("trailing percent kept") << "50%" << QVariantList{} << "50%";
        QTest::newRow("arguments are not formats") << "%@" << QVariantList{QStringLiteral("%d%s%@")} << "%d%s%@";
    }

    void fillsPlaceholders()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(KLVRFormat::string(format, arguments), expected);
    }

    void variadicFormMatchesListForm()
    {
        QCOMPARE(KLVRFormat::string(QStringLiteral("%@ %d"), QStringLiteral("a"), 2), QStringLiteral("a 2"));
    }
};

QTEST_GUILESS_MAIN(TestKLVRFormat)
#include "tst_KLVRFormat.moc"
