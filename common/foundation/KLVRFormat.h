// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <type_traits>

// Fills printf-style formats written the Cocoa way: "%@" takes any value's text, "%s" a string,
// "%d %i %ld %lld %u %lu %x" integers, "%f %lf %.1f %e %g" reals, "%c" a character, "%%" a percent
// sign. Flags, width and precision pass through to the C library for numbers. A missing argument
// reads as empty text or zero, so a translated format can never crash the program.
// string() writes reals with '.' in every locale, for text that is kept, sent or logged;
// localizedString() writes them with the user's decimal point, for text shown to the user.
class KLVRFormat
{
public:
    static QString string(const QString &format, const QVariantList &arguments);
    static QString localizedString(const QString &format, const QVariantList &arguments);

    template<typename... Args>
        requires(!(sizeof...(Args) == 1 && (std::is_same_v<std::remove_cvref_t<Args>, QVariantList> && ...)))
    static QString string(const QString &format, Args &&...arguments)
    {
        // A named list: a temporary would bind to this template again and recurse without end.
        const QVariantList list{QVariant::fromValue(std::forward<Args>(arguments))...};
        return string(format, list);
    }

    template<typename... Args>
        requires(!(sizeof...(Args) == 1 && (std::is_same_v<std::remove_cvref_t<Args>, QVariantList> && ...)))
    static QString localizedString(const QString &format, Args &&...arguments)
    {
        const QVariantList list{QVariant::fromValue(std::forward<Args>(arguments))...};
        return localizedString(format, list);
    }

    // The text "%@" gives for a value: numbers in their shortest form, dates as "%lf", lists and
    // dictionaries in a readable nested form.
    static QString describe(const QVariant &value);

private:
    static QString fill(const QString &format, const QVariantList &arguments, bool localized);
};
