// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QDBusError>
#include <QString>

// A refused script request: the error number and text that scripts see, and the D-Bus error
// it travels as ("com.klvr.restwatch.Error.ParameterTooSmall", "Parameter too small (-1702)").
struct KLVRRWCScriptingError
{
    static constexpr int kParameterOutOfRange = -1702;
    static constexpr int kUnableToCreateFile = -43;

    enum class Kind { None, ParameterTooSmall, ParameterTooLarge, UnableToCreateFile, InvalidArgument };

    Kind kind = Kind::None;
    // The argument that was refused, for messages on the command line.
    QString argument;
    // Only for InvalidArgument: what was wrong.
    QString detail;

    static KLVRRWCScriptingError tooSmall(const QString &argument) { return {Kind::ParameterTooSmall, argument, {}}; }
    static KLVRRWCScriptingError tooLarge(const QString &argument) { return {Kind::ParameterTooLarge, argument, {}}; }
    static KLVRRWCScriptingError unableToCreateFile(const QString &file) { return {Kind::UnableToCreateFile, file, {}}; }
    static KLVRRWCScriptingError invalid(const QString &argument, const QString &detail)
    {
        return {Kind::InvalidArgument, argument, detail};
    }

    bool isError() const { return kind != Kind::None; }
    // -1702, -43, or 0 for an invalid argument (which has no number of its own).
    int number() const;
    // "Parameter too small", "Parameter too large", "Unable to create file", or the detail.
    QString text() const;
    // The D-Bus error name.
    QString name() const;
    // The text with its number: "Parameter too small (-1702)".
    QString message() const;

    // Reads one back from a D-Bus error; Kind::None for errors of other origins.
    static KLVRRWCScriptingError fromDBusError(const QDBusError &error);
};
