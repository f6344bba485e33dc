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
        AsText,  // "properties" as the text it was cached as
        AsBytes, // an ASCII "properties" text as its bytes, which the log reads without widening
    };

    // The record, or nothing when the bytes are not a binary dictionary of texts. "NULL" and
    // texts beyond ASCII stay texts either way.
    static std::optional<QVariantMap> readBinary(const char *data, qsizetype size,
                                                 Properties properties = Properties::AsText);
};
