// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The graph view: picking dates with the mouse, the double click that shows one day, redrawing
// once after a burst of changes, the labels, pictures at any size, the dragged picture's data,
// and a recorded week drawn to a PNG.
#include "KLVRGraphTestSupport.h"
#include "KLVRRWCEntriesView.h"

#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

using namespace KLVRGraphTest;

namespace {

// A week of laptop use, Monday 4 to Sunday 10 March 2024: sleeps over lunch and at night, an
// hour or two on mains every afternoon, the agent restarted on Tuesday, the battery out for a
// moment on Wednesday, switched off from Friday evening to Sunday evening. The battery drains
// 7 points an hour on battery and charges 30 an hour on mains, sampled at every point.
class Week
{
public:
    QList<QVariantMap> records()
    {
        boot("2024-03-04 07:58:00");
        awake("2024-03-04 08:00:00", "2024-03-04 12:30:00");
        sleep("2024-03-04 12:30:00", "2024-03-04 13:15:00", true);
        awake("2024-03-04 13:15:00", "2024-03-04 23:00:00", "2024-03-04 14:00:00", "2024-03-04 16:30:00");
        sleep("2024-03-04 23:00:00", "2024-03-05 07:30:00");
        awake("2024-03-05 07:30:00", "2024-03-05 12:30:00");
        sleep("2024-03-05 12:30:00", "2024-03-05 13:15:00");
        awake("2024-03-05 13:15:00", "2024-03-05 17:30:00", "2024-03-05 14:00:00", "2024-03-05 15:00:00");
        r.agent(QStringLiteral("2024-03-05 17:30:00"), QStringLiteral("Stopping monitor"));
        r.agent(QStringLiteral("2024-03-05 17:45:00"), QStringLiteral("Starting monitor"));
        awake("2024-03-05 17:45:00", "2024-03-05 23:00:00", "2024-03-05 19:00:00", "2024-03-05 21:00:00");
        sleep("2024-03-05 23:00:00", "2024-03-06 07:30:00");
        awake("2024-03-06 07:30:00", "2024-03-06 15:00:00", "2024-03-06 13:00:00", "2024-03-06 14:30:00");
        r.battery(at(QStringLiteral("2024-03-06 15:00:00")), QStringLiteral("Battery Power"), 0, false);
        r.battery(at(QStringLiteral("2024-03-06 15:10:00")), QStringLiteral("Battery Power"), int(charge));
        awake("2024-03-06 15:10:00", "2024-03-06 23:00:00", "2024-03-06 17:00:00", "2024-03-06 18:00:00");
        sleep("2024-03-06 23:00:00", "2024-03-07 07:30:00");
        awake("2024-03-07 07:30:00", "2024-03-07 23:00:00", "2024-03-07 09:00:00", "2024-03-07 11:00:00");
        sleep("2024-03-07 23:00:00", "2024-03-08 07:30:00");
        awake("2024-03-08 07:30:00", "2024-03-08 18:00:00", "2024-03-08 12:00:00", "2024-03-08 13:00:00");
        r.agent(QStringLiteral("2024-03-08 18:00:00"), QStringLiteral("Stopping monitor"));
        r.boot(QStringLiteral("2024-03-08 18:00:30"), QStringLiteral("accounting shut down"));
        boot("2024-03-10 19:00:00");
        awake("2024-03-10 19:00:00", "2024-03-10 23:00:00", "2024-03-10 19:00:00", "2024-03-10 23:00:00");
        r.power(QStringLiteral("2024-03-10 23:00:00"), QStringLiteral("System will sleep"));
        return r.records;
    }

private:
    void boot(const char *when)
    {
        r.boot(QString::fromLatin1(when), QStringLiteral("startup"));
        r.agent(QString::fromLatin1(when).left(17) + QStringLiteral("30"), QStringLiteral("Starting monitor"));
    }
    void sample(KLVRAbsoluteTime t, bool force)
    {
        const QString source = mains ? QStringLiteral("AC Power") : QStringLiteral("Battery Power");
        if (force || int(charge) != reported || source != reportedSource)
            r.battery(t, source, int(charge), true, mains && charge < 100);
        reported = int(charge);
        reportedSource = source;
    }
    void awake(const char *from, const char *to, const char *acFrom = nullptr, const char *acTo = nullptr)
    {
        const KLVRAbsoluteTime end = at(QString::fromLatin1(to));
        for (KLVRAbsoluteTime t = at(QString::fromLatin1(from)); t < end; t = t.addSeconds(300)) {
            mains = acFrom && !(t < at(QString::fromLatin1(acFrom))) && t < at(QString::fromLatin1(acTo));
            charge = std::clamp(charge + (mains ? 30.0 / 12.0 : -7.0 / 12.0), 3.0, 100.0);
            sample(t.addSeconds(1), false);
        }
    }
    void sleep(const char *from, const char *to, bool idle = false)
    {
        if (idle)
            r.power(QString::fromLatin1(from), QStringLiteral("Can system sleep"));
        r.power(QString::fromLatin1(from), QStringLiteral("System will sleep"));
        r.power(QString::fromLatin1(to), QStringLiteral("System has powered on"));
        charge = std::max(3.0, charge - at(QString::fromLatin1(to)).secondsSince(at(QString::fromLatin1(from))) / 3600.0 * 0.5);
        mains = false;
        sample(at(QString::fromLatin1(to)).addSeconds(3), true);
    }

    Recorder r;
    double charge = 92.0;
    bool mains = false;
    int reported = -1;
    QString reportedSource;
};

bool isInk(QRgb pixel)
{
    return qGray(pixel) < 160;
}

int inkIn(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += isInk(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The value of a TIFF's Compression tag (259); 5 is LZW.
int tiffCompression(const QByteArray &tiff)
{
    if (tiff.size() < 8 || !tiff.startsWith("II*"))
        return -1;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(tiff.constData() + at); };
    const qsizetype ifd = qFromLittleEndian<quint32>(tiff.constData() + 4);
    for (int i = 0; i < u16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        if (u16(entry) == 259)
            return u16(entry + 8);
    }
    return -1;
}

void send(QWidget *view, QEvent::Type type, const QPointF &point, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {})
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, view->mapToGlobal(point), button, buttons, modifiers);
    QCoreApplication::sendEvent(view, &event);
}

} // namespace

class TestKLVRRWCEntriesView : public QObject
{
    Q_OBJECT

    // A week's graph in a shown view.
    struct Shown
    {
        explicit Shown(const QList<QVariantMap> &records) : graph(records)
        {
            graph.show(QStringLiteral("2024-03-04"), QStringLiteral("2024-03-10"));
            view.setLog(&graph.log);
            view.setDateRange(&graph.range);
            view.resize(620, 300);
            view.show();
        }
        bool ready()
        {
            return QTest::qWaitForWindowExposed(&view) && QTest::qWaitFor([this] { return view.cell().renderCount() > 0; });
        }
        QPointF pointAt(const QString &local, double height = 0.5) const
        {
            const QRectF c = view.cell().chartRect();
            const KLVRRWCAbsoluteDuration r = graph.range.absoluteDuration();
            return QPointF(c.x() + at(local).secondsSince(r.startDate()) * c.width() / r.duration(), c.top() + c.height() * height);
        }
        Graph graph;
        KLVRRWCEntriesView view;
    };

    static QList<QVariantMap> quietWeek()
    {
        Recorder r;
        r.agent(QStringLiteral("2024-03-04 08:00:00"), QStringLiteral("Starting monitor"));
        r.agent(QStringLiteral("2024-03-10 20:00:00"), QStringLiteral("Starting monitor"));
        return r.records;
    }

private Q_SLOTS:
    void initTestCase()
    {
        KLVRRecordTest::useBerlinTime();
    }

    void pressAndDragPickDates()
    {
        Shown s(quietWeek());
        QVERIFY(s.ready());
        QSignalSpy activated(&s.view, &KLVRRWCEntriesView::activated);

        // Margins, the label band and the title pick nothing, and send no action without a date.
        const QRectF chart = s.view.cell().chartRect();
        for (const QPointF &outside : {QPointF(4, 4), QPointF(chart.center().x(), chart.bottom() + 3), QPointF(chart.center().x(), 295)}) {
            send(&s.view, QEvent::MouseButtonPress, outside, Qt::LeftButton);
            send(&s.view, QEvent::MouseButtonRelease, outside, Qt::NoButton);
        }
        QVERIFY(!s.view.selection().isValid());
        QCOMPARE(activated.size(), 0);

        // Press on Wednesday 15:00, drag to Thursday 09:00, leave the chart and let go there.
        send(&s.view, QEvent::MouseButtonPress, s.pointAt(QStringLiteral("2024-03-06 15:00:00"), 0.9), Qt::LeftButton);
        QVERIFY(std::abs(s.view.selection().secondsSince(at(QStringLiteral("2024-03-06 15:00:00")))) < 1e-3);
        send(&s.view, QEvent::MouseMove, s.pointAt(QStringLiteral("2024-03-07 09:00:00"), 0.1), Qt::LeftButton);
        const KLVRAbsoluteTime thursday = at(QStringLiteral("2024-03-07 09:00:00"));
        QVERIFY(std::abs(s.view.selection().secondsSince(thursday)) < 1e-3);
        send(&s.view, QEvent::MouseMove, QPointF(chart.right() + 5, chart.center().y()), Qt::LeftButton);
        send(&s.view, QEvent::MouseButtonRelease, QPointF(chart.right() + 5, chart.center().y()), Qt::NoButton);
        QVERIFY(std::abs(s.view.selection().secondsSince(thursday)) < 1e-3);
        // The action follows every step, the table with it.
        QCOMPARE(activated.size(), 4);
        QVERIFY(std::abs(activated.last().first().value<KLVRAbsoluteTime>().secondsSince(thursday)) < 1e-3);
    }

    void doubleClickShowsTheDay_data()
    {
        QTest::addColumn<QString>("pickedBefore"); // a date picked by an earlier press, or empty
        QTest::addColumn<bool>("insideChart");
        QTest::addColumn<QString>("day");          // the day shown afterwards; empty: unchanged
        QTest::newRow("inside the chart") << QString() << true << "2024-03-06";
        QTest::newRow("outside, nothing picked yet") << QString() << false << QString();
        QTest::newRow("outside, Friday picked before") << "2024-03-08 10:00:00" << false << "2024-03-08";
    }

    void doubleClickShowsTheDay()
    {
        QFETCH(QString, pickedBefore);
        QFETCH(bool, insideChart);
        QFETCH(QString, day);
        Shown s(quietWeek());
        QVERIFY(s.ready());
        const KLVRRWCAbsoluteDuration week = s.graph.range.absoluteDuration();
        if (!pickedBefore.isEmpty()) {
            send(&s.view, QEvent::MouseButtonPress, s.pointAt(pickedBefore), Qt::LeftButton);
            send(&s.view, QEvent::MouseButtonRelease, s.pointAt(pickedBefore), Qt::NoButton);
        }
        const QPointF point = insideChart ? s.pointAt(QStringLiteral("2024-03-06 15:00:00")) : QPointF(3, 3);
        send(&s.view, QEvent::MouseButtonPress, point, Qt::LeftButton);
        send(&s.view, QEvent::MouseButtonRelease, point, Qt::NoButton);
        send(&s.view, QEvent::MouseButtonDblClick, point, Qt::LeftButton);
        send(&s.view, QEvent::MouseButtonRelease, point, Qt::NoButton);

        const KLVRRWCAbsoluteDuration shown = s.graph.range.absoluteDuration();
        if (day.isEmpty()) {
            QVERIFY(shown == week);
        } else {
            QCOMPARE(shown.startDate(), at(day + QStringLiteral(" 00:00:00")));
            QCOMPARE(shown.endDate(), at(day + QStringLiteral(" 23:59:59")));
        }
    }

    void burstOfChangesRedrawsOnce()
    {
        Shown s(quietWeek());
        QVERIFY(s.ready());
        QTRY_VERIFY(!s.view.cell().dataSourceChanged());
        const int before = s.view.cell().renderCount();
        // An exposure alone is served from the cached picture.
        s.view.repaint();
        QCOMPARE(s.view.cell().renderCount(), before);

        s.graph.show(QStringLiteral("2024-03-05"), QStringLiteral("2024-03-05"));
        s.graph.show(QStringLiteral("2024-03-06"), QStringLiteral("2024-03-07"));
        Recorder more;
        more.power(QStringLiteral("2024-03-10 21:00:00"), QStringLiteral("System will sleep"));
        more.power(QStringLiteral("2024-03-10 22:00:00"), QStringLiteral("System has powered on"));
        s.graph.log.addExternalEntries(more.records);
        s.graph.show(QStringLiteral("2024-03-10"), QStringLiteral("2024-03-10"));
        QTRY_COMPARE(s.view.cell().renderCount(), before + 1);
        QTest::qWait(50);
        QCOMPARE(s.view.cell().renderCount(), before + 1);
        // The one redraw shows the final range and the new entries.
        QVERIFY(s.view.cell().scaleRange() == s.graph.range.absoluteDuration());
        QVERIFY(!s.view.cell().displayList().combinedPathForState(QStringLiteral("Asleep")).isEmpty());
    }

    void labels()
    {
        Shown s(quietWeek());
        QVERIFY(s.ready());
        const int before = s.view.cell().renderCount();
        s.view.setLabelBanner(QStringLiteral("<p style='font-size:20px'>Welcome to the graph</p>"));
        s.view.setLabelTopLeft(QStringLiteral("<b>Top left</b>"));
        QTRY_COMPARE(s.view.cell().renderCount(), before + 1);
        const QImage picture = s.view.cell().cachedImage();

        // The banner's middle stands three fifths of the height up, centred across.
        QVERIFY(inkIn(picture, QRect(200, 110, 220, 20)) > 0);
        QCOMPARE(inkIn(picture, QRect(200, 60, 220, 30)), 0);
        QVERIFY(inkIn(picture, QRect(1, 1, 60, 14)) > 0);

        // The same texts again change nothing.
        s.view.setLabelBanner(QStringLiteral("<p style='font-size:20px'>Welcome to the graph</p>"));
        s.view.setLabelTopLeft(QStringLiteral("<b>Top left</b>"));
        QVERIFY(!s.view.cell().dataSourceChanged());
        QVERIFY(!s.view.cell().cachedImage().isNull());
    }

    void pictureAtAnySize()
    {
        Shown s(Week().records());
        QVERIFY(s.ready());
        const int renders = s.view.cell().renderCount();
        const QRectF chart = s.view.cell().chartRect();
        const QSize cached = s.view.cell().cachedImage().size();

        const QImage wide = s.view.imageValueWithWidth(800, 300);
        QCOMPARE(wide.size(), QSize(800, 300));
        // The on-screen picture and its mapping stay as they were.
        QCOMPARE(s.view.cell().renderCount(), renders);
        QCOMPARE(s.view.cell().chartRect(), chart);
        QCOMPARE(s.view.cell().cachedImage().size(), cached);
        // The export's own axis runs to 10 points from its right edge.
        int darkest = 255;
        for (int y = int(chart.bottom()) - 1; y <= int(chart.bottom()) + 1; ++y)
            darkest = std::min(darkest, qGray(wide.pixel(788, y)));
        QVERIFY(darkest < 160);
        QCOMPARE(qGray(wide.pixel(795, int(chart.bottom()))), 255);
    }

    void dragCarriesPngAndTiff()
    {
        Shown s(Week().records());
        QVERIFY(s.ready());
        std::unique_ptr<QMimeData> data(s.view.dragMimeData());
        QVERIFY(data->hasFormat(QStringLiteral("image/png")));
        QVERIFY(data->hasFormat(QStringLiteral("image/tiff")));
        const QImage picture = s.view.imageValue().convertToFormat(QImage::Format_ARGB32);
        const QImage png = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG").convertToFormat(QImage::Format_ARGB32);
        const QByteArray tiffData = data->data(QStringLiteral("image/tiff"));
        const QImage tiff = QImage::fromData(tiffData, "TIFF").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(png.size(), QSize(620, 300));
        QCOMPARE(png, picture);
        QCOMPARE(tiff, picture);
        QCOMPARE(tiffCompression(tiffData), 5);
    }

    void recordedWeekPicture()
    {
        Graph g(Week().records());
        g.show(QStringLiteral("2024-03-04"), QStringLiteral("2024-03-10"));
        const QImage picture = g.render(QSizeF(900, 320));

        QTemporaryDir dir;
        dir.setAutoRemove(qEnvironmentVariableIsEmpty("RESTWATCH_KEEP_PICTURES"));
        const QString path = dir.filePath(QStringLiteral("week.png"));
        QVERIFY(picture.save(path));
        qInfo() << "the week's graph:" << path;

        // Asleep every night, off over the weekend, on battery and on mains every day.
        const auto colourAt = [&](const QString &local, double percent) {
            return picture.pixelColor(QPointF(g.x(at(local)), g.y(percent)).toPoint());
        };
        const QColor night = colourAt(QStringLiteral("2024-03-07 03:00:00"), 95);
        QVERIFY2(night.blue() > night.red() + 40, qPrintable(night.name()));
        const QColor saturday = colourAt(QStringLiteral("2024-03-09 12:00:00"), 95);
        QVERIFY2(saturday.value() < 120, qPrintable(saturday.name()));
        const QColor awake = colourAt(QStringLiteral("2024-03-07 16:00:00"), 99.5);
        QCOMPARE(awake, QColor(Qt::white));

        QList<KLVRRWCEntriesViewBatterySegment> segments = g.cell.displayList().batteries().segmentsForBattery(QStringLiteral("BAT0"));
        QStringList states;
        for (const auto &segment : segments)
            states << segment.state();
        QVERIFY(states.count(QStringLiteral("AC Power")) >= 5);
        QVERIFY(states.count(QStringLiteral("Battery Power")) >= 5);
        QCOMPARE(states.count(QStringLiteral("Disconnected")), 1);

        // And one day of it, smaller and untitled, for a screen of twice the density.
        g.show(QStringLiteral("2024-03-06"), QStringLiteral("2024-03-06"));
        g.cell.setTitled(false);
        const QImage day = g.cell.imageWithSize(QSizeF(600, 220), 2.0);
        QCOMPARE(day.size(), QSize(1200, 440));
        QVERIFY(day.save(dir.filePath(QStringLiteral("day.png"))));
    }
};

QTEST_MAIN(TestKLVRRWCEntriesView)
#include "tst_KLVRRWCEntriesView.moc"
