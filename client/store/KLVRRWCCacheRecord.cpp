// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCCacheRecord.h"

#include <QStringDecoder>
#include <QtEndian>
#include <array>
#include <cstring>

namespace {

constexpr qsizetype kHeaderSize = 8;
const QString kMonitor = QStringLiteral("monitor");
const QString kDescription = QStringLiteral("description");
const QString kProperties = QStringLiteral("properties");
constexpr qsizetype kTrailerSize = 32;

// Big-endian unsigned integer of 1 to 8 bytes.
quint64 readUnsigned(const uchar *p, int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// Every length and offset in the bytes is the writer's claim: each is compared with what is left
// before it is added or multiplied, so that no claim, however large, can wrap a bound.
class Reader
{
public:
    Reader(const uchar *data, qsizetype size) : m_data(data), m_size(quint64(size)) {}

    bool readTrailer()
    {
        if (m_size < quint64(kHeaderSize + kTrailerSize) || std::memcmp(m_data, "bplist00", 8) != 0)
            return false;
        const uchar *trailer = m_data + m_size - kTrailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_objectCount = readUnsigned(trailer + 8, 8);
        m_top = readUnsigned(trailer + 16, 8);
        m_offsetTable = readUnsigned(trailer + 24, 8);
        const quint64 tableRoom = m_size - kTrailerSize;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        if (m_offsetTable < quint64(kHeaderSize) || m_offsetTable > tableRoom)
            return false;
        return m_objectCount <= (tableRoom - m_offsetTable) / quint64(m_offsetSize) && m_top < m_objectCount;
    }

    // Start of object index, or null when it lies outside the data.
    const uchar *object(quint64 index) const
    {
        if (index >= m_objectCount)
            return nullptr;
        const quint64 offset = readUnsigned(m_data + m_offsetTable + index * quint64(m_offsetSize), m_offsetSize);
        return offset >= quint64(kHeaderSize) && offset < m_offsetTable ? m_data + offset : nullptr;
    }

    // Bytes of the object area from p on; p never lies beyond it.
    quint64 remaining(const uchar *p) const { return quint64(end() - p); }

    // The count of a marker whose low nibble may say "an integer follows"; p moves past it.
    bool count(const uchar *&p, quint64 *count) const
    {
        const uchar nibble = *p & 0x0f;
        ++p;
        if (nibble != 0x0f) {
            *count = nibble;
            return true;
        }
        if (remaining(p) < 1 || (*p & 0xf0) != 0x10)
            return false;
        const int bytes = 1 << (*p & 0x0f);
        if (bytes > 8 || remaining(p) < quint64(1 + bytes))
            return false;
        *count = readUnsigned(p + 1, bytes);
        p += 1 + bytes;
        return true;
    }

    // An ASCII (0x5) or UTF-16 (0x6) text object: its kind and bytes.
    bool text(quint64 index, bool *ascii, const uchar **bytes, qsizetype *length) const
    {
        const uchar *p = object(index);
        if (!p)
            return false;
        const uchar marker = *p & 0xf0;
        if (marker != 0x50 && marker != 0x60)
            return false;
        quint64 characters = 0;
        if (!count(p, &characters))
            return false;
        const quint64 unit = marker == 0x50 ? 1 : 2;
        if (characters > remaining(p) / unit)
            return false;
        *ascii = marker == 0x50;
        *bytes = p;
        *length = qsizetype(characters * unit);
        return true;
    }

    quint64 top() const { return m_top; }
    int refSize() const { return m_refSize; }
    const uchar *end() const { return m_data + m_offsetTable; }

private:
    const uchar *m_data;
    quint64 m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_top = 0;
    quint64 m_offsetTable = 0;
};

// Keys, monitors and descriptions recur in every record: made once and shared, they cost neither
// allocations nor memory per record.
QString sharedText(const uchar *bytes, qsizetype length)
{
    constexpr int kSlots = 64;
    thread_local std::array<QString, kSlots> recent;
    thread_local int next = 0;
    const QLatin1StringView text(reinterpret_cast<const char *>(bytes), length);
    for (const QString &candidate : recent) {
        if (candidate.size() == length && candidate == text)
            return candidate;
    }
    QString made(text);
    recent[next] = made;
    next = (next + 1) % kSlots;
    return made;
}

// The properties text of the previous record, shared: a sleep's events carry the same context
// one after the other.
QString propertiesText(const uchar *bytes, qsizetype length)
{
    thread_local QString previous;
    const QLatin1StringView text(reinterpret_cast<const char *>(bytes), length);
    if (previous.size() != length || previous != text)
        previous = QString(text);
    return previous;
}

QString utf16Text(const uchar *bytes, qsizetype length)
{
    QString text(length / 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < length / 2; ++i)
        out[i] = qFromBigEndian<quint16>(bytes + 2 * i);
    return text;
}

// The top dictionary of a record: its entry count and where its key and value references start.
bool topDictionary(const Reader &reader, const uchar **references, quint64 *entries)
{
    const uchar *p = reader.object(reader.top());
    if (!p || (*p & 0xf0) != 0xd0)
        return false;
    if (!reader.count(p, entries) || *entries > reader.remaining(p) / (2 * quint64(reader.refSize())))
        return false;
    *references = p;
    return true;
}

} // namespace

std::optional<QVariantMap> KLVRRWCCacheRecord::readBinary(const char *data, qsizetype size)
{
    Reader reader(reinterpret_cast<const uchar *>(data), size);
    const uchar *p = nullptr;
    quint64 entries = 0;
    if (!reader.readTrailer() || !topDictionary(reader, &p, &entries))
        return std::nullopt;

    QVariantMap record;
    const int refSize = reader.refSize();
    for (quint64 i = 0; i < entries; ++i) {
        const quint64 keyIndex = readUnsigned(p + i * refSize, refSize);
        const quint64 valueIndex = readUnsigned(p + (entries + i) * refSize, refSize);
        bool keyAscii = false, valueAscii = false;
        const uchar *keyBytes = nullptr, *valueBytes = nullptr;
        qsizetype keyLength = 0, valueLength = 0;
        if (!reader.text(keyIndex, &keyAscii, &keyBytes, &keyLength)
            || !reader.text(valueIndex, &valueAscii, &valueBytes, &valueLength))
            return std::nullopt;
        const QString key = keyAscii ? sharedText(keyBytes, keyLength) : utf16Text(keyBytes, keyLength);
        const bool recurring = key == kMonitor || key == kDescription || (key == kProperties && valueLength == 4);
        if (!valueAscii)
            record.insert(key, utf16Text(valueBytes, valueLength));
        else if (recurring)
            record.insert(key, sharedText(valueBytes, valueLength));
        else if (key == kProperties)
            record.insert(key, propertiesText(valueBytes, valueLength));
        else
            record.insert(key, QString::fromLatin1(reinterpret_cast<const char *>(valueBytes), valueLength));
    }
    return record;
}

bool KLVRRWCCacheRecord::readFields(const char *data, qsizetype size, Fields *fields)
{
    Reader reader(reinterpret_cast<const uchar *>(data), size);
    const uchar *p = nullptr;
    quint64 entries = 0;
    if (!reader.readTrailer() || !topDictionary(reader, &p, &entries))
        return false;

    *fields = Fields();
    const int refSize = reader.refSize();
    for (quint64 i = 0; i < entries; ++i) {
        bool keyAscii = false, valueAscii = false;
        const uchar *keyBytes = nullptr, *valueBytes = nullptr;
        qsizetype keyLength = 0, valueLength = 0;
        if (!reader.text(readUnsigned(p + i * refSize, refSize), &keyAscii, &keyBytes, &keyLength)
            || !reader.text(readUnsigned(p + (entries + i) * refSize, refSize), &valueAscii, &valueBytes, &valueLength)
            || !keyAscii)
            return false;
        const QByteArrayView key(keyBytes, keyLength);
        if (key == "date") {
            if (!valueAscii)
                return false;
            fields->date = QByteArrayView(valueBytes, valueLength);
        } else if (key == "description") {
            fields->description = valueAscii ? sharedText(valueBytes, valueLength) : utf16Text(valueBytes, valueLength);
        } else if (key == "monitor") {
            fields->monitor = valueAscii ? sharedText(valueBytes, valueLength) : utf16Text(valueBytes, valueLength);
        } else if (key == "properties") {
            if (valueAscii)
                fields->properties = QByteArrayView(valueBytes, valueLength);
            else
                fields->wideProperties = utf16Text(valueBytes, valueLength);
        }
    }
    return !fields->date.isNull() && !fields->description.isNull() && !fields->monitor.isNull();
}
