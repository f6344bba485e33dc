// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWARawBus.h"

#include <QVariantMap>
#include <dbus/dbus.h>
#include <memory>

namespace {

struct MessageUnref
{
    void operator()(DBusMessage *message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// A DBusError that frees itself.
struct Error
{
    DBusError error;
    Error() { dbus_error_init(&error); }
    ~Error() { dbus_error_free(&error); }
    Error(const Error &) = delete;
    Error &operator=(const Error &) = delete;
    bool isSet() const { return dbus_error_is_set(&error); }
};

DBusHandlerResult filterMessage(DBusConnection *, DBusMessage *message, void *data)
{
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL) {
        const auto *handler = static_cast<const KLVRRWARawBus::SignalHandler *>(data);
        if (*handler)
            (*handler)(QString::fromUtf8(dbus_message_get_interface(message)),
                       QString::fromUtf8(dbus_message_get_member(message)), KLVRRWARawBus::arguments(message));
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

void dispatchStatusChanged(DBusConnection *, DBusDispatchStatus status, void *data)
{
    const auto *handler = static_cast<const std::function<void()> *>(data);
    if (status == DBUS_DISPATCH_DATA_REMAINS && *handler)
        (*handler)();
}

} // namespace

KLVRRWARawBus::KLVRRWARawBus(const QString &address)
    : m_address(address)
{
}

KLVRRWARawBus::~KLVRRWARawBus()
{
    for (DBusPendingCall *pending : std::as_const(m_pending)) {
        dbus_pending_call_cancel(pending);
        dbus_pending_call_unref(pending);
    }
    if (!m_connection)
        return;
    dbus_connection_remove_filter(m_connection, filterMessage, &m_signalHandler);
    dbus_connection_set_dispatch_status_function(m_connection, nullptr, nullptr, nullptr);
    dbus_connection_close(m_connection);
    dbus_connection_unref(m_connection);
}

bool KLVRRWARawBus::open()
{
    if (m_connection)
        return true;
    Error error;
    if (m_address.isEmpty()) {
        m_connection = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error.error);
    } else {
        m_connection = dbus_connection_open_private(m_address.toUtf8().constData(), &error.error);
        if (m_connection && !dbus_bus_register(m_connection, &error.error)) {
            dbus_connection_close(m_connection);
            dbus_connection_unref(m_connection);
            m_connection = nullptr;
        }
    }
    if (!m_connection) {
        m_lastErrorName = QString::fromUtf8(error.error.name);
        m_lastErrorMessage = QString::fromUtf8(error.error.message);
        return false;
    }
    // A lost bus must end the sleep path's recording, never the agent.
    dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
    dbus_connection_add_filter(m_connection, filterMessage, &m_signalHandler, nullptr);
    dbus_connection_set_dispatch_status_function(m_connection, dispatchStatusChanged, &m_wakeUpHandler, nullptr);
    return true;
}

bool KLVRRWARawBus::isConnected() const
{
    return m_connection && dbus_connection_get_is_connected(m_connection);
}

int KLVRRWARawBus::socket() const
{
    int fd = -1;
    if (!m_connection || !dbus_connection_get_socket(m_connection, &fd))
        return -1;
    return fd;
}

bool KLVRRWARawBus::addMatch(const QString &rule)
{
    if (!m_connection)
        return false;
    Error error;
    dbus_bus_add_match(m_connection, rule.toUtf8().constData(), &error.error);
    if (!error.isSet())
        return true;
    m_lastErrorName = QString::fromUtf8(error.error.name);
    m_lastErrorMessage = QString::fromUtf8(error.error.message);
    return false;
}

void KLVRRWARawBus::dispatch()
{
    if (!m_connection)
        return;
    dbus_connection_read_write(m_connection, 0);
    while (dbus_connection_dispatch(m_connection) == DBUS_DISPATCH_DATA_REMAINS) {
    }
}

std::optional<QVariantList> KLVRRWARawBus::call(const QString &service, const QString &path, const QString &interface,
                                                const QString &method, const QStringList &arguments, int timeoutMs)
{
    const quint32 sent = send(service, path, interface, method, arguments, timeoutMs);
    if (sent == 0)
        return std::nullopt;
    return answer(sent);
}

quint32 KLVRRWARawBus::send(const QString &service, const QString &path, const QString &interface,
                            const QString &method, const QStringList &arguments, int timeoutMs)
{
    m_lastErrorName.clear();
    m_lastErrorMessage.clear();
    if (!m_connection) {
        setLastError(DBUS_ERROR_DISCONNECTED, "not connected");
        return 0;
    }
    const Message message(dbus_message_new_method_call(service.toUtf8().constData(), path.toUtf8().constData(),
                                                       interface.toUtf8().constData(), method.toUtf8().constData()));
    if (!message) {
        setLastError(DBUS_ERROR_NO_MEMORY, "the call could not be made");
        return 0;
    }
    DBusMessageIter iterator;
    dbus_message_iter_init_append(message.get(), &iterator);
    for (const QString &argument : arguments) {
        const QByteArray text = argument.toUtf8();
        const char *data = text.constData();
        dbus_message_iter_append_basic(&iterator, DBUS_TYPE_STRING, &data);
    }
    DBusPendingCall *pending = nullptr;
    if (!dbus_connection_send_with_reply(m_connection, message.get(), &pending, timeoutMs) || !pending) {
        setLastError(DBUS_ERROR_DISCONNECTED, "the call could not be sent");
        return 0;
    }
    dbus_connection_flush(m_connection);
    m_pending.insert(++m_lastCall, pending);
    return m_lastCall;
}

std::optional<QVariantList> KLVRRWARawBus::answer(quint32 call)
{
    DBusPendingCall *pending = m_pending.take(call);
    if (!pending) {
        setLastError(DBUS_ERROR_FAILED, "no such call");
        return std::nullopt;
    }
    dbus_pending_call_block(pending);
    const Message reply(dbus_pending_call_steal_reply(pending));
    dbus_pending_call_unref(pending);
    m_lastErrorName.clear();
    m_lastErrorMessage.clear();
    if (!reply) {
        setLastError(DBUS_ERROR_NO_REPLY, "no answer");
        return std::nullopt;
    }
    if (dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR) {
        Error error;
        dbus_set_error_from_message(&error.error, reply.get());
        setLastError(error.error.name, error.error.message);
        return std::nullopt;
    }
    return KLVRRWARawBus::arguments(reply.get());
}

void KLVRRWARawBus::setLastError(const char *name, const char *message)
{
    m_lastErrorName = QString::fromUtf8(name);
    m_lastErrorMessage = QString::fromUtf8(message);
}

QVariantList KLVRRWARawBus::arguments(DBusMessage *message)
{
    QVariantList values;
    DBusMessageIter iterator;
    if (!dbus_message_iter_init(message, &iterator))
        return values;
    do {
        values.append(readValue(&iterator));
    } while (dbus_message_iter_next(&iterator));
    return values;
}

QVariant KLVRRWARawBus::readValue(DBusMessageIter *iterator)
{
    const int type = dbus_message_iter_get_arg_type(iterator);
    switch (type) {
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH:
    case DBUS_TYPE_SIGNATURE: {
        const char *text = nullptr;
        dbus_message_iter_get_basic(iterator, &text);
        return QString::fromUtf8(text);
    }
    case DBUS_TYPE_BOOLEAN: {
        dbus_bool_t value = FALSE;
        dbus_message_iter_get_basic(iterator, &value);
        return bool(value);
    }
    case DBUS_TYPE_BYTE:
    case DBUS_TYPE_INT16:
    case DBUS_TYPE_UINT16:
    case DBUS_TYPE_INT32:
    case DBUS_TYPE_UINT32:
    case DBUS_TYPE_INT64:
    case DBUS_TYPE_UINT64:
    case DBUS_TYPE_DOUBLE:
    case DBUS_TYPE_UNIX_FD: {
        DBusBasicValue value = {};
        dbus_message_iter_get_basic(iterator, &value);
        switch (type) {
        case DBUS_TYPE_BYTE: return uint(value.byt);
        case DBUS_TYPE_INT16: return int(value.i16);
        case DBUS_TYPE_UINT16: return uint(value.u16);
        case DBUS_TYPE_INT32: return int(value.i32);
        case DBUS_TYPE_UINT32: return uint(value.u32);
        case DBUS_TYPE_INT64: return qint64(value.i64);
        case DBUS_TYPE_UINT64: return quint64(value.u64);
        case DBUS_TYPE_DOUBLE: return value.dbl;
        default: return int(value.fd); // a duplicate the receiver owns
        }
    }
    case DBUS_TYPE_VARIANT: {
        DBusMessageIter inner;
        dbus_message_iter_recurse(iterator, &inner);
        return readValue(&inner);
    }
    case DBUS_TYPE_STRUCT:
    case DBUS_TYPE_ARRAY: {
        DBusMessageIter inner;
        dbus_message_iter_recurse(iterator, &inner);
        const bool dictionary = type == DBUS_TYPE_ARRAY && dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_DICT_ENTRY;
        QVariantList list;
        QVariantMap map;
        while (dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_INVALID) {
            if (dictionary) {
                DBusMessageIter entry;
                dbus_message_iter_recurse(&inner, &entry);
                const QVariant key = readValue(&entry);
                dbus_message_iter_next(&entry);
                map.insert(key.toString(), readValue(&entry));
            } else {
                list.append(readValue(&inner));
            }
            dbus_message_iter_next(&inner);
        }
        return dictionary ? QVariant(map) : QVariant(list);
    }
    default:
        return {};
    }
}
