// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

// Writes values as the elements of an XML property list straight into bytes, laid out exactly
// as the project's property-list codec lays them out (tab indentation, "&", "<" and ">" as
// entities, dates in whole UTC seconds, reals with seventeen significant digits), so that a
// document spliced together from its elements reads and compares as the codec's own. Text that
// XML cannot hold (control characters, lone surrogates) is written as U+FFFD.
//
// Process lists (KLVRRWCProcessList) are written as arrays of their names; a list whose storage
// recurs (consecutive events share it) is laid out once and then copied. Values it does not know
// (data, unknown types, dates no property list holds) make append() answer false and write
// nothing, so that the caller can let the codec write them, or refuse them with its reason.
// Not thread-safe; the process lists it has seen must stay alive while it is used.
class KLVRRWCPropertyListXmlWriter
{
public:
    // Appends value as an element at the nesting depth (the root array's elements are at 1),
    // with its indentation and closing line break; false, with out as it was, for a value it
    // does not write.
    bool append(QByteArray &out, const QVariant &value, int depth);

    // The codec's document around the root array's elements.
    static QByteArray documentHeader();
    static QByteArray documentFooter();
    // XML-escapes text as UTF-8 into out.
    static void appendText(QByteArray &out, QStringView text);

private:
    bool appendValue(QByteArray &out, const QVariant &value, int depth);
    static void indent(QByteArray &out, int depth);

    // Laid-out process lists by their storage and depth.
    QHash<QPair<const void *, int>, QByteArray> m_processLists;
};
