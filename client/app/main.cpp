// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRRWCCommandLine.h"
#include "KLVRRWCCommandRunner.h"
#include "KLVRRWCGuardedApplication.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWClientAppDelegate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTextStream>
#include <QTimer>
#include <memory>

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runWindow()
{
    KLVRRWClientAppDelegate delegate;
    KLVRRWCMainWindow window(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
    delegate.setWindow(&window);
    delegate.startScripting(QDBusConnection::sessionBus());
    window.show();
    QTimer::singleShot(0, &delegate, &KLVRRWClientAppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    KLVRRWCCommandLine commandLine;
    const bool parsed = commandLine.parse(argumentsOf(argc, argv));
    const bool display = hasDisplay();
    // Pictures for scripts are drawn without a screen where there is none.
    const bool picture = commandLine.command() == KLVRRWCCommandLine::Command::ExportGraph
                         || commandLine.command() == KLVRRWCCommandLine::Command::Export;
    if (parsed && picture && !display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool gui = parsed && commandLine.needsGui() && (display || commandLine.command() != KLVRRWCCommandLine::Command::Window);
    std::unique_ptr<QCoreApplication> application;
    if (gui)
        application = std::make_unique<KLVRRWCGuardedApplication<QApplication>>(argc, argv);
    else
        application = std::make_unique<KLVRRWCGuardedApplication<QCoreApplication>>(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QCoreApplication::setApplicationName(KLVRBundle::main().name());
    QCoreApplication::setApplicationVersion(KLVRBundle::main().version());

    QTextStream output(stdout);
    QTextStream errors(stderr);
    if (!parsed) {
        errors << "restwatch: " << commandLine.errorText() << '\n' << KLVRRWCCommandLine::usageHint() << '\n';
        return KLVRRWCCommandLine::UsageError;
    }
    switch (commandLine.command()) {
    case KLVRRWCCommandLine::Command::Help:
        output << commandLine.helpText();
        return KLVRRWCCommandLine::Success;
    case KLVRRWCCommandLine::Command::Version:
        output << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return KLVRRWCCommandLine::Success;
    case KLVRRWCCommandLine::Command::Window:
        if (display)
            return runWindow();
        errors << "restwatch: no display (DISPLAY and WAYLAND_DISPLAY are not set); printing the log instead.\n";
        errors.flush();
        commandLine.parse({QStringLiteral("restwatch"), QStringLiteral("--print-log")});
        break;
    default:
        break;
    }
    return KLVRRWCCommandRunner(commandLine, QDBusConnection::systemBus(), QDBusConnection::sessionBus(), output, errors)
        .run();
}
