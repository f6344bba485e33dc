// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// A cache row's bytes, read as a launch reads them: the record reader's fields straight into the
// log's event reader, and otherwise the whole record, by the record reader or the general one.
#include "KLVRFuzzSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCCacheRecord.h"
#include "KLVRRWCLog.h"

#include <QVariantMap>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static KLVRRWCLog log;
    const char *bytes = reinterpret_cast<const char *>(data);
    KLVRRWCCacheRecord::Fields fields;
    KLVRRWCLog::Event event;
    if (KLVRRWCCacheRecord::readFields(bytes, qsizetype(size), &fields)) {
        if (fields.wideProperties.isNull())
            KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.properties, &event);
        else
            KLVRRWCLog::readEvent(fields.date, fields.description, fields.monitor, fields.wideProperties, &event);
    }
    std::optional<QVariantMap> record = KLVRRWCCacheRecord::readBinary(bytes, qsizetype(size));
    if (!record) {
        const QVariant value = KLVRPropertyList::read(QByteArray(bytes, qsizetype(size)));
        if (value.typeId() == QMetaType::QVariantMap)
            record = value.toMap();
    }
    if (record)
        log.readEvent(*record, &event);
    return 0;
}
