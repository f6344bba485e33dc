// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The restwatch program's commands for scripts, run as scripts run them: against two days of a
// laptop's life in the cache, headless and through a running window on a private session bus.
#include "KLVRAbsoluteTime.h"
#include "KLVRBundle.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"
#include "KLVRRecordTestSupport.h"
#include "KLVRScriptingClient.h"
#include "KLVRWindowTestSupport.h"

#include <QDate>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace KLVRRecordTest;

namespace {

const QString kProgram = QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch");
const QString kFirstDay = QStringLiteral("2026-11-02");

KLVRAbsoluteTime at(int day, int hour, int minute, int second = 0)
{
    const QDateTime local(QDate(2026, 11, 2).addDays(day), QTime(hour, minute, second), QTimeZone::systemTimeZone());
    return KLVRAbsoluteTime::fromDateTime(local);
}

QVariantMap battery(KLVRAbsoluteTime when, bool mains, bool charging, int percent)
{
    return record(when, kPowerSource, QStringLiteral("Power state changed"),
                  batteryProperties(mains ? QStringLiteral("AC Power") : QStringLiteral("Battery Power"), charging, percent));
}

// Monday 2 and Tuesday 3 November 2026 in Berlin (UTC+1, no clock change on either day).
QList<QVariantMap> twoDays()
{
    return {record(at(0, 8, 0), kLast, QStringLiteral("accounting boot"), {{QStringLiteral("event_time"), at(0, 8, 0).seconds()}}),
            record(at(0, 8, 0, 30), kAgent, QStringLiteral("Starting monitor")),
            battery(at(0, 8, 1), false, false, 90),
            record(at(0, 12, 0), kPowerEvents, QStringLiteral("Can system sleep"), {{QStringLiteral("Idle Seconds"), 600}}),
            record(at(0, 12, 0, 2), kPowerEvents, QStringLiteral("System will sleep")),
            record(at(0, 13, 30), kPowerEvents, QStringLiteral("System has powered on")),
            battery(at(0, 13, 30, 5), false, false, 70),
            battery(at(0, 14, 0), true, true, 70),
            battery(at(0, 18, 0), true, false, 100),
            record(at(0, 22, 0), kAgent, QStringLiteral("Stopping monitor")),
            record(at(0, 22, 0, 5), kLast, QStringLiteral("accounting shut down"), {{QStringLiteral("event_time"), at(0, 22, 0, 5).seconds()}}),
            record(at(1, 7, 0), kLast, QStringLiteral("accounting boot"), {{QStringLiteral("event_time"), at(1, 7, 0).seconds()}}),
            record(at(1, 7, 0, 20), kAgent, QStringLiteral("Starting monitor")),
            battery(at(1, 7, 1), false, false, 95)};
}

} // namespace

class tst_KLVRRWCCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void badArgumentsGiveUsageAndExitTwo_data();
    void badArgumentsGiveUsageAndExitTwo();
    void helpDocumentsTheExitCodes();
    void summaryOfOneDayHeadlessAndThroughTheWindow();
    void printLogAsJsonRoundTripsDates();
    void printLogAsTabSeparatedValues();
    void printLogThroughTheWindowMatchesHeadless();
    void exportGraphHeadless();

private:
    KLVRScriptingClient::Result restwatch(const QStringList &arguments);
    void openWindow();

    KLVRWindowTestSupport m_support;
    std::unique_ptr<KLVRScriptingClient> m_client;
    std::unique_ptr<KLVRRWClientAppDelegate> m_delegate;
    std::unique_ptr<KLVRRWCMainWindow> m_window;
    QTemporaryDir m_files;
    QTemporaryDir m_runtime;
};

void tst_KLVRRWCCommandLine::initTestCase()
{
    useBerlinTime();
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QVERIFY(m_support.resetTree());
    KLVRWindowTestSupport::clearUserDefaults();
    QVERIFY(m_support.startBus());
    m_client = std::make_unique<KLVRScriptingClient>(m_support.bus().address());
    KLVRRWCStore store(m_support.connection(), m_support.connection());
    store.cacheEvents(twoDays());
}

void tst_KLVRRWCCommandLine::cleanup()
{
    m_delegate.reset();
    m_window.reset();
}

KLVRScriptingClient::Result tst_KLVRRWCCommandLine::restwatch(const QStringList &arguments)
{
    QProcessEnvironment environment = m_support.bus().environment();
    // Headless unless a window is asked for: no display for the program itself.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    return KLVRScriptingClient::finish({m_client->startProgram(kProgram, arguments, environment)}).front();
}

void tst_KLVRRWCCommandLine::openWindow()
{
    m_delegate = std::make_unique<KLVRRWClientAppDelegate>();
    m_window = m_support.makeWindow();
    m_delegate->setWindow(m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_delegate->applicationDidFinishLaunching();
    QTRY_VERIFY(m_window->log()->count() > 0);
    QVERIFY(m_delegate->startScripting(m_support.connection()));
}

void tst_KLVRRWCCommandLine::badArgumentsGiveUsageAndExitTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("unknown option") << QStringList{"--sumary"} << "sumary";
    QTest::newRow("two commands") << QStringList{"--summary", "--print-log"} << "cannot be used together";
    QTest::newRow("stray word") << QStringList{"--summary", "today"} << "unexpected argument 'today'";
    QTest::newRow("unknown range") << QStringList{"--summary", "--range", "tomorrow"} << "--range";
    QTest::newRow("range backwards") << QStringList{"--summary", "--range", "2026-11-03..2026-11-02"} << "--range";
    QTest::newRow("option of another command") << QStringList{"--summary", "--from", "2026-11-02"} << "--from cannot be used with --summary";
    QTest::newRow("option without command") << QStringList{"--json"} << "needs a command";
    QTest::newRow("unknown format") << QStringList{"--print-log", "--format", "xml"} << "--format";
    QTest::newRow("impossible date") << QStringList{"--print-log", "--from", "2026-13-01"} << "--from";
    QTest::newRow("to before from") << QStringList{"--print-log", "--from", "2026-11-03", "--to", "2026-11-02"} << "--to";
    QTest::newRow("file missing") << QStringList{"--export-graph"} << "export-graph";
    QTest::newRow("width not a number") << QStringList{"--export-graph", "g.png", "--width", "wide"} << "--width";
    QTest::newRow("width below bound") << QStringList{"--export-graph", "g.png", "--width", "100"} << "--width: Parameter too small (-1702)";
    QTest::newRow("height above bound") << QStringList{"--export-graph", "g.png", "--height", "15001"} << "--height: Parameter too large (-1702)";
}

void tst_KLVRRWCCommandLine::badArgumentsGiveUsageAndExitTwo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    // Relative file names land in the test's folder, which must stay without them.
    const QString picture = QDir::current().filePath(QStringLiteral("g.png"));
    QFile::remove(picture);
    const KLVRScriptingClient::Result result = restwatch(arguments);
    const QString errors = QString::fromUtf8(result.errors);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(errors.startsWith(QLatin1String("restwatch: ")) && errors.contains(complaint), qPrintable(errors));
    QVERIFY2(errors.contains(QLatin1String("restwatch --help")), qPrintable(errors));
    QVERIFY(result.output.isEmpty());
    QVERIFY(!QFile::exists(picture));
}

void tst_KLVRRWCCommandLine::helpDocumentsTheExitCodes()
{
    const KLVRScriptingClient::Result result = restwatch({QStringLiteral("--help")});
    QCOMPARE(result.exitCode, 0);
    const QString help = QString::fromUtf8(result.output);
    for (const char *text : {"--summary", "--print-log", "--export-graph", "--range", "--format", "Exit status",
                             "2  usage error"})
        QVERIFY2(help.contains(QLatin1String(text)), text);
}

void tst_KLVRRWCCommandLine::summaryOfOneDayHeadlessAndThroughTheWindow()
{
    // Monday 2 November, 00:00:00 to 23:59:59 (86399 s), by the statistics algorithm:
    // - the range starts before the first entry (the boot at 08:00:00), and with nothing known
    //   before it the usage state at 00:00 is "Awake"; the power source is "Unknown";
    // - agent entries (08:00:30, 22:00:00) change nothing; the idle-sleep query begins no state;
    // - usage: Awake 00:00:00-08:00:00 = 28800; On 08:00:00-12:00:02 = 14402;
    //   Asleep 12:00:02-13:30:00 = 5398; Awake 13:30:00-22:00:05 = 30605;
    //   Off 22:00:05-23:59:59 = 7194. Awake = 28800 + 30605 = 59405.
    //   Sum 59405 + 14402 + 5398 + 7194 = 86399.
    // - power source: Unknown 00:00:00-08:01:00 = 28860; Battery Power 08:01:00-14:00:00
    //   = 21540 (the reading at 13:30:05 repeats it); AC Power 14:00:00-23:59:59 = 35999.
    //   Sum 28860 + 21540 + 35999 = 86399.
    // - BAT0 read 90, 70, 70 and 100 percent: minimum 70, maximum 100.
    const QStringList arguments{QStringLiteral("--summary"), QStringLiteral("--range"), kFirstDay + QStringLiteral("..") + kFirstDay,
                                QStringLiteral("--json")};
    const KLVRScriptingClient::Result headless = restwatch(arguments);
    QVERIFY2(headless.exitCode == 0, headless.errors.constData());
    const QJsonObject figures = headless.json().toObject();
    QCOMPARE(figures.value(QStringLiteral("start")).toString(), QStringLiteral("2026-11-02T00:00:00+01:00"));
    QCOMPARE(figures.value(QStringLiteral("end")).toString(), QStringLiteral("2026-11-02T23:59:59+01:00"));
    QCOMPARE(figures.value(QStringLiteral("duration")).toDouble(), 86399.0);
    QCOMPARE(figures.value(QStringLiteral("awake")).toDouble(), 59405.0);
    QCOMPARE(figures.value(QStringLiteral("asleep")).toDouble(), 5398.0);
    QCOMPARE(figures.value(QStringLiteral("off")).toDouble(), 7194.0);
    const QJsonObject usage = figures.value(QStringLiteral("usage")).toObject();
    QCOMPARE(usage.value(QStringLiteral("On")).toDouble(), 14402.0);
    QCOMPARE(usage.size(), 4);
    const QJsonObject powerSource = figures.value(QStringLiteral("powerSource")).toObject();
    QCOMPARE(powerSource.value(QStringLiteral("Unknown")).toDouble(), 28860.0);
    QCOMPARE(powerSource.value(QStringLiteral("Battery Power")).toDouble(), 21540.0);
    QCOMPARE(powerSource.value(QStringLiteral("AC Power")).toDouble(), 35999.0);
    const QJsonObject bat0 = figures.value(QStringLiteral("batteries")).toObject().value(QStringLiteral("BAT0")).toObject();
    QCOMPARE(bat0.value(QStringLiteral("minimum")).toDouble(), 70.0);
    QCOMPARE(bat0.value(QStringLiteral("maximum")).toDouble(), 100.0);
    QVERIFY(!figures.value(QStringLiteral("title")).toString().isEmpty());

    // Text for people: the same seconds.
    const KLVRScriptingClient::Result text = restwatch(arguments.mid(0, 3));
    QCOMPARE(text.exitCode, 0);
    const QString printed = QString::fromUtf8(text.output);
    for (const char *line : {"Awake:          59405 s", "Asleep:         5398 s", "Off:            7194 s", "  AC Power:     35999 s"})
        QVERIFY2(printed.contains(QLatin1String(line)), qPrintable(printed));

    // The running window answers the same, and shows its own range again afterwards.
    openWindow();
    const KLVRRWCAbsoluteDuration shown = m_window->dateRange()->absoluteDuration();
    QSignalSpy rangeChanges(m_window->dateRange(), &KLVRRWCDateRangeController::absoluteDurationChanged);
    const KLVRScriptingClient::Result throughWindow = restwatch(arguments);
    QVERIFY2(throughWindow.exitCode == 0, throughWindow.errors.constData());
    QVERIFY(rangeChanges.size() >= 2);
    QVERIFY(m_window->dateRange()->absoluteDuration().equal(shown));
    QCOMPARE(throughWindow.json().toObject(), figures);
}

void tst_KLVRRWCCommandLine::printLogAsJsonRoundTripsDates()
{
    const KLVRScriptingClient::Result result =
        restwatch({QStringLiteral("--print-log"), QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--from"),
                   QStringLiteral("2026-11-02T12:00:00+01:00"), QStringLiteral("--to"), kFirstDay});
    QVERIFY2(result.exitCode == 0, result.errors.constData());
    // Python's own reader: every date back as the instant it was recorded.
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import datetime, json, sys\n"
                                                       "entries = json.load(sys.stdin)\n"
                                                       "print(json.dumps([[datetime.datetime.fromisoformat(e['date']).timestamp(),"
                                                       " e['summary']] for e in entries]))")});
    QVERIFY(python.waitForStarted());
    python.write(result.output);
    python.closeWriteChannel();
    QVERIFY(python.waitForFinished());
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonArray dates = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    // From noon to the end of the day: the sleep query and everything after it up to the shutdown.
    QList<KLVRAbsoluteTime> expected;
    for (const QVariantMap &event : twoDays()) {
        const KLVRAbsoluteTime date = KLVRAbsoluteTime::fromText(event.value(QStringLiteral("date")).toString());
        if (date >= at(0, 12, 0) && date < at(1, 0, 0))
            expected << date;
    }
    QCOMPARE(dates.size(), expected.size());
    for (int i = 0; i < dates.size(); ++i) {
        const QJsonArray entry = dates.at(i).toArray();
        QCOMPARE(entry.at(0).toDouble(), expected.at(i).toUnix());
        QVERIFY(!entry.at(1).toString().isEmpty());
    }
}

void tst_KLVRRWCCommandLine::printLogAsTabSeparatedValues()
{
    const KLVRScriptingClient::Result result =
        restwatch({QStringLiteral("--print-log"), QStringLiteral("--format"), QStringLiteral("tsv"), QStringLiteral("--from"),
                   QStringLiteral("2026-11-03")});
    QVERIFY2(result.exitCode == 0, result.errors.constData());
    const QStringList lines = QString::fromUtf8(result.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("date\tsummary\tmonitor\tgroup\tattributes"));
    QCOMPARE(lines.size(), 1 + 3);
    for (const QString &line : lines)
        QCOMPARE(line.count(QLatin1Char('\t')), 4);
    QVERIFY(lines.at(1).startsWith(QLatin1String("2026-11-03T07:00:00+01:00\t")));
}

void tst_KLVRRWCCommandLine::printLogThroughTheWindowMatchesHeadless()
{
    const QStringList arguments{QStringLiteral("--print-log"), QStringLiteral("--format"), QStringLiteral("tsv")};
    const KLVRScriptingClient::Result headless = restwatch(arguments);
    QCOMPARE(headless.exitCode, 0);
    openWindow();
    const KLVRScriptingClient::Result throughWindow = restwatch(arguments);
    QCOMPARE(throughWindow.exitCode, 0);
    QCOMPARE(throughWindow.output, headless.output);
    // Every entry, with its attributes (sent apart from the entries) where it has some.
    QCOMPARE(throughWindow.output.count('\n'), 1 + int(m_window->log()->count()));
    int withAttributes = 0;
    for (const QByteArray &line : throughWindow.output.split('\n'))
        withAttributes += line.split('\t').size() == 5 && !line.split('\t').at(4).isEmpty();
    QVERIFY(withAttributes > 1);
}

void tst_KLVRRWCCommandLine::exportGraphHeadless()
{
    const QString file = m_files.filePath(QStringLiteral("two-days.png"));
    const KLVRScriptingClient::Result result =
        restwatch({QStringLiteral("--export-graph"), file, QStringLiteral("--range"), QStringLiteral("2026-11-02..2026-11-03"),
                   QStringLiteral("--width"), QStringLiteral("900"), QStringLiteral("--height"), QStringLiteral("300")});
    QVERIFY2(result.exitCode == 0, result.errors.constData());
    const QImage image(file);
    QCOMPARE(image.size(), QSize(900, 300));
    image.save(QCoreApplication::applicationDirPath() + QStringLiteral("/headless-export.png"));

    const KLVRScriptingClient::Result unwritable =
        restwatch({QStringLiteral("--export-graph"), m_files.filePath(QStringLiteral("missing/x.png"))});
    QCOMPARE(unwritable.exitCode, 1);
    QVERIFY2(unwritable.errors.contains("Unable to create file (-43)"), unwritable.errors.constData());
}

QTEST_MAIN(tst_KLVRRWCCommandLine)
#include "tst_KLVRRWCCommandLine.moc"
