// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// A program's identity and configuration, read from the Info.plist it embeds as a Qt resource.
// Each program's main() names its own Info.plist with setMain() before anything asks for it.
class KLVRBundle
{
public:
    // infoPlistPath: a resource such as ":/agent/Info.plist"; resourcePrefix: where the program's
    // other resources live, such as ":/agent".
    explicit KLVRBundle(const QString &infoPlistPath, const QString &resourcePrefix = QString());

    static void setMain(const QString &infoPlistPath, const QString &resourcePrefix = QString());
    static const KLVRBundle &main();

    bool isValid() const { return !m_info.isEmpty(); }
    QString bundleIdentifier() const { return m_info.value(QStringLiteral("CFBundleIdentifier")).toString(); }
    QString version() const { return m_info.value(QStringLiteral("CFBundleVersion")).toString(); }
    QString name() const { return m_info.value(QStringLiteral("CFBundleName")).toString(); }
    QString executablePath() const;
    const QVariantMap &infoDictionary() const { return m_info; }
    QVariant objectForInfoDictionaryKey(const QString &key) const { return m_info.value(key); }
    // Like objectForInfoDictionaryKey, but a missing key is a configuration fault:
    // throws "<owner> Info.plist is missing <key>".
    QVariant requiredInfoValue(const QString &owner, const QString &key) const;
    // The resource path of name.extension, or an empty string when there is none.
    QString pathForResource(const QString &name, const QString &extension) const;
    QString resourcePrefix() const { return m_resourcePrefix; }

private:
    QVariantMap m_info;
    QString m_resourcePrefix;
};
