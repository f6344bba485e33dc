// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"
#include "KLVRBundle.h"
#include "KLVRRWCExportCommand.h"
#include "KLVRRWCGuardedApplication.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogPrinter.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWClientAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTextStream>
#include <QTimer>
#include <cstring>
#include <memory>

namespace {

const char kPrintLog[] = "print-log";

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Options that need no window; decided before any application object exists.
bool wantsNoWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (!std::strcmp(argument, "--print-log") || !std::strcmp(argument, "--help") || !std::strcmp(argument, "-h")
            || !std::strcmp(argument, "--version") || !std::strcmp(argument, "-v") || !std::strcmp(argument, "--export")
            || !std::strncmp(argument, "--export=", 9))
            return true;
    }
    return false;
}

int printLog()
{
    QTextStream output(stdout);
    QTextStream errors(stderr);
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    const QDBusConnection sessionBus = QDBusConnection::sessionBus();
    KLVRAgentController agentController(systemBus, sessionBus);
    KLVRRWCLog log;
    KLVRRWCStore store(systemBus, sessionBus);
    store.setAgentController(&agentController);
    store.setLogController(&log);
    store.awakeFromNib();
    return KLVRRWCLogPrinter(&store, &log).run(output, errors);
}

// Exports need fonts and a painter, so they run in a GUI application even without a display.
bool wantsExport(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--export") || !std::strncmp(argv[i], "--export=", 9))
            return true;
    }
    return false;
}

int exportFile(const KLVRRWCExportCommand::Options &options)
{
    QTextStream errors(stderr);
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    const QDBusConnection sessionBus = QDBusConnection::sessionBus();
    KLVRAgentController agentController(systemBus, sessionBus);
    KLVRRWCLog log;
    KLVRRWCStore store(systemBus, sessionBus);
    store.setAgentController(&agentController);
    store.setLogController(&log);
    store.awakeFromNib();
    return KLVRRWCExportCommand(&store, &log).run(options, errors);
}

int runWindow()
{
    KLVRRWClientAppDelegate delegate;
    KLVRRWCMainWindow window(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
    delegate.setWindow(&window);
    window.show();
    QTimer::singleShot(0, &delegate, &KLVRRWClientAppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    const bool display = hasDisplay();
    const bool exporting = wantsExport(argc, argv);
    if (exporting && !display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool window = display && !wantsNoWindow(argc, argv);
    std::unique_ptr<QCoreApplication> application;
    if (window || exporting)
        application = std::make_unique<KLVRRWCGuardedApplication<QApplication>>(argc, argv);
    else
        application = std::make_unique<KLVRRWCGuardedApplication<QCoreApplication>>(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QCoreApplication::setApplicationName(KLVRBundle::main().name());
    QCoreApplication::setApplicationVersion(KLVRBundle::main().version());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows what the computer's power management did."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption printLogOption(QString::fromLatin1(kPrintLog),
                                            QStringLiteral("Sync with the agent and print every log entry as a tab-separated line."));
    parser.addOption(printLogOption);
    const QCommandLineOption exportOption(QStringLiteral("export"), QStringLiteral("Sync with the agent and export the log (or the graph) to FILE."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("The export's format: rtf, txt, plist, docx, png or tiff (default: the file's extension)."),
                                          QStringLiteral("FORMAT"));
    const QCommandLineOption widthOption(QStringLiteral("width"), QStringLiteral("The exported graph's width in pixels."),
                                         QStringLiteral("PIXELS"), QString::number(KLVRRWCExportCommand::kDefaultWidth));
    const QCommandLineOption heightOption(QStringLiteral("height"), QStringLiteral("The exported graph's height in pixels."),
                                          QStringLiteral("PIXELS"), QString::number(KLVRRWCExportCommand::kDefaultHeight));
    parser.addOptions({exportOption, formatOption, widthOption, heightOption});
    parser.process(*application);

    if (parser.isSet(printLogOption))
        return printLog();
    if (parser.isSet(exportOption)) {
        KLVRRWCExportCommand::Options options;
        options.file = parser.value(exportOption);
        options.format = parser.value(formatOption);
        bool widthRead = false;
        bool heightRead = false;
        options.width = parser.value(widthOption).toDouble(&widthRead);
        options.height = parser.value(heightOption).toDouble(&heightRead);
        if (!widthRead || !heightRead) {
            QTextStream(stderr) << "restwatch: --width and --height take a number of pixels.\n";
            return KLVRRWCExportCommand::UsageError;
        }
        return exportFile(options);
    }
    if (!display) {
        QTextStream(stderr) << "restwatch: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                               "printing the log instead.\n";
        return printLog();
    }
    return runWindow();
}
