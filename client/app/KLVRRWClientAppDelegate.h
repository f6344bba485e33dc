// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAgentController.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogSlice.h"
#include "KLVRRWCMainWindow.h"
#include "KLVRRWCStore.h"
#include "KLVRRWCWelcomeController.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <memory>

class KLVRUserDefaults;
class KLVRRWCEntriesViewPicture;
class KLVRRWCScriptingService;

// The root of the client: registers the factory defaults before anything reads them, runs the
// launch sequence (replay the cache into the log, then pull from the agent), opens the user guide
// and quits when the last window closes. The main window creates and connects the other objects;
// setWindow() takes them as this delegate's outlets.
class KLVRRWClientAppDelegate : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWClientAppDelegate)
    Q_PROPERTY(bool canOpenUserGuide READ canOpenUserGuide NOTIFY canOpenUserGuideChanged)

public:
    static inline const QString kUserGuideName = QStringLiteral("Rest Watch User Guide");
    static inline const QString kUserGuideExtension = QStringLiteral("html");

    // Registers the factory defaults once per process (the first instance would otherwise be too
    // late for objects made before it).
    explicit KLVRRWClientAppDelegate(QObject *parent = nullptr);
    ~KLVRRWClientAppDelegate() override;

    // Registers the main bundle's "Defaults.plist" as the fallback values of defaults (the
    // standard defaults when none) and records the values named by its "initialValues".
    // A missing resource is a configuration fault.
    static void registerDefaults(KLVRUserDefaults *defaults = nullptr);
    // What restoring the factory settings puts back: the Defaults values of the keys listed
    // under "initialValues".
    static QVariantMap initialValues();

    // Takes the window's objects as outlets and connects the window's application commands.
    void setWindow(KLVRRWCMainWindow *window);
    // Offers the window's log ("database") and visible slice ("visibleSlice") to scripts on
    // sessionBus; false when the bus is missing or another window serves them already.
    bool startScripting(const QDBusConnection &sessionBus);
    KLVRRWCScriptingService *scripting() const { return m_scripting.get(); }
    KLVRRWCMainWindow *window() const { return m_window; }
    KLVRRWCLog *log() const { return m_log; }
    KLVRRWCStore *store() const { return m_store; }
    KLVRRWCLogSlice *visibleSlice() const { return m_visibleSlice; }
    KLVRRWCWelcomeController *welcomeController() const { return m_welcomeController; }
    KLVRAgentController *agentController() const { return m_agentController; }

    // Closing the main window quits the client.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    // The user guide among the main bundle's resources, or an empty URL.
    static QUrl userGuideURL();
    bool canOpenUserGuide() const { return m_canOpenUserGuide; }

public Q_SLOTS:
    // Replays the cache into the log, pulls from the agent, offers the user guide, then tells the
    // rest of the client that launching is over.
    void applicationDidFinishLaunching();
    // Copies the user guide to the cache folder and opens it with the desktop's default viewer;
    // false when there is none or it could not be copied or opened.
    bool openUserGuide();

Q_SIGNALS:
    void canOpenUserGuideChanged(bool canOpenUserGuide);
    // The launch sequence has run: the remembered date range can be judged against the cached
    // log, and the agent controller may offer an update.
    void didFinishLaunching();

private:
    void setCanOpenUserGuide(bool canOpen);

    QPointer<KLVRRWCMainWindow> m_window;
    QPointer<KLVRRWCLog> m_log;
    QPointer<KLVRRWCStore> m_store;
    QPointer<KLVRRWCLogSlice> m_visibleSlice;
    QPointer<KLVRRWCWelcomeController> m_welcomeController;
    QPointer<KLVRAgentController> m_agentController;
    bool m_canOpenUserGuide = false;
    std::unique_ptr<KLVRRWCEntriesViewPicture> m_scriptingGraph;
    std::unique_ptr<KLVRRWCScriptingService> m_scripting;
};
