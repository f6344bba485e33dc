// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRWCAttributedString.h"

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <functional>
#include <optional>

class KLVRUserDefaults;

// A date as the log shows it: the day, a comma and the time of day, both in the user's locale
// and time zone ("12/7/26, 9:41 AM"). With relativeDates the day is spoken when it is today,
// tomorrow or yesterday, and the day text is capitalised word by word ("Today, 9:41 AM").
// Display only: text never becomes a date.
class KLVRRWCRelativeDateFormatter : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(KLVRRWCRelativeDateFormatter)
    Q_PROPERTY(bool relativeDates READ relativeDates WRITE setRelativeDates NOTIFY relativeDatesChanged)

public:
    explicit KLVRRWCRelativeDateFormatter(QObject *parent = nullptr);
    ~KLVRRWCRelativeDateFormatter() override;

    // Follows the user default "relativeDates" for the formatter's whole life.
    void awakeFromNib(KLVRUserDefaults *defaults);

    bool relativeDates() const { return m_relativeDates; }
    void setRelativeDates(bool relativeDates);

    // The day's and the time's formats: the locale's short forms, made on first use from the
    // user's locale and then kept; the setters replace them.
    QLocale dateFormatter() const;
    void setDateFormatter(const QLocale &locale) { m_dateFormatter = locale; }
    QLocale timeFormatter() const;
    void setTimeFormatter(const QLocale &locale) { m_timeFormatter = locale; }

    // What "today" is judged against; the system clock unless a test says otherwise.
    void setClock(std::function<KLVRAbsoluteTime()> clock) { m_clock = std::move(clock); }

    // A KLVRAbsoluteTime or QDateTime gives its text; anything else gives "".
    QString stringForObjectValue(const QVariant &object) const;
    QString stringForDate(KLVRAbsoluteTime date) const;
    // The text in the default format, with the application font when the default has none and
    // the text colour of the application's palette.
    KLVRRWCAttributedString attributedStringForObjectValue(const QVariant &object,
                                                           const QTextCharFormat &defaultAttributes = {}) const;
    // Always false: "Unsupported conversion from string to object.".
    bool getObjectValue(QVariant *object, const QString &string, QString *errorDescription) const;

    // Each whitespace-separated word with its first letter in upper case and the rest in lower.
    static QString capitalized(const QString &text);

Q_SIGNALS:
    void relativeDatesChanged(bool relativeDates);

private:
    bool m_relativeDates = false;
    mutable std::optional<QLocale> m_dateFormatter;
    mutable std::optional<QLocale> m_timeFormatter;
    std::function<KLVRAbsoluteTime()> m_clock;
    QPointer<KLVRUserDefaults> m_defaults;
};
