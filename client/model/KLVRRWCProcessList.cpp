// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCProcessList.h"

#include "KLVRFormat.h"
#include "KLVRRWCStringPool.h"

#include <QMutexLocker>

namespace {
// The last list built: consecutive power events usually see the same processes.
std::shared_ptr<const std::vector<quint32>> lastBuilt;
} // namespace

KLVRRWCProcessList::KLVRRWCProcessList(const QStringList &names)
{
    KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    QMutexLocker locker(&pool.lock());
    Builder builder;
    builder.reserve(names.size());
    for (const QString &name : names)
        builder.appendIndex(pool.indexOf(name));
    *this = builder.take();
}

QString KLVRRWCProcessList::at(qsizetype i) const
{
    if (i < 0 || i >= count())
        return QString();
    return KLVRRWCStringPool::shared().textAt((*m_indexes)[size_t(i)]);
}

namespace {
// The names in order, into any list of texts or variants.
template<typename List>
List namesInto(const std::shared_ptr<const std::vector<quint32>> &indexes, qsizetype count)
{
    List names;
    if (!indexes)
        return names;
    names.reserve(count);
    const KLVRRWCStringPool &pool = KLVRRWCStringPool::shared();
    for (quint32 index : *indexes)
        names.append(pool.textAt(index));
    return names;
}
}

QStringList KLVRRWCProcessList::toStringList() const
{
    return namesInto<QStringList>(m_indexes, count());
}

QVariantList KLVRRWCProcessList::toVariantList() const
{
    return namesInto<QVariantList>(m_indexes, count());
}

QString KLVRRWCProcessList::toString() const
{
    return QStringLiteral("(") + toStringList().join(QStringLiteral(", ")) + QStringLiteral(")");
}

bool operator==(const KLVRRWCProcessList &a, const KLVRRWCProcessList &b)
{
    if (a.m_indexes == b.m_indexes)
        return true;
    if (a.count() != b.count())
        return false;
    return a.count() == 0 || *a.m_indexes == *b.m_indexes;
}

KLVRRWCProcessList KLVRRWCProcessList::Builder::take()
{
    KLVRRWCProcessList list = fromIndexes(std::move(m_indexes));
    m_indexes = {};
    return list;
}

KLVRRWCProcessList KLVRRWCProcessList::fromIndexes(std::vector<quint32> indexes)
{
    if (lastBuilt && *lastBuilt == indexes)
        return KLVRRWCProcessList(lastBuilt);
    indexes.shrink_to_fit();
    lastBuilt = std::make_shared<const std::vector<quint32>>(std::move(indexes));
    return KLVRRWCProcessList(lastBuilt);
}

const std::vector<quint32> &KLVRRWCProcessList::indexes() const
{
    static const std::vector<quint32> none;
    return m_indexes ? *m_indexes : none;
}

void KLVRRWCProcessList::registerType()
{
    // Every document read asks; a static's guard answers the repeats with one load.
    static const bool registered = [] {
        qRegisterMetaType<KLVRRWCProcessList>();
        QMetaType::registerConverter<KLVRRWCProcessList, QVariantList>(&KLVRRWCProcessList::toVariantList);
        QMetaType::registerConverter<KLVRRWCProcessList, QStringList>(&KLVRRWCProcessList::toStringList);
        QMetaType::registerConverter<KLVRRWCProcessList, QString>(&KLVRRWCProcessList::toString);
        return true;
    }();
    Q_UNUSED(registered);
}
