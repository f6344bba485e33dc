// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusConnection>
#include <QString>

// Asks polkit on the system bus whether this program (its connection to that bus) may perform an
// action, letting polkit's agent ask the user for a password when allowed to.
class KLVRPolkitAuthority
{
public:
    // The user may take minutes to type a password.
    static constexpr int kInteractiveTimeout = 10 * 60 * 1000;
    static constexpr int kTimeout = 25000;

    explicit KLVRPolkitAuthority(const QDBusConnection &systemBus);

    // True when granted; false otherwise, with error set when polkit could not be asked at all.
    bool checkAuthorization(const QString &actionId, bool allowUserInteraction, QString *error = nullptr);

private:
    QDBusConnection m_bus;
};
