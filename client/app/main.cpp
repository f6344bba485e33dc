// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"
#include "KLVRBundle.h"
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
            || !std::strcmp(argument, "--version") || !std::strcmp(argument, "-v"))
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
    const bool window = display && !wantsNoWindow(argc, argv);
    std::unique_ptr<QCoreApplication> application;
    if (window)
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
    parser.process(*application);

    if (parser.isSet(printLogOption))
        return printLog();
    if (!display) {
        QTextStream(stderr) << "restwatch: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                               "printing the log instead.\n";
        return printLog();
    }
    return runWindow();
}
