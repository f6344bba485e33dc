// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCCommandLine.h"

#include <QDBusConnection>
#include <QTextStream>

class KLVRRWCLogSliceProxy;
struct KLVRRWCScriptingError;

// Runs one command for scripts: through the running window's scripting objects when a window
// serves them on the session bus, and otherwise on a headless log filled from the cache and
// the agent. A command given a range shows that range in the window only while it runs and
// puts the window's own range back afterwards. Returns the process exit code.
class KLVRRWCCommandRunner
{
public:
    KLVRRWCCommandRunner(const KLVRRWCCommandLine &commandLine, const QDBusConnection &systemBus,
                         const QDBusConnection &sessionBus, QTextStream &output, QTextStream &errors);

    int run();
    // Whether a window serves the scripting objects on the session bus.
    bool windowIsRunning() const;

private:
    int printLog();
    int summary();
    int exportGraph();
    int exportLog();
    // The exit code and message for a refused export.
    int exportFailed(const KLVRRWCScriptingError &error);
    int busFailed(const QString &message);
    QVariantMap exportArguments() const;

    const KLVRRWCCommandLine &m_commandLine;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QTextStream &m_output;
    QTextStream &m_errors;
};
