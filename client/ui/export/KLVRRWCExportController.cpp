// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCExportController.h"

#include "KLVRFormat.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCExportFile.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogExporter.h"
#include "KLVRStringsTable.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

namespace {

QString general(const QString &key)
{
    return KLVRStringsTable::localizedString(key, QStringLiteral("General"));
}

QString localized(const QString &role)
{
    const QString table = QStringLiteral("KLVRRWCExportController");
    return KLVRStringsTable::localizedString(table + QLatin1Char('.') + role, table);
}

// The calendar format's fields ("%Y", "%m", "%d", "%y", "%H", "%M", "%S", "%%") for a date.
QString formatCalendarDate(const QString &format, const QDateTime &when)
{
    QString text;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 == format.size()) {
            text += c;
            continue;
        }
        const QChar field = format.at(++i);
        const auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
        switch (field.unicode()) {
        case 'Y': text += QString::number(when.date().year()); break;
        case 'y': text += two(when.date().year() % 100); break;
        case 'm': text += two(when.date().month()); break;
        case 'd': text += two(when.date().day()); break;
        case 'H': text += two(when.time().hour()); break;
        case 'M': text += two(when.time().minute()); break;
        case 'S': text += two(when.time().second()); break;
        case '%': text += QLatin1Char('%'); break;
        default: text += c; text += field;
        }
    }
    return text;
}

} // namespace

KLVRRWCExportController::KLVRRWCExportController(QWidget *window, KLVRUserDefaults *defaults, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_defaults(defaults ? defaults : KLVRUserDefaults::standard())
{
    m_exportAction = new QAction(localized(QStringLiteral("export")), this);
    m_exportAction->setObjectName(QStringLiteral("KLVRRWCExportController.export"));
    m_exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    m_exportAction->setIcon(QIcon::fromTheme(QStringLiteral("document-export")));
    connect(m_exportAction, &QAction::triggered, this, &KLVRRWCExportController::beginExport);
    updateAction();
}

KLVRRWCExportController::~KLVRRWCExportController()
{
    if (m_activeExportPanel)
        m_activeExportPanel->deleteLater();
}

void KLVRRWCExportController::setLog(KLVRRWCLog *log)
{
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    if (m_log)
        connect(m_log, &KLVRRWCLog::countChanged, this, &KLVRRWCExportController::updateAction);
    updateAction();
}

bool KLVRRWCExportController::validateExport() const
{
    return m_log && m_log->count() > 0;
}

void KLVRRWCExportController::updateAction()
{
    m_exportAction->setEnabled(validateExport());
}

int KLVRRWCExportController::exportSuffixTag() const
{
    return m_defaults->value(kFormatTagKey).toInt();
}

QString KLVRRWCExportController::suggestedFileName()
{
    const QString date = formatCalendarDate(general(QStringLiteral("%Y-%m-%d")), QDateTime::currentDateTime());
    return KLVRFormat::string(general(QStringLiteral("%@-RestWatch")), date);
}

void KLVRRWCExportController::beginExport()
{
    if (!validateExport())
        return;
    // A new export replaces the panel of the last one.
    if (m_activeExportPanel) {
        QFileDialog *previous = m_activeExportPanel;
        m_activeExportPanel = nullptr;
        previous->reject();
        previous->deleteLater();
    }

    auto *panel = new QFileDialog(m_window, localized(QStringLiteral("title")));
    panel->setObjectName(QStringLiteral("KLVRRWCExportController.panel"));
    // Qt's own dialog on every desktop: the same panel everywhere, and one tests can drive.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setWindowModality(Qt::WindowModal);
    QStringList filters;
    const QList<int> tags = KLVRRWCExportFormat::tags();
    for (int tag : tags)
        filters.append(KLVRRWCExportFormat::nameFilterForFormatTag(tag));
    panel->setNameFilters(filters);
    panel->setDirectory(QDir::homePath());
    panel->selectFile(suggestedFileName());
    m_activeExportPanel = panel;

    const int tag = exportSuffixTag();
    // An unknown tag shows the first filter, without taking its format.
    panel->selectNameFilter(filters.at(std::max<qsizetype>(0, tags.indexOf(tag))));
    // An unknown tag gives the panel no suffix, and confirming it writes nothing.
    panel->setDefaultSuffix(KLVRRWCExportFormat::isKnown(tag) ? KLVRRWCExportFormat::exportSuffixForFormatTag(tag)
                                                               : QString());
    connect(panel, &QFileDialog::filterSelected, this, [this, panel, filters, tags](const QString &filter) {
        const qsizetype chosen = filters.indexOf(filter);
        if (panel == m_activeExportPanel && chosen >= 0)
            exportFormatChanged(tags.at(chosen));
    });
    // Writing runs the event loop for its progress; it starts once the panel has closed.
    connect(panel, &QDialog::finished, this, [this, panel](int result) {
        if (panel == m_activeExportPanel)
            exportPanelDidEnd(result);
    }, Qt::QueuedConnection);
    panel->open();
}

void KLVRRWCExportController::exportFormatChanged(int tag)
{
    if (!KLVRRWCExportFormat::isKnown(tag))
        return;
    m_defaults->setValue(kFormatTagKey, tag);
    if (m_activeExportPanel)
        m_activeExportPanel->setDefaultSuffix(KLVRRWCExportFormat::exportSuffixForFormatTag(tag));
}

void KLVRRWCExportController::exportPanelDidEnd(int returnCode)
{
    if (returnCode != QDialog::Accepted || !m_activeExportPanel)
        return;
    const QStringList files = m_activeExportPanel->selectedFiles();
    if (files.isEmpty())
        return;
    exportToFile(files.first(), exportSuffixTag());
}

bool KLVRRWCExportController::exportToFile(const QString &path, int tag)
{
    const auto graph = [this](int format) {
        if (!m_entriesView)
            return QByteArray();
        return format == KLVRRWCExportFormat::PNG ? m_entriesView->PNGRepresentation() : m_entriesView->TIFFRepresentation();
    };
    QProgressDialog *progress = nullptr;
    KLVRRWCLogExporter::Progress step;
    if (m_log && !KLVRRWCExportFormat::isGraphFormat(tag)) {
        progress = new QProgressDialog(localized(QStringLiteral("progress")), localized(QStringLiteral("cancel")), 0,
                                       int(m_log->count()), m_window);
        progress->setObjectName(QStringLiteral("KLVRRWCExportController.progress"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(kProgressMinimumDuration);
        progress->setAutoClose(false);
        progress->setAutoReset(false);
        m_progress = progress;
        step = [progress](qint64 done, qint64) {
            // A window-modal progress dialog runs the event loop as it moves on, so the window
            // keeps drawing while years of entries are written.
            progress->setValue(int(done));
            QCoreApplication::processEvents();
            return !progress->wasCanceled();
        };
    }
    QString error;
    const KLVRRWCExportFile::Result result = KLVRRWCExportFile::write(path, tag, m_log, graph, step, &error);
    if (progress) {
        progress->hide();
        progress->deleteLater();
    }
    switch (result) {
    case KLVRRWCExportFile::Result::Written:
        Q_EMIT exported(path);
        return true;
    case KLVRRWCExportFile::Result::WriteFailed:
        showError(path, error);
        return false;
    case KLVRRWCExportFile::Result::NothingWritten:
    case KLVRRWCExportFile::Result::Cancelled:
        return false;
    }
    return false;
}

void KLVRRWCExportController::showError(const QString &path, const QString &reason)
{
    const QString message = KLVRRWCExportFile::errorMessage(path, reason);
    qCWarning(lcRWCExport).noquote() << "KLVRRWCExportController" << message;
    auto *alert = new QMessageBox(QMessageBox::Warning, QString(), message, QMessageBox::Ok, m_window);
    alert->setObjectName(QStringLiteral("KLVRRWCExportController.alert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    m_errorAlert = alert;
    alert->open();
}
