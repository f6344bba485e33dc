// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <optional>

struct DBusConnection;
struct DBusMessage;
struct DBusMessageIter;
struct DBusPendingCall;

// A private connection to a D-Bus bus made with libdbus itself, for the sleep path. QtDBus runs
// every connection of a process through one shared socket thread, which under a flood of callers
// is busy with their answers when logind's signal comes in; this connection's socket is read only
// by the thread that opened it.
//
// That thread's event loop watches socket() and calls dispatch(), which hands each signal that
// came in to the signal handler. call() blocks the thread until the answer (or the timeout);
// signals that arrive meanwhile wait in the connection, and the wake-up handler is called (on the
// same thread) so that the owner can ask for a dispatch() once it is free.
//
// Values come as QVariants: strings, object paths and signatures as QString, numbers as their Qt
// type, structures and arrays as QVariantList, dictionaries with text keys as QVariantMap. A file
// descriptor comes as an int that the receiver owns and must close.
class KLVRRWARawBus
{
public:
    using SignalHandler = std::function<void(const QString &interface, const QString &member, const QVariantList &arguments)>;

    // address: the bus's address; empty for the system bus (DBUS_SYSTEM_BUS_ADDRESS or its
    // standard socket). Nothing is connected until open().
    explicit KLVRRWARawBus(const QString &address = QString());
    ~KLVRRWARawBus();
    KLVRRWARawBus(const KLVRRWARawBus &) = delete;
    KLVRRWARawBus &operator=(const KLVRRWARawBus &) = delete;

    // Connects and says hello to the bus; false with lastErrorMessage() when it cannot.
    bool open();
    bool isConnected() const;
    // The connection's socket, -1 when not connected.
    int socket() const;

    void setSignalHandler(SignalHandler handler) { m_signalHandler = std::move(handler); }
    void setWakeUpHandler(std::function<void()> handler) { m_wakeUpHandler = std::move(handler); }
    // Asks the bus for the signals a match rule describes.
    bool addMatch(const QString &rule);
    // Reads what the socket holds and hands every waiting signal to the signal handler.
    void dispatch();

    // Calls a method with text arguments and waits for its answer: its arguments, or nullopt
    // with lastErrorName() and lastErrorMessage() set.
    std::optional<QVariantList> call(const QString &service, const QString &path, const QString &interface,
                                     const QString &method, const QStringList &arguments, int timeoutMs);
    // The same in two steps, so that several calls wait for their answers at once: send()
    // returns a number for answer(), 0 when the call could not be sent (lastErrorMessage()).
    quint32 send(const QString &service, const QString &path, const QString &interface, const QString &method,
                 const QStringList &arguments, int timeoutMs);
    // Waits for the answer to a sent call, as call() does; each answer is taken once.
    std::optional<QVariantList> answer(quint32 call);

    QString lastErrorName() const { return m_lastErrorName; }
    QString lastErrorMessage() const { return m_lastErrorMessage; }

    // The arguments of a message, as above.
    static QVariantList arguments(DBusMessage *message);

private:
    static QVariant readValue(DBusMessageIter *iterator);
    void setLastError(const char *name, const char *message);

    QString m_address;
    DBusConnection *m_connection = nullptr;
    SignalHandler m_signalHandler;
    std::function<void()> m_wakeUpHandler;
    QString m_lastErrorName;
    QString m_lastErrorMessage;
    QHash<quint32, DBusPendingCall *> m_pending;
    quint32 m_lastCall = 0;
};
