// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <memory>
#include <vector>

// The "Processes" list of a power event, held compactly: every name is interned once for the
// whole program and a list keeps 32-bit indices. Years of events carry a few hundred names each,
// which as plain string lists would not fit in memory. Immutable and implicitly shared.
// Registered with QVariant conversions to QVariantList, QStringList and QString, so readers of
// a property or attribute can use toList()/toStringList() as for any list.
class KLVRRWCProcessList
{
public:
    KLVRRWCProcessList() = default;
    explicit KLVRRWCProcessList(const QStringList &names);

    qsizetype count() const { return m_indexes ? qsizetype(m_indexes->size()) : 0; }
    bool isEmpty() const { return count() == 0; }
    QString at(qsizetype i) const;
    QStringList toStringList() const;
    QVariantList toVariantList() const;
    // "(a, b, c)", the same text a plain list gives.
    QString toString() const;

    friend bool operator==(const KLVRRWCProcessList &a, const KLVRRWCProcessList &b);

    // Builds a list from indices of the shared KLVRRWCStringPool (used by the property reader,
    // which holds the pool's lock while it reads).
    class Builder
    {
    public:
        void reserve(qsizetype n) { m_indexes.reserve(size_t(n)); }
        void appendIndex(quint32 index) { m_indexes.push_back(index); }
        // Shares the storage of the previous list built when identical; the pool's lock must
        // be held.
        KLVRRWCProcessList take();

    private:
        std::vector<quint32> m_indexes;
    };

    // A list of indices of the shared KLVRRWCStringPool, sharing the storage of the previous list
    // made this way when identical; the pool's lock must be held.
    static KLVRRWCProcessList fromIndexes(std::vector<quint32> indexes);
    // The pool indices of the names.
    const std::vector<quint32> &indexes() const;

    // Registers the QVariant conversions; idempotent.
    static void registerType();

private:
    explicit KLVRRWCProcessList(std::shared_ptr<const std::vector<quint32>> indexes) : m_indexes(std::move(indexes)) {}
    std::shared_ptr<const std::vector<quint32>> m_indexes;
};

Q_DECLARE_METATYPE(KLVRRWCProcessList)
