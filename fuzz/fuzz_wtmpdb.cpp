// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A wtmpdb database file, read with the agent's own query.
#include "KLVRFuzzSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAMonitorLast.h"
#include "KLVRRWAWtmpDbReader.h"

#include <QVariantMap>

// The reader reports through the monitors' category, which lives with the monitors.
Q_LOGGING_CATEGORY(lcRWAMonitor, "restwatch.agent.monitor")

namespace {
QString query;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    query = KLVRPropertyList::readFile(QStringLiteral(RESTWATCH_SOURCE_DIR "/agent/Info.plist"))
                .toMap()
                .value(KLVRRWAMonitorLast::WtmpDbSelectKey)
                .toString();
    return query.isEmpty() ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = KLVRFuzz::writeFile(data, size, QStringLiteral("wtmp.db"));
    for (const KLVRRWAAccountingRecord &record : KLVRRWAWtmpDbReader::read(path, query))
        record.time.toText();
    return 0;
}
