// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// Property lists <-> QVariant. Values: QString, integers (qlonglong), double, bool,
// KLVRAbsoluteTime (date), QByteArray (data), QVariantList (array), QVariantMap (dictionary).
// QDateTime and QStringList are accepted when writing. XML dates hold whole seconds (ISO 8601);
// binary dates keep microseconds.
class KLVRPropertyList
{
public:
    enum class Format { Xml, Binary };

    // Reads XML (version 1.0) or binary property lists; on failure returns an invalid QVariant
    // and fills error when given.
    static QVariant read(const QByteArray &data, QString *error = nullptr);
    // Writes a property list; returns an empty array and fills error for values it cannot hold.
    static QByteArray write(const QVariant &value, Format format = Format::Xml, QString *error = nullptr);
    // Reads a property list from a file or Qt resource.
    static QVariant readFile(const QString &path, QString *error = nullptr);
};
