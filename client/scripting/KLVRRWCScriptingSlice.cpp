// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingSlice.h"

#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCScriptingDatabase.h"
#include "KLVRRWCScriptingDate.h"
#include "KLVRRWCScriptingError.h"
#include "KLVRRWCScriptingExport.h"
#include "KLVRRWCScriptingGraph.h"

#include <QDBusMessage>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcScriptingSlice, "restwatch.scripting")

KLVRRWCScriptingSlice::KLVRRWCScriptingSlice(KLVRRWCLogSlice *slice, const KLVRRWCScriptingGraph *graph,
                                             const QDBusConnection &connection, const QString &path, QObject *parent)
    : QObject(parent)
    , m_slice(slice)
    , m_graph(graph)
    , m_connection(connection)
    , m_path(path)
{
    KLVRRWCScriptingTypes::registerTypes();
    m_announceTimer.setSingleShot(true);
    m_announceTimer.setInterval(0);
    connect(&m_announceTimer, &QTimer::timeout, this, &KLVRRWCScriptingSlice::announceChanges);
    if (slice)
        connect(slice, &KLVRRWCLogSlice::changed, this, &KLVRRWCScriptingSlice::sliceDidChange);
}

QString KLVRRWCScriptingSlice::start() const
{
    return m_slice ? KLVRRWCScriptingDate::toText(m_slice->start()) : QString();
}

QString KLVRRWCScriptingSlice::end() const
{
    return m_slice ? KLVRRWCScriptingDate::toText(m_slice->end()) : QString();
}

double KLVRRWCScriptingSlice::duration() const
{
    return m_slice ? m_slice->duration() : 0.0;
}

QString KLVRRWCScriptingSlice::title() const
{
    return m_slice ? m_slice->title() : QString();
}

uint KLVRRWCScriptingSlice::eventCount() const
{
    return m_slice && m_slice->log() ? uint(m_slice->log()->countOfVisibleEntries()) : 0;
}

void KLVRRWCScriptingSlice::setStart(const QString &date)
{
    setStartingDay(date);
}

void KLVRRWCScriptingSlice::setEnd(const QString &date)
{
    setEndingDay(date);
}

KLVRAbsoluteTime KLVRRWCScriptingSlice::dateArgument(const QString &text)
{
    const KLVRAbsoluteTime date = KLVRRWCScriptingDate::fromText(text);
    if (!date.isValid() && calledFromDBus()) {
        const KLVRRWCScriptingError error = KLVRRWCScriptingError::invalid(
            QStringLiteral("date"), QStringLiteral("'%1' is not an ISO 8601 date").arg(text));
        sendErrorReply(error.name(), error.message());
    }
    return date;
}

void KLVRRWCScriptingSlice::setStartingDay(const QString &date)
{
    const KLVRAbsoluteTime day = dateArgument(date);
    if (m_slice && day.isValid())
        m_slice->setStart(day);
}

void KLVRRWCScriptingSlice::setEndingDay(const QString &date)
{
    const KLVRAbsoluteTime day = dateArgument(date);
    if (m_slice && day.isValid())
        m_slice->setEnd(day);
}

QVariantMap KLVRRWCScriptingSlice::events(uint location, uint length)
{
    QVariantMap page;
    const KLVRRWCLog *log = m_slice ? m_slice->log() : nullptr;
    if (!log)
        return page;
    const KLVRRWCRange visible = log->visibleRange();
    if (!KLVRRWCScriptingDatabase::page(*log, visible.location, visible.location + visible.length, location, length,
                                        page)
        && calledFromDBus()) {
        const KLVRRWCScriptingError error = KLVRRWCScriptingError::tooLarge(QStringLiteral("length"));
        sendErrorReply(error.name(), error.message());
    }
    return page;
}

void KLVRRWCScriptingSlice::Export(const QVariantMap &arguments)
{
    KLVRRWCScriptingError error;
    if (!m_graph)
        error = KLVRRWCScriptingError::unableToCreateFile(QString());
    else
        error = KLVRRWCScriptingExport::run(*m_graph, arguments);
    if (!error.isError())
        return;
    qCInfo(lcScriptingSlice) << "KLVRRWCScriptingSlice export refused:" << error.message() << error.argument;
    if (calledFromDBus())
        sendErrorReply(error.name(), error.message());
}

const KLVRRWCSliceFigures &KLVRRWCScriptingSlice::figures() const
{
    if (!m_figures)
        m_figures = m_slice ? KLVRRWCSliceFigures::fromSlice(*m_slice) : KLVRRWCSliceFigures();
    return *m_figures;
}

void KLVRRWCScriptingSlice::sliceDidChange()
{
    m_figures.reset();
    m_announceTimer.start();
}

void KLVRRWCScriptingSlice::announceChanges()
{
    if (!m_connection.isConnected())
        return;
    // The range's own values are cheap and sent; the figures are only marked stale, since
    // working them out costs a pass over the range's entries.
    const QVariantMap changed{{QStringLiteral("start"), start()},
                              {QStringLiteral("end"), end()},
                              {QStringLiteral("duration"), duration()},
                              {QStringLiteral("title"), title()},
                              {QStringLiteral("eventCount"), eventCount()}};
    const QStringList invalidated{QStringLiteral("summary"), QStringLiteral("awake"), QStringLiteral("asleep"),
                                  QStringLiteral("off"), QStringLiteral("powerSource"), QStringLiteral("batteries")};
    QDBusMessage signal = QDBusMessage::createSignal(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kInterface << changed << invalidated;
    m_connection.send(signal);
}
