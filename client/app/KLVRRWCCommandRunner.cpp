// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCCommandRunner.h"

#include "KLVRRWCDatabaseProxy.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCEntriesViewPicture.h"
#include "KLVRRWCExportCommand.h"
#include "KLVRAgentController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"
#include "KLVRRWCHeadlessLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogSliceProxy.h"
#include "KLVRRWCScriptOutput.h"
#include "KLVRRWCScriptingDatabase.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingError.h"
#include "KLVRRWCScriptingExport.h"
#include "KLVRRWCScriptingService.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTimeZone>

namespace {

constexpr int kCallTimeout = 60 * 1000; // ms; a year of figures or a large picture takes a while

QString dayText(const QDate &day)
{
    return day.toString(Qt::ISODate);
}

// Shows a range in the window for the life of the object and then puts the window's own back.
class KLVRRangeOverride
{
public:
    KLVRRangeOverride(KLVRRWCLogSliceProxy &slice, const QString &range)
        : m_slice(slice)
    {
        QDate first;
        QDate last;
        if (range.isEmpty() || !KLVRRWCCommandLine::resolveRange(range, QDate::currentDate(), first, last))
            return;
        m_start = slice.start();
        m_end = slice.end();
        m_active = !m_start.isEmpty() && !m_end.isEmpty();
        apply(dayText(first), dayText(last));
    }
    ~KLVRRangeOverride()
    {
        if (m_active)
            apply(m_start, m_end);
    }
    Q_DISABLE_COPY(KLVRRangeOverride)

private:
    void apply(const QString &start, const QString &end)
    {
        m_slice.setStartingDay(start).waitForFinished();
        m_slice.setEndingDay(end).waitForFinished();
    }

    KLVRRWCLogSliceProxy &m_slice;
    QString m_start;
    QString m_end;
    bool m_active = false;
};

} // namespace

KLVRRWCCommandRunner::KLVRRWCCommandRunner(const KLVRRWCCommandLine &commandLine, const QDBusConnection &systemBus,
                                           const QDBusConnection &sessionBus, QTextStream &output, QTextStream &errors)
    : m_commandLine(commandLine)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
    , m_output(output)
    , m_errors(errors)
{
    KLVRRWCScriptingTypes::registerTypes();
}

int KLVRRWCCommandRunner::run()
{
    switch (m_commandLine.command()) {
    case KLVRRWCCommandLine::Command::PrintLog:
        return printLog();
    case KLVRRWCCommandLine::Command::Summary:
        return summary();
    case KLVRRWCCommandLine::Command::ExportGraph:
        return exportGraph();
    case KLVRRWCCommandLine::Command::Export:
        return exportLog();
    default:
        return KLVRRWCCommandLine::UsageError;
    }
}

bool KLVRRWCCommandRunner::windowIsRunning() const
{
    if (!m_sessionBus.isConnected() || !m_sessionBus.interface())
        return false;
    const QDBusReply<bool> reply = m_sessionBus.interface()->isServiceRegistered(KLVRRWCScriptingService::kServiceName);
    return reply.isValid() && reply.value();
}

int KLVRRWCCommandRunner::busFailed(const QString &message)
{
    m_errors << "restwatch: the Rest Watch window did not answer: " << message << '\n';
    m_errors.flush();
    return KLVRRWCCommandLine::Failure;
}

int KLVRRWCCommandRunner::printLog()
{
    KLVRRWCScriptRecords records;
    if (windowIsRunning()) {
        KLVRRWCDatabaseProxy database(KLVRRWCScriptingService::kServiceName, KLVRRWCScriptingService::kDatabasePath,
                                      m_sessionBus);
        database.setTimeout(kCallTimeout);
        const uint count = database.count();
        if (database.lastError().isValid())
            return busFailed(database.lastError().message());
        for (uint location = 0; location < count; location += KLVRRWCScriptingDatabase::kMaximumPage) {
            QDBusPendingReply<QVariantMap> page = database.entries(location, KLVRRWCScriptingDatabase::kMaximumPage);
            page.waitForFinished();
            if (page.isError())
                return busFailed(page.error().message());
            QDBusPendingReply<QStringList> attributes =
                database.attributesAsString(location, KLVRRWCScriptingDatabase::kMaximumPage);
            attributes.waitForFinished();
            if (attributes.isError())
                return busFailed(attributes.error().message());
            KLVRRWCScriptRecords entries = KLVRRWCScriptingDatabase::recordsOfPage(page.value());
            const QStringList texts = attributes.value();
            for (qsizetype i = 0; i < entries.size() && i < texts.size(); ++i)
                entries[i].insert(QStringLiteral("attributes"), texts.at(i));
            records += entries;
        }
    } else {
        KLVRRWCHeadlessLog headless(m_systemBus, m_sessionBus);
        if (!headless.fill(m_errors))
            return KLVRRWCCommandLine::Failure;
        const KLVRRWCLog &log = headless.log();
        records.reserve(log.count());
        for (qsizetype index = 0; index < log.count(); ++index) {
            QVariantMap record = KLVRRWCScriptingDatabase::scriptingProperties(log, index);
            record.insert(QStringLiteral("attributes"), log.objectAtIndex(index)->attributesAsString());
            records.append(record);
        }
    }
    KLVRRWCScriptOutput::printEntries(records, m_commandLine.format(), m_commandLine.from(), m_commandLine.to(), m_output);
    return KLVRRWCCommandLine::Success;
}

int KLVRRWCCommandRunner::summary()
{
    KLVRRWCSliceFigures figures;
    if (windowIsRunning()) {
        KLVRRWCLogSliceProxy slice(KLVRRWCScriptingService::kServiceName, KLVRRWCScriptingService::kSlicePath, m_sessionBus);
        slice.setTimeout(kCallTimeout);
        KLVRRangeOverride range(slice, m_commandLine.range());
        figures.start = KLVRRWCScriptingDate::fromText(slice.start());
        figures.end = KLVRRWCScriptingDate::fromText(slice.end());
        figures.duration = slice.duration();
        figures.title = slice.title();
        figures.eventCount = slice.eventCount();
        figures.usage = slice.summary();
        figures.powerSource = slice.powerSource();
        figures.batteries = slice.batteries();
        if (slice.lastError().isValid())
            return busFailed(slice.lastError().message());
    } else {
        KLVRRWCHeadlessLog headless(m_systemBus, m_sessionBus);
        if (!headless.fill(m_errors))
            return KLVRRWCCommandLine::Failure;
        QDate first;
        QDate last;
        if (KLVRRWCCommandLine::resolveRange(m_commandLine.range(), QDate::currentDate(), first, last)) {
            const QTimeZone zone = QTimeZone::systemTimeZone();
            headless.slice().setStart(KLVRAbsoluteTime::fromDateTime(first.startOfDay(zone)));
            headless.slice().setEnd(KLVRAbsoluteTime::fromDateTime(last.startOfDay(zone)));
        }
        figures = KLVRRWCSliceFigures::fromSlice(headless.slice());
    }
    KLVRRWCScriptOutput::printFigures(figures, m_commandLine.json(), m_output);
    return KLVRRWCCommandLine::Success;
}

QVariantMap KLVRRWCCommandRunner::exportArguments() const
{
    QVariantMap arguments{{QStringLiteral("destinationFile"), QFileInfo(m_commandLine.file()).absoluteFilePath()}};
    if (m_commandLine.width())
        arguments.insert(QStringLiteral("width"), *m_commandLine.width());
    if (m_commandLine.height())
        arguments.insert(QStringLiteral("height"), *m_commandLine.height());
    return arguments;
}

int KLVRRWCCommandRunner::exportFailed(const KLVRRWCScriptingError &error)
{
    using Kind = KLVRRWCScriptingError::Kind;
    switch (error.kind) {
    case Kind::ParameterTooSmall:
    case Kind::ParameterTooLarge:
    case Kind::InvalidArgument:
        m_errors << "restwatch: --" << (error.argument.isEmpty() ? QStringLiteral("export-graph") : error.argument) << ": "
                 << error.message() << '\n'
                 << KLVRRWCCommandLine::usageHint() << '\n';
        m_errors.flush();
        return KLVRRWCCommandLine::UsageError;
    case Kind::UnableToCreateFile:
        m_errors << "restwatch: cannot write " << m_commandLine.file() << ": " << error.message() << '\n';
        m_errors.flush();
        return KLVRRWCCommandLine::Failure;
    case Kind::None:
        break;
    }
    return KLVRRWCCommandLine::Success;
}

int KLVRRWCCommandRunner::exportGraph()
{
    const QVariantMap arguments = exportArguments();
    if (windowIsRunning()) {
        KLVRRWCLogSliceProxy slice(KLVRRWCScriptingService::kServiceName, KLVRRWCScriptingService::kSlicePath, m_sessionBus);
        slice.setTimeout(kCallTimeout);
        KLVRRangeOverride range(slice, m_commandLine.range());
        QDBusPendingReply<> reply = slice.Export(arguments);
        reply.waitForFinished();
        if (!reply.isError())
            return KLVRRWCCommandLine::Success;
        const KLVRRWCScriptingError error = KLVRRWCScriptingError::fromDBusError(reply.error());
        return error.isError() ? exportFailed(error) : busFailed(reply.error().message());
    }
    KLVRRWCEntriesView view;
    view.resize(view.sizeHint());
    // Refused sizes are refused before the log is read, as the window does.
    KLVRRWCScriptingExport::Request request;
    const KLVRRWCScriptingError refused = KLVRRWCScriptingExport::readArguments(arguments, view.size(), request);
    if (refused.isError())
        return exportFailed(refused);
    KLVRRWCHeadlessLog headless(m_systemBus, m_sessionBus);
    if (!headless.fill(m_errors))
        return KLVRRWCCommandLine::Failure;
    QDate first;
    QDate last;
    if (KLVRRWCCommandLine::resolveRange(m_commandLine.range(), QDate::currentDate(), first, last)) {
        const QTimeZone zone = QTimeZone::systemTimeZone();
        headless.slice().setStart(KLVRAbsoluteTime::fromDateTime(first.startOfDay(zone)));
        headless.slice().setEnd(KLVRAbsoluteTime::fromDateTime(last.startOfDay(zone)));
    }
    view.setLog(&headless.log());
    view.setDateRange(&headless.dateRange());
    const KLVRRWCEntriesViewPicture picture(&view);
    return exportFailed(KLVRRWCScriptingExport::run(picture, arguments));
}

// The export always covers every entry the log holds, so it reads the cache and the agent itself
// rather than asking the window; only the graph formats use the range.
int KLVRRWCCommandRunner::exportLog()
{
    KLVRRWCExportCommand::Options options;
    options.file = m_commandLine.file();
    options.format = m_commandLine.exportFormat();
    options.width = m_commandLine.width().value_or(KLVRRWCExportCommand::kDefaultWidth);
    options.height = m_commandLine.height().value_or(KLVRRWCExportCommand::kDefaultHeight);
    QDate first;
    QDate last;
    if (KLVRRWCCommandLine::resolveRange(m_commandLine.range(), QDate::currentDate(), first, last)) {
        const QTimeZone zone = QTimeZone::systemTimeZone();
        options.range = KLVRRWCAbsoluteDuration::absoluteDurationFromDate(KLVRAbsoluteTime::fromDateTime(first.startOfDay(zone)),
                                                            KLVRAbsoluteTime::fromDateTime(last.addDays(1).startOfDay(zone)));
    }
    KLVRAgentController agentController(m_systemBus, m_sessionBus);
    KLVRRWCLog log;
    KLVRRWCStore store(m_systemBus, m_sessionBus);
    store.setAgentController(&agentController);
    store.setLogController(&log);
    store.awakeFromNib();
    return KLVRRWCExportCommand(&store, &log).run(options, m_errors);
}
