// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Battery figures and time per state.
#include "KLVRRWCBattery.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCStateTracker.h"

#include <QTest>

using Samples = QList<QPair<int, double>>;

class TestKLVRRWCBatteryHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batteryFigures_data()
    {
        // Samples are (percent, seconds after the first sample).
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<QString>("description");
        QTest::addColumn<double>("charged");
        QTest::addColumn<double>("chargeSeconds");
        QTest::addColumn<double>("discharged");
        QTest::addColumn<double>("dischargeSeconds");
        QTest::addColumn<double>("secondsPerPoint"); // -1: no "% Delta"

        QTest::newRow("nothing added") << Samples{} << "-1.0:0.0:101.0" << 0.0 << 0.0 << 0.0 << 0.0 << -1.0;
        QTest::newRow("one sample") << Samples{{57, 0}} << "57.0:57.0:57.0" << 0.0 << 0.0 << 0.0 << 0.0 << -1.0;
        QTest::newRow("falling") << Samples{{80, 0}, {70, 600}} << "80.0:75.0:70.0" << 0.0 << 0.0 << 10.0 << 600.0 << 60.0;
        QTest::newRow("rising then holding") << Samples{{70, 0}, {80, 600}, {80, 1200}}
                                             << "80.0:76.7:70.0" << 10.0 << 600.0 << 0.0 << 0.0 << 120.0;
        QTest::newRow("only holding") << Samples{{64, 0}, {64, 3600}} << "64.0:64.0:64.0" << 0.0 << 0.0 << 0.0 << 0.0 << -1.0;
        QTest::newRow("down and up") << Samples{{100, 0}, {40, 3600}, {0, 5000}, {90, 9500}}
                                     << "100.0:57.5:0.0" << 90.0 << 4500.0 << 100.0 << 5000.0 << 50.0;
    }

    void batteryFigures()
    {
        QFETCH(Samples, samples);
        QFETCH(QString, description);
        QFETCH(double, charged);
        QFETCH(double, chargeSeconds);
        QFETCH(double, discharged);
        QFETCH(double, dischargeSeconds);
        QFETCH(double, secondsPerPoint);

        const KLVRAbsoluteTime origin(757382400.0);
        KLVRRWCBattery battery(QStringLiteral("BAT0"));
        for (const auto &[percent, offset] : samples)
            battery.addCapacity(percent, origin.addSeconds(offset));

        QCOMPARE(battery.description(), description);
        QCOMPARE(battery.chargeDelta().delta(), charged);
        QCOMPARE(battery.chargeDelta().timeInterval(), chargeSeconds);
        QCOMPARE(battery.dischargeDelta().delta(), discharged);
        QCOMPARE(battery.dischargeDelta().timeInterval(), dischargeSeconds);

        const QVariantMap info = battery.infoDictionary();
        QCOMPARE(info.value(QStringLiteral("Maximum")).toFloat(), battery.maximumCapacity());
        QCOMPARE(info.value(QStringLiteral("Minimum")).toFloat(), battery.minimumCapacity());
        QCOMPARE(info.value(QStringLiteral("Average")).toFloat(), battery.averageCapacity());
        if (secondsPerPoint < 0) {
            QVERIFY(!info.contains(QStringLiteral("% Delta")));
        } else {
            const QVariant rate = info.value(QStringLiteral("% Delta"));
            QVERIFY(rate.canConvert<KLVRRWCDuration>());
            QCOMPARE(rate.value<KLVRRWCDuration>().duration(), secondsPerPoint);
        }
    }

    void stateTimes()
    {
        const KLVRAbsoluteTime ten(757418400.0); // any 10:00
        KLVRRWCStateTracker tracker(QStringLiteral("Awake"), ten);
        tracker.addState(QStringLiteral("Awake"), ten.addSeconds(1800));
        QVERIFY(tracker.stateIntervals().isEmpty());
        QCOMPARE(tracker.currentStateStarts(), ten);

        tracker.addState(QStringLiteral("Asleep"), ten.addSeconds(3600));
        QCOMPARE(tracker.stateIntervals(), (QMap<QString, double>{{QStringLiteral("Awake"), 3600.0}}));
        tracker.addState(QString(), ten.addSeconds(4000)); // no state: nothing changes
        QCOMPARE(tracker.currentState(), QStringLiteral("Asleep"));

        tracker.currentStateEndsOnDate(ten.addSeconds(4500));
        QCOMPARE(tracker.stateIntervals(),
                 (QMap<QString, double>{{QStringLiteral("Awake"), 3600.0}, {QStringLiteral("Asleep"), 900.0}}));
        // The stretch was closed, so closing again later counts only the new part.
        tracker.currentStateEndsOnDate(ten.addSeconds(4600));
        QCOMPARE(tracker.stateIntervals().value(QStringLiteral("Asleep")), 1000.0);

        tracker.addState(QStringLiteral("Awake"), ten.addSeconds(5000));
        QCOMPARE(tracker.stateIntervals().value(QStringLiteral("Asleep")), 1400.0);
        QCOMPARE(tracker.stateIntervals().value(QStringLiteral("Awake")), 3600.0);
    }

    void stateTimesWithoutAState()
    {
        KLVRRWCStateTracker tracker(QString(), KLVRAbsoluteTime(0));
        tracker.addState(QStringLiteral("On"), KLVRAbsoluteTime(500));
        tracker.incrementState(QStringLiteral("Off"), 0.0);
        tracker.currentStateEndsOnDate(KLVRAbsoluteTime(800));
        QCOMPARE(tracker.stateIntervals(), (QMap<QString, double>{{QStringLiteral("On"), 300.0}}));
    }
};

QTEST_GUILESS_MAIN(TestKLVRRWCBatteryHistory)
#include "tst_KLVRRWCBatteryHistory.moc"
