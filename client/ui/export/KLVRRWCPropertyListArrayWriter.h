// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

class QIODevice;

// Writes one XML property list holding an array, a run of elements at a time, so that years of
// entries never sit in memory as one tree of property-list nodes. Each run goes through the
// project's property-list codec as an array of its own, and its elements are spliced into the
// one document; the result is byte for byte what the codec writes for the whole array.
class KLVRRWCPropertyListArrayWriter
{
public:
    explicit KLVRRWCPropertyListArrayWriter(QIODevice *device);

    // Writes a run of elements; false, with error filled, when the codec refuses an element (the
    // document is unfinished then) or the device fails.
    bool append(const QVariantList &elements, QString *error);
    // Closes the array and the document.
    bool finish(QString *error);

private:
    bool put(QByteArrayView bytes, QString *error);

    QIODevice *m_device;
    QByteArray m_footer;
    bool m_started = false;
};
