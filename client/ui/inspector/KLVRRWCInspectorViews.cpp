// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWCInspectorViews.h"

#include "KLVRAssertionException.h"
#include "KLVRFormat.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCInspectorLabelView.h"
#include "KLVRRWCInspectorStrings.h"
#include "KLVRRWCInspectorStyledTextDelegate.h"
#include "KLVRRWCInspectorSubViewController.h"
#include "KLVRRWCInspectorTableModel.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCLogEntrySelection.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

QString localized(const char *role)
{
    return KLVRRWCInspectorStrings::localized(QStringLiteral("KLVRRWCInspectorController.") + QLatin1String(role));
}

// A date with its time to the second, in the user's formats.
QString dateTimeText(KLVRAbsoluteTime date)
{
    const QLocale locale;
    const QDateTime dateTime = date.toDateTime().toLocalTime();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1String("ss")))
        timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return locale.toString(dateTime.date(), QLocale::LongFormat) + QLatin1Char(' ') + locale.toString(dateTime.time(), timeFormat);
}

QLabel *smallLabel(const QString &text, QWidget *parent, bool dimmed = false)
{
    auto *label = new QLabel(text, parent);
    label->setFont(KLVRRWCInspectorStyledTextDelegate::smallFont(label->font()));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (dimmed)
        label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QWidget *finish(QWidget *view, const QString &nibName)
{
    view->setObjectName(nibName);
    const QSize hint = view->sizeHint();
    view->resize(std::max(hint.width(), KLVRRWCInspectorViews::kMinimumWidth), hint.height());
    return view;
}

// A panel of small "name  value" rows.
QWidget *formView(const QString &heading, const QList<QPair<QString, QString>> &rows)
{
    auto *view = new QWidget;
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);
    if (!heading.isEmpty()) {
        QLabel *title = smallLabel(heading, view);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setWordWrap(true);
        title->setObjectName(QStringLiteral("title"));
        layout->addWidget(title);
    }
    auto *form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(2);
    for (const auto &[name, value] : rows)
        form->addRow(smallLabel(name, view, true), smallLabel(value, view));
    layout->addLayout(form);
    return view;
}

QWidget *messageView(KLVRRWCInspectorSubViewController *owner)
{
    auto *view = new QWidget;
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(16, 18, 16, 18);
    QLabel *label = smallLabel(owner->attributeKey(), view, true);
    label->setAlignment(Qt::AlignCenter);
    label->setObjectName(QStringLiteral("message"));
    layout->addWidget(label);
    return view;
}

QWidget *entryView(KLVRRWCInspectorSubViewController *owner)
{
    const KLVRRWCLogEntry *entry = owner->attributeValue().value<KLVRRWCLogEntry *>();
    if (!entry)
        return formView(QString(), {});
    return formView(entry->summary(), {{localized("date"), dateTimeText(entry->date())},
                                       {localized("event"), KLVRRWCLogEntry::localizedStringForSummary(entry->event(), entry->event())},
                                       {localized("monitor"), entry->monitor()}});
}

QWidget *selectionView(KLVRRWCInspectorSubViewController *owner)
{
    const KLVRRWCLogEntrySelection selection = owner->attributeValue().value<KLVRRWCLogEntrySelection>();
    QList<QPair<QString, QString>> rows;
    if (const auto &span = selection.duration()) {
        rows.append({localized("from"), dateTimeText(span->startDate())});
        rows.append({localized("to"), dateTimeText(span->endDate())});
        rows.append({localized("length"), KLVRRWCDuration::longStringFromDuration(span->duration())});
    }
    return formView(KLVRFormat::string(localized("entries"), qlonglong(selection.selectionCount())), rows);
}

QWidget *scalarView(KLVRRWCInspectorSubViewController *owner)
{
    auto *view = new QWidget;
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(10, 6, 10, 6);
    QLabel *label = smallLabel(KLVRRWCInspectorTableModel::text(owner->attributeValue()), view);
    label->setWordWrap(true);
    label->setObjectName(QStringLiteral("value"));
    layout->addWidget(label);
    return view;
}

// A table sized to its rows (up to kMaximumVisibleRows, then it scrolls) and to its widest cells.
QWidget *tableView(KLVRRWCInspectorSubViewController *owner, const QStringList &columns)
{
    auto *table = new QTableView;
    table->setObjectName(QStringLiteral("tableView"));
    auto *model = new KLVRRWCInspectorTableModel(owner, columns, table);
    table->setModel(model);
    table->setItemDelegate(new KLVRRWCInspectorStyledTextDelegate(table));
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->setFrameShape(QFrame::NoFrame);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    const QFontMetrics metrics(KLVRRWCInspectorStyledTextDelegate::smallFont(table->font()));
    const int rowHeight = metrics.height() + 4;
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The minimum first: a default below the style's minimum would not be taken.
    table->verticalHeader()->setMinimumSectionSize(rowHeight);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);

    const int rows = model->rowCount();
    const bool scrolls = rows > KLVRRWCInspectorViews::kMaximumVisibleRows;
    const int height = std::max(1, std::min(rows, KLVRRWCInspectorViews::kMaximumVisibleRows)) * rowHeight;

    // Every cell's text is measured (a year's list holds a few hundred at most), so the widest
    // decides even when it lies below the fold.
    QList<int> widths(columns.size(), 0);
    for (int column = 0; column < columns.size(); ++column) {
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = model->index(row, column);
            const QVariant styled = index.data(KLVRRWCInspectorStyledTextDelegate::StyledTextRole);
            const double width = styled.isValid()
                                     ? KLVRRWCInspectorStyledTextDelegate::widthOf(styled.value<KLVRRWCStyledText>(), table->font())
                                     : metrics.horizontalAdvance(index.data().toString());
            widths[column] = std::max(widths[column], int(std::ceil(width)) + 10);
        }
    }
    int total = 0;
    for (int column = 0; column < columns.size(); ++column) {
        total += widths[column];
    }
    const int scrollBar = scrolls ? table->verticalScrollBar()->sizeHint().width() : 0;
    int width = std::clamp(total + scrollBar, KLVRRWCInspectorViews::kMinimumWidth, KLVRRWCInspectorViews::kMaximumWidth);
    // The last column takes whatever the panel's width leaves.
    for (int column = 0; column + 1 < columns.size(); ++column)
        table->setColumnWidth(column, widths[column]);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    table->resize(width, height);
    return table;
}

} // namespace

QWidget *KLVRRWCInspectorViews::load(const QString &nibName, KLVRRWCInspectorSubViewController *owner)
{
    using Builder = std::function<QWidget *(KLVRRWCInspectorSubViewController *)>;
    static const QList<QPair<QString, Builder>> builders{
        {QStringLiteral("KLVRRWCInspectorLabelSubViewController"),
         [](KLVRRWCInspectorSubViewController *) -> QWidget * { return new KLVRRWCInspectorLabelView; }},
        {QStringLiteral("KLVRRWCInspectorMessageSubViewController"), messageView},
        {QStringLiteral("KLVRRWCInspectorEntrySubViewController"), entryView},
        {QStringLiteral("KLVRRWCInspectorSelection"), selectionView},
        {QStringLiteral("KLVRRWCInspectorScalarSubViewController"), scalarView},
    };
    QWidget *view = nullptr;
    if (nibName == QLatin1String("KLVRRWCInspectorArraySubViewController"))
        view = tableView(owner, {QStringLiteral("value")});
    else if (nibName == QLatin1String("KLVRRWCInspectorDictionarySubViewController"))
        view = tableView(owner, {QStringLiteral("key"), QStringLiteral("value")});
    if (view) {
        view->setObjectName(nibName);
        return view;
    }
    for (const auto &[name, build] : builders) {
        if (name == nibName)
            return finish(build(owner), nibName);
    }
    KLVR_ASSERT(false, KLVRFormat::string(QStringLiteral("Unable to load %@ nib."), nibName));
    return nullptr;
}
