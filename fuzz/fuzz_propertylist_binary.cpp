// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Binary property lists: the codec over libplist, the client's property reader that hands them
// to it, and writing back whatever was read.
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
    QByteArray bytes("bplist00");
    if (size >= 8 && std::memcmp(data, "bplist00", 8) == 0)
        bytes.clear();
    bytes.append(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const QVariant value = KLVRPropertyList::read(bytes, &error);
    if (value.isValid()) {
        KLVRPropertyList::write(value, KLVRPropertyList::Format::Binary);
        KLVRPropertyList::write(value, KLVRPropertyList::Format::Xml);
    }
    KLVRRWCPropertyDictionary dictionary;
    KLVRRWCPropertyReader::readData(bytes, &dictionary, &error);
    return 0;
}
