// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRUserDefaults.h"

#include "KLVRBundle.h"
#include "KLVRPropertyList.h"

#include <QDir>
#include <QStandardPaths>

namespace {

bool readPlist(QIODevice &device, QSettings::SettingsMap &map)
{
    const QByteArray data = device.readAll();
    if (data.trimmed().isEmpty())
        return true;
    const QVariant root = KLVRPropertyList::read(data);
    if (root.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap values = root.toMap();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        map.insert(it.key(), it.value());
    return true;
}

bool writePlist(QIODevice &device, const QSettings::SettingsMap &map)
{
    QVariantMap values;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        values.insert(it.key(), it.value());
    const QByteArray data = KLVRPropertyList::write(values);
    return !data.isEmpty() && device.write(data) == data.size();
}

QSettings::Format plistFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("plist"), readPlist, writePlist);
    return format;
}

} // namespace

KLVRUserDefaults::KLVRUserDefaults(const QString &identifier, const QString &fileName, QObject *parent)
    : QObject(parent)
{
    QString path = fileName;
    if (path.isEmpty())
        path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
               + QStringLiteral("/klvr/") + identifier + QStringLiteral(".plist");
    m_settings = std::make_unique<QSettings>(path, plistFormat());
}

KLVRUserDefaults::~KLVRUserDefaults() = default;

KLVRUserDefaults *KLVRUserDefaults::standard()
{
    static KLVRUserDefaults *defaults = new KLVRUserDefaults(KLVRBundle::main().bundleIdentifier());
    return defaults;
}

void KLVRUserDefaults::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

void KLVRUserDefaults::registerDefaultsFromResource(const QString &path)
{
    registerDefaults(KLVRPropertyList::readFile(path).toMap());
}

QVariant KLVRUserDefaults::value(const QString &key) const
{
    const QVariant stored = m_settings->value(key);
    return stored.isValid() ? stored : m_registered.value(key);
}

void KLVRUserDefaults::setValue(const QString &key, const QVariant &value)
{
    if (m_settings->value(key) == value)
        return;
    m_settings->setValue(key, value);
    Q_EMIT valueChanged(key, this->value(key));
}

void KLVRUserDefaults::removeValue(const QString &key)
{
    if (!m_settings->contains(key))
        return;
    m_settings->remove(key);
    Q_EMIT valueChanged(key, value(key));
}

QVariantMap KLVRUserDefaults::persistentValues() const
{
    QVariantMap values;
    for (const QString &key : m_settings->allKeys())
        values.insert(key, m_settings->value(key));
    return values;
}

QString KLVRUserDefaults::fileName() const
{
    return m_settings->fileName();
}

void KLVRUserDefaults::sync()
{
    m_settings->sync();
}
