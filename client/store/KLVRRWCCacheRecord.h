// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <utility>

// Reads a cached event record: a binary property list holding one dictionary of texts, the only
// shape the store writes. A launch reads hundreds of thousands of them, so this reader takes that
// shape straight from the bytes; anything else is left to the general property-list reader.
class KLVRRWCCacheRecord
{
public:
    // The record, or nothing when the bytes are not a binary dictionary of texts.
    static std::optional<QVariantMap> readBinary(const char *data, qsizetype size);

    // A record's fields as they lie in its bytes, for a reader that takes them without building
    // a dictionary: description and monitor as shared texts, the date as ASCII text in data, and
    // the properties as ASCII text in data or, beyond ASCII, as a text of their own (both null
    // when the record has none).
    struct Fields
    {
        QByteArrayView date;
        QString description;
        QString monitor;
        QByteArrayView properties;
        QString wideProperties;
    };
    // False unless the bytes are a binary dictionary of texts with an ASCII date, a description
    // and a monitor.
    static bool readFields(const char *data, qsizetype size, Fields *fields);

    // A record of texts as a binary property list: one dictionary of count entries (keys
    // distinct), each text ASCII where it can be and UTF-16 otherwise, as the general writer
    // stores them. A first sync writes ten thousand records at once; this writes each straight
    // from its texts, without a dictionary or the general writer's nodes.
    using Entry = std::pair<QStringView, QStringView>;
    static QByteArray writeBinary(const Entry *entries, qsizetype count);
};
