// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QObject>
#include <QSettings>
#include <QVariantMap>
#include <memory>

// User defaults: values the user (or a peer) set, over factory values registered from a
// Defaults resource. Stored as an XML property list under $XDG_CONFIG_HOME/klvr/<identifier>.plist
// so that values keep their types. One object per program; observers connect to valueChanged.
class KLVRUserDefaults : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRUserDefaults)

public:
    // identifier: the program's bundle identifier; fileName overrides the storage file (tests).
    explicit KLVRUserDefaults(const QString &identifier, const QString &fileName = QString(), QObject *parent = nullptr);
    ~KLVRUserDefaults() override;

    // The program-wide instance, created on first use for the main bundle's identifier.
    static KLVRUserDefaults *standard();

    void registerDefaults(const QVariantMap &defaults);
    // Registers the factory values of a property-list resource (a dictionary).
    void registerDefaultsFromResource(const QString &path);

    QVariant value(const QString &key) const;
    bool boolValue(const QString &key) const { return value(key).toBool(); }
    QString stringValue(const QString &key) const { return value(key).toString(); }
    void setValue(const QString &key, const QVariant &value);
    void removeValue(const QString &key);
    // What the user set, without factory values.
    QVariantMap persistentValues() const;
    QString fileName() const;
    void sync();

Q_SIGNALS:
    void valueChanged(const QString &key, const QVariant &value);

private:
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};
