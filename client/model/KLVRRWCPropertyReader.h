// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCPropertyDictionary.h"

#include <QByteArrayView>
#include <QString>

// Reads an event's property list (text as the agent writes it) into a compact dictionary.
// Years of events are mostly long process lists; a general property-list parser spends
// ~80 us on each, so the common XML form is read here directly from its text, interning every
// text on the way. Anything unusual (binary lists, comments, CDATA, unknown markup, malformed
// text) goes to the general parser, whose verdict and error text then stand.
class KLVRRWCPropertyReader
{
public:
    enum class Result {
        Dictionary, // dictionary filled
        Empty,      // the text held nothing
        NotDictionary,
        Error,      // error filled
    };

    static Result read(const QString &text, KLVRRWCPropertyDictionary *dictionary, QString *error);
    // Bytes: a binary property list, or XML in UTF-8.
    static Result readData(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary, QString *error);

private:
    // The fast path; false when the text needs the general parser.
    static bool readXml(const QString &text, KLVRRWCPropertyDictionary *dictionary);
    // The same from UTF-8 bytes; false also for any text beyond ASCII.
    static bool readXml(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary);
    static Result readGeneral(const QByteArray &bytes, KLVRRWCPropertyDictionary *dictionary, QString *error);
};
