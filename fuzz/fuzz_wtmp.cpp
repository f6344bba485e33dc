// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A wtmp file, as the agent's boot accounting reads it.
#include "KLVRFuzzSupport.h"
#include "KLVRRWAWtmpReader.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = KLVRFuzz::writeFile(data, size, QStringLiteral("wtmp"));
    for (const KLVRRWAAccountingRecord &record : KLVRRWAWtmpReader::read(path))
        record.time.toText();
    return 0;
}
