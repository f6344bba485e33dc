// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The room a list of events takes in a reply (aa{ss}), event by event, kept without their texts:
// a date and the UTF-8 lengths of each entry's key and value. The agent counts every event of a
// read here, and builds the texts of a reply only while it still fits; when it does not, this is
// what says where the range splits into answers that fit, at the cost of a few numbers per event.
class KLVRRWAEventSizes
{
public:
    // A message body's length as events and entries are added to it: the D-Bus encoding's
    // lengths, alignment padding, UTF-8 texts and terminators. It starts with the list's length.
    class Body
    {
    public:
        void beginEvent()
        {
            align(4);
            m_bytes += 4; // the dictionary's length
            align(8);     // the first entry's place, even in an empty dictionary
        }
        void addEntry(qint64 keyBytes, qint64 valueBytes)
        {
            align(8);
            addString(keyBytes);
            addString(valueBytes);
        }
        qint64 bytes() const { return m_bytes; }

    private:
        void align(qint64 boundary) { m_bytes = (m_bytes + boundary - 1) / boundary * boundary; }
        void addString(qint64 bytes)
        {
            align(4);
            m_bytes += 4 + bytes + 1;
        }
        qint64 m_bytes = 4;
    };

    // Starts the next event; date is its "date" text as it travels. Events come oldest first.
    void beginEvent(const QString &date);
    // Adds an entry to the last event begun.
    void addEntry(qint64 keyBytes, qint64 valueBytes);

    qsizetype size() const { return m_dates.size(); }
    const QString &date(qsizetype event) const { return m_dates.at(event); }
    // Bytes all the events take in a body that starts with them.
    qint64 bodyBytes() const { return m_total.bytes(); }
    // How many events, from event first on, fit into maxBytes of a body that starts with them.
    qsizetype eventsFitting(qsizetype first, qint64 maxBytes) const;

    // Where the events split into consecutive answers of at most partBytes each, from the first
    // event on: the date of the last event of each part but the final one, at most maxEnds of
    // them. Events of one date always share a part (a range cannot split them); where one date's
    // events alone take more than partBytes, the ends stop before them.
    QStringList fittingRangeEnds(qint64 partBytes, qsizetype maxEnds) const;

    // UTF-8 length of a text, and whether bytes are all ASCII; both step over runs of ASCII, by
    // far the most common, several units at a time.
    static qint64 utf8Length(const QString &text);
    static bool isAscii(const char *bytes, qsizetype size);

private:
    QStringList m_dates;
    QList<qsizetype> m_starts;    // each event's first entry in m_entries
    QList<qint64> m_entries;      // key and value bytes of each entry, in turn
    Body m_total;
};
