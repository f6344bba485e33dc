// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The graph's layout, ticks, state bands and battery curves, checked on rendered pictures
// against positions worked out from the layout rules: margins of 10, gaps of 6, the x of a
// date = chart.x + seconds from the start x chart width / range length, the y of a charge =
// axis - chart height x percent / 100.
#include "KLVRGraphTestSupport.h"
#include "KLVRRWCEntriesViewBatterySegment.h"

#include <QFontMetricsF>
#include <QTest>

using namespace KLVRGraphTest;

struct Segment
{
    QString state;
    QList<QPointF> points;
};
using Segments = QList<Segment>;
Q_DECLARE_METATYPE(Segment)

namespace {

bool isInk(QRgb pixel)
{
    return qGray(pixel) < 160;
}

bool isGrey(QRgb pixel)
{
    return std::abs(qRed(pixel) - qGreen(pixel)) < 6 && std::abs(qGreen(pixel) - qBlue(pixel)) < 6 && qGray(pixel) < 240;
}

int count(const QImage &image, const QRect &area, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y)
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), image.width() - 1); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

QList<QPointF> pointsOf(const KLVRRWCEntriesViewBatterySegment &segment)
{
    QList<QPointF> points;
    const QPainterPath path = segment.path();
    for (int i = 0; i < path.elementCount(); ++i)
        points.append(path.elementAt(i));
    return points;
}

bool samePositions(const QList<double> &actual, const QList<double> &expected)
{
    if (actual.size() != expected.size()) {
        qWarning() << "ticks:" << actual << "expected:" << expected;
        return false;
    }
    for (int i = 0; i < actual.size(); ++i) {
        if (std::abs(actual[i] - expected[i]) > 1e-6) {
            qWarning() << "tick" << i << "at" << actual[i] << "expected at" << expected[i];
            return false;
        }
    }
    return true;
}

bool near(const QPointF &a, const QPointF &b)
{
    return std::abs(a.x() - b.x()) < 1e-3 && std::abs(a.y() - b.y()) < 1e-3;
}

} // namespace

class TestKLVRRWCEntriesCell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRecordTest::useBerlinTime();
    }

    void chartRectangle_data()
    {
        QTest::addColumn<bool>("titled");
        QTest::addColumn<bool>("batteries");
        QTest::newRow("titled, batteries") << true << true;
        QTest::newRow("titled, no batteries") << true << false;
        QTest::newRow("untitled, batteries") << false << true;
        QTest::newRow("untitled, no batteries") << false << false;
    }

    void chartRectangle()
    {
        QFETCH(bool, titled);
        QFETCH(bool, batteries);
        Recorder r;
        r.power("2024-03-05 08:00:00", "System will sleep");
        r.power("2024-03-05 09:00:00", "System has powered on");
        if (batteries) {
            r.battery("2024-03-05 00:10:00", "Battery Power", 80);
            r.battery("2024-03-05 23:50:00", "Battery Power", 80);
        }
        Graph g(r.records);
        g.show(QStringLiteral("2024-03-05"), QStringLiteral("2024-03-05"));
        g.cell.setTitled(titled);
        const QImage picture = g.render(QSizeF(620, 300));

        const double th = QFontMetricsF(g.cell.titleFont()).height();
        const double sh = QFontMetricsF(g.cell.xAxisMarkerFont()).size(0, QStringLiteral("Tuesday")).height();
        const QSizeF label = QFontMetricsF(g.cell.axisLabelFont()).size(0, QStringLiteral("Battery\n%"));
        const QRectF expected(QPointF(10 + (batteries ? label.width() + 6 : 0), 10),
                              QPointF(610, 290 - (titled ? th + 6 : 0) - (sh + 6)));
        QCOMPARE(g.cell.mediaRect(), QRectF(10, 10, 600, 280));
        QCOMPARE(g.cell.chartRect(), expected);
        QCOMPARE(g.cell.xAxisMarkerTextHeight(), sh + 6);

        // The axis is drawn along the chart's bottom edge, clear of any band and between two
        // ticks (12:30).
        const int noon = int(g.x(at(QStringLiteral("2024-03-05 12:30:00"))));
        int axisRow = -1;
        for (int y = int(expected.bottom()) - 3; y <= int(expected.bottom()) + 2; ++y) {
            if (axisRow < 0 || qGray(picture.pixel(noon, y)) < qGray(picture.pixel(noon, axisRow)))
                axisRow = y;
        }
        QVERIFY2(std::abs(axisRow + 0.5 - expected.bottom()) <= 1.0, qPrintable(QString::number(axisRow)));

        // The dashed 100 percent line along the chart's top, only with batteries (away from the band).
        const QRect topLine(int(g.x(at(QStringLiteral("2024-03-05 12:00:00")))), int(expected.top()) - 1,
                            int(expected.width() / 3), 2);
        QCOMPARE(count(picture, topLine, isGrey) > 20, batteries);
        // The battery label left of the chart, only with batteries.
        const QRect labelArea(10, int(expected.top()), int(label.width()), int(expected.height()) - 2);
        QCOMPARE(count(picture, labelArea, isInk) > 0, batteries);
        // The title under the tick-label band, only when titled.
        const QRect titleArea(10, int(expected.bottom() + sh + 7), 600, 290 - int(expected.bottom() + sh + 7));
        QCOMPARE(count(picture, titleArea, isInk) > 0, titled);
    }

    void ticks_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QList<double>>("longTicks");  // seconds from the start
        QTest::addColumn<double>("longInterval");
        QTest::addColumn<QList<double>>("shortTicks"); // empty: no second level
        QTest::addColumn<int>("labelledLevel");        // which level carries the labels
        QTest::addColumn<QStringList>("texts");         // the label of each tick of that level

        QList<double> hours;
        QStringList hourTexts;
        for (int h = 0; h < 24; ++h) {
            hours << h * 3600.0;
            hourTexts << QStringLiteral("%1:00 %2").arg(h % 12 == 0 ? 12 : h % 12, 2, 10, QLatin1Char('0')).arg(h < 12 ? "AM" : "PM");
        }
        QTest::newRow("one day") << "2024-03-05" << "2024-03-05" << 86399.0 << hours << 3600.0 << QList<double>{} << 0 << hourTexts;

        QList<double> days;
        for (int d = 0; d < 7; ++d)
            days << d * 86400.0;
        QTest::newRow("one week") << "2024-03-04" << "2024-03-10" << 604799.0 << days << 86400.0 << QList<double>{} << 0
                                  << QStringList{"Monday, 4 March", "Tuesday, 5 March", "Wednesday, 6 March", "Thursday, 7 March",
                                                 "Friday, 8 March", "Saturday, 9 March", "Sunday, 10 March"};

        // Fewer than two days' intervals: the day ticks stay unlabelled, so the hours are labelled.
        QList<double> twoDayHours;
        QStringList twoDayTexts;
        for (int h = 0; h < 48; ++h) {
            twoDayHours << h * 3600.0;
            twoDayTexts << hourTexts.at(h % 24);
        }
        QTest::newRow("two days") << "2024-03-05" << "2024-03-06" << 172799.0 << QList<double>{0, 86400} << 86400.0
                                  << twoDayHours << 1 << twoDayTexts;

        // Sunday has 25 hours: Monday and Tuesday start an hour later than 24-hour steps would say.
        QTest::newRow("four days across the clock change")
            << "2024-10-26" << "2024-10-29" << 349199.0 << QList<double>{0, 86400, 176400, 262800} << 86400.0
            << QList<double>{} << 0
            << QStringList{"Saturday, 26 October", "Sunday, 27 October", "Monday, 28 October", "Tuesday, 29 October"};
    }

    void ticks()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(double, duration);
        QFETCH(QList<double>, longTicks);
        QFETCH(double, longInterval);
        QFETCH(QList<double>, shortTicks);
        QFETCH(int, labelledLevel);
        QFETCH(QStringList, texts);

        Recorder r;
        r.agent(first + " 12:00:00", "Starting monitor");
        r.agent(last + " 12:00:00", "Starting monitor");
        Graph g(r.records);
        g.show(first, last);
        QCOMPARE(g.range.absoluteDuration().duration(), duration);
        g.cell.setTitled(false);
        g.render(QSizeF(620, 200));
        const QRectF chart = g.cell.chartRect();
        QCOMPARE(chart.x(), 10.0);
        QCOMPARE(chart.width(), 600.0);

        const QList<KLVRRWCEntriesCell::TickLevel> levels = g.cell.tickLevels();
        QCOMPARE(levels.size(), shortTicks.isEmpty() ? 1 : 2);
        QCOMPARE(levels[0].interval.timeInterval(), longInterval);
        QCOMPARE(levels[0].marker, 0);
        const auto positions = [&](const QList<double> &seconds) {
            QList<double> xs;
            for (double s : seconds)
                xs << 10.0 + s * 600.0 / duration;
            return xs;
        };
        QVERIFY(samePositions(levels[0].positions, positions(longTicks)));
        if (!shortTicks.isEmpty()) {
            QCOMPARE(levels[1].marker, 1);
            QVERIFY(samePositions(levels[1].positions, positions(shortTicks)));
        }

        for (int level = 0; level < levels.size(); ++level) {
            if (level != labelledLevel) {
                QVERIFY(levels[level].labels.isEmpty());
                continue;
            }
            // Walk the ticks with the labelling rule: a label centred under its tick is drawn
            // unless it sticks out of the media area, starts at or left of the chart's left
            // edge, or meets the last drawn label widened by half.
            const QList<KLVRRWCEntriesCell::TickLabel> &labels = levels[level].labels;
            QVERIFY(!labels.isEmpty());
            const QFontMetricsF metrics(g.cell.xAxisMarkerFont());
            QRectF lastDrawn;
            int next = 0;
            for (int k = 0; k < levels[level].positions.size(); ++k) {
                const double x = levels[level].positions[k];
                const QSizeF size = metrics.size(0, texts.at(k));
                const QRectF rect(x - size.width() / 2, chart.bottom() + g.cell.xAxisMarkerTextHeight() - size.height(),
                                  size.width(), size.height());
                const bool drawn = g.cell.mediaRect().contains(rect) && rect.left() > chart.x()
                                   && (lastDrawn.isNull() || !rect.intersects(lastDrawn));
                if (!drawn)
                    continue;
                QVERIFY2(next < labels.size(), qPrintable(texts.at(k)));
                QCOMPARE(labels[next].text, texts.at(k));
                QCOMPARE(labels[next].rect, rect);
                ++next;
                lastDrawn = QRectF(rect.x(), rect.y(), rect.width() * 1.5, rect.height());
            }
            QCOMPARE(next, labels.size());
            QVERIFY(labels.first().rect.center().x() > chart.x()); // the start's tick never has one
        }
    }

    void bands_data()
    {
        QTest::addColumn<QList<QVariantMap>>("records");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("from"); // a local time on 5 March, or "start"
        QTest::addColumn<QString>("to");   // a local time on 5 March, or "end"

        const QList<QVariantMap> inside = Recorder().power("2024-03-05 02:00:00", "System will sleep")
                       .power("2024-03-05 03:00:00", "System has powered on").records;
        QTest::newRow("sleep and wake inside") << inside << "Asleep" << "02:00:00" << "03:00:00";

        const QList<QVariantMap> pastEnd = Recorder().power("2024-03-05 22:00:00", "System will sleep")
                       .power("2024-03-06 07:00:00", "System has powered on").records;
        QTest::newRow("sleep running past the end") << pastEnd << "Asleep" << "22:00:00" << "end";

        // The wake's repeat a few seconds after midnight is folded into it: the interval ends
        // after the range and is cut at its end.
        const QList<QVariantMap> repeated = Recorder().power("2024-03-05 23:00:00", "System will sleep")
                       .power("2024-03-05 23:59:58", "System has powered on")
                       .power("2024-03-06 00:00:01", "System has powered on").records;
        QTest::newRow("wake repeated after the end") << repeated << "Asleep" << "23:00:00" << "end";

        const QList<QVariantMap> through = Recorder().power("2024-03-04 22:00:00", "System will sleep")
                       .power("2024-03-06 07:00:00", "System has powered on").records;
        QTest::newRow("slept through the range") << through << "Asleep" << "start" << "end";

        const QList<QVariantMap> off = Recorder().boot("2024-03-04 08:00:00", "startup")
                       .boot("2024-03-05 18:00:00", "accounting shut down")
                       .boot("2024-03-06 08:00:00", "startup").records;
        QTest::newRow("switched off overnight") << off << "Off" << "18:00:00" << "end";

        const QList<QVariantMap> agent = Recorder().agent("2024-03-05 06:00:00", "Starting monitor")
                       .agent("2024-03-05 10:00:00", "Stopping monitor")
                       .agent("2024-03-05 11:30:00", "Starting monitor").records;
        QTest::newRow("agent stopped") << agent << "Unmonitored" << "10:00:00" << "11:30:00";
    }

    void bands()
    {
        QFETCH(QList<QVariantMap>, records);
        QFETCH(QString, state);
        QFETCH(QString, from);
        QFETCH(QString, to);

        Graph g(records);
        g.show(QStringLiteral("2024-03-05"), QStringLiteral("2024-03-05"));
        const QImage picture = g.render(QSizeF(620, 300));
        const QRectF chart = g.cell.chartRect();
        const double left = from == QLatin1String("start") ? chart.left() : g.x(at(QStringLiteral("2024-03-05 ") + from));
        const double right = to == QLatin1String("end") ? chart.right() : g.x(at(QStringLiteral("2024-03-05 ") + to));
        // Standing on the axis line (1 point) and reaching the chart's top.
        const QRectF expected(left, chart.top(), right - left, chart.height() - 1.0);

        // Later passes repeat bands or parts of them: every drawn band is of the state and lies
        // within the expected one, and together they make it.
        for (const KLVRRWCEntriesViewState &band : g.cell.displayList().states()) {
            if (!g.cell.stateColours().contains(band.state()))
                continue;
            QCOMPARE(band.state(), state);
            QVERIFY2(expected.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(band.bounds()), qPrintable(band.state()));
        }
        QCOMPARE(g.cell.displayList().mergedBoundsForState(state), QList<QRectF>{expected});

        // The picture: the state's colour inside, white paper beside it; the tool tip names it.
        const QPointF middle = expected.center();
        const QRgb inside = picture.pixel(middle.toPoint());
        const QColor colour = g.cell.stateColours().value(state);
        QVERIFY2(std::abs(qRed(inside) - qBlue(inside)) > 5 == (colour.blueF() - colour.redF() > 0.1),
                 qPrintable(QColor(inside).name()));
        QVERIFY(qGray(inside) < 200);
        QCOMPARE(g.cell.toolTipAt(middle), state);
        const QPointF beside = left > chart.left() + 3 ? QPointF(left - 3, middle.y()) : QPointF(right + 3, middle.y());
        if (chart.contains(beside)) {
            QCOMPARE(picture.pixel(beside.toPoint()), qRgb(255, 255, 255));
            QCOMPARE(g.cell.toolTipAt(beside), QString());
        }
    }

    void batteryCurve_data()
    {
        QTest::addColumn<QList<QVariantMap>>("records");
        QTest::addColumn<QString>("day");
        // Each segment: its state and its points as (local time or "start"/"end", percent).
        QTest::addColumn<QList<QStringList>>("segments");

        // 45 = halfway from 50 to 40; 30.00023 = 40 - 20 x 43199 / 86400 towards the next sample.
        const QList<QVariantMap> across = Recorder().battery("2024-03-04 12:00:00", "Battery Power", 50)
                       .battery("2024-03-05 12:00:00", "Battery Power", 40)
                       .battery("2024-03-06 12:00:00", "Battery Power", 20).records;
        QTest::newRow("interpolated across the range")
            << across << "2024-03-05"
            << QList<QStringList>{{"Battery Power", "start", "45", "12:00:00", "40", "end", "30.000231"}};

        // 47.818182 = 50 - 4 x 12 / 22 at midnight.
        const QList<QVariantMap> plugged = Recorder().battery("2024-03-04 12:00:00", "Battery Power", 50)
                       .battery("2024-03-05 10:00:00", "Battery Power", 46)
                       .battery("2024-03-05 16:00:00", "AC Power", 35)
                       .battery("2024-03-05 20:00:00", "AC Power", 60, true, true).records;
        QTest::newRow("switch to mains splits the curve")
            << plugged << "2024-03-05"
            << QList<QStringList>{{"Battery Power", "start", "47.818182", "10:00:00", "46", "16:00:00", "35"},
                                  {"AC Power", "16:00:00", "35", "20:00:00", "60"}};

        // The first sample ever reports the battery's arrival: a point without a state, then
        // the curve in the battery's state. Taken out, the curve steps across at its last height.
        const QList<QVariantMap> removed = Recorder().battery("2024-03-05 08:00:00", "Battery Power", 80)
                       .battery("2024-03-05 09:00:00", "Battery Power", 70)
                       .battery("2024-03-05 10:00:00", "Battery Power", 0, false)
                       .battery("2024-03-05 11:00:00", "Battery Power", 65)
                       .battery("2024-03-05 12:00:00", "Battery Power", 60).records;
        QTest::newRow("taken out and put back")
            << removed << "2024-03-05"
            << QList<QStringList>{{"", "08:00:00", "80"},
                                  {"Battery Power", "08:00:00", "80", "09:00:00", "70", "10:00:00", "70"},
                                  {"Disconnected", "10:00:00", "0", "11:00:00", "65"},
                                  {"Battery Power", "11:00:00", "65", "12:00:00", "60"}};

        // Repeats fold into duplicates and hold the level; after a switch the held level is
        // already the new source's.
        const QList<QVariantMap> held = Recorder().battery("2024-03-05 08:00:00", "AC Power", 80)
                       .battery("2024-03-05 09:00:00", "AC Power", 75)
                       .battery("2024-03-05 09:30:00", "AC Power", 75)
                       .battery("2024-03-05 10:00:00", "Battery Power", 70)
                       .battery("2024-03-05 10:20:00", "Battery Power", 70)
                       .battery("2024-03-05 11:00:00", "Battery Power", 66).records;
        QTest::newRow("level held over repeats")
            << held << "2024-03-05"
            << QList<QStringList>{{"", "08:00:00", "80"},
                                  {"AC Power", "08:00:00", "80", "09:00:00", "75", "09:30:00", "75", "10:00:00", "70"},
                                  {"Battery Power", "10:00:00", "70", "10:20:00", "70", "11:00:00", "66"}};

        // Nothing on Saturday: the line from Friday 18:00 (60) to Sunday 09:00 (58), 39 hours:
        // 60 - 2 x 6 / 39 at the start, 60 - 2 x 107999 / 140400 at the end.
        const QList<QVariantMap> weekend = Recorder().battery("2024-03-08 18:00:00", "Battery Power", 60)
                       .battery("2024-03-10 09:00:00", "Battery Power", 58)
                       .battery("2024-03-10 10:00:00", "Battery Power", 50).records;
        QTest::newRow("no sample inside the range")
            << weekend << "2024-03-09"
            << QList<QStringList>{{"Battery Power", "start", "59.692308", "end", "58.461553"}};
    }

    void batteryCurve()
    {
        QFETCH(QList<QVariantMap>, records);
        QFETCH(QString, day);
        QFETCH(QList<QStringList>, segments);

        Graph g(records);
        g.show(day, day);
        const QImage picture = g.render(QSizeF(620, 300));
        const QRectF chart = g.cell.chartRect();
        const auto point = [&](const QString &when, const QString &percent) {
            const double x = when == QLatin1String("start") ? chart.left()
                             : when == QLatin1String("end") ? chart.right()
                                                            : g.x(at(day + QLatin1Char(' ') + when));
            return QPointF(x, g.y(percent.toDouble()));
        };

        const KLVRRWCEntriesViewBatteries &batteries = g.cell.displayList().batteries();
        QCOMPARE(batteries.names(), QStringList{QStringLiteral("BAT0")});
        const QList<KLVRRWCEntriesViewBatterySegment> actual = batteries.segmentsForBattery(QStringLiteral("BAT0"));
        QCOMPARE(actual.size(), segments.size());
        for (int s = 0; s < segments.size(); ++s) {
            const QStringList &expected = segments[s];
            QCOMPARE(actual[s].state(), expected.first());
            const QList<QPointF> points = pointsOf(actual[s]);
            QCOMPARE(points.size(), (expected.size() - 1) / 2);
            for (int p = 0; p < points.size(); ++p) {
                const QPointF want = point(expected[1 + 2 * p], expected[2 + 2 * p]);
                QVERIFY2(near(points[p], want), qPrintable(QStringLiteral("segment %1 point %2: (%3, %4) instead of (%5, %6)")
                                                               .arg(s).arg(p).arg(points[p].x()).arg(points[p].y())
                                                               .arg(want.x()).arg(want.y())));
            }
            QCOMPARE(actual[s].start(), points.first());
            QCOMPARE(actual[s].end(), points.last());
        }

        // The picture: the first coloured segment's colour lies on its first stretch.
        const auto coloured = std::find_if(actual.cbegin(), actual.cend(), [&](const KLVRRWCEntriesViewBatterySegment &segment) {
            return g.cell.batteryColours().contains(segment.state());
        });
        QVERIFY(coloured != actual.cend());
        const QColor colour = g.cell.batteryColours().value(coloured->state());
        const QList<QPointF> first = pointsOf(*coloured);
        const QPointF onCurve = (first[0] + first[1]) / 2.0;
        bool found = false;
        for (int dy = -1; dy <= 1 && !found; ++dy) {
            const QColor pixel = picture.pixelColor(onCurve.toPoint() + QPoint(0, dy));
            found = std::abs(pixel.hueF() - colour.hueF()) < 0.05 && pixel.saturationF() > 0.5;
        }
        QVERIFY2(found, qPrintable(picture.pixelColor(onCurve.toPoint()).name()));
    }

    // The picture is the same however it is painted: straight into a plainly painted image,
    // through a clear layer (a painter that clips), or with the bands as the painter's own
    // outlines (a painter that scales unevenly).
    void paintingPathsAgree_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("largestAllowed");
        // Through a layer only the rounding of stacked translucent pixels differs.
        QTest::newRow("through a layer") << QStringLiteral("layer") << 4;
        // Edges may round differently; the fills must not.
        QTest::newRow("outlines") << QStringLiteral("outlines") << 99;
    }

    void paintingPathsAgree()
    {
        QFETCH(QString, path);
        QFETCH(int, largestAllowed);
        Recorder r;
        r.agent("2024-03-05 06:00:00", "Starting monitor");
        r.battery("2024-03-05 07:00:00", "Battery Power", 90);
        r.power("2024-03-05 09:00:00", "System will sleep");
        r.power("2024-03-05 11:30:00", "System has powered on");
        r.battery("2024-03-05 12:00:00", "Battery Power", 40);
        r.agent("2024-03-05 14:00:00", "Stopping monitor");
        r.agent("2024-03-05 15:00:00", "Starting monitor");
        r.battery("2024-03-05 16:00:00", "AC Power", 20, true, true);
        r.boot("2024-03-05 18:00:00", "accounting shut down");
        r.boot("2024-03-05 20:00:00", "startup");
        r.battery("2024-03-05 21:00:00", "AC Power", 100, true, true);
        Graph g(r.records);
        g.show(QStringLiteral("2024-03-05"), QStringLiteral("2024-03-05"));
        const QImage direct = g.render(QSizeF(620, 300)).convertToFormat(QImage::Format_ARGB32);

        QImage other(620, 300, QImage::Format_ARGB32_Premultiplied);
        other.fill(Qt::white);
        {
            QPainter painter(&other);
            if (path == QLatin1String("layer"))
                painter.setClipRect(QRect(0, 0, 620, 300));
            else
                painter.scale(1.0, 1.0 + 1e-9);
            g.cell.paint(painter, QRectF(0, 0, 620, 300));
        }
        other = other.convertToFormat(QImage::Format_ARGB32);
        const QRect chart = g.cell.chartRect().toAlignedRect();
        qint64 difference = 0;
        int largest = 0;
        for (int y = chart.top(); y < chart.bottom(); ++y) {
            for (int x = chart.left(); x < chart.right(); ++x) {
                const QRgb a = direct.pixel(x, y);
                const QRgb b = other.pixel(x, y);
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
                difference += d;
                largest = std::max(largest, d);
            }
        }
        QVERIFY2(double(difference) / (chart.width() * chart.height()) < 0.5, qPrintable(QString::number(difference)));
        QVERIFY2(largest <= largestAllowed, qPrintable(QString::number(largest)));
    }

    // Drawn curves keep, of the points inside one pixel column, the first, lowest, highest
    // and last, in their order; everything else passes unchanged.
    void curveThinning()
    {
        const std::vector<QPointF> line{{0.1, 50}, {0.2, 40}, {0.3, 60}, {0.5, 45}, {0.9, 55},
                                        {1.5, 30}, {2.2, 20}, {2.4, 80}, {2.6, 25}};
        const std::vector<QPointF> thin = KLVRRWCEntriesCell::simplifiedLine(line, 1.0);
        QCOMPARE(QList<QPointF>(thin.cbegin(), thin.cend()),
                 (QList<QPointF>{{0.1, 50}, {0.2, 40}, {0.3, 60}, {0.9, 55}, {1.5, 30}, {2.2, 20}, {2.4, 80}, {2.6, 25}}));
        QVERIFY(KLVRRWCEntriesCell::simplifiedLine(line, 0.05) == line);
    }

    void mapping()
    {
        Recorder r;
        r.agent("2024-03-04 12:00:00", "Starting monitor");
        r.agent("2024-03-10 12:00:00", "Starting monitor");
        Graph g(r.records);
        g.show(QStringLiteral("2024-03-04"), QStringLiteral("2024-03-10"));
        g.render(QSizeF(620, 300));
        const QRectF c = g.cell.chartRect();
        const double duration = 604799.0;

        // Wednesday 15:00 is 2 days and 15 hours after Monday's midnight; height does not matter.
        const KLVRAbsoluteTime wednesday = at(QStringLiteral("2024-03-06 15:00:00"));
        const double x = c.x() + (2 * 86400 + 15 * 3600) * c.width() / duration;
        for (double y : {c.top() + 1, c.center().y(), c.bottom() - 0.5})
            QVERIFY(std::abs(g.cell.convertPointToDate(QPointF(x, y)).secondsSince(wednesday)) < 1e-3);
        QVERIFY(!g.cell.convertPointToDate(QPointF(x, c.bottom() + 2)).isValid()); // the label band
        QVERIFY(!g.cell.convertPointToDate(QPointF(c.x() - 1, c.center().y())).isValid());
        QVERIFY(!g.cell.convertPointToDate(QPointF(5, 5)).isValid()); // the margin

        // The end maps to the right edge; a second later lies outside and maps to (0, 0).
        const KLVRAbsoluteTime end = g.range.absoluteDuration().endDate();
        QCOMPARE(g.cell.convertDateToPoint(end), QPointF(c.right(), c.bottom()));
        QCOMPARE(g.cell.convertDateToPoint(end.addSeconds(1)), QPointF(0, 0));
        QCOMPARE(g.cell.convertDateAndPercentageToPoint(wednesday, 100).y(), c.top());
        QCOMPARE(g.cell.convertDateAndPercentageToPoint(wednesday, 0).y(), c.bottom());
    }
};

QTEST_MAIN(TestKLVRRWCEntriesCell)
#include "tst_KLVRRWCEntriesCell.moc"
