// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// XML property lists: the client's own reader (which remembers the documents before, so the
// input holds several, cut at zero bytes), from bytes and from text, and the codec over libplist.
#include "KLVRFuzzSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCPropertyReader.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const QByteArray &document : KLVRFuzz::documents(data, size)) {
        QString error;
        KLVRRWCPropertyDictionary fromBytes;
        const auto bytesResult = KLVRRWCPropertyReader::readData(document, &fromBytes, &error);
        KLVRRWCPropertyDictionary fromText;
        KLVRRWCPropertyReader::read(QString::fromUtf8(document), &fromText, &error);
        if (bytesResult == KLVRRWCPropertyReader::Result::Dictionary)
            fromBytes.toMap();
        const QVariant value = KLVRPropertyList::read(document, &error);
        if (value.isValid())
            KLVRPropertyList::write(value, KLVRPropertyList::Format::Xml);
    }
    return 0;
}
