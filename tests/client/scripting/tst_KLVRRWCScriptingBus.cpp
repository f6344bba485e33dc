// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The running window's scripting objects, driven by a python3-dbus script over a private
// session bus: entries and the slice read back, the range set by day with the graph following,
// the graph exported, refused arguments and files, and two scripts at once.
#include "KLVRBundle.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingService.h"
#include "KLVRRWCSliceFigures.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRRecordTestSupport.h"
#include "KLVRScriptingClient.h"
#include "KLVRWindowTestSupport.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Hears the slice's PropertiesChanged signals.
class KLVRPropertiesListener : public QObject
{
    Q_OBJECT

public:
    QString interface;
    QVariantMap last;
    QStringList invalidated;

public Q_SLOTS:
    void changed(const QString &changedInterface, const QVariantMap &values, const QStringList &stale)
    {
        interface = changedInterface;
        last = values;
        invalidated = stale;
    }
};

class tst_KLVRRWCScriptingBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void scriptReadsEntriesAndSlice();
    void settingStartAndEndMovesTheGraph();
    void exportWritesThePicture_data();
    void exportWritesThePicture();
    void refusedArgumentWritesNothing_data();
    void refusedArgumentWritesNothing();
    void unwritableDestinationIsReported_data();
    void unwritableDestinationIsReported();
    void twoScriptsAtOnceAndASecondWindow();

private:
    QJsonObject slice();

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRScriptingClient> m_client;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
    QTemporaryDir m_files;
};

void tst_KLVRRWCScriptingBus::initTestCase()
{
    KLVRRecordTest::useBerlinTime();
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    QVERIFY(m_support.startBus());
    m_client = std::make_unique<KLVRScriptingClient>(m_support.bus().address());
    {
        KLVRRWCStore store(m_support.connection(), m_support.connection());
        store.cacheEvents(KLVRWindowTestSupport::recordedWeek());
    }
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
    m_window = m_support.makeWindow();
    m_delegate->setWindow(m_window.get());
    m_window->resize(1000, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_delegate->applicationDidFinishLaunching();
    QTRY_VERIFY(m_window->log()->count() > 60);
    QVERIFY(m_delegate->startScripting(m_support.connection()));
}

void tst_KLVRRWCScriptingBus::cleanupTestCase()
{
    m_delegate.reset();
    m_window.reset();
}

QJsonObject tst_KLVRRWCScriptingBus::slice()
{
    const KLVRScriptingClient::Result result = m_client->script({QStringLiteral("slice")});
    if (result.exitCode != 0)
        qWarning("%s", result.errors.constData());
    return result.json().toObject();
}

void tst_KLVRRWCScriptingBus::scriptReadsEntriesAndSlice()
{
    const KLVRRWCLog *log = m_window->log();
    // Three days of the week, so that some entries lie outside the range.
    m_window->dateRange()->setAbsoluteDuration(KLVRRWCAbsoluteDuration::absoluteDurationFromDate(
        KLVRWindowTestSupport::dayAt(-5), KLVRWindowTestSupport::dayAt(-2).addSeconds(-1)));
    // Pages smaller than the log, so that the script has to come back for the rest.
    const QJsonObject database = m_client->script({QStringLiteral("entries"), QStringLiteral("25")}).json().toObject();
    const QJsonArray entries = database.value(QStringLiteral("entries")).toArray();
    QCOMPARE(database.value(QStringLiteral("count")).toInt(), int(log->count()));
    QCOMPARE(entries.size(), int(log->count()));
    int visible = 0;
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        const KLVRRWCLogEntry *expected = log->objectAtIndex(i);
        QCOMPARE(entry.value(QStringLiteral("index")).toInt(), i);
        QCOMPARE(entry.value(QStringLiteral("summary")).toString(), expected->summary());
        QCOMPARE(entry.value(QStringLiteral("monitor")).toString(), expected->monitor());
        QCOMPARE(entry.value(QStringLiteral("group")).toString(), expected->group());
        // ISO 8601 with the offset, to the millisecond.
        const QString date = entry.value(QStringLiteral("date")).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d{3})?[+-]\\d\\d:\\d\\d$"))
                     .match(date)
                     .hasMatch(),
                 qPrintable(date));
        QVERIFY(std::abs(KLVRRWCScriptingDate::fromText(date).secondsSince(expected->date())) < 0.0005);
        visible += entry.value(QStringLiteral("visible")).toInt();
    }
    QCOMPARE(visible, int(log->countOfVisibleEntries()));
    QVERIFY(visible > 0 && visible < entries.size());

    const QJsonArray events = m_client->script({QStringLiteral("events"), QStringLiteral("0"), QStringLiteral("10000")})
                                  .json()
                                  .toArray();
    QCOMPARE(events.size(), visible);
    QCOMPARE(events.first().toObject().value(QStringLiteral("index")).toInt(), int(log->visibleRange().location));

    // A page longer than one message may carry is refused, not cut short.
    const QJsonObject refused = m_client->script({QStringLiteral("page"), QStringLiteral("0"), QStringLiteral("10001")})
                                    .json()
                                    .toObject();
    QCOMPARE(refused.value(QStringLiteral("error")).toString(), QStringLiteral("com.klvr.restwatch.Error.ParameterTooLarge"));
    QCOMPARE(refused.value(QStringLiteral("message")).toString(), QStringLiteral("Parameter too large (-1702)"));

    const QJsonObject properties = slice();
    const KLVRRWCAbsoluteDuration span = m_window->dateRange()->absoluteDuration();
    QCOMPARE(properties.value(QStringLiteral("start")).toString(), KLVRRWCScriptingDate::toText(span.startDate()));
    QCOMPARE(properties.value(QStringLiteral("end")).toString(), KLVRRWCScriptingDate::toText(span.endDate()));
    QCOMPARE(properties.value(QStringLiteral("duration")).toDouble(), span.duration());
    QCOMPARE(properties.value(QStringLiteral("title")).toString(), span.periodDescription());
    QCOMPARE(properties.value(QStringLiteral("eventCount")).toInt(), visible);
    // The week was awake, asleep and on mains and battery each day; the figures are the
    // selection's over the range.
    const KLVRRWCSliceFigures figures = KLVRRWCSliceFigures::fromSlice(*m_window->visibleSlice());
    QVERIFY(figures.usageSeconds(QStringLiteral("Awake")) > 7 * 3600);
    QCOMPARE(properties.value(QStringLiteral("awake")).toDouble(), figures.usageSeconds(QStringLiteral("Awake")));
    QCOMPARE(properties.value(QStringLiteral("asleep")).toDouble(), figures.usageSeconds(QStringLiteral("Asleep")));
    QCOMPARE(properties.value(QStringLiteral("off")).toDouble(), figures.usageSeconds(QStringLiteral("Off")));
    const QJsonObject powerSource = properties.value(QStringLiteral("powerSource")).toObject();
    QCOMPARE(powerSource.value(QStringLiteral("AC Power")).toDouble(), figures.powerSource.value(QStringLiteral("AC Power")));
    QVERIFY(powerSource.value(QStringLiteral("Battery Power")).toDouble() > 0);
    const QJsonObject battery = properties.value(QStringLiteral("batteries")).toObject().value(QStringLiteral("BAT0")).toObject();
    QCOMPARE(battery.value(QStringLiteral("maximum")).toDouble(), 100.0);
    QVERIFY(battery.value(QStringLiteral("minimum")).toDouble() < battery.value(QStringLiteral("average")).toDouble());
}

void tst_KLVRRWCScriptingBus::settingStartAndEndMovesTheGraph()
{
    QDBusConnection listenerConnection = m_support.bus().connection(QStringLiteral("klvr-scripting-listener"));
    KLVRPropertiesListener listener;
    QVERIFY(listenerConnection.connect(KLVRRWCScriptingService::kServiceName, KLVRRWCScriptingService::kSlicePath,
                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"), &listener,
                                       SLOT(changed(QString, QVariantMap, QStringList))));

    KLVRRWCEntriesView *graph = m_window->entriesView();
    const QString threeDaysAgo = QDate::currentDate().addDays(-3).toString(Qt::ISODate);
    const QString twoDaysAgo = QDate::currentDate().addDays(-2).toString(Qt::ISODateWithMs);
    // A time of day is allowed; the range still starts at that day's midnight.
    const QString started = m_client->script({QStringLiteral("set-start"), threeDaysAgo + QStringLiteral("T15:30:00")})
                                .json()
                                .toString();
    QCOMPARE(started, KLVRRWCScriptingDate::toText(KLVRWindowTestSupport::dayAt(-3)));
    const QString ended = m_client->script({QStringLiteral("set-end"), twoDaysAgo}).json().toString();
    QCOMPARE(ended, KLVRRWCScriptingDate::toText(KLVRWindowTestSupport::dayAt(-1).addSeconds(-1)));

    const KLVRRWCAbsoluteDuration expected = KLVRRWCAbsoluteDuration::absoluteDurationFromDate(
        KLVRWindowTestSupport::dayAt(-3), KLVRWindowTestSupport::dayAt(-1).addSeconds(-1));
    QVERIFY(m_window->dateRange()->absoluteDuration().equal(expected));
    // The graph draws the new range.
    QTRY_VERIFY(graph->cell().scaleRange().equal(expected));
    // Scripts that watch the slice hear of the new range.
    QTRY_VERIFY(listener.last.value(QStringLiteral("end")).toString() == ended);
    QCOMPARE(listener.interface, QStringLiteral("com.klvr.restwatch.LogSlice"));
    QCOMPARE(listener.last.value(QStringLiteral("start")).toString(), started);
    QVERIFY(listener.invalidated.contains(QStringLiteral("awake")));
    const QJsonObject properties = slice();
    QCOMPARE(properties.value(QStringLiteral("duration")).toDouble(), 2 * 86400.0 - 1);
    QCOMPARE(properties.value(QStringLiteral("eventCount")).toInt(), int(m_window->log()->countOfVisibleEntries()));

    const QJsonObject refused = m_client->script({QStringLiteral("set-start"), QStringLiteral("last tuesday")})
                                    .json()
                                    .toObject();
    QCOMPARE(refused.value(QStringLiteral("error")).toString(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    QVERIFY(m_window->dateRange()->absoluteDuration().equal(expected));
}

void tst_KLVRRWCScriptingBus::exportWritesThePicture_data()
{
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<QSize>("size");
    QTest::newRow("the graph's own size") << QVariantMap() << QSize();
    QTest::newRow("widest and lowest") << QVariantMap{{QStringLiteral("width"), 15000}, {QStringLiteral("height"), 150}}
                                       << QSize(15000, 150);
    QTest::newRow("real sizes, no title or border")
        << QVariantMap{{QStringLiteral("width"), 800.0}, {QStringLiteral("height"), 300.0},
                       {QStringLiteral("title"), false}, {QStringLiteral("border"), 0}}
        << QSize(800, 300);
}

void tst_KLVRRWCScriptingBus::exportWritesThePicture()
{
    QFETCH(QVariantMap, arguments);
    QFETCH(QSize, size);
    KLVRRWCEntriesView *graph = m_window->entriesView();
    if (size.isEmpty())
        size = graph->size();
    const QString file = m_files.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png"));
    arguments.insert(QStringLiteral("destinationFile"), QUrl::fromLocalFile(file).toString());
    const bool titled = graph->isTitled();
    const QJsonObject result = m_client->script({QStringLiteral("export"),
                                                 QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(arguments)).toJson())})
                                   .json()
                                   .toObject();
    QVERIFY2(result.value(QStringLiteral("written")).toBool(), qPrintable(QJsonDocument(result).toJson()));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.read(8).startsWith("\x89PNG"));
    const QImage image(file);
    QCOMPARE(image.size(), size);
    // The picture has the graph in it, not a blank page.
    QVERIFY(image.pixelColor(image.width() / 2, image.height() / 2) != QColor(Qt::white)
            || image.pixelColor(image.width() / 3, image.height() * 2 / 3) != QColor(Qt::white));
    QCOMPARE(graph->isTitled(), titled);
    if (size == QSize(800, 300))
        image.save(QCoreApplication::applicationDirPath() + QStringLiteral("/scripted-export.png"));
}

void tst_KLVRRWCScriptingBus::refusedArgumentWritesNothing_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("message");
    const QString small = QStringLiteral("com.klvr.restwatch.Error.ParameterTooSmall");
    const QString large = QStringLiteral("com.klvr.restwatch.Error.ParameterTooLarge");
    const QString tooSmall = QStringLiteral("Parameter too small (-1702)");
    const QString tooLarge = QStringLiteral("Parameter too large (-1702)");
    QTest::newRow("width 100") << "width" << QVariant(100) << small << tooSmall;
    QTest::newRow("width 149.5") << "width" << QVariant(149.5) << small << tooSmall;
    QTest::newRow("width 15001") << "width" << QVariant(15001) << large << tooLarge;
    QTest::newRow("height 0") << "height" << QVariant(0) << small << tooSmall;
    QTest::newRow("height 20000") << "height" << QVariant(20000) << large << tooLarge;
    QTest::newRow("title 2") << "title" << QVariant(2) << large << tooLarge;
    QTest::newRow("border -1") << "border" << QVariant(-1) << small << tooSmall;
    QTest::newRow("width as text") << "width" << QVariant(QStringLiteral("wide"))
                                   << QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")
                                   << QStringLiteral("width is not a number");
}

void tst_KLVRRWCScriptingBus::refusedArgumentWritesNothing()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    QFETCH(QString, message);
    const QString file = m_files.filePath(QStringLiteral("refused.png"));
    const QJsonObject arguments{{QStringLiteral("destinationFile"), file}, {key, QJsonValue::fromVariant(value)}};
    const QJsonObject result =
        m_client->script({QStringLiteral("export"), QString::fromUtf8(QJsonDocument(arguments).toJson())}).json().toObject();
    QCOMPARE(result.value(QStringLiteral("error")).toString(), error);
    QCOMPARE(result.value(QStringLiteral("message")).toString(), message);
    QVERIFY(!QFile::exists(file));
}

void tst_KLVRRWCScriptingBus::unwritableDestinationIsReported_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing folder") << m_files.filePath(QStringLiteral("no such folder/graph.png"));
    QTest::newRow("a folder") << m_files.path();
}

void tst_KLVRRWCScriptingBus::unwritableDestinationIsReported()
{
    QFETCH(QString, file);
    const QJsonObject arguments{{QStringLiteral("destinationFile"), file}};
    const QJsonObject result =
        m_client->script({QStringLiteral("export"), QString::fromUtf8(QJsonDocument(arguments).toJson())}).json().toObject();
    QCOMPARE(result.value(QStringLiteral("error")).toString(), QStringLiteral("com.klvr.restwatch.Error.UnableToCreateFile"));
    QCOMPARE(result.value(QStringLiteral("message")).toString(), QStringLiteral("Unable to create file (-43)"));
}

void tst_KLVRRWCScriptingBus::twoScriptsAtOnceAndASecondWindow()
{
    const std::vector<KLVRScriptingClient::Result> results = KLVRScriptingClient::finish(
        {m_client->startScript({QStringLiteral("entries"), QStringLiteral("7")}),
         m_client->startScript({QStringLiteral("entries"), QStringLiteral("13")}), m_client->startScript({QStringLiteral("slice")})});
    QCOMPARE(results[0].exitCode, 0);
    QCOMPARE(results[1].exitCode, 0);
    QCOMPARE(results[2].exitCode, 0);
    QCOMPARE(results[0].json().toObject().value(QStringLiteral("entries")).toArray().size(), int(m_window->log()->count()));
    QCOMPARE(results[0].json(), results[1].json());
    QCOMPARE(results[2].json().toObject().value(QStringLiteral("title")).toString(),
             m_window->dateRange()->absoluteDuration().periodDescription());

    // A second window on the same bus runs without scripting; the first keeps the name.
    KLVRRWClientAppDelegate secondDelegate;
    std::unique_ptr<KLVRRWCMainWindow> second = m_support.makeWindow();
    secondDelegate.setWindow(second.get());
    QDBusConnection otherConnection = m_support.bus().connection(QStringLiteral("klvr-second-window"));
    QVERIFY(!secondDelegate.startScripting(otherConnection));
    QCOMPARE(m_support.connection().interface()->serviceOwner(KLVRRWCScriptingService::kServiceName).value(),
             m_support.connection().baseService());
    QCOMPARE(slice().value(QStringLiteral("title")).toString(), m_window->dateRange()->absoluteDuration().periodDescription());
}

QTEST_MAIN(tst_KLVRRWCScriptingBus)
#include "tst_KLVRRWCScriptingBus.moc"
