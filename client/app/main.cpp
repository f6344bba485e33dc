// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentController.h"
#include "KLVRBundle.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogPrinter.h"
#include "KLVRRWCStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
    QCoreApplication::setApplicationName(KLVRBundle::main().name());
    QCoreApplication::setApplicationVersion(KLVRBundle::main().version());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows what the computer's power management did."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption printLog(QStringLiteral("print-log"),
                                      QStringLiteral("Sync with the agent and print every log entry as a tab-separated line."));
    parser.addOption(printLog);
    parser.process(application);

    QTextStream output(stdout);
    QTextStream errors(stderr);
    if (!parser.isSet(printLog)) {
        errors << "restwatch: only --print-log is available in this build.\n";
        return 2;
    }

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
