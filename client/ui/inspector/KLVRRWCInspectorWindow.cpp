// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorWindow.h"

#include "KLVRFormat.h"
#include "KLVRUserDefaults.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>

KLVRRWCInspectorWindow::KLVRRWCInspectorWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("KLVRRWCInspectorController"));
    // The panel shows what is selected in the main window; it need not take the keyboard from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_container = new QWidget(this);
    m_container->setObjectName(QStringLiteral("containerView"));
    m_container->setAutoFillBackground(true);
    m_container->setBackgroundRole(QPalette::Base);
}

QString KLVRRWCInspectorWindow::frameKey(const QString &name)
{
    return KLVRFormat::string(QStringLiteral("KLVR Window Frame %@"), name);
}

QString KLVRRWCInspectorWindow::stringFromRect(const QRect &rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

QRect KLVRRWCInspectorWindow::rectFromString(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*\{\s*\{\s*(-?\d+)\s*,\s*(-?\d+)\s*\}\s*,\s*\{\s*(\d+)\s*,\s*(\d+)\s*\}\s*\}\s*$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    bool ok[4] = {};
    const QRect rect(match.captured(1).toInt(&ok[0]), match.captured(2).toInt(&ok[1]), match.captured(3).toInt(&ok[2]),
                     match.captured(4).toInt(&ok[3]));
    if (!(ok[0] && ok[1] && ok[2] && ok[3]) || rect.isEmpty())
        return {};
    return rect;
}

void KLVRRWCInspectorWindow::saveFrameUsingName(const QString &name, KLVRUserDefaults *defaults) const
{
    if (!defaults || name.isEmpty())
        return;
    defaults->setValue(frameKey(name), stringFromRect(geometry()));
}

bool KLVRRWCInspectorWindow::setFrameUsingName(const QString &name, KLVRUserDefaults *defaults)
{
    if (!defaults || name.isEmpty())
        return false;
    const QRect frame = rectFromString(defaults->stringValue(frameKey(name)));
    if (!frame.isValid())
        return false;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool onScreen = std::any_of(screens.cbegin(), screens.cend(),
                                      [&frame](const QScreen *screen) { return screen->geometry().intersects(frame); });
    if (!onScreen)
        return false;
    setGeometry(frame);
    return true;
}

void KLVRRWCInspectorWindow::setFrameAutosaveName(const QString &name, KLVRUserDefaults *defaults)
{
    m_autosaveName = name;
    m_defaults = defaults;
}

void KLVRRWCInspectorWindow::autosaveFrame() const
{
    if (isVisible() && !m_autosaveName.isEmpty())
        saveFrameUsingName(m_autosaveName, m_defaults);
}

void KLVRRWCInspectorWindow::closeEvent(QCloseEvent *event)
{
    autosaveFrame();
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closedByUser();
}

void KLVRRWCInspectorWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    autosaveFrame();
}

void KLVRRWCInspectorWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    autosaveFrame();
}
