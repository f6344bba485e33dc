// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The restwatch command line: which command a run is for (the window, or one of the commands
// for scripts) and the options that go with it. Parsing only checks the words; the commands
// themselves run elsewhere. A command is one option (--print-log, --summary, --export-graph,
// --export);
// every other option says which commands it goes with, so adding a command means adding its
// option, its Command value and the commands to the rules of the options it takes.
class KLVRRWCCommandLine
{
public:
    enum class Command { Window, Help, Version, PrintLog, Summary, ExportGraph, Export };
    enum class Format { Text, TSV, JSON };
    // The process exit codes, as documented by --help.
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

    KLVRRWCCommandLine();

    // arguments: the program's arguments, its name first. False on a usage error (errorText()).
    bool parse(const QStringList &arguments);

    Command command() const { return m_command; }
    QString errorText() const { return m_errorText; }
    QString helpText() const;
    // One line telling where to find help, for usage errors.
    static QString usageHint();
    // Whether the command draws pictures (so the program needs a GUI application object).
    bool needsGui() const
    {
        return m_command == Command::Window || m_command == Command::ExportGraph || m_command == Command::Export;
    }

    // --print-log: entries from this time on and up to this time (each invalid when not given);
    // a day given without a time covers that whole day.
    KLVRAbsoluteTime from() const { return m_from; }
    KLVRAbsoluteTime to() const { return m_to; }
    Format format() const { return m_format; }
    // --summary and --export-graph: the range as written ("today", "2026-11-02..2026-11-03"), or
    // empty for the range the window shows.
    QString range() const { return m_range; }
    bool json() const { return m_json; }
    // --export: the format as written ("rtf", "txt", ...; empty: from the file's extension).
    QString exportFormat() const { return m_exportFormat; }
    // --export-graph and --export: the file, and the picture's size when given.
    QString file() const { return m_file; }
    std::optional<double> width() const { return m_width; }
    std::optional<double> height() const { return m_height; }

    // The first and last day of a range text, seen on the day today: "today", "yesterday",
    // "week" (Monday to Sunday of this week), "month" (this calendar month) or
    // "DAY..DAY" (ISO dates, the first not after the last). False for anything else.
    static bool resolveRange(const QString &text, const QDate &today, QDate &first, QDate &last);

private:
    struct Rule
    {
        QCommandLineOption option;
        QList<Command> commands;
    };

    bool fail(const QString &text);
    const Rule *rule(const QString &name) const;

    QCommandLineParser m_parser;
    QList<Rule> m_rules;
    QList<std::pair<QString, Command>> m_commands;
    Command m_command = Command::Window;
    QString m_errorText;
    KLVRAbsoluteTime m_from = KLVRAbsoluteTime::invalid();
    KLVRAbsoluteTime m_to = KLVRAbsoluteTime::invalid();
    Format m_format = Format::Text;
    QString m_range;
    QString m_exportFormat;
    bool m_json = false;
    QString m_file;
    std::optional<double> m_width;
    std::optional<double> m_height;
};
