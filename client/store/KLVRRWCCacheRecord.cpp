// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCCacheRecord.h"

#include <QStringDecoder>
#include <QVarLengthArray>
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

namespace {

bool isAsciiText(QStringView text)
{
    char16_t seen = 0;
    for (const QChar c : text)
        seen |= c.unicode();
    return seen < 0x80;
}

// The bytes an integer of value takes in an offset table or a reference: 1, 2, 4 or 8.
int integerBytes(quint64 value)
{
    return value < 0x100 ? 1 : value < 0x10000 ? 2 : value < 0x100000000ULL ? 4 : 8;
}

void appendUnsigned(char *&out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        *out++ = char(value >> (8 * i));
}

// A marker with its count: in the low nibble below 15, as an integer object after it otherwise.
void appendMarker(char *&out, uchar marker, quint64 count)
{
    if (count < 15) {
        *out++ = char(marker | count);
        return;
    }
    *out++ = char(marker | 0x0f);
    const int bytes = integerBytes(count);
    *out++ = char(0x10 | (bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3));
    appendUnsigned(out, count, bytes);
}

void appendText(char *&out, QStringView text, bool ascii)
{
    appendMarker(out, ascii ? 0x50 : 0x60, quint64(text.size()));
    const char16_t *units = text.utf16();
    if (ascii) {
        for (qsizetype i = 0; i < text.size(); ++i)
            out[i] = char(units[i]);
        out += text.size();
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) {
            out[2 * i] = char(units[i] >> 8);
            out[2 * i + 1] = char(units[i]);
        }
        out += 2 * text.size();
    }
}

} // namespace

QByteArray KLVRRWCCacheRecord::writeBinary(const Entry *entries, qsizetype count)
{
    // Objects: the dictionary, then the keys, then the values, each text once.
    const quint64 objects = 1 + 2 * quint64(count);
    const int refSize = integerBytes(objects - 1);
    constexpr qsizetype kMarkerRoom = 10; // a marker and an integer object of up to 8 bytes
    qsizetype room = kHeaderSize + kMarkerRoom + 2 * count * refSize;
    QVarLengthArray<bool, 16> ascii(2 * count);
    for (qsizetype i = 0; i < count; ++i) {
        for (int part = 0; part < 2; ++part) {
            const QStringView text = part ? entries[i].second : entries[i].first;
            ascii[2 * i + part] = isAsciiText(text);
            room += kMarkerRoom + text.size() * (ascii[2 * i + part] ? 1 : 2);
        }
    }
    room += qsizetype(objects) * 8 + kTrailerSize;

    QByteArray data(room, Qt::Uninitialized);
    char *const start = data.data();
    char *out = start;
    std::memcpy(out, "bplist00", kHeaderSize);
    out += kHeaderSize;
    QVarLengthArray<quint64, 33> offsets;
    offsets.append(quint64(out - start));
    appendMarker(out, 0xd0, quint64(count));
    for (qsizetype i = 0; i < 2 * count; ++i)
        appendUnsigned(out, quint64(1 + i), refSize);
    for (int part = 0; part < 2; ++part) {
        for (qsizetype i = 0; i < count; ++i) {
            offsets.append(quint64(out - start));
            appendText(out, part ? entries[i].second : entries[i].first, ascii[2 * i + part]);
        }
    }
    const quint64 offsetTable = quint64(out - start);
    const int offsetSize = integerBytes(offsetTable);
    for (const quint64 offset : std::as_const(offsets))
        appendUnsigned(out, offset, offsetSize);
    std::memset(out, 0, 6);
    out += 6;
    *out++ = char(offsetSize);
    *out++ = char(refSize);
    appendUnsigned(out, objects, 8);
    appendUnsigned(out, 0, 8); // the top object: the dictionary
    appendUnsigned(out, offsetTable, 8);
    data.truncate(out - start);
    return data;
}
