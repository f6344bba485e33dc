// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

class KLVRRWCEntriesView;
class KLVRRWCLog;
class KLVRUserDefaults;
class QAction;
class QWidget;

// File > Export…: asks where to save with a save dialog that offers one name filter per format
// (the choice is remembered in the user default exportFormatTag), then writes the whole log
// (every entry it holds) or the graph in that format. A failed write is shown in an alert
// "Cannot save file: '%@': %s"; a long export shows its progress and can be cancelled. The
// command is enabled only while the log holds an entry. Main thread only.
//
// The dialog is window-modal on the window and stays the active export panel until the next
// export replaces it (the replaced one is cancelled).
class KLVRRWCExportController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCExportController)

public:
    static inline const QString kFormatTagKey = QStringLiteral("exportFormatTag");
    static constexpr int kProgressMinimumDuration = 400; // ms before the progress dialog shows

    // window: what the dialogs are modal on; defaults: where the format is remembered (the
    // standard defaults when none).
    explicit KLVRRWCExportController(QWidget *window, KLVRUserDefaults *defaults = nullptr, QObject *parent = nullptr);
    ~KLVRRWCExportController() override;

    // Outlets (not owned).
    void setLog(KLVRRWCLog *log);
    KLVRRWCLog *log() const { return m_log; }
    void setEntriesView(KLVRRWCEntriesView *view) { m_entriesView = view; }
    KLVRRWCEntriesView *entriesView() const { return m_entriesView; }

    // "Export…", enabled while the log holds an entry.
    QAction *exportAction() const { return m_exportAction; }
    bool validateExport() const;

    // Runs the save dialog: the export command ("export" itself is a C++ keyword).
    void beginExport();
    QFileDialog *activeExportPanel() const { return m_activeExportPanel; }
    // The chosen format changed in the dialog: remembers it and sets the dialog's suffix.
    void exportFormatChanged(int tag);
    // The remembered format tag.
    int exportSuffixTag() const;
    // Today's date in the localized "%Y-%m-%d", put into the localized "%@-RestWatch".
    static QString suggestedFileName();

    // The dialog ended: on acceptance writes the chosen file.
    void exportPanelDidEnd(int returnCode);
    // Writes the file for a format tag; false when nothing was written (the alert was shown
    // for a failed write; an unknown tag or a cancelled export shows nothing).
    bool exportToFile(const QString &path, int tag);

    // The alert of the last failed write, while it is shown.
    QWidget *errorAlert() const { return m_errorAlert; }
    QProgressDialog *progressDialog() const { return m_progress; }

Q_SIGNALS:
    // A file was written.
    void exported(const QString &path);

private:
    void updateAction();
    void showError(const QString &path, const QString &reason);

    QPointer<QWidget> m_window;
    KLVRUserDefaults *m_defaults;
    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCEntriesView> m_entriesView;
    QAction *m_exportAction = nullptr;
    QPointer<QFileDialog> m_activeExportPanel;
    QPointer<QWidget> m_errorAlert;
    QPointer<QProgressDialog> m_progress;
};
