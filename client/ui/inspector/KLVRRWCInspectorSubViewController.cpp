// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorSubViewController.h"

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCInspectorDictionarySubViewController.h"
#include "KLVRRWCInspectorEntrySubViewController.h"
#include "KLVRRWCInspectorLabelSubViewController.h"
#include "KLVRRWCInspectorStrings.h"
#include "KLVRRWCInspectorViews.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCStyledText.h"

#include <QWidget>

namespace {

const QString kMessageNib = QStringLiteral("KLVRRWCInspectorMessageSubViewController");
const QString kSelectionNib = QStringLiteral("KLVRRWCInspectorSelection");
const QString kArrayNib = QStringLiteral("KLVRRWCInspectorArraySubViewController");
const QString kScalarNib = QStringLiteral("KLVRRWCInspectorScalarSubViewController");

bool isList(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList
           || value.userType() == qMetaTypeId<KLVRRWCProcessList>();
}

bool isDictionary(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QVariantHash;
}

// What answers for itself as text or as a number.
bool isScalar(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return value.userType() == qMetaTypeId<KLVRRWCDuration>() || value.userType() == qMetaTypeId<KLVRRWCStyledText>();
    }
}

// An item whose kind needs nothing beyond the base: messages, selections, lists and scalars.
class PlainItem : public KLVRRWCInspectorSubViewController
{
public:
    PlainItem(const QVariant &value, const QString &key, const QString &nibName)
        : KLVRRWCInspectorSubViewController(value, key, nibName)
    {
        loadView();
    }
};

} // namespace

KLVRRWCInspectorSubViewController::KLVRRWCInspectorSubViewController(const QVariant &value, const QString &key,
                                                                     const QString &nibName)
    : m_attributeKey(key)
    , m_attributeValue(value)
    , m_nibName(nibName)
{
}

KLVRRWCInspectorSubViewController::~KLVRRWCInspectorSubViewController() = default;

void KLVRRWCInspectorSubViewController::loadView()
{
    m_view.reset(KLVRRWCInspectorViews::load(m_nibName, this));
    viewDidLoad();
}

void KLVRRWCInspectorSubViewController::removeView()
{
    m_view.reset();
}

std::unique_ptr<KLVRRWCInspectorSubViewController> KLVRRWCInspectorSubViewController::withLabel(const QString &text)
{
    return std::make_unique<KLVRRWCInspectorLabelSubViewController>(text);
}

std::unique_ptr<KLVRRWCInspectorSubViewController> KLVRRWCInspectorSubViewController::withMessage(const QString &text)
{
    return std::make_unique<PlainItem>(QVariant(), text, kMessageNib);
}

std::unique_ptr<KLVRRWCInspectorSubViewController> KLVRRWCInspectorSubViewController::withAttributeValue(const QVariant &value,
                                                                                                       const QString &key)
{
    if (value.userType() == qMetaTypeId<KLVRRWCLogEntry *>()) {
        if (KLVRRWCLogEntry *entry = value.value<KLVRRWCLogEntry *>())
            return std::make_unique<KLVRRWCInspectorEntrySubViewController>(entry);
    }
    if (value.userType() == qMetaTypeId<KLVRRWCLogEntrySelection>()) {
        const KLVRRWCLogEntrySelection selection = value.value<KLVRRWCLogEntrySelection>();
        if (selection.selectionCount() == 1)
            return withAttributeValue(QVariant::fromValue(selection.selection().constFirst()), key);
        return std::make_unique<PlainItem>(value, key, kSelectionNib);
    }
    if (isList(value))
        return std::make_unique<PlainItem>(value, key, kArrayNib);
    if (isDictionary(value))
        return std::make_unique<KLVRRWCInspectorDictionarySubViewController>(value, key);
    if (isScalar(value))
        return std::make_unique<PlainItem>(value, key, kScalarNib);
    return withMessage(KLVRRWCInspectorStrings::localized(QStringLiteral("Unsupported attribute")));
}

int KLVRRWCInspectorSubViewController::numberOfRows() const
{
    if (m_attributeValue.userType() == qMetaTypeId<KLVRRWCProcessList>())
        return int(m_attributeValue.value<KLVRRWCProcessList>().count());
    if (isList(m_attributeValue))
        return int(m_attributeValue.toList().size());
    return 0;
}

QVariant KLVRRWCInspectorSubViewController::objectValue(const QString &, int row) const
{
    if (row < 0 || row >= numberOfRows())
        return {};
    if (m_attributeValue.userType() == qMetaTypeId<KLVRRWCProcessList>())
        return m_attributeValue.value<KLVRRWCProcessList>().at(row);
    const QVariant element = m_attributeValue.toList().at(row);
    if (element.userType() == qMetaTypeId<KLVRAbsoluteTime>() || element.typeId() == QMetaType::QDateTime)
        return shortDateText(element);
    return element;
}

QString KLVRRWCInspectorSubViewController::shortDateText(const QVariant &date) const
{
    if (!m_dateFormatter)
        m_dateFormatter.emplace();
    const QDateTime dateTime = date.userType() == qMetaTypeId<KLVRAbsoluteTime>() ? date.value<KLVRAbsoluteTime>().toDateTime()
                                                                                  : date.toDateTime();
    return m_dateFormatter->toString(dateTime.toLocalTime().date(), QLocale::ShortFormat);
}
