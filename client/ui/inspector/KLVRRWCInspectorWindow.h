// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QPointer>
#include <QWidget>

class KLVRUserDefaults;

// The inspector's floating panel: a tool window over the main window, holding the container in
// which the inspector stacks its items. It remembers its frame in the user defaults under
// "KLVR Window Frame <name>" (as the text "{{x, y}, {width, height}}" of its geometry), and takes
// a remembered frame back only when it meets a screen. A close by the user is reported, so
// that the panel's visible state can be kept.
class KLVRRWCInspectorWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCInspectorWindow)

public:
    explicit KLVRRWCInspectorWindow(QWidget *parent = nullptr);

    // The parent of the stacked items; the panel's content is exactly its size.
    QWidget *containerView() const { return m_container; }

    static QString frameKey(const QString &name);
    static QString stringFromRect(const QRect &rect);
    // An invalid rectangle when the text is not one.
    static QRect rectFromString(const QString &text);

    void saveFrameUsingName(const QString &name, KLVRUserDefaults *defaults) const;
    // Applies the stored frame; false when there is none or it lies off every screen.
    bool setFrameUsingName(const QString &name, KLVRUserDefaults *defaults);
    // From now on the frame is saved under name whenever the visible panel moves or resizes.
    void setFrameAutosaveName(const QString &name, KLVRUserDefaults *defaults);

Q_SIGNALS:
    // The user closed the panel (its close button or the window manager's close).
    void closedByUser();

protected:
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void autosaveFrame() const;

    QWidget *m_container = nullptr;
    QString m_autosaveName;
    QPointer<KLVRUserDefaults> m_defaults;
};
