// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntrySelection.h"

#include <QLocale>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class QWidget;

// Values the inspector shows that the model does not put into a QVariant itself.
Q_DECLARE_METATYPE(KLVRRWCLogEntry *)
Q_DECLARE_METATYPE(KLVRRWCLogEntrySelection)

// One item of the inspector's stack: a heading, a message, an entry, a selection, or an
// attribute's value under its name. It owns its view, which KLVRRWCInspectorViews builds from
// the name of the item's kind ("KLVRRWCInspectorArraySubViewController" and so on) and which the
// inspector places in its panel. For list values it is also the list's data source.
//
// Items are made by the factory functions, which pick the kind for a value, and are never
// changed afterwards: the inspector makes new ones at every refresh. Main thread only.
class KLVRRWCInspectorSubViewController
{
public:
    virtual ~KLVRRWCInspectorSubViewController();
    Q_DISABLE_COPY_MOVE(KLVRRWCInspectorSubViewController)

    // A heading bar showing text.
    static std::unique_ptr<KLVRRWCInspectorSubViewController> withLabel(const QString &text);
    // A line of text in place of any value ("No Selection").
    static std::unique_ptr<KLVRRWCInspectorSubViewController> withMessage(const QString &text);
    // The item for a value: an entry, a selection (one entry shows as that entry), a list, a
    // dictionary, a single value, or the message "Unsupported attribute" for anything else.
    static std::unique_ptr<KLVRRWCInspectorSubViewController> withAttributeValue(const QVariant &value, const QString &key);

    QWidget *view() const { return m_view.get(); }
    const QString &attributeKey() const { return m_attributeKey; }
    const QVariant &attributeValue() const { return m_attributeValue; }
    // The name of the view's kind, which is also the view's object name.
    const QString &nibName() const { return m_nibName; }
    // Drops the view (taking it out of the panel).
    void removeView();

    // The list's data source: one row per element; a date reads in the short date style;
    // rows cannot be selected.
    virtual int numberOfRows() const;
    virtual QVariant objectValue(const QString &columnIdentifier, int row) const;
    bool shouldSelectRow(int) const { return false; }

    // The text of a date in the short date style, without the time.
    QString shortDateText(const QVariant &date) const;

protected:
    KLVRRWCInspectorSubViewController(const QVariant &value, const QString &key, const QString &nibName);
    // Builds the view named by nibName with this item as its owner.
    void loadView();
    virtual void viewDidLoad() {}

private:
    QString m_attributeKey;
    QVariant m_attributeValue;
    QString m_nibName;
    std::unique_ptr<QWidget> m_view;
    mutable std::optional<QLocale> m_dateFormatter;
};
