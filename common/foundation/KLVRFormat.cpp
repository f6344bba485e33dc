// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRFormat.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRNumberText.h"

#include <QLocale>
#include <QStringList>
#include <cstdio>

namespace {

QString printfNumber(const QByteArray &spec, const QVariant &value, char conversion, bool localized)
{
    char buffer[512];
    switch (conversion) {
    case 'd': case 'i': {
        QByteArray s = spec; s.replace("ll", ""); s.replace("l", ""); s.replace("h", ""); s.replace("q", "");
        s.chop(1); s += "lld";
        std::snprintf(buffer, sizeof buffer, s.constData(), value.toLongLong());
        break;
    }
    case 'u': case 'x': case 'X': case 'o': {
        QByteArray s = spec; s.replace("ll", ""); s.replace("l", ""); s.replace("h", ""); s.replace("q", "");
        s.chop(1); s += "ll"; s += conversion;
        std::snprintf(buffer, sizeof buffer, s.constData(), value.toULongLong());
        break;
    }
    case 'c': {
        const QString text = value.typeId() == QMetaType::QString ? value.toString().left(1)
                                                                   : QString(QChar(char16_t(value.toUInt())));
        return text;
    }
    default: { // f F e E g G
        QByteArray s = spec; s.replace("l", ""); s.replace("L", "");
        const double d = value.canConvert<KLVRAbsoluteTime>() && value.userType() == qMetaTypeId<KLVRAbsoluteTime>()
                             ? value.value<KLVRAbsoluteTime>().seconds() : value.toDouble();
        // Text that is kept or sent reads the same everywhere; only text for the user's eyes
        // takes the decimal point of the user's locale.
        if (!localized)
            return QString::fromLatin1(KLVRNumberText::printf(s.constData(), d));
        std::snprintf(buffer, sizeof buffer, s.constData(), d);
        break;
    }
    }
    return QString::fromLatin1(buffer);
}

} // namespace

QString KLVRFormat::describe(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("(null)");
    if (value.userType() == qMetaTypeId<KLVRAbsoluteTime>())
        return value.value<KLVRAbsoluteTime>().toText();
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList items;
        for (const QVariant &item : value.toList())
            items << describe(item);
        return QStringLiteral("(") + items.join(QStringLiteral(", ")) + QStringLiteral(")");
    }
    case QMetaType::QVariantMap: {
        QStringList items;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            items << it.key() + QStringLiteral(" = ") + describe(it.value()) + QStringLiteral(";");
        return QStringLiteral("{") + items.join(QLatin1Char(' ')) + QStringLiteral("}");
    }
    default:
        return value.toString();
    }
}

QString KLVRFormat::string(const QString &format, const QVariantList &arguments)
{
    return fill(format, arguments, false);
}

QString KLVRFormat::localizedString(const QString &format, const QVariantList &arguments)
{
    return fill(format, arguments, true);
}

QString KLVRFormat::fill(const QString &format, const QVariantList &arguments, bool localized)
{
    QString out;
    out.reserve(format.size() + 16 * arguments.size());
    int next = 0;
    const auto take = [&]() -> QVariant { return next < arguments.size() ? arguments.at(next++) : QVariant(); };

    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        // Collect "%[flags][width][.precision][length]conversion".
        qsizetype j = i + 1;
        QByteArray spec("%");
        while (j < format.size() && QByteArrayView("-+ #0'").contains(char(format.at(j).unicode())))
            spec += char(format.at(j++).unicode());
        while (j < format.size() && format.at(j).isDigit())
            spec += char(format.at(j++).unicode());
        if (j < format.size() && format.at(j) == QLatin1Char('.')) {
            spec += '.';
            ++j;
            while (j < format.size() && format.at(j).isDigit())
                spec += char(format.at(j++).unicode());
        }
        while (j < format.size() && QByteArrayView("hlqLjzt").contains(char(format.at(j).unicode())))
            spec += char(format.at(j++).unicode());
        if (j >= format.size()) {
            out += format.mid(i);
            break;
        }
        const char conversion = char(format.at(j).unicode());
        switch (conversion) {
        case '%':
            out += QLatin1Char('%');
            break;
        case '@': {
            const QVariant v = take();
            out += v.isValid() ? describe(v) : QString();
            break;
        }
        case 's': case 'S': {
            const QVariant v = take();
            out += v.isValid() ? v.toString() : QString();
            break;
        }
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c':
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
            spec += conversion;
            out += printfNumber(spec, take(), conversion, localized);
            break;
        default:
            // Not a conversion we know: keep the text as it stands.
            out += format.mid(i, j - i + 1);
            break;
        }
        i = j;
    }
    return out;
}
