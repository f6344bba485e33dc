// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyReader.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCStringPool.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QVariantList>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int kMaxDepth = 512;

// A document's own text: UTF-16 as the agent hands it over, or ASCII bytes as the cache keeps it
// (reading those as they are spares widening megabytes of process names into UTF-16).
template<typename Char>
struct Document;
template<>
struct Document<char16_t>
{
    using Text = QString;
    static const char16_t *data(const QString &text) { return reinterpret_cast<const char16_t *>(text.constData()); }
};
template<>
struct Document<char>
{
    using Text = QByteArray;
    static const char *data(const QByteArray &text) { return text.constData(); }
};

// What the previous documents of each form looked like, so that repeated parts are taken over
// without being read again. Each form keeps its own, since positions are in its code units.
template<typename Char>
struct Memory
{
    using Text = typename Document<Char>::Text;

    // The previous "Processes" array: the document it was read from (shared, not copied), where
    // each item stood in it, and the name each item was.
    struct
    {
        Text text;
        std::vector<qsizetype> begins;
        std::vector<qsizetype> ends;
        KLVRRWCProcessList list;
        // Buffers for the next list, swapped with the two above.
        std::vector<qsizetype> nextBegins;
        std::vector<qsizetype> nextEnds;
    } lastProcesses;

    // The keys of the previous document (string pool indices), in their order.
    std::vector<quint32> lastKeys;
    // The pool index of "Processes", the key of the process list.
    std::optional<quint32> processesKey;

    // The values of the previous document of each shape (documents are told apart by their first
    // key): where each value stood in that document's text, and what it was.
    struct Field
    {
        quint32 key;
        qsizetype keyBegin;
        qsizetype begin;
        qsizetype end;
        KLVRRWCPropertyDictionary::Builder::Item item;
    };
    struct Shape
    {
        quint32 firstKey;
        Text text;
        std::vector<Field> fields;
    };
    std::vector<Shape> shapes;

    // The last nested value read under each key, with the text it was read from.
    struct NestedValue
    {
        quint32 key;
        Text text;
        qsizetype begin;
        qsizetype end;
        QVariant value;
    };
    std::vector<NestedValue> nestedValues;

    // The previous document, whose first headerSize units are its header.
    Text header;
    qsizetype headerSize = 0;

    // Scratch buffers of the reader, kept for their capacity.
    std::vector<quint32> indices;
    QString raw;
    QString decoded;

    // Guarded by the string pool's lock, like the pool itself.
    static Memory &shared()
    {
        static Memory memory;
        return memory;
    }
};

// How many code units a and b share from their start, looking at most n. Whole blocks go
// through memcmp, which compares far faster than any loop here; only the block that differs is
// looked at unit by unit.
template<typename Char>
qsizetype commonPrefix(const Char *a, const Char *b, qsizetype n)
{
    constexpr qsizetype block = 256;
    qsizetype i = 0;
    while (i + block <= n && std::memcmp(a + i, b + i, block * sizeof(Char)) == 0)
        i += block;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

template<typename Char>
class XmlReader
{
    using Text = typename Document<Char>::Text;
    using Memo = Memory<Char>;
    using Shape = typename Memo::Shape;
    using Field = typename Memo::Field;
    using NestedValue = typename Memo::NestedValue;

public:
    XmlReader(const Text &text, KLVRRWCStringPool &pool)
        : m_owner(text), m_p(Document<Char>::data(text)), m_end(m_p + text.size()), m_pool(pool), m_memory(Memo::shared())
        , m_processesKey(processesKey(pool, m_memory))
    {
    }

    bool readDocument(KLVRRWCPropertyDictionary *dictionary)
    {
        // Every document opens with the same declaration and root element: one comparison
        // passes them.
        const qsizetype headerSize = m_memory.headerSize;
        if (headerSize > 0 && headerSize <= m_end - m_p
            && std::memcmp(m_p, Document<Char>::data(m_memory.header), size_t(headerSize) * sizeof(Char)) == 0) {
            m_p += headerSize;
        } else if (!readHeader()) {
            return false;
        }
        // One builder for every document keeps its buffers' capacity.
        thread_local KLVRRWCPropertyDictionary::Builder builder;
        if (!readDictBody(builder, 1)) {
            builder.take();
            return false;
        }
        skipSpace();
        if (!consume("</plist>"))
            return false;
        skipSpace();
        if (m_p != m_end)
            return false;
        *dictionary = builder.take();
        return true;
    }

private:
    // The XML declaration, document type and root element, up to the top dictionary's "<dict>".
    bool readHeader()
    {
        skipSpace();
        if (startsWith("<?xml")) {
            const Char *close = m_p;
            do {
                close = std::find(close + 1, m_end, Char('>'));
            } while (close != m_end && close[-1] != Char('?'));
            if (close == m_end)
                return false;
            m_p = close + 1;
            skipSpace();
        }
        if (startsWith("<!DOCTYPE")) {
            const Char *close = find(Char('>'));
            if (!close || std::find(m_p, close, Char('[')) != close)
                return false;
            m_p = close + 1;
            skipSpace();
        }
        if (!startsWith("<plist"))
            return false;
        const Char *close = find(Char('>'));
        if (!close || close[-1] == u'/')
            return false;
        m_p = close + 1;
        skipSpace();
        if (!consume("<dict>"))
            return false;
        const Char *start = Document<Char>::data(m_owner);
        m_memory.header = m_owner;
        m_memory.headerSize = m_p - start;
        return true;
    }

    static constexpr quint32 kNoKey = std::numeric_limits<quint32>::max();

    static quint32 processesKey(KLVRRWCStringPool &pool, Memo &memory)
    {
        if (!memory.processesKey)
            memory.processesKey = pool.indexOf(u"Processes");
        return *memory.processesKey;
    }

    // Whether the text goes on with the size units at text.
    bool startsWith(const Char *text, qsizetype size) const
    {
        return size <= m_end - m_p && std::memcmp(m_p, text, size_t(size) * sizeof(Char)) == 0;
    }

    template<size_t N>
    bool startsWith(const char (&literal)[N]) const
    {
        constexpr size_t n = N - 1;
        if (size_t(m_end - m_p) < n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (m_p[i] != Char(literal[i]))
                return false;
        }
        return true;
    }
    template<size_t N>
    bool consume(const char (&literal)[N])
    {
        if (!startsWith(literal))
            return false;
        m_p += N - 1;
        return true;
    }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == u' ' || *m_p == u'\n' || *m_p == u'\t' || *m_p == u'\r'))
            ++m_p;
    }
    const Char *find(Char c) const
    {
        const Char *found = std::find(m_p, m_end, c);
        return found == m_end ? nullptr : found;
    }

    // Character data up to the next '<', with the five predefined entities and character
    // references decoded; false for anything else the general parser should judge (comments,
    // CDATA, carriage returns, which XML would normalise).
    bool readText(QStringView *text)
    {
        const Char *start = m_p;
        bool entities = false;
        const Char *p = m_p;
        for (; p < m_end && *p != Char('<'); ++p) {
            if (*p == Char('&'))
                entities = true;
            else if (*p == Char('\r') || *p == Char('>'))
                return false;
            else if constexpr (sizeof(Char) == 1) {
                // Bytes beyond ASCII are UTF-8 sequences: left to the reading of the whole text.
                if (uchar(*p) > 0x7f)
                    return false;
            }
        }
        if (p == m_end || (p + 1 < m_end && p[1] == Char('!')))
            return false;
        m_p = p;
        QStringView raw;
        if constexpr (sizeof(Char) == 2) {
            raw = QStringView(start, p);
        } else {
            // ASCII: widened into a buffer that keeps its capacity from text to text.
            m_raw.resize(p - start);
            char16_t *out = reinterpret_cast<char16_t *>(m_raw.data());
            for (const Char *q = start; q < p; ++q)
                *out++ = char16_t(uchar(*q));
            raw = m_raw;
        }
        if (!entities) {
            *text = raw;
            return true;
        }
        m_decoded.resize(0);
        for (qsizetype i = 0; i < raw.size();) {
            const QChar c = raw[i];
            if (c != u'&') {
                m_decoded += c;
                ++i;
                continue;
            }
            const qsizetype semi = raw.indexOf(u';', i);
            if (semi < 0)
                return false;
            const QStringView name = raw.sliced(i + 1, semi - i - 1);
            if (name == u"amp") m_decoded += u'&';
            else if (name == u"lt") m_decoded += u'<';
            else if (name == u"gt") m_decoded += u'>';
            else if (name == u"quot") m_decoded += u'"';
            else if (name == u"apos") m_decoded += u'\'';
            else if (name.startsWith(u'#')) {
                bool ok = false;
                const uint code = name.startsWith(u"#x") ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
                if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    return false;
                const char32_t ch = char32_t(code);
                m_decoded += QString::fromUcs4(&ch, 1);
            } else {
                return false;
            }
            i = semi + 1;
        }
        *text = m_decoded;
        return true;
    }

    template<size_t N>
    bool readElementText(const char (&closing)[N], QStringView *text)
    {
        return readText(text) && consume(closing);
    }

    // A short text of digits and signs as Latin-1 in buf; false when it cannot be one.
    static bool latin1(QStringView text, char *buf, size_t size, size_t *length)
    {
        text = text.trimmed();
        if (text.isEmpty() || size_t(text.size()) >= size)
            return false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].unicode() > 0x7f)
                return false;
            buf[i] = char(text[i].unicode());
        }
        *length = size_t(text.size());
        return true;
    }

    // A key as its index in the string pool.
    bool readKey(quint32 *key)
    {
        QStringView keyText;
        if (!consume("<key>") || !readElementText("</key>", &keyText))
            return false;
        // Documents of one monitor repeat their keys in the same order.
        const size_t i = m_keyCount++;
        if (i < lastKeys.size() && QStringView(m_pool.textAt(lastKeys[i])) == keyText) {
            *key = lastKeys[i];
            return true;
        }
        *key = m_pool.indexOf(keyText);
        if (i < lastKeys.size())
            lastKeys[i] = *key;
        else if (i < 64)
            lastKeys.push_back(*key);
        return true;
    }

    // The top-level dictionary. A value whose text is the one the previous document of the
    // same shape had at the same place is taken over without reading it: power sources report
    // a dozen unchanged figures with every change of one.
    bool readDictBody(KLVRRWCPropertyDictionary::Builder &builder, int depth)
    {
        Shape *shape = nullptr;
        const Char *base = Document<Char>::data(m_owner);
        for (size_t i = 0;; ++i) {
            skipSpace();
            if (consume("</dict>")) {
                if (shape) {
                    shape->fields.resize(i);
                    shape->text = m_owner;
                }
                return true;
            }
            const Char *old = shape ? Document<Char>::data(shape->text) : nullptr;
            Field *known = shape && i < shape->fields.size() ? &shape->fields[i] : nullptr;
            // The whole field (key and value) as the previous document of this shape had it.
            if (known && startsWith(old + known->keyBegin, known->end - known->keyBegin)) {
                const qsizetype shift = (m_p - base) - known->keyBegin;
                m_p += known->end - known->keyBegin;
                ++m_keyCount;
                builder.insertItem(known->key, known->item);
                known->keyBegin += shift;
                known->begin += shift;
                known->end += shift;
                continue;
            }
            const qsizetype keyBegin = m_p - base;
            quint32 key = 0;
            if (known && startsWith(old + known->keyBegin, known->begin - known->keyBegin)) {
                // The key as the previous document had it: only the value is new.
                m_p += known->begin - known->keyBegin;
                ++m_keyCount;
                key = known->key;
            } else {
                if (!readKey(&key))
                    return forget(shape);
                if (i == 0)
                    shape = shapeFor(key);
                skipSpace();
                if (i < shape->fields.size() && shape->fields[i].key == key) {
                    Field &field = shape->fields[i];
                    if (startsWith(Document<Char>::data(shape->text) + field.begin, field.end - field.begin)) {
                        const qsizetype begin = m_p - base;
                        m_p += field.end - field.begin;
                        builder.insertItem(key, field.item);
                        field.keyBegin = keyBegin;
                        field.end = begin + (field.end - field.begin);
                        field.begin = begin;
                        continue;
                    }
                }
            }
            const qsizetype begin = m_p - base;
            if (!readTopValue(key, builder, depth))
                return forget(shape);
            Field field{key, keyBegin, begin, m_p - base, builder.lastItem()};
            if (i < shape->fields.size())
                shape->fields[i] = std::move(field);
            else
                shape->fields.push_back(std::move(field));
        }
    }

    // A document that could not be read leaves its shape half updated: start it afresh.
    static bool forget(Shape *shape)
    {
        if (shape) {
            shape->fields.clear();
            shape->text.clear();
        }
        return false;
    }

    Shape *shapeFor(quint32 firstKey)
    {
        for (Shape &shape : shapes) {
            if (shape.firstKey == firstKey)
                return &shape;
        }
        if (shapes.size() >= 8)
            shapes.erase(shapes.begin());
        shapes.push_back(Shape{firstKey, {}, {}});
        return &shapes.back();
    }

    // Plain values go into the dictionary typed, without a QVariant on the way.
    bool readTopValue(quint32 key, KLVRRWCPropertyDictionary::Builder &builder, int depth)
    {
        QStringView text;
        if (consume("<string>")) {
            if (!readElementText("</string>", &text))
                return false;
            builder.insertText(key, m_pool.indexOf(text));
            return true;
        }
        if (consume("<integer>")) {
            qlonglong number = 0;
            if (!readElementText("</integer>", &text) || !parseNumber(text, &number))
                return false;
            builder.insertInteger(key, number);
            return true;
        }
        if (consume("<true/>")) {
            builder.insertBool(key, true);
            return true;
        }
        if (consume("<false/>")) {
            builder.insertBool(key, false);
            return true;
        }
        if (consume("<real>")) {
            double number = 0;
            if (!readElementText("</real>", &text) || !parseNumber(text, &number))
                return false;
            builder.insertReal(key, number);
            return true;
        }
        if (consume("<string/>")) {
            builder.insertText(key, m_pool.indexOf(QStringView()));
            return true;
        }
        QVariant value;
        if (!readMemoisedValue(key, &value, depth))
            return false;
        builder.insertOther(key, std::move(value));
        return true;
    }

    template<typename Number>
    static bool parseNumber(QStringView text, Number *number)
    {
        char buf[64];
        size_t n = 0;
        if (!latin1(text, buf, sizeof buf, &n))
            return false;
        const auto [ptr, ec] = std::from_chars(buf, buf + n, *number);
        return ec == std::errc() && ptr == buf + n;
    }

    // Nested lists and dictionaries (inhibitors, wake reasons) repeat from one event to the
    // next: when the text is the one read last time under the key, the value read then is
    // taken, and shared.
    bool readMemoisedValue(quint32 key, QVariant *value, int depth)
    {
        const bool nested = startsWith("<array>") || startsWith("<dict>");
        if (!nested || key == m_processesKey)
            return readValue(key, value, depth);
        const auto it = std::find_if(nestedValues.begin(), nestedValues.end(),
                                     [&key](const NestedValue &n) { return n.key == key; });
        if (it != nestedValues.end()) {
            const qsizetype size = it->end - it->begin;
            if (size <= m_end - m_p
                && std::memcmp(m_p, it->text.constData() + it->begin, size_t(size) * sizeof(Char)) == 0) {
                m_p += size;
                *value = it->value;
                return true;
            }
        }
        const Char *start = m_p;
        if (!readValue(key, value, depth))
            return false;
        const Char *base = Document<Char>::data(m_owner);
        NestedValue remembered{key, m_owner, start - base, m_p - base, *value};
        if (it != nestedValues.end())
            *it = std::move(remembered);
        else if (nestedValues.size() < 16)
            nestedValues.push_back(std::move(remembered));
        return true;
    }

    bool readDictValue(QVariant *value, int depth)
    {
        QVariantMap map;
        for (;;) {
            skipSpace();
            if (consume("</dict>"))
                break;
            quint32 key = 0;
            if (!readKey(&key))
                return false;
            skipSpace();
            QVariant item;
            if (!readValue(key, &item, depth))
                return false;
            map.insert(m_pool.textAt(key), item);
        }
        *value = map;
        return true;
    }

    bool readArrayValue(QVariant *value, int depth)
    {
        QVariantList list;
        for (;;) {
            skipSpace();
            if (consume("</array>"))
                break;
            QVariant item;
            if (!readValue(kNoKey, &item, depth))
                return false;
            list.append(item);
        }
        *value = list;
        return true;
    }

    // A list of texts becomes a compact process list; any other item sends the array back to
    // the general array reading. Consecutive power events list nearly the same processes, so
    // each item is first compared with the items around the same place in the previous list,
    // and only new names are read and looked up.
    bool readProcesses(QVariant *value)
    {
        const Char *start = m_p;
        const Char *base = Document<Char>::data(m_owner);
        const Char *lastBase = Document<Char>::data(lastProcesses.text);
        const std::vector<quint32> &lastIndices = lastProcesses.list.indexes();
        const size_t lastCount = lastIndices.size();
        std::vector<qsizetype> &begins = lastProcesses.nextBegins;
        std::vector<qsizetype> &ends = lastProcesses.nextEnds;
        begins.clear();
        ends.clear();
        // Built in a buffer that keeps its capacity; only a list that differs gets storage of its own.
        std::vector<quint32> &indices = m_memory.indices;
        indices.clear();
        // Most often the whole list is the previous one (an idle sleep records the decision and
        // the sleep with one context): one comparison settles it.
        if (lastCount > 0) {
            const qsizetype size = lastProcesses.ends.back() - lastProcesses.begins.front();
            const Char *first = lastBase + lastProcesses.begins.front();
            skipSpace();
            const Char *itemsStart = m_p;
            if (size <= m_end - m_p && std::memcmp(m_p, first, size_t(size) * sizeof(Char)) == 0) {
                m_p += size;
                skipSpace();
                if (consume("</array>")) {
                    *value = QVariant::fromValue(lastProcesses.list);
                    const qsizetype shift = (itemsStart - base) - lastProcesses.begins.front();
                    for (qsizetype &b : lastProcesses.begins)
                        b += shift;
                    for (qsizetype &e : lastProcesses.ends)
                        e += shift;
                    lastProcesses.text = m_owner;
                    return true;
                }
            }
            m_p = start;
        }
        size_t q = 0;
        for (;;) {
            skipSpace();
            // Take over the run of items that reads as in the previous list from item q on.
            if (q < lastCount) {
                const qsizetype from = lastProcesses.begins[q];
                const qsizetype common = commonPrefix(m_p, lastBase + from,
                                                      std::min<qsizetype>(m_end - m_p, lastProcesses.text.size() - from));
                const auto firstEnd = lastProcesses.ends.cbegin() + qsizetype(q);
                const size_t k = size_t(std::upper_bound(firstEnd, lastProcesses.ends.cend(), from + common)
                                        - lastProcesses.ends.cbegin());
                if (k > q) {
                    const qsizetype shift = (m_p - base) - from;
                    const size_t at = begins.size();
                    begins.insert(begins.end(), lastProcesses.begins.cbegin() + qsizetype(q), lastProcesses.begins.cbegin() + qsizetype(k));
                    ends.insert(ends.end(), lastProcesses.ends.cbegin() + qsizetype(q), lastProcesses.ends.cbegin() + qsizetype(k));
                    indices.insert(indices.end(), lastIndices.cbegin() + qsizetype(q), lastIndices.cbegin() + qsizetype(k));
                    for (size_t i = at; i < begins.size(); ++i) {
                        begins[i] += shift;
                        ends[i] += shift;
                    }
                    m_p = base + ends.back();
                    q = k;
                    skipSpace();
                }
            }
            if (consume("</array>"))
                break;
            const qsizetype begin = m_p - base;
            bool matched = false;
            quint32 index = 0;
            for (size_t d = 0; d < 3 && q + d < lastCount; ++d) {
                const Char *item = lastBase + lastProcesses.begins[q + d];
                const qsizetype size = lastProcesses.ends[q + d] - lastProcesses.begins[q + d];
                if (size <= m_end - m_p && std::memcmp(m_p, item, size_t(size) * sizeof(Char)) == 0) {
                    index = lastIndices[q + d];
                    m_p += size;
                    q += d + 1;
                    matched = true;
                    break;
                }
            }
            if (!matched) {
                QStringView name;
                if (!consume("<string/>") && !(consume("<string>") && readElementText("</string>", &name))) {
                    m_p = start;
                    return false;
                }
                index = m_pool.indexOf(name);
            }
            begins.push_back(begin);
            ends.push_back(m_p - base);
            indices.push_back(index);
        }
        if (indices.empty() || indices != lastIndices)
            lastProcesses.list = KLVRRWCProcessList::fromIndexes(std::vector<quint32>(indices.cbegin(), indices.cend()));
        *value = QVariant::fromValue(lastProcesses.list);
        lastProcesses.text = m_owner;
        lastProcesses.begins.swap(begins);
        lastProcesses.ends.swap(ends);
        return true;
    }

    // key: the pool index of the key the value stands under, kNoKey for a list's item.
    bool readValue(quint32 key, QVariant *value, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        QStringView text;
        if (consume("<string>")) {
            if (!readElementText("</string>", &text))
                return false;
            *value = m_pool.intern(text);
            return true;
        }
        if (consume("<integer>")) {
            qlonglong number = 0;
            if (!readElementText("</integer>", &text) || !parseNumber(text, &number))
                return false;
            *value = number;
            return true;
        }
        if (consume("<true/>")) {
            *value = true;
            return true;
        }
        if (consume("<false/>")) {
            *value = false;
            return true;
        }
        if (consume("<real>")) {
            double number = 0;
            if (!readElementText("</real>", &text) || !parseNumber(text, &number))
                return false;
            *value = number;
            return true;
        }
        if (consume("<array>")) {
            if (key == m_processesKey && readProcesses(value))
                return true;
            return readArrayValue(value, depth + 1);
        }
        if (consume("<dict>"))
            return readDictValue(value, depth + 1);
        if (consume("<string/>")) {
            *value = m_pool.intern(QStringView());
            return true;
        }
        if (consume("<array/>")) {
            *value = QVariantList();
            return true;
        }
        if (consume("<dict/>")) {
            *value = QVariantMap();
            return true;
        }
        if (consume("<date>")) {
            if (!readElementText("</date>", &text))
                return false;
            const QDateTime date = QDateTime::fromString(text.trimmed().toString(), Qt::ISODate);
            if (!date.isValid())
                return false;
            *value = QVariant::fromValue(KLVRAbsoluteTime::fromDateTime(date));
            return true;
        }
        if (consume("<data>")) {
            if (!readElementText("</data>", &text))
                return false;
            QByteArray compact;
            for (QChar c : text) {
                if (c.unicode() > 0x7f)
                    return false;
                if (c != u' ' && c != u'\n' && c != u'\t')
                    compact += char(c.unicode());
            }
            auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return false;
            *value = *decoded;
            return true;
        }
        return false;
    }

    const Text &m_owner;
    const Char *m_p;
    const Char *m_end;
    KLVRRWCStringPool &m_pool;
    Memo &m_memory;
    std::vector<quint32> &lastKeys = m_memory.lastKeys;
    std::vector<Shape> &shapes = m_memory.shapes;
    std::vector<NestedValue> &nestedValues = m_memory.nestedValues;
    decltype(Memo::lastProcesses) &lastProcesses = m_memory.lastProcesses;
    QString &m_raw = m_memory.raw;
    QString &m_decoded = m_memory.decoded;
    size_t m_keyCount = 0;
    const quint32 m_processesKey;
};

} // namespace

bool KLVRRWCPropertyReader::readXml(const QString &text, KLVRRWCPropertyDictionary *dictionary)
{
    KLVRRWCProcessList::registerType();
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QMutexLocker locker(&pool.lock());
    XmlReader<char16_t> reader(text, pool);
    return reader.readDocument(dictionary);
}

bool KLVRRWCPropertyReader::readXml(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary)
{
    KLVRRWCProcessList::registerType();
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QMutexLocker locker(&pool.lock());
    // The reader remembers previous documents, so it needs its own copy of the bytes; a buffer
    // it no longer remembers is reused, sparing a large allocation for every document.
    static std::array<QByteArray, 12> buffers;
    QByteArray *copy = &buffers[0];
    for (QByteArray &buffer : buffers) {
        if (buffer.isDetached() || buffer.isNull()) {
            copy = &buffer;
            break;
        }
    }
    if (!copy->isDetached())
        *copy = QByteArray();
    copy->resize(bytes.size());
    std::memcpy(copy->data(), bytes.data(), size_t(bytes.size()));
    XmlReader<char> reader(*copy, pool);
    return reader.readDocument(dictionary);
}

KLVRRWCPropertyReader::Result KLVRRWCPropertyReader::readGeneral(const QByteArray &bytes, KLVRRWCPropertyDictionary *dictionary,
                                                                 QString *error)
{
    QString message;
    const QVariant value = KLVRPropertyList::read(bytes, &message);
    if (!value.isValid()) {
        if (message.isEmpty())
            return Result::Empty;
        if (error)
            *error = message;
        return Result::Error;
    }
    if (value.typeId() != QMetaType::QVariantMap)
        return Result::NotDictionary;
    *dictionary = KLVRRWCPropertyDictionary::fromMap(value.toMap());
    return Result::Dictionary;
}

KLVRRWCPropertyReader::Result KLVRRWCPropertyReader::read(const QString &text, KLVRRWCPropertyDictionary *dictionary,
                                                          QString *error)
{
    if (readXml(text, dictionary))
        return Result::Dictionary;
    return readGeneral(text.toUtf8(), dictionary, error);
}

KLVRRWCPropertyReader::Result KLVRRWCPropertyReader::readData(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary,
                                                          QString *error)
{
    if (!bytes.startsWith("bplist")) {
        // Nearly always ASCII: read as bytes; any other text is read once decoded.
        if (readXml(bytes, dictionary))
            return Result::Dictionary;
        const QString text = QString::fromUtf8(bytes);
        if (readXml(text, dictionary))
            return Result::Dictionary;
    }
    return readGeneral(bytes.toByteArray(), dictionary, error);
}
