// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWAEventList.h"

#include <QDBusArgument>
#include <QList>
#include <QString>
#include <QStringList>

// A list of events as it crosses the bus (aa{ss}), held flat: one text per value and, for each
// value, the index of its key among the table's few distinct keys. A full read of the store is
// ten thousand events of five entries each; kept as one dictionary per event, that is sixty
// thousand more blocks to allocate, walk and free on both ends of the bus.
class KLVRRWAEventTable
{
public:
    // Events in the table.
    qsizetype size() const { return m_starts.size(); }
    bool isEmpty() const { return m_starts.isEmpty(); }

    // Starts the next event; append() adds its entries, in the order they should travel.
    void beginEvent() { m_starts.append(m_values.size()); }
    // Adds an entry to the last event begun.
    void append(int keyIndex, QString value);
    void append(const QString &key, QString value) { append(keyIndex(key), std::move(value)); }
    // The index of key, adding it when it is new.
    int keyIndex(const QString &key);

    // The entries of event i are the values firstValue(i) to firstValue(i + 1) - 1.
    qsizetype firstValue(qsizetype event) const { return event < size() ? m_starts.at(event) : m_values.size(); }
    const QString &key(qsizetype value) const { return m_keys.at(m_valueKeys.at(value)); }
    const QString &value(qsizetype value) const { return m_values.at(value); }
    // The value of key in event i; a null text when it has none.
    QString value(qsizetype event, const QString &key) const;

    // Event i as a dictionary, and the whole table as a list of them.
    KLVRRWAEvent event(qsizetype i) const;
    KLVRRWAEventList toList() const;
    static KLVRRWAEventTable fromList(const KLVRRWAEventList &events);

    // Bytes the table takes in a message body that starts with it: the D-Bus encoding's lengths,
    // alignment padding, UTF-8 texts and terminators.
    qint64 marshalledSize() const;

    // Makes the table known to QtDBus; call before the first call that carries one.
    static void registerMetaType();

private:
    QStringList m_keys;
    QList<QString> m_values;
    QList<int> m_valueKeys;
    QList<qsizetype> m_starts;
};

Q_DECLARE_METATYPE(KLVRRWAEventTable)

QDBusArgument &operator<<(QDBusArgument &argument, const KLVRRWAEventTable &table);
const QDBusArgument &operator>>(const QDBusArgument &argument, KLVRRWAEventTable &table);
