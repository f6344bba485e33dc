// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWClientAppDelegate.h"

#include "KLVRAgentController.h"
#include "KLVRAssertionException.h"
#include "KLVRBundle.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesViewPicture.h"
#include "KLVRRWCInspectorController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCScriptingService.h"
#include "KLVRRWCStore.h"
#include "KLVRRWCWelcomeController.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QGuiApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcAppDelegate, "restwatch.app")

namespace {

const QString kInitialValuesKey = QStringLiteral("initialValues");

QVariantMap &storedInitialValues()
{
    static QVariantMap values;
    return values;
}

} // namespace

KLVRRWClientAppDelegate::KLVRRWClientAppDelegate(QObject *parent)
    : QObject(parent)
{
    static const bool registered = [] {
        registerDefaults();
        return true;
    }();
    Q_UNUSED(registered);
    QGuiApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
}

KLVRRWClientAppDelegate::~KLVRRWClientAppDelegate()
{
    // Scripts lose the objects before the window's objects go.
    m_scripting.reset();
    m_scriptingGraph.reset();
}

void KLVRRWClientAppDelegate::registerDefaults(KLVRUserDefaults *defaults)
{
    if (!defaults)
        defaults = KLVRUserDefaults::standard();
    const QString path = KLVRBundle::main().pathForResource(QStringLiteral("Defaults"), QStringLiteral("plist"));
    KLVR_ASSERT(!path.isEmpty(), QStringLiteral("KLVRRWClientAppDelegate Missing 'Defaults.plist'."));
    const QVariantMap factoryValues = KLVRPropertyList::readFile(path).toMap();
    if (factoryValues.isEmpty())
        return;
    defaults->registerDefaults(factoryValues);

    const QVariantList keys = defaults->value(kInitialValuesKey).toList();
    if (keys.isEmpty())
        return;
    QVariantMap initial = storedInitialValues();
    for (const QVariant &key : keys) {
        const QString name = key.toString();
        KLVR_ASSERT(factoryValues.contains(name),
                    QStringLiteral("KLVRRWClientAppDelegate Defaults.plist has no value for '%1'.").arg(name));
        initial.insert(name, factoryValues.value(name));
    }
    storedInitialValues() = initial;
}

QVariantMap KLVRRWClientAppDelegate::initialValues()
{
    return storedInitialValues();
}

void KLVRRWClientAppDelegate::setWindow(KLVRRWCMainWindow *window)
{
    if (m_window)
        disconnect(m_window, nullptr, this, nullptr);
    // Scripts reach the objects of one window only.
    m_scripting.reset();
    m_scriptingGraph.reset();
    m_window = window;
    m_log = window ? window->log() : nullptr;
    m_store = window ? window->store() : nullptr;
    m_visibleSlice = window ? window->visibleSlice() : nullptr;
    m_welcomeController = window ? window->welcomeController() : nullptr;
    m_agentController = window ? window->agentController() : nullptr;
    if (!window)
        return;

    QAction *userGuide = window->userGuideAction();
    userGuide->setEnabled(m_canOpenUserGuide);
    connect(userGuide, &QAction::triggered, this, &KLVRRWClientAppDelegate::openUserGuide);
    connect(this, &KLVRRWClientAppDelegate::canOpenUserGuideChanged, userGuide, &QAction::setEnabled);
    connect(this, &KLVRRWClientAppDelegate::didFinishLaunching, window->dateRange(),
            &KLVRRWCDateRangeController::restoreState);
    connect(this, &KLVRRWClientAppDelegate::didFinishLaunching, window->agentController(),
            &KLVRAgentController::applicationDidFinishLaunching);
    connect(this, &KLVRRWClientAppDelegate::didFinishLaunching, window->inspectorController(),
            &KLVRRWCInspectorController::applicationDidFinishLaunching);
}

bool KLVRRWClientAppDelegate::startScripting(const QDBusConnection &sessionBus)
{
    m_scripting.reset();
    m_scriptingGraph.reset();
    if (!m_window)
        return false;
    m_scriptingGraph = std::make_unique<KLVRRWCEntriesViewPicture>(m_window->entriesView());
    m_scripting = std::make_unique<KLVRRWCScriptingService>(sessionBus, m_log, m_visibleSlice, m_scriptingGraph.get());
    return m_scripting->start();
}

void KLVRRWClientAppDelegate::applicationDidFinishLaunching()
{
    if (m_store) {
        m_store->syncWithLocalCache();
        m_store->sync();
    }
    setCanOpenUserGuide(!userGuideURL().isEmpty());
    Q_EMIT didFinishLaunching();
}

QUrl KLVRRWClientAppDelegate::userGuideURL()
{
    const QString path = KLVRBundle::main().pathForResource(kUserGuideName, kUserGuideExtension);
    if (path.isEmpty())
        return {};
    // ":/client/..." is the resource path; "qrc:/client/..." its URL.
    return QUrl(QStringLiteral("qrc") + path);
}

bool KLVRRWClientAppDelegate::openUserGuide()
{
    const QUrl url = userGuideURL();
    if (url.isEmpty())
        return false;
    // A desktop viewer cannot read the program's resources, so it gets a copy in the cache folder.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1Char('/')
                           + KLVRBundle::main().bundleIdentifier();
    const QString copy = folder + QLatin1Char('/') + kUserGuideName + QLatin1Char('.') + kUserGuideExtension;
    if (!QDir().mkpath(folder)) {
        qCWarning(lcAppDelegate) << "KLVRRWClientAppDelegate cannot create" << folder;
        return false;
    }
    QFile::remove(copy);
    if (!QFile::copy(QLatin1Char(':') + url.path(), copy)) {
        qCWarning(lcAppDelegate) << "KLVRRWClientAppDelegate cannot copy the user guide to" << copy;
        return false;
    }
    // Resources are read-only; the copy must stay replaceable by the next run.
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(copy))) {
        qCWarning(lcAppDelegate) << "KLVRRWClientAppDelegate no viewer opened" << copy;
        return false;
    }
    return true;
}

void KLVRRWClientAppDelegate::setCanOpenUserGuide(bool canOpen)
{
    if (m_canOpenUserGuide == canOpen)
        return;
    m_canOpenUserGuide = canOpen;
    Q_EMIT canOpenUserGuideChanged(canOpen);
}
