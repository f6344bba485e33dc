// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCAbsoluteDuration.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextStream>
#include <optional>

class KLVRRWCLog;
class KLVRRWCStore;

// restwatch --export FILE [--format rtf|txt|plist|docx|png|tiff]: fills the log from the cache
// and then from the agent, as a launch does, and writes the export file without a window, for
// scripts and cron jobs. The format follows the file's extension unless given; the graph
// formats draw the chosen range (the last seven days when none) at the given size.
class KLVRRWCExportCommand : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCExportCommand)

public:
    static constexpr int kPullTimeout = 60 * 1000; // ms for the whole pull
    static constexpr double kDefaultWidth = 1024.0;
    static constexpr double kDefaultHeight = 384.0;

    struct Options
    {
        QString file;
        // "rtf", "txt", "plist", "docx", "png" or "tiff"; empty: from the file's extension.
        QString format;
        double width = kDefaultWidth;
        double height = kDefaultHeight;
        // The graph's range; none: the last seven days.
        std::optional<KLVRRWCAbsoluteDuration> range;
    };

    // Exit codes.
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

    // store and log: connected to each other already (the store's outlets set).
    KLVRRWCExportCommand(KLVRRWCStore *store, KLVRRWCLog *log, QObject *parent = nullptr);

    // The format tag the options ask for, or -1 with the message for errors.
    static int formatTag(const Options &options, QString *message);
    // Syncs, writes the file, and answers the exit code; messages go to errors.
    int run(const Options &options, QTextStream &errors);

private:
    bool fillLog(QTextStream &errors);

    QPointer<KLVRRWCStore> m_store;
    QPointer<KLVRRWCLog> m_log;
};
