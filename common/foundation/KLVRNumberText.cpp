// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRNumberText.h"

#include "KLVRCLocaleScope.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

QString KLVRNumberText::fromDouble(double value, int decimals)
{
    // Large enough for the widest double in fixed notation (309 digits) and its decimals.
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                            qBound(0, decimals, 60));
    if (error != std::errc())
        return QString::fromLatin1(printf("%f", value));
    return QString::fromLatin1(buffer, end - buffer);
}

std::optional<double> KLVRNumberText::toDouble(QStringView text)
{
    char buffer[128];
    const QStringView trimmed = text.trimmed();
    if (trimmed.size() >= qsizetype(sizeof buffer))
        return std::nullopt;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i].unicode();
        if (c > 0x7f)
            return std::nullopt;
        buffer[i] = char(c);
    }
    return toDouble(QByteArrayView(buffer, trimmed.size()));
}

std::optional<double> KLVRNumberText::toDouble(QByteArrayView text)
{
    char buffer[128];
    QByteArrayView trimmed = text.trimmed();
    if (trimmed.startsWith('+'))
        trimmed = trimmed.sliced(1);
    if (trimmed.isEmpty() || trimmed.size() >= qsizetype(sizeof buffer))
        return std::nullopt;
    // One ',' stands for the point, as the C library wrote it under a comma-decimal locale.
    const qsizetype comma = trimmed.indexOf(',');
    if (comma >= 0 && (trimmed.indexOf('.') >= 0 || trimmed.indexOf(',', comma + 1) >= 0))
        return std::nullopt;
    std::copy(trimmed.begin(), trimmed.end(), buffer);
    if (comma >= 0)
        buffer[comma] = '.';
    double value = 0.0;
    const auto [end, error] = std::from_chars(buffer, buffer + trimmed.size(), value);
    if (error != std::errc() || end != buffer + trimmed.size())
        return std::nullopt;
    return value;
}

double KLVRNumberText::leadingDouble(QByteArrayView text)
{
    const QByteArray terminated = text.toByteArray();
    return strtod_l(terminated.constData(), nullptr, KLVRCLocaleScope::cLocale());
}

QByteArray KLVRNumberText::printf(const char *conversion, double value)
{
    char buffer[512];
    KLVRCLocaleScope cLocale;
    const int length = std::snprintf(buffer, sizeof buffer, conversion, value);
    return QByteArray(buffer, qBound(0, length, int(sizeof buffer) - 1));
}
