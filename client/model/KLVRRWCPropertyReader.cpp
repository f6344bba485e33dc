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
#include <charconv>
#include <cstring>

namespace {

constexpr int kMaxDepth = 512;

// The previous "Processes" array, as text and as list: consecutive power events mostly list
// the same processes, and comparing bytes is far cheaper than reading them again.
QByteArray lastProcessesText;
KLVRRWCProcessList lastProcesses;

class XmlReader
{
public:
    XmlReader(QByteArrayView bytes, KLVRRWCStringPool &pool)
        : m_p(bytes.data()), m_end(bytes.data() + bytes.size()), m_pool(pool)
    {
    }

    bool readDocument(KLVRRWCPropertyDictionary *dictionary)
    {
        skipSpace();
        if (startsWith("<?xml")) {
            if (!skipPast("?>"))
                return false;
            skipSpace();
        }
        if (startsWith("<!DOCTYPE")) {
            const char *close = find('>');
            if (!close || std::memchr(m_p, '[', size_t(close - m_p)))
                return false;
            m_p = close + 1;
            skipSpace();
        }
        if (!startsWith("<plist"))
            return false;
        const char *close = find('>');
        if (!close || close[-1] == '/')
            return false;
        m_p = close + 1;
        skipSpace();
        if (!consume("<dict>"))
            return false;
        KLVRRWCPropertyDictionary::Builder builder;
        if (!readDictBody(builder, 1))
            return false;
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
    bool startsWith(const char *literal) const
    {
        const size_t n = std::strlen(literal);
        return size_t(m_end - m_p) >= n && std::memcmp(m_p, literal, n) == 0;
    }
    bool consume(const char *literal)
    {
        if (!startsWith(literal))
            return false;
        m_p += std::strlen(literal);
        return true;
    }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\t' || *m_p == '\r'))
            ++m_p;
    }
    const char *find(char c) const { return static_cast<const char *>(std::memchr(m_p, c, size_t(m_end - m_p))); }
    bool skipPast(const char *literal)
    {
        const char *hit = static_cast<const char *>(memmem(m_p, size_t(m_end - m_p), literal, std::strlen(literal)));
        if (!hit)
            return false;
        m_p = hit + std::strlen(literal);
        return true;
    }

    // Character data up to the next '<', with the five predefined entities and character
    // references decoded; false for anything else the general parser should judge.
    bool readText(QByteArrayView *text)
    {
        const char *lt = find('<');
        if (!lt)
            return false;
        const QByteArrayView raw(m_p, lt - m_p);
        m_p = lt;
        if (raw.contains('\r') || raw.contains('>'))
            return false;
        if (!raw.contains('&')) {
            *text = raw;
            return true;
        }
        m_decoded.clear();
        for (qsizetype i = 0; i < raw.size();) {
            const char c = raw[i];
            if (c != '&') {
                m_decoded += c;
                ++i;
                continue;
            }
            const qsizetype semi = raw.indexOf(';', i);
            if (semi < 0)
                return false;
            const QByteArrayView name = raw.sliced(i + 1, semi - i - 1);
            if (name == "amp") m_decoded += '&';
            else if (name == "lt") m_decoded += '<';
            else if (name == "gt") m_decoded += '>';
            else if (name == "quot") m_decoded += '"';
            else if (name == "apos") m_decoded += '\'';
            else if (name.startsWith('#')) {
                bool ok = false;
                const uint code = name.startsWith("#x") ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
                if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    return false;
                const char32_t ch = char32_t(code);
                m_decoded += QString::fromUcs4(&ch, 1).toUtf8();
            } else {
                return false;
            }
            i = semi + 1;
        }
        *text = m_decoded;
        return true;
    }

    // "<name>text</name>"; the opening tag is already consumed.
    bool readElementText(const char *closing, QByteArrayView *text)
    {
        return readText(text) && consume(closing);
    }

    bool readDictBody(KLVRRWCPropertyDictionary::Builder &builder, int depth)
    {
        for (;;) {
            skipSpace();
            if (consume("</dict>"))
                return true;
            if (!consume("<key>"))
                return false;
            QByteArrayView keyText;
            if (!readElementText("</key>", &keyText))
                return false;
            const QString key = m_pool.intern(keyText);
            skipSpace();
            QVariant value;
            if (!readValue(key, &value, depth))
                return false;
            builder.insert(key, value);
        }
    }

    bool readDictValue(QVariant *value, int depth)
    {
        QVariantMap map;
        for (;;) {
            skipSpace();
            if (consume("</dict>"))
                break;
            if (!consume("<key>"))
                return false;
            QByteArrayView keyText;
            if (!readElementText("</key>", &keyText))
                return false;
            const QString key = m_pool.intern(keyText);
            skipSpace();
            QVariant item;
            if (!readValue(key, &item, depth))
                return false;
            map.insert(key, item);
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
            if (!readValue(QString(), &item, depth))
                return false;
            list.append(item);
        }
        *value = list;
        return true;
    }

    // A list of texts becomes a compact process list; any other item sends the array back to
    // the general array reading.
    bool readProcesses(QVariant *value)
    {
        const char *start = m_p;
        const char *close = static_cast<const char *>(memmem(m_p, size_t(m_end - m_p), "</array>", 8));
        if (!close)
            return false;
        const QByteArrayView segment(start, close - start);
        if (!lastProcessesText.isNull() && segment == QByteArrayView(lastProcessesText)) {
            m_p = close + 8;
            *value = QVariant::fromValue(lastProcesses);
            return true;
        }
        KLVRRWCProcessList::Builder builder;
        builder.reserve(qsizetype(segment.size() / 32));
        for (;;) {
            skipSpace();
            if (m_p == close) {
                m_p = close + 8;
                break;
            }
            QByteArrayView name;
            if (consume("<string/>"))
                name = QByteArrayView("");
            else if (!consume("<string>") || !readElementText("</string>", &name) || m_p > close) {
                m_p = start;
                return false;
            }
            builder.appendIndex(m_pool.indexOf(name));
        }
        lastProcesses = builder.take();
        lastProcessesText = segment.toByteArray();
        *value = QVariant::fromValue(lastProcesses);
        return true;
    }

    bool readValue(const QString &key, QVariant *value, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        QByteArrayView text;
        if (consume("<string>")) {
            if (!readElementText("</string>", &text))
                return false;
            *value = m_pool.intern(text);
            return true;
        }
        if (consume("<string/>")) {
            *value = m_pool.intern(QByteArrayView(""));
            return true;
        }
        if (consume("<integer>")) {
            if (!readElementText("</integer>", &text))
                return false;
            text = text.trimmed();
            qlonglong n = 0;
            const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || ptr != text.data() + text.size() || text.isEmpty())
                return false;
            *value = n;
            return true;
        }
        if (consume("<real>")) {
            if (!readElementText("</real>", &text))
                return false;
            text = text.trimmed();
            double d = 0;
            const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
            if (ec != std::errc() || ptr != text.data() + text.size() || text.isEmpty())
                return false;
            *value = d;
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
        if (consume("<array>")) {
            if (key == QLatin1String("Processes") && readProcesses(value))
                return true;
            return readArrayValue(value, depth + 1);
        }
        if (consume("<array/>")) {
            *value = QVariantList();
            return true;
        }
        if (consume("<dict>"))
            return readDictValue(value, depth + 1);
        if (consume("<dict/>")) {
            *value = QVariantMap();
            return true;
        }
        if (consume("<date>")) {
            if (!readElementText("</date>", &text))
                return false;
            const QDateTime date = QDateTime::fromString(QString::fromLatin1(text.trimmed()), Qt::ISODate);
            if (!date.isValid())
                return false;
            *value = QVariant::fromValue(KLVRAbsoluteTime::fromDateTime(date));
            return true;
        }
        if (consume("<data>")) {
            if (!readElementText("</data>", &text))
                return false;
            QByteArray compact;
            for (char c : text)
                if (c != ' ' && c != '\n' && c != '\t')
                    compact += c;
            auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return false;
            *value = *decoded;
            return true;
        }
        return false;
    }

    const char *m_p;
    const char *m_end;
    KLVRRWCStringPool &m_pool;
    QByteArray m_decoded;
};

} // namespace

bool KLVRRWCPropertyReader::readXml(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary)
{
    if (bytes.contains(QByteArrayView("<!--")) || bytes.contains(QByteArrayView("<![CDATA[")))
        return false;
    KLVRRWCProcessList::registerType();
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QMutexLocker locker(&pool.lock());
    XmlReader reader(bytes, pool);
    return reader.readDocument(dictionary);
}

KLVRRWCPropertyReader::Result KLVRRWCPropertyReader::read(QByteArrayView bytes, KLVRRWCPropertyDictionary *dictionary,
                                                          QString *error)
{
    if (!bytes.startsWith("bplist") && readXml(bytes, dictionary))
        return Result::Dictionary;

    QString message;
    const QVariant value = KLVRPropertyList::read(bytes.toByteArray(), &message);
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
