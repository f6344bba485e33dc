// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCPropertyListArrayWriter.h"

#include "KLVRPropertyList.h"

#include <QIODevice>

namespace {

const QByteArray kArrayOpen = QByteArrayLiteral("<array>\n");

} // namespace

KLVRRWCPropertyListArrayWriter::KLVRRWCPropertyListArrayWriter(QIODevice *device)
    : m_device(device)
{
}

bool KLVRRWCPropertyListArrayWriter::put(QByteArrayView bytes, QString *error)
{
    if (m_device->write(bytes.data(), bytes.size()) == bytes.size())
        return true;
    if (error) *error = m_device->errorString();
    return false;
}

bool KLVRRWCPropertyListArrayWriter::append(const QVariantList &elements, QString *error)
{
    if (elements.isEmpty())
        return true;
    QString codecError;
    const QByteArray document = KLVRPropertyList::write(elements, KLVRPropertyList::Format::Xml, &codecError);
    if (document.isEmpty()) {
        if (error) *error = codecError;
        return false;
    }
    // The codec writes "...<array>\n<elements>\n</array>\n</plist>\n": everything up to and
    // including the opening line is the document's header, everything from the closing line on
    // its footer.
    const qsizetype open = document.indexOf(kArrayOpen);
    const qsizetype close = document.lastIndexOf(QByteArrayLiteral("</array>"));
    if (open < 0 || close < open) {
        if (error) *error = QStringLiteral("unexpected property list layout");
        return false;
    }
    const qsizetype bodyStart = open + kArrayOpen.size();
    if (!m_started) {
        if (!put(QByteArrayView(document).first(bodyStart), error))
            return false;
        m_footer = document.mid(close);
        m_started = true;
    }
    return put(QByteArrayView(document).sliced(bodyStart, close - bodyStart), error);
}

bool KLVRRWCPropertyListArrayWriter::finish(QString *error)
{
    if (!m_started) {
        QString codecError;
        const QByteArray document = KLVRPropertyList::write(QVariantList(), KLVRPropertyList::Format::Xml, &codecError);
        if (document.isEmpty()) {
            if (error) *error = codecError;
            return false;
        }
        return put(document, error);
    }
    return put(m_footer, error);
}
