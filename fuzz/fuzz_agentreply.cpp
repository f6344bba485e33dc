// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// An agent's answer to sortedEventsFromDate: the bus hands the client well-formed aa{ss}, but
// every text in it is the agent's. The input is that content: texts cut at zero bytes, taken as
// key and value in turn, an empty key ending an event. The client makes its records of the
// table as a pull does, caches them as binary records, reads those back as a launch does, and
// hands the events to a log, which builds its entries, pairs and groups from them.
#include "KLVRFuzzSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWAEventTable.h"
#include "KLVRRWCCacheRecord.h"
#include "KLVRRWCLog.h"

#include <QVariantMap>
#include <algorithm>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> texts = input.split('\0');
    KLVRRWAEventTable table;
    bool open = false;
    for (qsizetype i = 0; i < texts.size() && table.size() < 64; ++i) {
        if (texts.at(i).isEmpty()) {
            open = false;
            continue;
        }
        if (!open) {
            table.beginEvent();
            open = true;
        }
        const QString value = i + 1 < texts.size() ? QString::fromUtf8(texts.at(i + 1)) : QString();
        table.append(QString::fromUtf8(texts.at(i)), value);
        ++i;
    }
    table.marshalledSize();

    QList<QVariantMap> records;
    for (qsizetype event = 0; event < table.size(); ++event) {
        QVariantMap record;
        for (qsizetype i = table.firstValue(event), end = table.firstValue(event + 1); i < end; ++i)
            record.insert(table.key(i), table.value(i));
        records.append(record);
    }

    KLVRRWCLog log;
    std::vector<KLVRRWCLog::Event> events;
    for (const QVariantMap &record : records) {
        const QByteArray row = KLVRPropertyList::write(record, KLVRPropertyList::Format::Binary);
        KLVRRWCCacheRecord::Fields fields;
        KLVRRWCLog::Event event;
        if (KLVRRWCCacheRecord::readFields(row.constData(), row.size(), &fields)
            && (fields.wideProperties.isNull()
                    ? KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.properties, &event)
                    : KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.wideProperties, &event)))
            events.push_back(std::move(event));
        else if (log.readEvent(record, &event))
            events.push_back(std::move(event));
    }
    // The cache hands rows over in date order.
    std::stable_sort(events.begin(), events.end(),
                     [](const KLVRRWCLog::Event &a, const KLVRRWCLog::Event &b) { return a.date.seconds() < b.date.seconds(); });
    log.addEvents(std::move(events));
    for (const auto &entry : log.entries())
        entry->stringValue();
    return 0;
}
