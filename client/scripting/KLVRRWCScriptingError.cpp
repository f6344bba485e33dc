// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCScriptingError.h"

namespace {
const QString kPrefix = QStringLiteral("com.klvr.restwatch.Error.");
}

int KLVRRWCScriptingError::number() const
{
    switch (kind) {
    case Kind::ParameterTooSmall:
    case Kind::ParameterTooLarge:
        return kParameterOutOfRange;
    case Kind::UnableToCreateFile:
        return kUnableToCreateFile;
    default:
        return 0;
    }
}

QString KLVRRWCScriptingError::text() const
{
    switch (kind) {
    case Kind::ParameterTooSmall:
        return QStringLiteral("Parameter too small");
    case Kind::ParameterTooLarge:
        return QStringLiteral("Parameter too large");
    case Kind::UnableToCreateFile:
        return QStringLiteral("Unable to create file");
    case Kind::InvalidArgument:
        return detail;
    case Kind::None:
        break;
    }
    return QString();
}

QString KLVRRWCScriptingError::name() const
{
    switch (kind) {
    case Kind::ParameterTooSmall:
        return kPrefix + QStringLiteral("ParameterTooSmall");
    case Kind::ParameterTooLarge:
        return kPrefix + QStringLiteral("ParameterTooLarge");
    case Kind::UnableToCreateFile:
        return kPrefix + QStringLiteral("UnableToCreateFile");
    case Kind::InvalidArgument:
        return QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    case Kind::None:
        break;
    }
    return QString();
}

QString KLVRRWCScriptingError::message() const
{
    const int n = number();
    return n ? QStringLiteral("%1 (%2)").arg(text()).arg(n) : text();
}

KLVRRWCScriptingError KLVRRWCScriptingError::fromDBusError(const QDBusError &error)
{
    const QString name = error.name();
    if (name == kPrefix + QStringLiteral("ParameterTooSmall"))
        return {Kind::ParameterTooSmall, {}, {}};
    if (name == kPrefix + QStringLiteral("ParameterTooLarge"))
        return {Kind::ParameterTooLarge, {}, {}};
    if (name == kPrefix + QStringLiteral("UnableToCreateFile"))
        return {Kind::UnableToCreateFile, {}, {}};
    if (name == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs"))
        return {Kind::InvalidArgument, {}, error.message()};
    return {};
}
