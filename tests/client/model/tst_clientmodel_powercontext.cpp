// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// What the agent records beyond the original events on Linux (inhibitor locks, the wake reason,
// the battery's health and charge cycles) as entry attributes, and so in copies and exports.
#include "KLVRFormat.h"
#include "KLVRModelTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"

#include <QTest>

using namespace KLVRModelTest;

namespace {

QVariantMap inhibitor(const QString &who, const QString &why, const QString &what, const QString &mode)
{
    return {{QStringLiteral("Who"), who}, {QStringLiteral("Why"), why}, {QStringLiteral("What"), what}, {QStringLiteral("Mode"), mode}};
}

QVariantMap withContext(QVariantMap record, const QVariantMap &extra)
{
    // The record's properties travel as an XML property list: add the extras to it.
    const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromText(record.value(QStringLiteral("date")).toString());
    QVariantMap properties{{QStringLiteral("Idle Seconds"), qlonglong(600)},
                           {QStringLiteral("Processes"), QVariantList{QStringLiteral("systemd"), QStringLiteral("Xorg")}}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        properties.insert(it.key(), it.value());
    return KLVRModelTest::record(date, record.value(QStringLiteral("description")).toString(), kPowerEvents, properties);
}

} // namespace

class TestPowerContext : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void sleepAndWakeExtras_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QVariantMap>("extra");
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<QVariant>("shown");
        QTest::addColumn<QString>("exported");

        const QVariantList two{inhibitor("GNOME Shell", "GNOME needs to lock the screen", "sleep", "delay"),
                               inhibitor("firefox", "Playing video", "sleep:idle", "block")};
        const QVariantList lines{QStringLiteral("GNOME Shell: GNOME needs to lock the screen (sleep, delay)"),
                                 QStringLiteral("firefox: Playing video (sleep:idle, block)")};
        QTest::newRow("idle sleep held back by two locks")
            << "Can system sleep" << QVariantMap{{"Inhibitors", two}} << "Inhibitors" << QVariant(lines)
            << "Inhibitors:(GNOME Shell: GNOME needs to lock the screen (sleep, delay), firefox: Playing video (sleep:idle, block))";
        QTest::newRow("lid sleep") << "System will sleep" << QVariantMap{{"Inhibitors", QVariantList{two.first()}}} << "Inhibitors"
                                   << QVariant(QVariantList{lines.first()})
                                   << "Inhibitors:(GNOME Shell: GNOME needs to lock the screen (sleep, delay))";
        QTest::newRow("shutdown, a plain entry") << "System will power off" << QVariantMap{{"Inhibitors", QVariantList{two.last()}}}
                                                 << "Inhibitors" << QVariant(QVariantList{lines.last()})
                                                 << "Inhibitors:(firefox: Playing video (sleep:idle, block))";
        QTest::newRow("wake by the lid's ACPI interrupt")
            << "System has powered on"
            << QVariantMap{{"Wake Reason", QVariantMap{{"IRQ", 9}, {"Sources", QVariantList{"PNP0C0D:00", "ACPI0003:00"}}}}}
            << "Wake Reason" << QVariant(QVariantMap{{"Interrupt", "9"}, {"Wakeup Sources", "PNP0C0D:00, ACPI0003:00"}})
            << "Wake Reason:[Interrupt:9, Wakeup Sources:PNP0C0D:00, ACPI0003:00]";
    }
    void sleepAndWakeExtras()
    {
        QFETCH(QString, description);
        QFETCH(QVariantMap, extra);
        QFETCH(QString, attribute);
        QFETCH(QVariant, shown);
        QFETCH(QString, exported);

        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{withContext(powerEvent(at("2024-03-05 10:00:00"), description), extra)});
        const KLVRRWCLogEntry *entry = log.objectAtIndex(0);
        QVERIFY(entry->attributes().contains(attribute));
        QCOMPARE(entry->attributeForKey(attribute), shown);
        // Copy (tab-separated text) and the property-list export carry the same.
        QVERIFY2(entry->attributesAsString().contains(exported), qPrintable(entry->attributesAsString()));
        QCOMPARE(entry->exportAsDictionary().value(QStringLiteral("Attributes")).toMap().value(attribute), shown);
        QCOMPARE(entry->copy()->attributeForKey(attribute), shown);
    }

    void entriesWithoutExtrasUnchanged_data()
    {
        QTest::addColumn<QVariantMap>("extra");
        QTest::newRow("none recorded") << QVariantMap{};
        // The agent records an empty list when nothing held the sleep back.
        QTest::newRow("no locks held") << QVariantMap{{"Inhibitors", QVariantList{}}};
        QTest::newRow("kernel knew nothing") << QVariantMap{{"Wake Reason", QVariantMap{}}};
        QTest::newRow("not a list") << QVariantMap{{"Inhibitors", "garbage"}};
    }
    void entriesWithoutExtrasUnchanged()
    {
        QFETCH(QVariantMap, extra);
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{withContext(powerEvent(at("2024-03-05 10:00:00"), "Can system sleep"), extra)});
        QCOMPARE(log.objectAtIndex(0)->attributes(), (QStringList{"Properties", "Processes"}));
    }

    void batteryHealth_data()
    {
        QTest::addColumn<QVariantMap>("extra");
        QTest::addColumn<QVariant>("health");
        QTest::addColumn<QVariant>("cycles");
        // Figures read as the rest of the attributes' figures do.
        const auto percent = [](double value) { return QVariant(KLVRFormat::localizedString(QStringLiteral("%.1f%%"), value)); };
        QTest::newRow("both recorded") << QVariantMap{{"Health", 87.5}, {"Charge Cycles", 112}} << percent(87.5) << QVariant(112);
        QTest::newRow("neither") << QVariantMap{} << QVariant() << QVariant();
        QTest::newRow("new battery, no cycles yet") << QVariantMap{{"Health", 100.0}, {"Charge Cycles", 0}} << percent(100.0)
                                                    << QVariant(0);
        QTest::newRow("health unknown") << QVariantMap{{"Health", 0.0}} << QVariant() << QVariant();
    }
    void batteryHealth()
    {
        QFETCH(QVariantMap, extra);
        QFETCH(QVariant, health);
        QFETCH(QVariant, cycles);
        KLVRRWCLog log;
        log.addExternalEntries(QVariantList{powerStatus(at("2024-03-05 10:00:00"), Battery{.extra = extra})});
        const QVariantMap device = log.objectAtIndex(0)->attributeForKey(QStringLiteral("Device")).toMap();
        QCOMPARE(device.value(QStringLiteral("Health")).toString(), health.toString());
        QCOMPARE(device.contains(QStringLiteral("Health")), health.isValid());
        QCOMPARE(device.value(QStringLiteral("Charge Cycles")).toInt(), cycles.toInt());
        QCOMPARE(device.contains(QStringLiteral("Charge Cycles")), cycles.isValid());
        QCOMPARE(device.value(QStringLiteral("Charge")).toString(), QStringLiteral("80%"));
    }
};

QTEST_GUILESS_MAIN(TestPowerContext)
#include "tst_clientmodel_powercontext.moc"
