// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCRelativeDateFormatter.h"

#include "KLVRStringsTable.h"
#include "KLVRUserDefaults.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QPalette>

namespace {

const QString kRelativeDates = QStringLiteral("relativeDates");

// The default strings table of the application.
QString localizedDay(const QString &key)
{
    return KLVRStringsTable::localizedString(key, key, QStringLiteral("Localizable"));
}

} // namespace

KLVRRWCRelativeDateFormatter::KLVRRWCRelativeDateFormatter(QObject *parent)
    : QObject(parent)
{
}

KLVRRWCRelativeDateFormatter::~KLVRRWCRelativeDateFormatter() = default;

void KLVRRWCRelativeDateFormatter::awakeFromNib(KLVRUserDefaults *defaults)
{
    if (!defaults || m_defaults == defaults)
        return;
    m_defaults = defaults;
    setRelativeDates(defaults->boolValue(kRelativeDates));
    connect(defaults, &KLVRUserDefaults::valueChanged, this, [this](const QString &key, const QVariant &) {
        if (key == kRelativeDates && m_defaults)
            setRelativeDates(m_defaults->boolValue(kRelativeDates));
    });
}

void KLVRRWCRelativeDateFormatter::setRelativeDates(bool relativeDates)
{
    if (m_relativeDates == relativeDates)
        return;
    m_relativeDates = relativeDates;
    Q_EMIT relativeDatesChanged(relativeDates);
}

QLocale KLVRRWCRelativeDateFormatter::dateFormatter() const
{
    if (!m_dateFormatter)
        m_dateFormatter = QLocale();
    return *m_dateFormatter;
}

QLocale KLVRRWCRelativeDateFormatter::timeFormatter() const
{
    if (!m_timeFormatter)
        m_timeFormatter = QLocale();
    return *m_timeFormatter;
}

QString KLVRRWCRelativeDateFormatter::stringForObjectValue(const QVariant &object) const
{
    if (object.metaType() == QMetaType::fromType<KLVRAbsoluteTime>())
        return stringForDate(object.value<KLVRAbsoluteTime>());
    if (object.metaType() == QMetaType::fromType<QDateTime>())
        return stringForDate(KLVRAbsoluteTime::fromDateTime(object.toDateTime()));
    return QString();
}

QString KLVRRWCRelativeDateFormatter::stringForDate(KLVRAbsoluteTime date) const
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toDateTime();
    const QString time = timeFormatter().toString(local.time(), QLocale::ShortFormat);
    QString day;
    if (!m_relativeDates) {
        day = dateFormatter().toString(local.date(), QLocale::ShortFormat);
    } else {
        const KLVRAbsoluteTime now = m_clock ? m_clock() : KLVRAbsoluteTime::now();
        const qint64 difference = local.date().toJulianDay() - now.toDateTime().date().toJulianDay();
        if (difference == 0)
            day = localizedDay(QStringLiteral("today"));
        else if (difference == 1)
            day = localizedDay(QStringLiteral("tomorrow"));
        else if (difference == -1)
            day = localizedDay(QStringLiteral("yesterday"));
        else
            day = dateFormatter().toString(local.date(), QLocale::ShortFormat);
        day = capitalized(day);
    }
    // "%@, %@"
    return day + QStringLiteral(", ") + time;
}

KLVRRWCAttributedString KLVRRWCRelativeDateFormatter::attributedStringForObjectValue(const QVariant &object,
                                                                                     const QTextCharFormat &defaultAttributes) const
{
    QTextCharFormat format = defaultAttributes;
    if (!format.hasProperty(QTextFormat::FontFamilies) && !format.hasProperty(QTextFormat::FontPointSize))
        format.setFont(QGuiApplication::font());
    format.setForeground(QGuiApplication::palette().color(QPalette::Text));
    return KLVRRWCAttributedString(stringForObjectValue(object), format);
}

bool KLVRRWCRelativeDateFormatter::getObjectValue(QVariant *, const QString &, QString *errorDescription) const
{
    if (errorDescription)
        *errorDescription = QStringLiteral("Unsupported conversion from string to object.");
    return false;
}

QString KLVRRWCRelativeDateFormatter::capitalized(const QString &text)
{
    QString result = text;
    bool startOfWord = true;
    for (qsizetype i = 0; i < result.size(); ++i) {
        const QChar c = result.at(i);
        if (c.isSpace()) {
            startOfWord = true;
            continue;
        }
        result[i] = startOfWord ? c.toUpper() : c.toLower();
        startOfWord = false;
    }
    return result;
}
