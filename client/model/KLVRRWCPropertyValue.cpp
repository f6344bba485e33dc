// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyValue.h"

#include "KLVRFormat.h"
#include "KLVRNumberText.h"
#include "KLVRRWCModelResources.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

double KLVRRWCPropertyValue::doubleValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1.0 : 0.0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString: {
        // The leading number of the text, like strtod in any locale; trailing text is ignored.
        return KLVRNumberText::leadingDouble(value.toString().trimmed().toLatin1());
    }
    default:
        return 0.0;
    }
}

qint32 KLVRRWCPropertyValue::intValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int || value.typeId() == QMetaType::ULongLong
        || value.typeId() == QMetaType::UInt) {
        const qlonglong n = value.typeId() == QMetaType::ULongLong
                                ? qlonglong(qMin<qulonglong>(value.toULongLong(), qulonglong(std::numeric_limits<qlonglong>::max())))
                                : value.toLongLong();
        return qint32(std::clamp<qlonglong>(n, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
    }
    const double d = doubleValue(value);
    if (std::isnan(d))
        return 0;
    return qint32(std::clamp<double>(std::trunc(d), std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

float KLVRRWCPropertyValue::floatValue(const QVariant &value)
{
    return float(doubleValue(value));
}

QString KLVRRWCPropertyValue::text(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return KLVRRWCModelResources::localizedString(QStringLiteral("unknown"), QStringLiteral("unknown"), QStringLiteral("General"));
    return KLVRFormat::describe(value);
}
