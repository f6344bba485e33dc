// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRPropertyList.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRCLocaleScope.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>

namespace {

struct PlistDeleter { void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); } };
using PlistPtr = std::unique_ptr<void, PlistDeleter>;
struct MallocDeleter { void operator()(char *p) const { std::free(p); } };
using CharPtr = std::unique_ptr<char, MallocDeleter>;

quint64 bigEndian(const uchar *p, int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// libplist stops the whole program (a failed assertion) when it hands out a text that holds a
// NUL character, which a damaged or crafted list can carry. Such lists, and binary lists whose
// tables do not add up, are refused before libplist reads them. Lengths are compared with what
// is left, never added up, so that no claim in the bytes can wrap a bound.
bool binaryIsReadable(const QByteArray &data)
{
    constexpr quint64 kHeader = 8, kTrailer = 32;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const quint64 size = quint64(data.size());
    if (size < kHeader + kTrailer)
        return false;
    const uchar *trailer = bytes + size - kTrailer;
    const int offsetSize = trailer[6];
    const quint64 objects = bigEndian(trailer + 8, 8);
    const quint64 table = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || table < kHeader || table > size - kTrailer
        || objects > (size - kTrailer - table) / quint64(offsetSize))
        return false;
    for (quint64 i = 0; i < objects; ++i) {
        const quint64 offset = bigEndian(bytes + table + i * quint64(offsetSize), offsetSize);
        if (offset < kHeader || offset >= table)
            return false;
        const uchar marker = bytes[offset];
        const int kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6 && kind != 0x7) // ASCII, UTF-16 and UTF-8 texts
            continue;
        quint64 at = offset + 1;
        quint64 count = marker & 0x0f;
        if (count == 0x0f) {
            if (at >= table || (bytes[at] & 0xf0) != 0x10)
                return false;
            const int countSize = 1 << (bytes[at] & 0x0f);
            if (countSize > 8 || table - at < quint64(1 + countSize))
                return false;
            count = bigEndian(bytes + at + 1, countSize);
            at += 1 + quint64(countSize);
        }
        const quint64 unit = kind == 0x6 ? 2 : 1;
        if (count > (table - at) / unit)
            return false;
        for (quint64 c = 0; c < count; ++c) {
            const uchar *character = bytes + at + c * unit;
            if (character[0] == 0 && (unit == 1 || character[1] == 0))
                return false;
        }
    }
    return true;
}

// The same for XML: a NUL character, raw or as a character reference.
bool xmlIsReadable(const QByteArray &data)
{
    if (data.contains('\0'))
        return false;
    if (!data.contains("&#"))
        return true;
    static const QRegularExpression nulReference(QStringLiteral("&#(x0*|0+);"), QRegularExpression::CaseInsensitiveOption);
    return !nulReference.match(QString::fromLatin1(data)).hasMatch();
}

QVariant toVariant(plist_t node, int depth, QString *error)
{
    if (depth > 512) {
        if (error) *error = QStringLiteral("property list nested too deeply");
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qlonglong(v); // libplist keeps negative integers in two's complement
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_STRING: {
        char *raw = nullptr;
        plist_get_string_val(node, &raw);
        CharPtr s(raw);
        return QString::fromUtf8(raw ? raw : "");
    }
    case PLIST_KEY: {
        char *raw = nullptr;
        plist_get_key_val(node, &raw);
        CharPtr s(raw);
        return QString::fromUtf8(raw ? raw : "");
    }
    case PLIST_DATA: {
        char *raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        CharPtr s(raw);
        return QByteArray(raw ? raw : "", qsizetype(length));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QVariant::fromValue(KLVRAbsoluteTime(double(sec) + double(usec) / 1e6));
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return qlonglong(v);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        list.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            QVariant v = toVariant(plist_array_get_item(node, i), depth + 1, error);
            if (!v.isValid())
                return {};
            list.append(v);
        }
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            CharPtr keyHolder(key);
            QVariant v = toVariant(value, depth + 1, error);
            if (!v.isValid()) {
                std::free(it);
                return {};
            }
            map.insert(QString::fromUtf8(key ? key : ""), v);
        }
        std::free(it);
        return map;
    }
    default:
        if (error) *error = QStringLiteral("unsupported property list node");
        return {};
    }
}

plist_t fromVariant(const QVariant &value, int depth, QString *error)
{
    if (depth > 512) {
        if (error) *error = QStringLiteral("value nested too deeply");
        return nullptr;
    }
    if (value.userType() == qMetaTypeId<KLVRAbsoluteTime>()) {
        const double s = value.value<KLVRAbsoluteTime>().seconds();
        if (!std::isfinite(s)) {
            if (error) *error = QStringLiteral("date is not a finite time");
            return nullptr;
        }
        double whole = std::floor(s);
        int32_t usec = int32_t(std::llround((s - whole) * 1e6));
        if (usec >= 1000000) { whole += 1; usec -= 1000000; }
        // libplist keeps a date's seconds in 32 bits (the years 1933 to 2069).
        if (whole < double(INT32_MIN) || whole > double(INT32_MAX)) {
            if (error) *error = QStringLiteral("date lies beyond what a property list holds");
            return nullptr;
        }
        return plist_new_date(int32_t(whole), usec);
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Long: case QMetaType::Short:
    case QMetaType::UInt: case QMetaType::ULongLong: case QMetaType::ULong: case QMetaType::UShort:
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Double: case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        return plist_new_data(b.constData(), uint64_t(b.size()));
    }
    case QMetaType::QDateTime:
        return fromVariant(QVariant::fromValue(KLVRAbsoluteTime::fromDateTime(value.toDateTime())), depth, error);
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : value.toList()) {
            plist_t child = fromVariant(item, depth + 1, error);
            if (!child) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, child);
        }
        return array;
    }
    case QMetaType::QVariantMap: case QMetaType::QVariantHash: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t child = fromVariant(it.value(), depth + 1, error);
            if (!child) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), child);
        }
        return dict;
    }
    default:
        if (error) *error = QStringLiteral("value of type %1 cannot be written to a property list").arg(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"));
        return nullptr;
    }
}

} // namespace

QVariant KLVRPropertyList::read(const QByteArray &data, QString *error)
{
    if (data.isEmpty() || data.size() > 0x7fffffff) {
        if (error) *error = QStringLiteral("empty or oversized property list");
        return {};
    }
    // libplist reads <real> with the C library, under the user's LC_NUMERIC.
    KLVRCLocaleScope cLocale;
    plist_t root = nullptr;
    const bool binary = data.startsWith("bplist00");
    if (binary ? !binaryIsReadable(data) : !xmlIsReadable(data)) {
        if (error) *error = QStringLiteral("not a property list");
        return {};
    }
    if (binary)
        plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    else
        plist_from_xml(data.constData(), uint32_t(data.size()), &root);
    PlistPtr holder(root);
    if (!root) {
        if (error) *error = QStringLiteral("not a property list");
        return {};
    }
    return toVariant(root, 0, error);
}

QByteArray KLVRPropertyList::write(const QVariant &value, Format format, QString *error)
{
    KLVRCLocaleScope cLocale;
    PlistPtr root(fromVariant(value, 0, error));
    if (!root)
        return {};
    char *raw = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(static_cast<plist_t>(root.get()), &raw, &length);
    else
        plist_to_xml(static_cast<plist_t>(root.get()), &raw, &length);
    CharPtr holder(raw);
    if (!raw) {
        if (error) *error = QStringLiteral("property list could not be written");
        return {};
    }
    return QByteArray(raw, qsizetype(length));
}

QVariant KLVRPropertyList::readFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return {};
    }
    return read(file.readAll(), error);
}
