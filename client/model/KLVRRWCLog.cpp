// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCLog.h"

#include "KLVRFormat.h"
#include "KLVRRWCLogEntryDaemon.h"
#include "KLVRRWCLogEntryIdleSleep.h"
#include "KLVRRWCLogEntryPowerState.h"
#include "KLVRRWCLogEntryPowerStatus.h"
#include "KLVRRWCPropertyReader.h"

#include <QDate>
#include <QDateTime>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {
const QString kDate = QStringLiteral("date");
const QString kDescription = QStringLiteral("description");
const QString kMonitor = QStringLiteral("monitor");
const QString kProperties = QStringLiteral("properties");
const QString kAbsoluteDuration = QStringLiteral("absoluteDuration");

// Dates more than some 1900 years from 2001 are corrupt, and would overflow the calendar.
constexpr double kDateLimit = 6.0e10;

// A record as it appears in a log line: whole, but never thousands of process names long.
QString recordText(const QVariantMap &record)
{
    QString text = KLVRFormat::describe(record);
    constexpr qsizetype limit = 400;
    if (text.size() > limit)
        text = text.left(limit) + QStringLiteral("...");
    return text;
}

// The "%lf" text of a date, read without an allocation on the way; invalid unless the whole
// text is one number.
KLVRAbsoluteTime dateFromText(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    char buf[64];
    if (trimmed.isEmpty() || trimmed.size() >= qsizetype(sizeof buf))
        return KLVRAbsoluteTime::invalid();
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const char16_t c = trimmed[i].unicode();
        if (c > 0x7f)
            return KLVRAbsoluteTime::invalid();
        buf[i] = char(c);
    }
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(buf, buf + trimmed.size(), seconds);
    if (error != std::errc() || end != buf + trimmed.size())
        return KLVRAbsoluteTime::fromText(text); // forms from_chars does not take, such as "+1.5"
    return KLVRAbsoluteTime(seconds);
}

// The value a QVariant holds, read in place; the caller has checked its type.
template<typename T>
const T &stored(const QVariant &value)
{
    return *static_cast<const T *>(value.constData());
}

// Records lie scattered in memory, and reading one waits mostly for its properties text to
// arrive: the start of the next record's text is asked for while this one is read (the
// processor streams the rest once it is being read).
void prefetchProperties(const QVariantMap &record)
{
    const auto it = record.constFind(kProperties);
    if (it == record.cend())
        return;
    const char *data = nullptr;
    qsizetype size = 0;
    if (it->typeId() == QMetaType::QString) {
        data = reinterpret_cast<const char *>(stored<QString>(*it).constData());
        size = stored<QString>(*it).size() * qsizetype(sizeof(QChar));
    } else if (it->typeId() == QMetaType::QByteArray) {
        data = stored<QByteArray>(*it).constData();
        size = stored<QByteArray>(*it).size();
    }
    for (qsizetype offset = 0; offset < std::min<qsizetype>(size, 1024); offset += 64)
        __builtin_prefetch(data + offset);
}

template<typename Kind>
KLVRRWCLog::EntryFactory factory()
{
    return [](KLVRAbsoluteTime date, const QString &event, const QString &monitor, KLVRRWCPropertyDictionary properties) {
        return std::unique_ptr<KLVRRWCLogEntry>(std::make_unique<Kind>(date, event, monitor, std::move(properties)));
    };
}

// Answers look-ups of a batch's few recurring texts by the text's storage: the same shared texts
// come back event after event, and comparing an address costs less than hashing the text. A
// text stored elsewhere misses and is looked up the usual way. Each slot keeps its text alive,
// so an address is never taken over by another text.
template<typename T>
class RecentTexts
{
public:
    T *find(const QString &text)
    {
        for (size_t i = 0; i < m_used; ++i) {
            Slot &slot = m_slots[i];
            if (slot.text.constData() == text.constData() && slot.text.size() == text.size())
                return &slot.value;
        }
        return nullptr;
    }
    T &insert(const QString &text, T value)
    {
        Slot &slot = m_slots[m_next];
        m_next = (m_next + 1) % m_slots.size();
        m_used = std::min(m_used + 1, m_slots.size());
        slot.text = text;
        slot.value = std::move(value);
        return slot.value;
    }
    void clear() { m_used = m_next = 0; }

private:
    struct Slot
    {
        QString text;
        T value{};
    };
    std::array<Slot, 8> m_slots;
    size_t m_used = 0;
    size_t m_next = 0;
};

KLVRAbsoluteTime localMidnight(KLVRAbsoluteTime date)
{
    const QDate day = date.toDateTime().date();
    return KLVRAbsoluteTime::fromDateTime(day.startOfDay(QTimeZone::systemTimeZone()));
}

KLVRAbsoluteTime localEndOfDay(KLVRAbsoluteTime date)
{
    const QDate day = date.toDateTime().date();
    const QDateTime end(day, QTime(23, 59, 59), QTimeZone::systemTimeZone());
    if (end.isValid() && end.date() == day && end.time() == QTime(23, 59, 59))
        return KLVRAbsoluteTime::fromDateTime(end);
    return KLVRAbsoluteTime::fromDateTime(day.addDays(1).startOfDay(QTimeZone::systemTimeZone())).addSeconds(-1.0);
}
} // namespace

KLVRRWCLog::KLVRRWCLog(QObject *parent)
    : QObject(parent)
{
    KLVRRWCLogEntry::registerTypes();
    qRegisterMetaType<KLVRRWCRange>();
    m_entryClasses.insert(QStringLiteral("Starting monitor"), factory<KLVRRWCLogEntryDaemon>());
    m_entryClasses.insert(QStringLiteral("Stopping monitor"), factory<KLVRRWCLogEntryDaemon>());
    m_entryClasses.insert(QStringLiteral("Power state changed"), factory<KLVRRWCLogEntryPowerStatus>());
    m_entryClasses.insert(QStringLiteral("Can system sleep"), factory<KLVRRWCLogEntryIdleSleep>());
    m_entryClasses.insert(QStringLiteral("System will not sleep"), factory<KLVRRWCLogEntryIdleSleep>());
    m_entryClasses.insert(QStringLiteral("System will sleep"), factory<KLVRRWCLogEntryPowerState>());
    m_entryClasses.insert(QStringLiteral("System has powered on"), factory<KLVRRWCLogEntryPowerState>());
    m_entryClasses.insert(QStringLiteral("startup"), factory<KLVRRWCLogEntryPowerState>());
    m_entryClasses.insert(QStringLiteral("accounting boot"), factory<KLVRRWCLogEntryPowerState>());
    m_entryClasses.insert(QStringLiteral("accounting shut down"), factory<KLVRRWCLogEntryPowerState>());

    m_didChangeTimer.setSingleShot(true);
    m_didChangeTimer.setInterval(0);
    connect(&m_didChangeTimer, &QTimer::timeout, this, &KLVRRWCLog::didChange);
}

// Entries point at each other freely; the vector releases them in order, and no destructor
// follows a link.
KLVRRWCLog::~KLVRRWCLog() = default;

void KLVRRWCLog::setDateRange(QObject *dateRange)
{
    if (m_dateRangeConnection)
        disconnect(m_dateRangeConnection);
    m_dateRangeConnection = {};
    m_dateRange = dateRange;
    if (!dateRange)
        return;

    const QMetaObject *meta = dateRange->metaObject();
    const int index = meta->indexOfProperty("absoluteDuration");
    if (index < 0) {
        qCWarning(lcRWCModel) << "KLVRRWCLog date range" << meta->className() << "has no absoluteDuration property";
        return;
    }
    const QMetaProperty property = meta->property(index);
    if (property.hasNotifySignal()) {
        const QMetaMethod slot = staticMetaObject.method(staticMetaObject.indexOfSlot("dateRangeDidChange()"));
        m_dateRangeConnection = connect(dateRange, property.notifySignal(), this, slot);
    }
    updateVisibleEntries();
}

void KLVRRWCLog::dateRangeDidChange()
{
    updateVisibleEntries();
}

void KLVRRWCLog::setVisibleInterval(const KLVRRWCAbsoluteDuration &interval)
{
    m_visibleInterval = interval;
    m_hasVisibleInterval = true;
    updateVisibleEntries();
}

KLVRRWCAbsoluteDuration KLVRRWCLog::currentInterval() const
{
    if (m_dateRange) {
        const QVariant value = m_dateRange->property("absoluteDuration");
        if (value.canConvert<KLVRRWCAbsoluteDuration>())
            return value.value<KLVRRWCAbsoluteDuration>();
    }
    if (m_hasVisibleInterval)
        return m_visibleInterval;
    // No interval chosen: nothing is visible.
    return KLVRRWCAbsoluteDuration(KLVRAbsoluteTime(0.0), -1.0);
}

const KLVRRWCLog::EntryFactory *KLVRRWCLog::factoryFor(const QString &event) const
{
    const auto it = m_entryClasses.constFind(event);
    return it == m_entryClasses.cend() ? nullptr : &*it;
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLog::entryWithDate(KLVRAbsoluteTime date, const QString &event,
                                                           const QString &monitor,
                                                           KLVRRWCPropertyDictionary properties) const
{
    return makeEntry(factoryFor(event), date, event, monitor, std::move(properties));
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLog::makeEntry(const EntryFactory *factory, KLVRAbsoluteTime date,
                                                       const QString &event, const QString &monitor,
                                                       KLVRRWCPropertyDictionary properties)
{
    if (factory)
        return (*factory)(date, event, monitor, std::move(properties));
    return std::make_unique<KLVRRWCLogEntry>(date, event, monitor, std::move(properties));
}

std::unique_ptr<KLVRRWCLogEntry> KLVRRWCLog::entryWithDate(KLVRAbsoluteTime date, const QString &event,
                                                           const QString &monitor, const QVariantMap &properties) const
{
    return entryWithDate(date, event, monitor, KLVRRWCPropertyDictionary::fromMap(properties));
}

bool KLVRRWCLog::readEvent(const QVariantMap &record, Event *out) const
{
    // One pass over the record's few keys rather than a look-up for each; the values are read
    // where they stand, without copies.
    const QVariant *description = nullptr, *monitor = nullptr, *dateValue = nullptr, *properties = nullptr;
    for (auto it = record.cbegin(); it != record.cend(); ++it) {
        const QString &key = it.key();
        if (key == kDate)
            dateValue = &it.value();
        else if (key == kDescription)
            description = &it.value();
        else if (key == kMonitor)
            monitor = &it.value();
        else if (key == kProperties)
            properties = &it.value();
    }
    if (!description || description->typeId() != QMetaType::QString || !monitor || monitor->typeId() != QMetaType::QString) {
        qCWarning(lcRWCModel).noquote() << "KLVRRWCLog skipped an event without description or monitor:" << recordText(record);
        return false;
    }

    KLVRAbsoluteTime date = KLVRAbsoluteTime::invalid();
    const int dateType = dateValue ? dateValue->typeId() : QMetaType::UnknownType;
    if (dateType == QMetaType::QString)
        date = dateFromText(stored<QString>(*dateValue));
    else if (dateType == QMetaType::Double || dateType == QMetaType::LongLong || dateType == QMetaType::Int)
        date = KLVRAbsoluteTime(dateValue->toDouble());
    else if (dateValue && dateValue->userType() == qMetaTypeId<KLVRAbsoluteTime>())
        date = dateValue->value<KLVRAbsoluteTime>();
    if (!date.isValid() || std::fabs(date.seconds()) > kDateLimit) {
        qCWarning(lcRWCModel).noquote() << "KLVRRWCLog skipped an event with an unreadable date:" << recordText(record);
        return false;
    }

    KLVRRWCPropertyDictionary dictionary;
    // A record without properties carries none, like one whose properties read "NULL".
    const int propertiesType = properties ? properties->typeId() : QMetaType::UnknownType;
    if (properties && properties->isValid()
        && !(propertiesType == QMetaType::QString && stored<QString>(*properties) == QLatin1String("NULL"))) {
        QString error;
        KLVRRWCPropertyReader::Result result;
        if (propertiesType == QMetaType::QByteArray)
            result = KLVRRWCPropertyReader::readData(stored<QByteArray>(*properties), &dictionary, &error);
        else if (propertiesType == QMetaType::QString)
            result = KLVRRWCPropertyReader::read(stored<QString>(*properties), &dictionary, &error);
        else
            result = KLVRRWCPropertyReader::read(properties->toString(), &dictionary, &error);
        switch (result) {
        case KLVRRWCPropertyReader::Result::Dictionary:
            break;
        case KLVRRWCPropertyReader::Result::Empty:
            return false;
        case KLVRRWCPropertyReader::Result::NotDictionary:
            error = QStringLiteral("not a dictionary");
            Q_FALLTHROUGH();
        case KLVRRWCPropertyReader::Result::Error:
            qCWarning(lcRWCModel).noquote()
                << KLVRFormat::string(QStringLiteral("Error unpacking event properties:%@ <%@>"), error, recordText(record));
            return false;
        }
    }

    out->date = date;
    out->description = stored<QString>(*description);
    out->monitor = stored<QString>(*monitor);
    out->properties = std::move(dictionary);
    return true;
}

namespace {

// A record's properties as text: "NULL" or absent (null) carry none; anything the property
// reader does not take as a dictionary is left to readEvent() of the record.
bool readPropertiesText(QByteArrayView text, KLVRRWCPropertyDictionary *dictionary)
{
    QString ignored;
    return text.isNull() || text == "NULL"
           || KLVRRWCPropertyReader::readData(text, dictionary, &ignored) == KLVRRWCPropertyReader::Result::Dictionary;
}

bool readPropertiesText(const QString &text, KLVRRWCPropertyDictionary *dictionary)
{
    QString ignored;
    return text.isNull() || text == QLatin1String("NULL")
           || KLVRRWCPropertyReader::read(text, dictionary, &ignored) == KLVRRWCPropertyReader::Result::Dictionary;
}

template<typename Text>
bool readEventFields(QByteArrayView date, const QString &description, const QString &monitor, const Text &properties,
                     KLVRRWCLog::Event *event)
{
    // Only a date that is one number throughout is taken here; readEvent() of the record judges
    // any other text.
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(date.data(), date.data() + date.size(), seconds);
    if (date.isEmpty() || error != std::errc() || end != date.data() + date.size() || !KLVRAbsoluteTime(seconds).isValid()
        || std::fabs(seconds) > kDateLimit)
        return false;
    KLVRRWCPropertyDictionary dictionary;
    if (!readPropertiesText(properties, &dictionary))
        return false;
    event->date = KLVRAbsoluteTime(seconds);
    event->description = description;
    event->monitor = monitor;
    event->properties = std::move(dictionary);
    return true;
}

} // namespace

bool KLVRRWCLog::readEvent(QByteArrayView date, const QString &description, const QString &monitor,
                           QByteArrayView properties, Event *event)
{
    return readEventFields(date, description, monitor, properties, event);
}

bool KLVRRWCLog::readEvent(QByteArrayView date, const QString &description, const QString &monitor,
                           const QString &properties, Event *event)
{
    return readEventFields(date, description, monitor, properties, event);
}

void KLVRRWCLog::addExternalEntries(const QVariantList &records)
{
    std::vector<Event> read;
    read.reserve(size_t(records.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QVariant &value = records.at(i);
        if (i + 1 < records.size() && records.at(i + 1).typeId() == QMetaType::QVariantMap)
            prefetchProperties(stored<QVariantMap>(records.at(i + 1)));
        if (value.typeId() != QMetaType::QVariantMap) {
            qCWarning(lcRWCModel).noquote() << "KLVRRWCLog skipped an event record that is not a dictionary:"
                                            << KLVRFormat::describe(value).left(400);
            continue;
        }
        Event record;
        if (readEvent(stored<QVariantMap>(value), &record))
            read.push_back(std::move(record));
    }
    addEvents(std::move(read));
}

void KLVRRWCLog::addExternalEntries(const QList<QVariantMap> &records)
{
    std::vector<Event> read;
    read.reserve(size_t(records.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QVariantMap &value = records.at(i);
        if (i + 1 < records.size())
            prefetchProperties(records.at(i + 1));
        Event record;
        if (readEvent(value, &record))
            read.push_back(std::move(record));
    }
    addEvents(std::move(read));
}

void KLVRRWCLog::addEvents(std::vector<Event> records)
{
    // The store hands events in date order; a batch that is not keeps its events, in order.
    const auto earlier = [](const Event &a, const Event &b) { return a.date < b.date; };
    if (!std::is_sorted(records.begin(), records.end(), earlier)) {
        qCWarning(lcRWCModel) << "KLVRRWCLog received a batch out of date order; taking it in date order";
        std::stable_sort(records.begin(), records.end(), earlier);
    }

    const qsizetype countBefore = count();
    const KLVRAbsoluteTime finalDateBefore = m_finalDate;
    KLVRAbsoluteTime finalDate = m_finalDate;
    KLVRRWCLogEntry *past = m_pastEntry;
    const size_t firstNew = m_entries.size();

    // Descriptions and groups recur event after event; the memos point into the hashes, so
    // they are dropped whenever a hash gains a key.
    RecentTexts<const EntryFactory *> factories;
    RecentTexts<KLVRRWCLogEntry **> groupHeads;
    for (Event &record : records) {
        // Linking, pairing and every range look-up rely on dates that never decrease.
        if (record.date < finalDate) {
            qCWarning(lcRWCModel).noquote() << "KLVRRWCLog skipped an event older than the log's last event:"
                                            << record.date.toText() << record.description << record.monitor;
            continue;
        }
        const EntryFactory *const *known = factories.find(record.description);
        const EntryFactory *factory = known ? *known : factories.insert(record.description, factoryFor(record.description));
        std::unique_ptr<KLVRRWCLogEntry> entry =
            makeEntry(factory, record.date, record.description, record.monitor, std::move(record.properties));
        const QString group = entry->group();
        KLVRRWCLogEntry **head = nullptr;
        if (KLVRRWCLogEntry **const *memo = groupHeads.find(group)) {
            head = *memo;
        } else {
            const auto it = m_finalGroupEntries.find(group);
            if (it != m_finalGroupEntries.end())
                head = groupHeads.insert(group, &it.value());
        }
        KLVRRWCLogEntry *older = head ? *head : nullptr;
        finalDate = entry->date();
        if (older && older->isLike(*entry)) {
            older->mergeEntry(std::move(entry));
            continue;
        }
        KLVRRWCLogEntry *listed = entry.get();
        listed->setContainer(this);
        listed->setIndexInLog(qsizetype(m_entries.size()));
        listed->setPast(past);
        listed->setNext(older);
        if (older)
            older->setPrevious(listed);
        if (head) {
            *head = listed;
        } else {
            m_finalGroupEntries.insert(group, listed);
            groupHeads.clear();
        }
        past = listed;
        m_dates.push_back(listed->date().seconds());
        m_entries.push_back(std::move(entry));
    }
    m_finalDate = finalDate;
    m_pastEntry = past;

    bool batteriesGrew = false;
    const QString nameKey = QStringLiteral("Name");
    struct BatterySlots
    {
        KLVRRWCLogEntryPowerStatus **latest;
        std::vector<qsizetype> *indexes;
    };
    RecentTexts<BatterySlots> batteries;
    for (size_t i = firstNew; i < m_entries.size(); ++i) {
        KLVRRWCLogEntry *entry = m_entries[i].get();
        entry->awakeFromLog();
        auto *status = dynamic_cast<KLVRRWCLogEntryPowerStatus *>(entry);
        if (!status)
            continue;
        // A name is nearly always a text of the string pool, read where it is kept.
        QString otherName;
        const QString *name = status->propertyDictionary().text(nameKey);
        if (!name) {
            const QVariant value = status->property(nameKey);
            if (!value.isValid())
                continue;
            otherName = value.toString();
            name = &otherName;
        }
        BatterySlots *battery = batteries.find(*name);
        if (!battery) {
            const bool known = m_batteries.contains(*name) && m_batteryIndexes.contains(*name);
            auto latest = m_batteries.find(*name);
            if (latest == m_batteries.end())
                latest = m_batteries.insert(*name, status);
            std::vector<qsizetype> &indexes = m_batteryIndexes[*name];
            if (!known)
                batteries.clear();
            battery = &batteries.insert(*name, BatterySlots{&latest.value(), &indexes});
        }
        *battery->latest = status;
        battery->indexes->push_back(qsizetype(i));
        batteriesGrew = true;
    }

    if (count() != countBefore)
        Q_EMIT countChanged();
    if (m_finalDate != finalDateBefore)
        Q_EMIT finalDateChanged();
    if (batteriesGrew)
        Q_EMIT batteriesChanged();

    if (!m_entries.empty())
        tellDateRangeLimits();
    updateVisibleEntries();
}

void KLVRRWCLog::tellDateRangeLimits()
{
    if (!m_dateRange)
        return;
    const KLVRAbsoluteTime past = localMidnight(m_entries.front()->date());
    const KLVRAbsoluteTime future = localEndOfDay(m_entries.back()->finalDate());
    const bool told = QMetaObject::invokeMethod(m_dateRange, "setDistantPast", Qt::DirectConnection,
                                                Q_ARG(KLVRAbsoluteTime, past), Q_ARG(KLVRAbsoluteTime, future));
    if (!told)
        qCWarning(lcRWCModel) << "KLVRRWCLog date range" << m_dateRange->metaObject()->className()
                              << "does not take setDistantPast(KLVRAbsoluteTime, KLVRAbsoluteTime)";
}

void KLVRRWCLog::updateVisibleEntries()
{
    const KLVRRWCAbsoluteDuration interval = currentInterval();
    const double start = interval.startDate().seconds();
    const double end = start + interval.duration();
    KLVRRWCRange range;
    // Dates never decrease, so the entries inside the interval form one run.
    if (!m_dates.empty() && start <= end) {
        const auto first = std::lower_bound(m_dates.cbegin(), m_dates.cend(), start);
        const auto last = std::upper_bound(first, m_dates.cend(), end);
        if (first != last) {
            range.location = quint64(first - m_dates.cbegin());
            range.length = quint64(last - first);
        }
    }
    setVisibleRange(range);
}

void KLVRRWCLog::setVisibleRange(KLVRRWCRange range)
{
    Q_EMIT visibleEntriesAboutToChange();
    m_visibleRange = range;
    Q_EMIT visibleEntriesChanged();
    scheduleDidChange();
}

void KLVRRWCLog::scheduleDidChange()
{
    m_didChangeTimer.start();
}

KLVRRWCLogEntry *KLVRRWCLog::objectAtIndex(qsizetype index) const
{
    if (index < 0 || size_t(index) >= m_entries.size())
        return nullptr;
    return m_entries[size_t(index)].get();
}

KLVRRWCLogEntry *KLVRRWCLog::objectInVisibleEntriesAtIndex(qsizetype index) const
{
    if (index < 0 || quint64(index) >= m_visibleRange.length)
        return nullptr;
    return objectAtIndex(qsizetype(m_visibleRange.location) + index);
}

QList<KLVRRWCLogEntry *> KLVRRWCLog::visibleEntriesArray() const
{
    QList<KLVRRWCLogEntry *> visible;
    visible.reserve(qsizetype(m_visibleRange.length));
    for (quint64 i = 0; i < m_visibleRange.length; ++i)
        visible.append(m_entries[size_t(m_visibleRange.location + i)].get());
    return visible;
}

QSet<QString> KLVRRWCLog::groups() const
{
    QSet<QString> groups;
    groups.reserve(m_finalGroupEntries.size());
    for (auto it = m_finalGroupEntries.cbegin(); it != m_finalGroupEntries.cend(); ++it)
        groups.insert(it.key());
    return groups;
}

QStringList KLVRRWCLog::batteryEnumerator() const
{
    return m_batteries.keys();
}

qint64 KLVRRWCLog::entryBeforeDate(KLVRAbsoluteTime date) const
{
    if (m_dates.empty() || std::isnan(date.seconds()) || !(m_dates.front() < date.seconds()))
        return NotFound;
    const auto later = std::upper_bound(m_dates.cbegin(), m_dates.cend(), date.seconds());
    if (later == m_dates.cend())
        return qint64(m_dates.size() - 1);
    return qint64(later - m_dates.cbegin());
}

KLVRRWCLogEntryPowerStatus *KLVRRWCLog::powerEventForBatteryBefore(const QString &name, const KLVRRWCLogEntry *entry) const
{
    if (!entry || entry->containerLog() != this || objectAtIndex(entry->indexInLog()) != entry)
        return nullptr;
    const auto it = m_batteryIndexes.constFind(name);
    if (it == m_batteryIndexes.cend())
        return nullptr;
    const auto found = std::lower_bound(it->cbegin(), it->cend(), entry->indexInLog());
    if (found == it->cbegin())
        return nullptr;
    return static_cast<KLVRRWCLogEntryPowerStatus *>(m_entries[size_t(*(found - 1))].get());
}

KLVRRWCLogEntryPowerStatus *KLVRRWCLog::powerEventForBatteryAfter(const QString &name, const KLVRRWCLogEntry *entry) const
{
    if (!entry || entry->containerLog() != this || objectAtIndex(entry->indexInLog()) != entry)
        return nullptr;
    const auto it = m_batteryIndexes.constFind(name);
    if (it == m_batteryIndexes.cend())
        return nullptr;
    const auto found = std::upper_bound(it->cbegin(), it->cend(), entry->indexInLog());
    if (found == it->cend())
        return nullptr;
    return static_cast<KLVRRWCLogEntryPowerStatus *>(m_entries[size_t(*found)].get());
}

float KLVRRWCLog::interpolatePercentageChargedForDate(KLVRAbsoluteTime date, const KLVRRWCLogEntryPowerStatus *a,
                                                      const KLVRRWCLogEntryPowerStatus *b)
{
    if (!a)
        return b ? float(b->percentageCharged()) : 0.0f;
    const float pa = float(a->percentageCharged());
    if (!b)
        return pa;
    const float pb = float(b->percentageCharged());
    const double span = b->date().secondsSince(a->date());
    if (pa == pb || !(span > 0.0))
        return pa;
    return float(double(pa) + date.secondsSince(a->date()) * (double(pb) - double(pa)) / span);
}
