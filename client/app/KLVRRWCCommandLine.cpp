// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCCommandLine.h"

#include "KLVRRWCScriptingDate.h"

#include <QLocale>
#include <QTimeZone>

namespace {

using Command = KLVRRWCCommandLine::Command;

const QString kEpilog = QStringLiteral(R"(
Commands for scripts (each talks to the running Rest Watch window over the session bus when
there is one, and otherwise reads the cache and the agent itself):
  --print-log [--from DATE] [--to DATE] [--format text|tsv|json]
  --summary [--range RANGE] [--json]
  --export-graph FILE [--width N] [--height N] [--range RANGE]
  --export FILE [--format rtf|txt|plist|docx|png|tiff] [--width N] [--height N] [--range RANGE]
DATE is an ISO 8601 date (2026-11-02, the whole day) or date and time
(2026-11-02T08:00:00+01:00). RANGE is today, yesterday, week (Monday to Sunday), month, or
DATE..DATE; without it the range the window shows (or showed last) is used. Seconds in the
summary are those of the range, up to now.

Exit status:
  0  success
  1  failure: no events to read, the agent or the window did not answer, the file could not
     be written (-43)
  2  usage error: an unknown option, a missing or malformed value, a picture size outside
     150 to 15000 (-1702), an unknown export format

Examples:
  restwatch --summary --range yesterday --json
  restwatch --print-log --from 2026-11-02 --format tsv
  restwatch --export-graph ~/week.png --range week --width 1600 --height 400
  restwatch --export ~/history.docx)");

bool readNumber(const QString &text, std::optional<double> &value)
{
    bool ok = false;
    const double number = QLocale::c().toDouble(text, &ok);
    if (!ok)
        return false;
    value = number;
    return true;
}

} // namespace

KLVRRWCCommandLine::KLVRRWCCommandLine()
{
    m_parser.setApplicationDescription(QStringLiteral("Shows what the computer's power management did."));
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_commands = {{QStringLiteral("print-log"), Command::PrintLog},
                  {QStringLiteral("summary"), Command::Summary},
                  {QStringLiteral("export-graph"), Command::ExportGraph},
                  {QStringLiteral("export"), Command::Export}};
    const QList<Command> all{Command::PrintLog, Command::Summary, Command::ExportGraph, Command::Export};
    m_rules = {
        {QCommandLineOption(QStringLiteral("print-log"),
                            QStringLiteral("Print every log entry (by default one tab-separated line each).")),
         all},
        {QCommandLineOption(QStringLiteral("summary"),
                            QStringLiteral("Print the range's title and how its time divided: awake, asleep, off, "
                                           "power sources and batteries.")),
         all},
        {QCommandLineOption(QStringLiteral("export-graph"), QStringLiteral("Write the range's graph as a PNG image."),
                            QStringLiteral("FILE")),
         all},
        {QCommandLineOption(QStringLiteral("export"),
                            QStringLiteral("Write every log entry (or, for png and tiff, the range's graph) to FILE."),
                            QStringLiteral("FILE")),
         all},
        {QCommandLineOption(QStringLiteral("from"), QStringLiteral("--print-log: entries from DATE on."),
                            QStringLiteral("DATE")),
         {Command::PrintLog}},
        {QCommandLineOption(QStringLiteral("to"), QStringLiteral("--print-log: entries up to DATE."),
                            QStringLiteral("DATE")),
         {Command::PrintLog}},
        {QCommandLineOption(QStringLiteral("format"),
                            QStringLiteral("--print-log: text (default), tsv (with a header line, ISO dates) or json "
                                           "(an array of objects). --export: rtf, txt, plist, docx, png or tiff "
                                           "(default: the file's extension)."),
                            QStringLiteral("FORMAT")),
         {Command::PrintLog, Command::Export}},
        {QCommandLineOption(QStringLiteral("range"), QStringLiteral("--summary, --export-graph, --export: the days to show."),
                            QStringLiteral("RANGE")),
         {Command::Summary, Command::ExportGraph, Command::Export}},
        {QCommandLineOption(QStringLiteral("json"), QStringLiteral("--summary: print one JSON object.")),
         {Command::Summary}},
        {QCommandLineOption(QStringLiteral("width"),
                            QStringLiteral("--export-graph, --export: picture width, 150 to 15000 (default: the window's graph)."),
                            QStringLiteral("N")),
         {Command::ExportGraph, Command::Export}},
        {QCommandLineOption(QStringLiteral("height"),
                            QStringLiteral("--export-graph, --export: picture height, 150 to 15000 (default: the window's graph)."),
                            QStringLiteral("N")),
         {Command::ExportGraph, Command::Export}},
    };
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    for (const Rule &rule : std::as_const(m_rules))
        m_parser.addOption(rule.option);
}

QString KLVRRWCCommandLine::helpText() const
{
    return m_parser.helpText() + kEpilog + QLatin1Char('\n');
}

QString KLVRRWCCommandLine::usageHint()
{
    return QStringLiteral("Try 'restwatch --help' for more information.");
}

bool KLVRRWCCommandLine::fail(const QString &text)
{
    m_errorText = text;
    return false;
}

const KLVRRWCCommandLine::Rule *KLVRRWCCommandLine::rule(const QString &name) const
{
    for (const Rule &rule : m_rules) {
        if (rule.option.names().contains(name))
            return &rule;
    }
    return nullptr;
}

bool KLVRRWCCommandLine::parse(const QStringList &arguments)
{
    m_errorText.clear();
    m_command = Command::Window;
    if (!m_parser.parse(arguments))
        return fail(m_parser.errorText());
    if (!m_parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(m_parser.positionalArguments().constFirst()));
    if (m_parser.isSet(QStringLiteral("help"))) {
        m_command = Command::Help;
        return true;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        m_command = Command::Version;
        return true;
    }

    QString chosen;
    for (const auto &[name, command] : std::as_const(m_commands)) {
        if (!m_parser.isSet(name))
            continue;
        if (!chosen.isEmpty())
            return fail(QStringLiteral("--%1 and --%2 cannot be used together").arg(chosen, name));
        chosen = name;
        m_command = command;
    }
    for (const QString &name : m_parser.optionNames()) {
        const Rule *optionRule = rule(name);
        if (!optionRule || optionRule->commands.contains(m_command))
            continue;
        if (chosen.isEmpty())
            return fail(QStringLiteral("--%1 needs a command such as --print-log or --summary").arg(name));
        return fail(QStringLiteral("--%1 cannot be used with --%2").arg(name, chosen));
    }
    for (const QString &name : m_parser.optionNames()) {
        if (m_parser.values(name).size() > 1)
            return fail(QStringLiteral("--%1 is given more than once").arg(name));
    }

    const auto value = [this](const char *name) { return m_parser.value(QString::fromLatin1(name)); };
    if (m_parser.isSet(QStringLiteral("from"))) {
        m_from = KLVRRWCScriptingDate::fromText(value("from"));
        if (!m_from.isValid())
            return fail(QStringLiteral("--from: '%1' is not an ISO 8601 date").arg(value("from")));
    }
    if (m_parser.isSet(QStringLiteral("to"))) {
        const QString text = value("to");
        m_to = KLVRRWCScriptingDate::fromText(text);
        if (!m_to.isValid())
            return fail(QStringLiteral("--to: '%1' is not an ISO 8601 date").arg(text));
        // A day goes up to, not including, the next midnight.
        if (KLVRRWCScriptingDate::isDay(text)) {
            const QDate day = QDate::fromString(text.trimmed(), Qt::ISODate).addDays(1);
            m_to = KLVRAbsoluteTime::fromDateTime(day.startOfDay(QTimeZone::systemTimeZone())).addSeconds(-1e-6);
        }
    }
    if (m_from.isValid() && m_to.isValid() && m_to < m_from)
        return fail(QStringLiteral("--to lies before --from"));
    if (m_command == Command::Export) {
        m_exportFormat = value("format");
    } else if (m_parser.isSet(QStringLiteral("format"))) {
        const QString format = value("format");
        if (format == QLatin1String("text"))
            m_format = Format::Text;
        else if (format == QLatin1String("tsv"))
            m_format = Format::TSV;
        else if (format == QLatin1String("json"))
            m_format = Format::JSON;
        else
            return fail(QStringLiteral("--format: '%1' is none of text, tsv, json").arg(format));
    }
    if (m_parser.isSet(QStringLiteral("range"))) {
        m_range = value("range");
        QDate first;
        QDate last;
        if (!resolveRange(m_range, QDate::currentDate(), first, last))
            return fail(QStringLiteral("--range: '%1' is none of today, yesterday, week, month, DATE..DATE").arg(m_range));
    }
    m_json = m_parser.isSet(QStringLiteral("json"));
    if (m_command == Command::ExportGraph || m_command == Command::Export) {
        const char *name = m_command == Command::Export ? "export" : "export-graph";
        m_file = value(name);
        if (m_file.isEmpty())
            return fail(QStringLiteral("--%1 needs a file name").arg(QString::fromLatin1(name)));
    }
    for (const char *name : {"width", "height"}) {
        if (!m_parser.isSet(QString::fromLatin1(name)))
            continue;
        if (!readNumber(value(name), name[0] == 'w' ? m_width : m_height))
            return fail(QStringLiteral("--%1: '%2' is not a number").arg(QString::fromLatin1(name), value(name)));
    }
    return true;
}

bool KLVRRWCCommandLine::resolveRange(const QString &text, const QDate &today, QDate &first, QDate &last)
{
    if (text == QLatin1String("today")) {
        first = last = today;
    } else if (text == QLatin1String("yesterday")) {
        first = last = today.addDays(-1);
    } else if (text == QLatin1String("week")) {
        first = today.addDays(1 - today.dayOfWeek());
        last = first.addDays(6);
    } else if (text == QLatin1String("month")) {
        first = QDate(today.year(), today.month(), 1);
        last = first.addMonths(1).addDays(-1);
    } else {
        const QStringList days = text.split(QStringLiteral(".."));
        if (days.size() != 2 || !KLVRRWCScriptingDate::isDay(days[0]) || !KLVRRWCScriptingDate::isDay(days[1]))
            return false;
        first = QDate::fromString(days[0].trimmed(), Qt::ISODate);
        last = QDate::fromString(days[1].trimmed(), Qt::ISODate);
        if (!first.isValid() || !last.isValid() || last < first)
            return false;
    }
    return true;
}
