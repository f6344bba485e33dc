// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCAttributedString.h"

#include <QFont>
#include <QString>
#include <QVariant>

class KLVRRWCLogEntry;

// Turns a log entry into the rich text of its row by filling a template: "[primary]" becomes
// the entry's summary and "[supplimentary]" its attributes on one line, each in the look of the
// marker's first character. Two templates, loaded once from the rich-text resources named after
// the class: one line, and one with the detail. Display only: text never becomes an entry.
class KLVRRWCLogEntryFormatter
{
public:
    static inline const QString kPrimaryMarker = QStringLiteral("[primary]");
    static inline const QString kSupplimentaryMarker = QStringLiteral("[supplimentary]");

    // Loads both templates; a missing or unreadable one is a configuration fault.
    KLVRRWCLogEntryFormatter();

    const KLVRRWCAttributedString &templateEntry() const { return m_templateEntry; }
    const KLVRRWCAttributedString &templateEntryWithDetail() const { return m_templateEntryWithDetail; }
    void setTemplateEntry(const KLVRRWCAttributedString &entry) { m_templateEntry = entry; }
    void setTemplateEntryWithDetail(const KLVRRWCAttributedString &entry) { m_templateEntryWithDetail = entry; }

    // Which template is filled; the log table follows the user's "eventDetail".
    bool showDetail() const { return m_showDetail; }
    void setShowDetail(bool showDetail) { m_showDetail = showDetail; }

    // The filled template for an entry. An attributed string comes back unchanged; anything
    // else gets the template with its markers.
    KLVRRWCAttributedString attributedStringForObjectValue(const QVariant &object) const;
    KLVRRWCAttributedString attributedStringForEntry(const KLVRRWCLogEntry *entry) const;
    // The same without formats.
    QString stringForObjectValue(const QVariant &object) const;
    // Always false: "Unsupported conversion from string to entry.".
    bool getObjectValue(QVariant *object, const QString &string, QString *errorDescription) const;

    // The height of a row: the chosen template laid out in font, times 1.1.
    double rowHeight(const QFont &font = QFont()) const { return rowHeightWithDetail(m_showDetail, font); }
    double rowHeightWithDetail(bool detail, const QFont &font = QFont()) const;
    // The laid-out height of an attributed string in font, without margins.
    static double layoutHeight(const KLVRRWCAttributedString &text, const QFont &font);

    // A template read from the rich-text resource name (no extension) beside this class.
    static KLVRRWCAttributedString attributedStringFromRTF(const QString &anRTFFilename);

private:
    KLVRRWCAttributedString m_templateEntry;
    KLVRRWCAttributedString m_templateEntryWithDetail;
    bool m_showDetail = false;
};
