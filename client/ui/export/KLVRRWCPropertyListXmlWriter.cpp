// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyListXmlWriter.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCProcessList.h"

#include <QDateTime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int kMaximumDepth = 512;
// Seconds from 1970-01-01 to 2001-01-01, both UTC.
constexpr qint64 kReferenceDateOffset = 978307200;

void appendLiteral(QByteArray &out, const char *text, qsizetype length)
{
    out.append(text, length);
}

template<qsizetype N>
void appendLiteral(QByteArray &out, const char (&text)[N])
{
    out.append(text, N - 1);
}

// The codec keeps whole seconds and microseconds and writes the time those make, cut toward zero.
bool appendDate(QByteArray &out, double seconds)
{
    if (!std::isfinite(seconds))
        return false;
    double whole = std::floor(seconds);
    qint64 usec = std::llround((seconds - whole) * 1e6);
    if (usec >= 1000000) {
        whole += 1;
        usec -= 1000000;
    }
    if (whole < double(INT32_MIN) || whole > double(INT32_MAX))
        return false;
    qint64 shown = qint64(whole);
    if (shown < 0 && usec > 0)
        shown += 1;
    const time_t time = time_t(shown + kReferenceDateOffset);
    struct tm parts;
    if (!gmtime_r(&time, &parts))
        return false;
    char text[40];
    const int length = std::snprintf(text, sizeof text, "<date>%04d-%02d-%02dT%02d:%02d:%02dZ</date>\n", parts.tm_year + 1900,
                                     parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    out.append(text, length);
    return true;
}

void appendReal(QByteArray &out, double value)
{
    appendLiteral(out, "<real>");
    if (std::isnan(value)) {
        appendLiteral(out, "nan");
    } else if (std::isinf(value)) {
        if (value > 0)
            appendLiteral(out, "+infinity");
        else
            appendLiteral(out, "-infinity");
    } else if (value == 0.0) {
        appendLiteral(out, "0.0");
    } else {
        char text[40];
        const int length = std::snprintf(text, sizeof text, "%.17g", value);
        // Whatever the locale's decimal point, the document's is a point.
        for (int i = 0; i < length; ++i) {
            const char c = text[i];
            if (!(c >= '0' && c <= '9') && c != '-' && c != '+' && c != 'e')
                text[i] = '.';
        }
        out.append(text, length);
    }
    appendLiteral(out, "</real>\n");
}

} // namespace

QByteArray KLVRRWCPropertyListXmlWriter::documentHeader()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n<array>\n");
}

QByteArray KLVRRWCPropertyListXmlWriter::documentFooter()
{
    return QByteArrayLiteral("</array>\n</plist>\n");
}

void KLVRRWCPropertyListXmlWriter::indent(QByteArray &out, int depth)
{
    out.append(qsizetype(depth), '\t');
}

void KLVRRWCPropertyListXmlWriter::appendText(QByteArray &out, QStringView text)
{
    const qsizetype length = text.size();
    const qsizetype start = out.size();
    // At most five bytes per UTF-16 unit ("&amp;").
    out.resize(start + 5 * length);
    char *write = out.data() + start;
    const char16_t *read = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = read[i];
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                if (c == '&') {
                    std::memcpy(write, "&amp;", 5);
                    write += 5;
                } else if (c == '<') {
                    std::memcpy(write, "&lt;", 4);
                    write += 4;
                } else if (c == '>') {
                    std::memcpy(write, "&gt;", 4);
                    write += 4;
                } else {
                    *write++ = char(c);
                }
                continue;
            }
        } else if (c < 0x800) {
            *write++ = char(0xC0 | (c >> 6));
            *write++ = char(0x80 | (c & 0x3F));
            continue;
        } else if (QChar::isHighSurrogate(c) && i + 1 < length && QChar::isLowSurrogate(read[i + 1])) {
            const char32_t code = QChar::surrogateToUcs4(c, read[i + 1]);
            ++i;
            *write++ = char(0xF0 | (code >> 18));
            *write++ = char(0x80 | ((code >> 12) & 0x3F));
            *write++ = char(0x80 | ((code >> 6) & 0x3F));
            *write++ = char(0x80 | (code & 0x3F));
            continue;
        } else if (!QChar::isSurrogate(c) && c < 0xFFFE) {
            *write++ = char(0xE0 | (c >> 12));
            *write++ = char(0x80 | ((c >> 6) & 0x3F));
            *write++ = char(0x80 | (c & 0x3F));
            continue;
        }
        // What XML cannot hold: U+FFFD.
        std::memcpy(write, "\xEF\xBF\xBD", 3);
        write += 3;
    }
    out.resize(write - out.data());
}

bool KLVRRWCPropertyListXmlWriter::append(QByteArray &out, const QVariant &value, int depth)
{
    const qsizetype size = out.size();
    if (appendValue(out, value, depth))
        return true;
    out.resize(size);
    return false;
}

bool KLVRRWCPropertyListXmlWriter::appendValue(QByteArray &out, const QVariant &value, int depth)
{
    if (depth > kMaximumDepth)
        return false;
    const int type = value.userType();
    if (type == qMetaTypeId<KLVRAbsoluteTime>()) {
        indent(out, depth);
        return appendDate(out, value.value<KLVRAbsoluteTime>().seconds());
    }
    if (type == qMetaTypeId<KLVRRWCProcessList>()) {
        const KLVRRWCProcessList processes = value.value<KLVRRWCProcessList>();
        if (processes.isEmpty())
            return appendValue(out, QVariantList(), depth);
        const QPair<const void *, int> key(&processes.indexes(), depth);
        auto laidOut = m_processLists.constFind(key);
        if (laidOut == m_processLists.cend()) {
            QByteArray list;
            if (!appendValue(list, processes.toVariantList(), depth))
                return false;
            if (m_processLists.size() > 256)
                m_processLists.clear();
            laidOut = m_processLists.insert(key, list);
        }
        out += laidOut.value();
        return true;
    }
    switch (type) {
    case QMetaType::Bool:
        indent(out, depth);
        if (value.toBool())
            appendLiteral(out, "<true/>\n");
        else
            appendLiteral(out, "<false/>\n");
        return true;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Long: case QMetaType::Short:
    case QMetaType::UInt: case QMetaType::ULongLong: case QMetaType::ULong: case QMetaType::UShort:
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
        indent(out, depth);
        appendLiteral(out, "<integer>");
        out += QByteArray::number(value.toLongLong());
        appendLiteral(out, "</integer>\n");
        return true;
    case QMetaType::Double: case QMetaType::Float:
        indent(out, depth);
        appendReal(out, value.toDouble());
        return true;
    case QMetaType::QString: {
        indent(out, depth);
        appendLiteral(out, "<string>");
        appendText(out, *static_cast<const QString *>(value.constData()));
        appendLiteral(out, "</string>\n");
        return true;
    }
    case QMetaType::QDateTime:
        return appendValue(out, QVariant::fromValue(KLVRAbsoluteTime::fromDateTime(value.toDateTime())), depth);
    case QMetaType::QStringList: {
        const QStringList &list = *static_cast<const QStringList *>(value.constData());
        indent(out, depth);
        if (list.isEmpty()) {
            appendLiteral(out, "<array/>\n");
            return true;
        }
        appendLiteral(out, "<array>\n");
        for (const QString &item : list) {
            indent(out, depth + 1);
            appendLiteral(out, "<string>");
            appendText(out, item);
            appendLiteral(out, "</string>\n");
        }
        indent(out, depth);
        appendLiteral(out, "</array>\n");
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList &list = *static_cast<const QVariantList *>(value.constData());
        indent(out, depth);
        if (list.isEmpty()) {
            appendLiteral(out, "<array/>\n");
            return true;
        }
        appendLiteral(out, "<array>\n");
        for (const QVariant &item : list) {
            if (!appendValue(out, item, depth + 1))
                return false;
        }
        indent(out, depth);
        appendLiteral(out, "</array>\n");
        return true;
    }
    case QMetaType::QVariantMap: case QMetaType::QVariantHash: {
        const QVariantMap map = value.toMap();
        indent(out, depth);
        if (map.isEmpty()) {
            appendLiteral(out, "<dict/>\n");
            return true;
        }
        appendLiteral(out, "<dict>\n");
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            indent(out, depth + 1);
            appendLiteral(out, "<key>");
            appendText(out, it.key());
            appendLiteral(out, "</key>\n");
            if (!appendValue(out, it.value(), depth + 1))
                return false;
        }
        indent(out, depth);
        appendLiteral(out, "</dict>\n");
        return true;
    }
    default:
        // Data and anything else: the codec's.
        return false;
    }
}
