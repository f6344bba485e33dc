// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QVariantMap>
#include <optional>

// Reads a cached event record: a binary property list holding one dictionary of texts, the only
// shape the store writes. A launch reads hundreds of thousands of them, so this reader takes that
// shape straight from the bytes; anything else is left to the general property-list reader.
class KLVRRWCCacheRecord
{
public:
    enum class Properties {
        AsText, // "properties" as the text it was cached as
        Read,   // "properties" already read into a KLVRRWCPropertyDictionary where it reads as one
    };

    // The record, or nothing when the bytes are not a binary dictionary of texts. Properties
    // that do not read as a dictionary stay text either way, so the log reports them as usual.
    static std::optional<QVariantMap> readBinary(const char *data, qsizetype size,
                                                 Properties properties = Properties::AsText);
};
