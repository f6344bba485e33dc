// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Number text that reads the same in every locale. Whatever is stored, sent over the bus or
// parsed back uses '.' as its decimal point; only text shown to the user follows the user's
// locale (QLocale, KLVRFormat::localizedString). Earlier builds wrote times under the user's
// LC_NUMERIC, so the readers also take one ',' in place of the point.
class KLVRNumberText
{
public:
    // "%lf": fixed-point with the given decimals (six by default) and '.' as the point.
    static QString fromDouble(double value, int decimals = 6);
    // A text that is one number throughout (white space around it allowed, a leading '+', a
    // decimal point written '.' or ','); nothing for any other text.
    static std::optional<double> toDouble(QStringView text);
    static std::optional<double> toDouble(QByteArrayView text);
    // The number the text starts with, as strtod reads it in the C locale; 0 when none.
    static double leadingDouble(QByteArrayView text);
    // One printf real conversion ("%.1f", "%-10.3e") filled in the C locale.
    static QByteArray printf(const char *conversion, double value);
};
