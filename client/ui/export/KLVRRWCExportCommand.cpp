// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCExportCommand.h"

#include "KLVRAgentController.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesCell.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCExportFile.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"
#include "KLVRUserDefaults.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const char kFormats[] = "rtf, txt, plist, docx, png or tiff";

} // namespace

KLVRRWCExportCommand::KLVRRWCExportCommand(KLVRRWCStore *store, KLVRRWCLog *log, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
{
}

int KLVRRWCExportCommand::formatTag(const Options &options, QString *message)
{
    if (!options.format.isEmpty()) {
        const int tag = KLVRRWCExportFormat::formatTagForSuffix(options.format);
        if (tag < 0 && message)
            *message = QStringLiteral("restwatch: unknown export format '%1' (use %2).").arg(options.format, QLatin1String(kFormats));
        return tag;
    }
    const QString suffix = QFileInfo(options.file).suffix();
    const int tag = KLVRRWCExportFormat::formatTagForSuffix(suffix);
    if (tag < 0 && message) {
        *message = suffix.isEmpty()
                       ? QStringLiteral("restwatch: '%1' has no extension to tell the export format by; give --format (%2).")
                             .arg(options.file, QLatin1String(kFormats))
                       : QStringLiteral("restwatch: unknown export format '%1' of '%2' (use %3, or give --format).")
                             .arg(suffix, options.file, QLatin1String(kFormats));
    }
    return tag;
}

bool KLVRRWCExportCommand::fillLog(QTextStream &errors)
{
    m_store->syncWithLocalCache();
    bool pulled = false;
    bool answered = false;
    QEventLoop loop;
    connect(m_store, &KLVRRWCStore::pullFinished, &loop, [&](bool success) {
        answered = success;
        pulled = true;
        loop.quit();
    });
    if (m_store->sync()) {
        QTimer::singleShot(kPullTimeout, &loop, &QEventLoop::quit);
        if (!pulled)
            loop.exec();
    }
    if (m_log->count() > 0) {
        if (pulled && !answered)
            errors << "restwatch: the agent did not answer; exported the cached events only.\n";
        return true;
    }
    const KLVRAgentController *agent = m_store->agentController();
    if (answered)
        errors << "restwatch: no events to export: the cache is empty and the agent has recorded none yet.\n";
    else if (agent && agent->isInstalled())
        errors << "restwatch: no events to export: the cache is empty and the agent does not answer ("
               << agent->localisedState() << ").\n";
    else
        errors << "restwatch: no events to export: the cache is empty and the agent is not installed.\n";
    return false;
}

int KLVRRWCExportCommand::run(const Options &options, QTextStream &errors)
{
    QString message;
    const int tag = formatTag(options, &message);
    if (tag < 0) {
        errors << message << '\n';
        errors.flush();
        return UsageError;
    }
    if (KLVRRWCExportFormat::isGraphFormat(tag) && !(options.width >= 1.0 && options.height >= 1.0 && options.width <= 16384.0
                                                     && options.height <= 16384.0)) {
        errors << "restwatch: the graph's width and height must lie between 1 and 16384 pixels.\n";
        errors.flush();
        return UsageError;
    }
    if (!fillLog(errors)) {
        errors.flush();
        return Failure;
    }

    // The range lives in defaults of its own, so that an export never moves the window's range.
    QTemporaryDir scratch;
    KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch.export"), scratch.filePath(QStringLiteral("defaults.plist")));
    defaults.registerDefaultsFromResource(QStringLiteral(":/client/Defaults.plist"));
    KLVRRWCDateRangeController dateRange(&defaults);
    dateRange.setSelectionTag(KLVRRWCDateRangeController::LastSevenDays);
    m_log->setDateRange(&dateRange);
    if (options.range)
        dateRange.setAbsoluteDuration(*options.range);

    const auto graph = [&](int format) {
        KLVRRWCEntriesCell cell;
        cell.setLog(m_log);
        cell.setDateRange(&dateRange);
        const QImage image = cell.imageWithSize(QSizeF(options.width, options.height));
        return format == KLVRRWCExportFormat::PNG ? KLVRRWCEntriesView::PNGRepresentationOfImage(image)
                                                  : KLVRRWCEntriesView::TIFFRepresentationOfImage(image);
    };
    QString error;
    const KLVRRWCExportFile::Result result = KLVRRWCExportFile::write(options.file, tag, m_log, graph, {}, &error);
    m_log->setDateRange(nullptr);
    switch (result) {
    case KLVRRWCExportFile::Result::Written:
        errors.flush();
        return Success;
    case KLVRRWCExportFile::Result::WriteFailed:
        errors << "restwatch: " << KLVRRWCExportFile::errorMessage(options.file, error) << '\n';
        break;
    case KLVRRWCExportFile::Result::NothingWritten:
    case KLVRRWCExportFile::Result::Cancelled:
        errors << "restwatch: nothing was written to '" << options.file << "' (see the messages above).\n";
        break;
    }
    errors.flush();
    return Failure;
}
