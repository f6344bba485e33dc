// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRTestBus.h"

#include <csignal>
#include <sys/prctl.h>

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

namespace {

void terminate(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

KLVRTestBus::KLVRTestBus(Limits limits)
    : m_limits(limits)
{
}

KLVRTestBus::~KLVRTestBus()
{
    for (const QString &name : std::as_const(m_connectionNames))
        QDBusConnection::disconnectFromBus(name);
    for (auto &mock : m_mocks)
        terminate(*mock);
    if (m_daemon)
        terminate(*m_daemon);
}

void KLVRTestBus::endsWithTheTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

bool KLVRTestBus::start()
{
    if (!m_dir.isValid())
        return false;
    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    const QString limits = m_limits == Limits::Session
                               ? QStringLiteral("<limit name=\"max_message_size\">1000000000</limit>\n"
                                                "<limit name=\"max_incoming_bytes\">1000000000</limit>\n"
                                                "<limit name=\"max_outgoing_bytes\">1000000000</limit>\n")
                               : QStringLiteral("<limit name=\"max_message_size\">33554432</limit>\n");
    const QString permissive = QStringLiteral(
        "<policy context=\"default\">\n"
        "<allow user=\"*\"/>\n<allow own=\"*\"/>\n<allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "<allow eavesdrop=\"true\"/>\n"
        "</policy>\n");
    // The default policy of the system bus's own configuration.
    const QString system = QStringLiteral(
        "<policy context=\"default\">\n"
        "<allow user=\"*\"/>\n<deny own=\"*\"/>\n<deny send_type=\"method_call\"/>\n"
        "<allow send_type=\"signal\"/>\n"
        "<allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
        "<allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
        "<allow receive_type=\"method_call\"/>\n<allow receive_type=\"method_return\"/>\n"
        "<allow receive_type=\"error\"/>\n<allow receive_type=\"signal\"/>\n"
        "<allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus\"/>\n"
        "<allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
        "<allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus.Properties\"/>\n"
        "<deny send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus\" "
        "send_member=\"UpdateActivationEnvironment\"/>\n"
        "</policy>\n"
        "<policy user=\"root\">\n<allow own=\"*\"/>\n<allow send_type=\"method_call\"/>\n</policy>\n"
        "<include>%1</include>\n").arg(m_systemPolicy.toHtmlEscaped());
    const QString config = QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "<listen>unix:path=%1</listen>\n"
        "<auth>EXTERNAL</auth>\n"
        "%3%2"
        "</busconfig>\n").arg(socket, limits, m_systemPolicy.isEmpty() ? permissive : system);
    if (!m_systemPolicy.isEmpty())
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return false;
    file.close();

    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    KLVRTestBus::endsWithTheTest(*m_daemon);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--nofork"), QStringLiteral("--nopidfile"), QStringLiteral("--nosyslog"),
                     QStringLiteral("--config-file=") + configPath});
    if (!m_daemon->waitForStarted(5000)) {
        qWarning("KLVRTestBus could not start dbus-daemon: %s", qPrintable(m_daemon->errorString()));
        return false;
    }
    m_address = QStringLiteral("unix:path=") + socket;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(socket)) {
            QDBusConnection probe = connection();
            if (probe.isConnected())
                return true;
        }
        if (m_daemon->state() == QProcess::NotRunning)
            break;
        QThread::msleep(20);
    }
    qWarning("KLVRTestBus: dbus-daemon did not come up");
    return false;
}

bool KLVRTestBus::isRunning() const
{
    return m_daemon && m_daemon->state() == QProcess::Running;
}

QDBusConnection KLVRTestBus::connection(const QString &name)
{
    const QString connectionName = name.isEmpty()
                                       ? QStringLiteral("klvr-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                                       : name;
    if (!m_connectionNames.contains(connectionName))
        m_connectionNames << connectionName;
    return QDBusConnection::connectToBus(m_address, connectionName);
}

QProcessEnvironment KLVRTestBus::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    return env;
}

void KLVRTestBus::exportAddresses() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

QString KLVRTestBus::busNameForTemplate(const QString &templateName)
{
    if (templateName == QLatin1String("logind"))
        return QStringLiteral("org.freedesktop.login1");
    if (templateName == QLatin1String("upower"))
        return QStringLiteral("org.freedesktop.UPower");
    if (templateName == QLatin1String("systemd"))
        return QStringLiteral("org.freedesktop.systemd1");
    if (templateName == QLatin1String("polkitd"))
        return QStringLiteral("org.freedesktop.PolicyKit1");
    return QString();
}

QProcess *KLVRTestBus::startMock(const QString &templateName, const QString &parameters)
{
    auto mock = std::make_unique<QProcess>();
    mock->setProcessEnvironment(environment());
    mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    KLVRTestBus::endsWithTheTest(*mock);
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                          QStringLiteral("--template"), templateName};
    if (!parameters.isEmpty())
        arguments << QStringLiteral("--parameters") << parameters;
    mock->start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!mock->waitForStarted(5000))
        return nullptr;
    const QString name = busNameForTemplate(templateName);
    if (!name.isEmpty() && !waitForName(name, 15000)) {
        terminate(*mock);
        return nullptr;
    }
    m_mocks.push_back(std::move(mock));
    return m_mocks.back().get();
}

bool KLVRTestBus::waitForName(const QString &name, int timeoutMs)
{
    QDBusConnection bus = connection(QStringLiteral("klvr-test-waiter-") + m_dir.path());
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (bus.interface()->isServiceRegistered(name).value())
            return true;
        QThread::msleep(20);
    }
    return false;
}

QDBusMessage KLVRTestBus::call(const QString &service, const QString &path, const QString &interface,
                               const QString &method, const QVariantList &arguments, int timeoutMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return connection(QStringLiteral("klvr-test-caller-") + m_dir.path()).call(message, QDBus::Block, timeoutMs);
}
