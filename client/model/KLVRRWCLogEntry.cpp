// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLogEntry.h"

#include "KLVRFormat.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCGroupEnumerator.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntryEnumerator.h"
#include "KLVRRWCModelResources.h"
#include "KLVRRWCPowerEventContext.h"
#include "KLVRRWCProcessList.h"
#include "KLVRStringsTable.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <optional>

Q_LOGGING_CATEGORY(lcRWCModel, "com.klvr.restwatch.model")

namespace {
QString cachedLookup(const QString &table, const QString &key, const QString &value)
{
    return KLVRRWCModelResources::localizedString(key, value, table);
}

const std::vector<std::unique_ptr<KLVRRWCLogEntry>> &noDuplicates()
{
    static const std::vector<std::unique_ptr<KLVRRWCLogEntry>> none;
    return none;
}
} // namespace

void KLVRRWCLogEntry::registerTypes()
{
    // Every entry asks; a static's guard answers the repeats with one load.
    static const bool registered = [] {
        qRegisterMetaType<KLVRRWCDuration>();
        qRegisterMetaType<KLVRRWCAbsoluteDuration>();
        QMetaType::registerConverter<KLVRRWCDuration, QString>(&KLVRRWCDuration::stringValue);
        QMetaType::registerConverter<KLVRRWCAbsoluteDuration, QString>(
            [](const KLVRRWCAbsoluteDuration &d) { return d.description(); });
        KLVRRWCProcessList::registerType();
        return true;
    }();
    Q_UNUSED(registered);
}

KLVRRWCLogEntry::KLVRRWCLogEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                 const QVariantMap &properties)
    : KLVRRWCLogEntry(date, event, monitor, KLVRRWCPropertyDictionary::fromMap(properties))
{
}

KLVRRWCLogEntry::KLVRRWCLogEntry(KLVRAbsoluteTime date, const QString &event, const QString &monitor,
                                 KLVRRWCPropertyDictionary properties)
    : m_date(date)
    , m_event(KLVRRWCPropertyDictionary::intern(event))
    , m_properties(std::move(properties))
    , m_group(KLVRRWCPropertyDictionary::intern(monitor))
{
    m_monitor = localizedStringForMonitor(m_group, m_group);
    registerTypes();
}

KLVRRWCLogEntry::~KLVRRWCLogEntry() = default;

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntry::makeEntry(KLVRAbsoluteTime date, const QString &event,
                                                            const QString &monitor,
                                                            KLVRRWCPropertyDictionary properties) const
{
    return std::make_unique<KLVRRWCLogEntry>(date, event, monitor, std::move(properties));
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLogEntry::copy() const
{
    std::unique_ptr<KLVRRWCLogEntry> entry = makeEntry(m_date, m_event, m_monitor, m_properties);
    entry->m_past = m_past;
    entry->m_previous = m_previous;
    entry->m_next = m_next;
    entry->m_containerLog = m_containerLog;
    entry->m_containerEntry = m_containerEntry;
    if (m_duplicates) {
        for (const auto &duplicate : *m_duplicates)
            entry->mergeEntry(duplicate->copy());
    }
    entry->awakeFromLog();
    return entry;
}

const std::vector<std::unique_ptr<KLVRRWCLogEntry>> &KLVRRWCLogEntry::duplicates() const
{
    return m_duplicates ? *m_duplicates : noDuplicates();
}

KLVRAbsoluteTime KLVRRWCLogEntry::finalDate() const
{
    return m_duplicates && !m_duplicates->empty() ? m_duplicates->back()->date() : m_date;
}

QString KLVRRWCLogEntry::computeSummary() const
{
    return localizedStringForSummary(m_event, m_event);
}

void KLVRRWCLogEntry::awakeFromLog()
{
    invalidateAttributes();
}

void KLVRRWCLogEntry::initAttributes()
{
    if (m_duplicates && !m_duplicates->empty()) {
        QVariantList dates;
        dates.reserve(qsizetype(m_duplicates->size()));
        for (const auto &duplicate : *m_duplicates)
            dates.append(QVariant::fromValue(duplicate->date()));
        setAttributeValue(dates, general(QStringLiteral("Duplicates")));
    }
    const QVariant processes = property(QStringLiteral("Processes"));
    if (processes.isValid())
        setAttributeValue(processes, QStringLiteral("Processes"));
    // Who held the sleep or shutdown back, and what woke the machine, where the agent recorded it.
    const QVariant inhibitors = KLVRRWCPowerEventContext::inhibitorsAttribute(property(QStringLiteral("Inhibitors")));
    if (inhibitors.isValid())
        setAttributeValue(inhibitors, general(QStringLiteral("Inhibitors")));
    const QVariant wakeReason = KLVRRWCPowerEventContext::wakeReasonAttribute(property(QStringLiteral("Wake Reason")));
    if (wakeReason.isValid())
        setAttributeValue(wakeReason, general(QStringLiteral("Wake Reason")));
}

bool KLVRRWCLogEntry::isLike(const KLVRRWCLogEntry &) const
{
    return false;
}

void KLVRRWCLogEntry::mergeEntry(std::unique_ptr<KLVRRWCLogEntry> entry)
{
    if (!entry)
        return;
    entry->setContainer(this);
    if (!m_duplicates)
        m_duplicates = std::make_unique<std::vector<std::unique_ptr<KLVRRWCLogEntry>>>();
    m_duplicates->push_back(std::move(entry));
    // Attributes already built would miss the new duplicate; build them again when next read.
    if (m_attributes)
        invalidateAttributes();
}

void KLVRRWCLogEntry::invalidateAttributes()
{
    m_attributes.reset();
}

KLVRRWCLogEntry::Attributes &KLVRRWCLogEntry::ensureAttributes() const
{
    if (!m_attributes) {
        m_attributes = std::make_unique<Attributes>();
        const_cast<KLVRRWCLogEntry *>(this)->initAttributes();
    }
    return *m_attributes;
}

QStringList KLVRRWCLogEntry::attributes() const
{
    return ensureAttributes().names;
}

QVariantMap KLVRRWCLogEntry::attributeValues() const
{
    return ensureAttributes().values;
}

void KLVRRWCLogEntry::readAttributesOnce(QStringList *names, QVariantMap *values) const
{
    const bool kept = m_attributes != nullptr;
    const Attributes &attributes = ensureAttributes();
    *names = attributes.names;
    *values = attributes.values;
    if (!kept)
        m_attributes.reset();
}

QVariant KLVRRWCLogEntry::attributeForKey(const QString &key) const
{
    return ensureAttributes().values.value(key);
}

void KLVRRWCLogEntry::setAttributeValue(const QVariant &value, const QString &key)
{
    Attributes &attributes = ensureAttributes();
    if (!attributes.values.contains(key))
        attributes.names.append(key);
    attributes.values.insert(key, value);
}

KLVRRWCLogEntryEnumerator KLVRRWCLogEntry::pastEnumerator() const
{
    return KLVRRWCLogEntryEnumerator(this);
}

KLVRRWCGroupEnumerator KLVRRWCLogEntry::pastGroupEnumerator() const
{
    return KLVRRWCGroupEnumerator(this, true);
}

const KLVRRWCLogEntry *KLVRRWCLogEntry::pairAtTimeOfEntry(const KLVRRWCLogEntry *entry)
{
    for (const KLVRRWCLogEntry *e = entry; e; e = e->past()) {
        if (!e->pairRepresents().isEmpty())
            return e;
    }
    return nullptr;
}

QString KLVRRWCLogEntry::pairRepresentsAtDate(KLVRAbsoluteTime date, const KLVRRWCLogEntry *entry)
{
    static const QString awake = QStringLiteral("Awake");
    const KLVRRWCLogEntry *pair = pairAtTimeOfEntry(entry);
    if (!pair)
        return awake;
    if (pair->date() > date)
        return pair->next() ? pair->next()->pairRepresents() : awake;
    return pair->pairRepresents();
}

QString KLVRRWCLogEntry::powerSourceAtTimeOfEntry(const KLVRRWCLogEntry *entry)
{
    static const QString key = QStringLiteral("Power Source State");
    for (const KLVRRWCLogEntry *e = entry; e; e = e->past()) {
        const QVariant state = e->property(key);
        if (state.isValid())
            return state.toString();
    }
    return QStringLiteral("Unknown");
}

QString KLVRRWCLogEntry::toolTip() const
{
    return m_pair ? m_pair->pairRepresents() : QString();
}

QString KLVRRWCLogEntry::describe(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<KLVRAbsoluteTime>())
        return KLVRRWCAbsoluteDuration::dateDescription(value.value<KLVRAbsoluteTime>());
    if (value.userType() == qMetaTypeId<KLVRRWCDuration>())
        return value.value<KLVRRWCDuration>().stringValue();
    if (value.userType() == qMetaTypeId<KLVRRWCProcessList>())
        return value.value<KLVRRWCProcessList>().toString();
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList items;
        for (const QVariant &item : value.toList())
            items << describe(item);
        return QStringLiteral("(") + items.join(QStringLiteral(", ")) + QStringLiteral(")");
    }
    return KLVRFormat::describe(value);
}

QString KLVRRWCLogEntry::stringValue() const
{
    return KLVRFormat::string(QStringLiteral("%@\t%@\t%@"), KLVRRWCAbsoluteDuration::dateDescription(m_date), summary(),
                              attributesAsString());
}

QString KLVRRWCLogEntry::attributesAsString() const
{
    const Attributes &attributes = ensureAttributes();
    QStringList parts;
    for (const QString &name : attributes.names) {
        const QVariant value = attributes.values.value(name);
        if (value.typeId() == QMetaType::QVariantMap) {
            const QVariantMap map = value.toMap();
            QStringList pairs;
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                pairs << it.key() + QLatin1Char(':') + describe(it.value());
            parts << KLVRFormat::string(QStringLiteral("%@:[%@]"), name, pairs.join(QStringLiteral(", ")));
        } else if (value.typeId() == QMetaType::QVariantList || value.userType() == qMetaTypeId<KLVRRWCProcessList>()) {
            QStringList items;
            if (value.typeId() == QMetaType::QVariantList) {
                for (const QVariant &item : value.toList())
                    items << describe(item);
            } else {
                items = value.value<KLVRRWCProcessList>().toStringList();
            }
            parts << KLVRFormat::string(QStringLiteral("%@:(%@)"), name, items.join(QStringLiteral(", ")));
        } else {
            parts << name;
        }
    }
    return parts.join(QStringLiteral(", "));
}

QVariant KLVRRWCLogEntry::propertyListSafe(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap safe;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            safe.insert(it.key(), propertyListSafe(it.value()));
        return safe;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList safe;
        for (const QVariant &item : value.toList())
            safe.append(propertyListSafe(item));
        return safe;
    }
    if (value.userType() == qMetaTypeId<KLVRRWCDuration>())
        return value.value<KLVRRWCDuration>().stringValue();
    if (value.userType() == qMetaTypeId<KLVRRWCProcessList>())
        return value.value<KLVRRWCProcessList>().toVariantList();
    return value;
}

QVariantMap KLVRRWCLogEntry::exportAsDictionary() const
{
    // Filled in order and ended at the first missing value: an entry without a summary gives
    // the date alone.
    QVariantMap dictionary{{QStringLiteral("Date"), QVariant::fromValue(m_date)}};
    const QString text = summary();
    if (text.isEmpty())
        return dictionary;
    dictionary.insert(QStringLiteral("Summary"), text);
    if (m_monitor.isEmpty())
        return dictionary;
    dictionary.insert(QStringLiteral("Monitor"), m_monitor);
    dictionary.insert(QStringLiteral("Attributes"), propertyListSafe(attributeValues()));
    return dictionary;
}

bool KLVRRWCLogEntry::visible() const
{
    if (m_containerEntry)
        return m_containerEntry->visible();
    if (!m_containerLog || m_index < 0 || m_containerLog->objectAtIndex(m_index) != this)
        return false;
    const KLVRRWCRange range = m_containerLog->visibleRange();
    return quint64(m_index) >= range.location && quint64(m_index) - range.location < range.length;
}

QVariantMap KLVRRWCLogEntry::scriptingProperties() const
{
    return QVariantMap{
        {QStringLiteral("summary"), summary()},
        {QStringLiteral("monitor"), m_monitor},
        {QStringLiteral("group"), group()},
        {QStringLiteral("date"), QVariant::fromValue(m_date)},
    };
}

QString KLVRRWCLogEntry::localizedStringForKey(const QString &key, const QString &value, const QString &table)
{
    return cachedLookup(table, key, value);
}

QString KLVRRWCLogEntry::localizedStringForMonitor(const QString &key, const QString &value)
{
    return cachedLookup(QStringLiteral("Monitor"), key, value);
}

QString KLVRRWCLogEntry::localizedStringForSummary(const QString &key, const QString &value)
{
    return cachedLookup(QStringLiteral("Summary"), key, value);
}

QString KLVRRWCLogEntry::general(const QString &key)
{
    return cachedLookup(QStringLiteral("General"), key, key);
}
