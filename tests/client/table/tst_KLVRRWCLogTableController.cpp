// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The log table as a user meets it: filtering, Escape, the entry nearest a date, Copy and what a
// real RTF reader makes of it, the partner's pill, the pair commands, Home and End, row heights
// and the remembered sort.
#include "BLRoundedTableCell.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCLogEntryFormatter.h"
#include "KLVRTableTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextDocument>

using namespace KLVRTableTest;

class tst_KLVRRWCLogTableController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void filterIsALiteralCaseSensitiveMatchOfTheSummary_data();
    void filterIsALiteralCaseSensitiveMatchOfTheSummary();
    void escapeClearsAFilterAndOtherwiseDoesNothing_data();
    void escapeClearsAFilterAndOtherwiseDoesNothing();
    void graphSelectsTheNearestEntry_data();
    void graphSelectsTheNearestEntry();
    void copyGivesTabularTextRtfAndHtml();
    void pillIsPaintedOnlyForAShownPartner_data();
    void pillIsPaintedOnlyForAShownPartner();
    void pairCommandsNeedOneRowWithAShownPair_data();
    void pairCommandsNeedOneRowWithAShownPair();
    void homeAndEndScrollAndLeaveAnEmptyTableAlone();
    void rowHeightIsTheTemplateHeightTimesOnePointOne_data();
    void rowHeightIsTheTemplateHeightTimesOnePointOne();
    void sortIsRememberedAndAnUnreadableStoredSortIgnored_data();
    void sortIsRememberedAndAnUnreadableStoredSortIgnored();
    void enterReturnAndDoubleClickOpenTheInspector();
    void selectionSurvivesAFilterAndTheRowsFollowTheLog();
    void filterFinishedWhileIdleGivesTheRowsOfAWholePass_data();
    void filterFinishedWhileIdleGivesTheRowsOfAWholePass();
    void selectionAndReadersWhileAFilterIsAddingRows();

private:
    // Pixels of the colour in the summary cell of the row, as painted on screen.
    static int pixelsOfColour(Table &table, const QImage &image, int row, const QColor &colour);
};

void tst_KLVRRWCLogTableController::initTestCase()
{
    pinLocale();
}

void tst_KLVRRWCLogTableController::filterIsALiteralCaseSensitiveMatchOfTheSummary_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("events");
    const QStringList all{"startup", "Starting monitor", "Power state changed", "System will sleep", "System has powered on",
                          "Can system sleep", "System will sleep", "System has powered on"};
    QTest::newRow("empty shows all") << QString() << all;
    QTest::newRow("word in some summaries") << QStringLiteral("System") << QStringList{"startup", "System will sleep", "System has powered on", "System will sleep", "System has powered on"};
    QTest::newRow("matches only by case") << QStringLiteral("system") << QStringList{};
    QTest::newRow("pattern characters are literal") << QStringLiteral("S.stem") << QStringList{};
    QTest::newRow("attributes are not searched") << QStringLiteral("Idle") << QStringList{};
}

void tst_KLVRRWCLogTableController::filterIsALiteralCaseSensitiveMatchOfTheSummary()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, events);
    Table table;
    // Typed into the search field, as the user does.
    QTest::keyClicks(&table.field, filter);
    QCOMPARE(table.controller->filterString(), filter);
    QStringList shown;
    for (const KLVRRWCLogEntry *entry : table.controller->arrangedObjects())
        shown << entry->event();
    QCOMPARE(shown, events);
    if (filter.compare(QStringLiteral("system"), Qt::CaseSensitive) == 0) {
        // Without case the same text would have matched.
        QVERIFY(table.log.objectAtIndex(3)->summary().contains(filter, Qt::CaseInsensitive));
    }
}

void tst_KLVRRWCLogTableController::escapeClearsAFilterAndOtherwiseDoesNothing_data()
{
    QTest::addColumn<QString>("filter");
    QTest::newRow("with a filter") << QStringLiteral("waking");
    QTest::newRow("without") << QString();
}

void tst_KLVRRWCLogTableController::escapeClearsAFilterAndOtherwiseDoesNothing()
{
    QFETCH(QString, filter);
    Table table;
    table.field.setText(filter);
    QCOMPARE(table.controller->cancelFilterAction()->isEnabled(), !filter.isEmpty());
    const int filtered = table.rows();
    QVERIFY(filter.isEmpty() ? filtered == 8 : filtered == 2);
    QSignalSpy edits(&table.field, &QLineEdit::textChanged);
    QTest::keyClick(&table.view, Qt::Key_Escape);
    QCOMPARE(table.field.text(), QString());
    QCOMPARE(table.rows(), 8);
    QCOMPARE(edits.count(), filter.isEmpty() ? 0 : 1);
    QVERIFY(!table.controller->cancelFilterAction()->isEnabled());
}

void tst_KLVRRWCLogTableController::graphSelectsTheNearestEntry_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("sort");
    QTest::addColumn<int>("logIndex");
    QTest::newRow("before all") << "2024-03-05 05:00:00" << "" << 0;
    QTest::newRow("after all") << "2024-03-05 23:00:00" << "" << 7;
    QTest::newRow("between, nearer the earlier") << "2024-03-05 10:20:00" << "" << 3;
    QTest::newRow("between, nearer the later") << "2024-03-05 10:40:00" << "" << 4;
    QTest::newRow("tie picks the later") << "2024-03-05 10:30:00" << "" << 4;
    QTest::newRow("exactly an entry") << "2024-03-05 11:00:00" << "" << 4;
    QTest::newRow("exactly the last entry") << "2024-03-05 13:00:00" << "" << 7;
    QTest::newRow("tie, rows sorted by summary") << "2024-03-05 10:30:00" << "summary" << 4;
}

void tst_KLVRRWCLogTableController::graphSelectsTheNearestEntry()
{
    QFETCH(QString, date);
    QFETCH(QString, sort);
    QFETCH(int, logIndex);
    Table table;
    if (!sort.isEmpty())
        table.controller->setSortDescriptors({{sort, true}});
    KLVRRWCEntriesView graph;
    graph.setSelection(at(date));
    table.controller->selectEntryByDate(&graph);
    QTRY_COMPARE(table.controller->selectedObjects().size(), 1);
    QCOMPARE(table.controller->selectedObjects().first(), table.log.objectAtIndex(logIndex));
}

void tst_KLVRRWCLogTableController::copyGivesTabularTextRtfAndHtml()
{
    Table table;
    table.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    QVERIFY(!table.controller->copyAction()->isEnabled());
    const int sleep = table.rowOfEvent(QStringLiteral("System will sleep"));
    const int wake = table.rowOfEvent(QStringLiteral("System has powered on"));
    table.select({wake, sleep});
    QVERIFY(table.controller->copyAction()->isEnabled());
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&table.view, Qt::Key_C, Qt::ControlModifier);
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied);

    // Rows in ascending order whatever order they were selected in; 10:00 and 11:00 on 3/5/24.
    const QString expected = QStringLiteral("3/5/24, 10:00\u202FAM\tSystem sleeping after 3 hours awake\n"
                                            "3/5/24, 11:00\u202FAM\tSystem waking after 1 hour asleep");
    QString text = copied->text();
    // Older locale data writes a plain blank before AM.
    text.replace(QStringLiteral(" AM"), QStringLiteral("\u202FAM"));
    QCOMPARE(text, expected);
    QVERIFY(!copied->text().endsWith(QLatin1Char('\n')));
    QVERIFY(copied->html().contains(QStringLiteral("<td>System waking after 1 hour asleep</td>")));

    // What a word processor's RTF reader makes of the rich form: the same words.
    const QByteArray rtf = copied->data(QStringLiteral("text/rtf"));
    QVERIFY(rtf.startsWith("{\\rtf1"));
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty())
        QSKIP("unrtf is not installed (Debian package unrtf)");
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("rows.rtf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(rtf);
    file.close();
    QProcess reader;
    reader.start(unrtf, {QStringLiteral("--text"), file.fileName()});
    QVERIFY(reader.waitForFinished(10000));
    QCOMPARE(reader.exitCode(), 0);
    QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'));
    lines.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("###")) || line.startsWith(QStringLiteral("-----")); });
    const auto words = [](const QString &s) {
        QString t = s;
        t.replace(QChar(0x202F), QLatin1Char(' '));
        return t.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    };
    QCOMPARE(words(lines.join(QLatin1Char('\n'))), words(expected));
}

int tst_KLVRRWCLogTableController::pixelsOfColour(Table &table, const QImage &image, int row, const QColor &colour)
{
    const QRect cell = table.view.visualRect(table.model()->index(row, KLVRRWCLogTableModel::EventColumn));
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x)
            count += image.pixelColor(x, y).rgb() == colour.rgb();
    }
    return count;
}

void tst_KLVRRWCLogTableController::pillIsPaintedOnlyForAShownPartner_data()
{
    QTest::addColumn<bool>("highlight");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("painted");
    QTest::newRow("highlight on") << true << QString() << true;
    QTest::newRow("highlight off") << false << QString() << false;
    QTest::newRow("partner filtered out") << true << QStringLiteral("sleeping") << false;
}

void tst_KLVRRWCLogTableController::pillIsPaintedOnlyForAShownPartner()
{
    QFETCH(bool, highlight);
    QFETCH(QString, filter);
    QFETCH(bool, painted);
    Table table;
    table.defaults.setValue(QStringLiteral("highlightColour"), QStringLiteral("#30C060"));
    table.defaults.setValue(QStringLiteral("highlight"), highlight);
    table.field.setText(filter);
    table.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));

    // The second sleep: its pair is the wake of 11:00, which began the awake time it ends.
    const int sleep = table.rowOfEvent(QStringLiteral("System will sleep"), 1);
    QVERIFY(sleep >= 0);
    QSignalSpy handled(table.controller.get(), &KLVRRWCLogTableController::selectionDidChange);
    table.select({sleep});
    QTRY_VERIFY(handled.count() > 0);
    QTest::qWait(20);
    const QImage image = table.view.viewport()->grab().toImage();
    const QColor colour(0x30, 0xC0, 0x60);
    const int partner = table.model()->rowOf(table.model()->entryAt(sleep)->pair());
    QCOMPARE(partner >= 0, filter.isEmpty());
    for (int row = 0; row < table.rows(); ++row) {
        const bool expected = painted && row == partner;
        const int pixels = pixelsOfColour(table, image, row, colour);
        QVERIFY2(expected ? pixels > 200 : pixels == 0, qPrintable(QStringLiteral("row %1: %2 pixels").arg(row).arg(pixels)));
    }
    QCOMPARE(table.controller->drawsBackground(partner), painted);

    // Switching the highlight off repaints without the pill.
    if (painted) {
        table.defaults.setValue(QStringLiteral("highlight"), false);
        QTest::qWait(20);
        QCOMPARE(pixelsOfColour(table, table.view.viewport()->grab().toImage(), partner, colour), 0);
    }
}

void tst_KLVRRWCLogTableController::pairCommandsNeedOneRowWithAShownPair_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<int>>("logRows");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("one wake with its sleep shown") << QString() << QList<int>{7} << true;
    QTest::newRow("two rows") << QString() << QList<int>{4, 7} << false;
    QTest::newRow("partner out of view") << QStringLiteral("waking") << QList<int>{1} << false;
    QTest::newRow("entry without a pair") << QString() << QList<int>{2} << false;
    QTest::newRow("nothing selected") << QString() << QList<int>{} << false;
}

void tst_KLVRRWCLogTableController::pairCommandsNeedOneRowWithAShownPair()
{
    QFETCH(QString, filter);
    QFETCH(QList<int>, logRows);
    QFETCH(bool, enabled);
    Table table;
    table.field.setText(filter);
    table.select(logRows);
    QCOMPARE(table.controller->selectPairAction()->isEnabled(), enabled);
    QCOMPARE(table.controller->extendSelectionToPairAction()->isEnabled(), enabled);
    if (!enabled)
        return;
    // The last wake (row 7) ends the idle sleep of 12:00:02 (row 6); the extension keeps the wake.
    table.controller->extendSelectionToPairAction()->trigger();
    QCOMPARE(table.controller->selectedRows(), (QList<int>{6, 7}));
    table.select(logRows);
    table.controller->selectPairAction()->trigger();
    QCOMPARE(table.controller->selectedRows(), QList<int>{6});
}

void tst_KLVRRWCLogTableController::homeAndEndScrollAndLeaveAnEmptyTableAlone()
{
    QList<QVariantMap> records;
    for (int i = 0; i < 200; ++i)
        records << record(at(QStringLiteral("2024-03-05 08:00:00")).addSeconds(60.0 * i), kAgent,
                          i % 2 ? QStringLiteral("Stopping monitor") : QStringLiteral("Starting monitor"));
    Table table(records);
    table.view.resize(500, 300);
    table.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    QScrollBar *bar = table.view.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QTest::keyClick(&table.view, Qt::Key_End);
    QCOMPARE(bar->value(), bar->maximum());
    QTest::keyClick(&table.view, Qt::Key_Home);
    QCOMPARE(bar->value(), 0);

    table.field.setText(QStringLiteral("nothing has this"));
    QCOMPARE(table.rows(), 0);
    for (Qt::Key key : {Qt::Key_End, Qt::Key_Home}) {
        QTest::keyClick(&table.view, key);
        QCOMPARE(bar->value(), 0);
        QVERIFY(!table.view.currentIndex().isValid());
    }
}

void tst_KLVRRWCLogTableController::rowHeightIsTheTemplateHeightTimesOnePointOne_data()
{
    QTest::addColumn<bool>("detail");
    QTest::addColumn<QString>("resource");
    QTest::newRow("one line") << false << QStringLiteral(":/format/KLVRRWCLogEntryFormatter.html");
    QTest::newRow("with detail") << true << QStringLiteral(":/format/KLVRRWCLogEntryFormatterWithDetail.html");
}

void tst_KLVRRWCLogTableController::rowHeightIsTheTemplateHeightTimesOnePointOne()
{
    QFETCH(bool, detail);
    QFETCH(QString, resource);
    Table table;
    // Followed live.
    table.defaults.setValue(QStringLiteral("eventDetail"), detail);
    QFile file(resource);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTextDocument document;
    document.setDefaultFont(table.view.font());
    document.setHtml(QString::fromUtf8(file.readAll()).trimmed());
    document.setDocumentMargin(0);
    const double templateHeight = document.size().height();
    QVERIFY(templateHeight > 5);
    QCOMPARE(table.controller->summaryFormatter()->rowHeight(table.view.font()), templateHeight * 1.1);
    QCOMPARE(table.view.rowHeight(0), int(std::ceil(templateHeight * 1.1)));
    if (detail) {
        QVERIFY(table.view.rowHeight(0) > int(std::ceil(table.controller->summaryFormatter()->rowHeightWithDetail(false, table.view.font()))));
        // The detail shows the attributes, the idle seconds of the idle sleep among them.
        const QString row = table.controller->summaryFormatter()->stringForObjectValue(
            QVariant::fromValue(table.model()->entryAt(table.rowOfEvent(QStringLiteral("Can system sleep")))));
        QVERIFY2(row.contains(QStringLiteral("Idle")), qPrintable(row));
    }
}

void tst_KLVRRWCLogTableController::sortIsRememberedAndAnUnreadableStoredSortIgnored_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("readable");
    QTest::newRow("summary descending") << QVariant(KLVRRWCSortDescriptor::toPropertyList({{"summary", false}})) << true;
    QTest::newRow("text") << QVariant(QStringLiteral("garbage")) << false;
    QTest::newRow("list of numbers") << QVariant(QVariantList{1, 2}) << false;
    QTest::newRow("unknown key") << QVariant(KLVRRWCSortDescriptor::toPropertyList({{"monitor", true}})) << false;
    QTest::newRow("direction missing") << QVariant(QVariantList{QVariantMap{{"key", "date"}}}) << false;
}

void tst_KLVRRWCLogTableController::sortIsRememberedAndAnUnreadableStoredSortIgnored()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, readable);
    Table table({}, {{QStringLiteral("columnSortDescriptors"), stored}});
    QCOMPARE(table.controller->sortDescriptors().isEmpty(), !readable);
    // A click on the summary column's header sorts by it and is remembered.
    Table clicked;
    clicked.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clicked.view));
    QHeaderView *header = clicked.view.horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(1) + header->sectionSize(1) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    const QVariant remembered = clicked.defaults.value(QStringLiteral("columnSortDescriptors"));
    const QList<KLVRRWCSortDescriptor> descriptors = KLVRRWCSortDescriptor::fromPropertyList(remembered, {"date", "summary"});
    QCOMPARE(descriptors.size(), 1);
    QCOMPARE(descriptors.first().key, QStringLiteral("summary"));
    QStringList summaries;
    for (int row = 0; row < clicked.rows(); ++row)
        summaries << clicked.summary(row);
    QStringList sorted = summaries;
    std::sort(sorted.begin(), sorted.end());
    if (!descriptors.first().ascending)
        std::reverse(sorted.begin(), sorted.end());
    QCOMPARE(summaries, sorted);

    // A table made afresh from the same settings sorts the same way.
    Table again(morning(), {{QStringLiteral("columnSortDescriptors"), remembered}});
    QCOMPARE(again.model()->arrangedObjects().size(), clicked.model()->arrangedObjects().size());
    for (int row = 0; row < again.rows(); ++row)
        QCOMPARE(again.summary(row), summaries.at(row));
}

void tst_KLVRRWCLogTableController::enterReturnAndDoubleClickOpenTheInspector()
{
    Table table;
    table.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    QSignalSpy panel(table.controller.get(), &KLVRRWCLogTableController::showInformationPanel);
    table.select({2});
    QTest::keyClick(&table.view, Qt::Key_Return);
    QTest::keyClick(&table.view, Qt::Key_Enter);
    const QRect cell = table.view.visualRect(table.model()->index(2, 1));
    QTest::mouseDClick(table.view.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(panel.count(), 3);
    QCOMPARE(panel.first().first().value<KLVRRWCLogTableController *>(), table.controller.get());
    QCOMPARE(table.controller->selectedRows(), QList<int>{2});
}

void tst_KLVRRWCLogTableController::selectionSurvivesAFilterAndTheRowsFollowTheLog()
{
    Table table;
    const KLVRRWCLogEntry *wake = table.log.objectAtIndex(7);
    table.select({7});
    QCoreApplication::processEvents();
    // The inspector hears of the carried-over selection once per keystroke.
    QSignalSpy changes(table.controller.get(), &KLVRRWCLogTableController::selectionDidChange);
    table.field.setText(QStringLiteral("waking"));
    QCOMPARE(table.rows(), 2);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(table.controller->selectedObjects(), QList<KLVRRWCLogEntry *>{const_cast<KLVRRWCLogEntry *>(wake)});
    table.field.clear();
    QCOMPARE(table.controller->selectedRows(), QList<int>{7});

    // A new batch in the log shows up at once.
    table.log.addExternalEntries(QList<QVariantMap>{record(at(QStringLiteral("2024-03-05 14:00:00")), kPowerEvents, QStringLiteral("System will sleep"))});
    QCOMPARE(table.rows(), 9);
    QCOMPARE(table.controller->selectedRows(), QList<int>{7});
}

// Forty sleeps, each woken ten minutes later with a battery reading at the same second as the
// wake: 120 entries, 40 pairs of equal dates.
static QList<QVariantMap> evenings()
{
    QList<QVariantMap> records;
    const KLVRAbsoluteTime start = at(QStringLiteral("2024-03-05 00:00:00"));
    for (int k = 0; k < 40; ++k) {
        const KLVRAbsoluteTime sleep = start.addSeconds(k * 1200.0);
        const KLVRAbsoluteTime wake = sleep.addSeconds(600.0);
        records << record(sleep, kPowerEvents, QStringLiteral("System will sleep"))
                << record(wake, kPowerEvents, QStringLiteral("System has powered on"))
                << record(wake, kPowerSource, QStringLiteral("Power state changed"),
                          batteryProperties(QStringLiteral("Battery Power"), false, 90 - k));
    }
    return records;
}

static QList<qsizetype> logIndices(const std::vector<KLVRRWCLogEntry *> &entries)
{
    QList<qsizetype> indices;
    for (const KLVRRWCLogEntry *entry : entries)
        indices << entry->indexInLog();
    return indices;
}

// The rows a table arranges at once for the filter and sort.
static QList<qsizetype> wholePass(const QString &filter, const QList<KLVRRWCSortDescriptor> &sort)
{
    Table table(evenings());
    table.controller->setSortDescriptors(sort);
    table.field.setText(filter);
    table.model()->finishArranging();
    return logIndices(table.model()->arrangedObjects());
}

void tst_KLVRRWCLogTableController::filterFinishedWhileIdleGivesTheRowsOfAWholePass_data()
{
    QTest::addColumn<QList<KLVRRWCSortDescriptor>>("sort");
    QTest::addColumn<QStringList>("typed");
    const QList<KLVRRWCSortDescriptor> dateUp{{QStringLiteral("date"), true}};
    const QList<KLVRRWCSortDescriptor> dateDown{{QStringLiteral("date"), false}};
    const QList<KLVRRWCSortDescriptor> dateThenSummary{{QStringLiteral("date"), true}, {QStringLiteral("summary"), false}};
    const QList<KLVRRWCSortDescriptor> dateDownThenSummary{{QStringLiteral("date"), false}, {QStringLiteral("summary"), true}};
    const QList<KLVRRWCSortDescriptor> summary{{QStringLiteral("summary"), true}};
    // Each text replaces the field's text after one idle slice.
    const QStringList extended{"S", "Sy", "Sys", "Syst"};
    const QStringList clearedAndRetyped{"w", "", "a", "at"};
    const QStringList shortened{"System w", "System", "Sys", "'"};
    for (const auto &[name, sort] : {std::pair{"date", dateUp}, std::pair{"date descending", dateDown},
                                     std::pair{"date, equal dates by summary", dateThenSummary},
                                     std::pair{"date descending, equal dates by summary", dateDownThenSummary},
                                     std::pair{"summary", summary}}) {
        QTest::addRow("%s, extended", name) << sort << extended;
        QTest::addRow("%s, cleared and typed again", name) << sort << clearedAndRetyped;
        QTest::addRow("%s, shortened", name) << sort << shortened;
    }
}

void tst_KLVRRWCLogTableController::filterFinishedWhileIdleGivesTheRowsOfAWholePass()
{
    QFETCH(QList<KLVRRWCSortDescriptor>, sort);
    QFETCH(QStringList, typed);
    Table table(evenings());
    // A few entries per slice, so that every keystroke leaves rows for later.
    table.model()->setEntriesPerSlice(5);
    table.controller->setSortDescriptors(sort);
    QSignalSpy finished(table.model(), &KLVRRWCLogTableModel::didFinishArranging);
    for (const QString &text : typed) {
        table.field.setText(text);
        const QList<qsizetype> whole = wholePass(text, sort);
        // Rows shown while the pass runs are the first rows of the whole arrangement, in order.
        for (int slice = 0; slice < 3; ++slice) {
            const QList<qsizetype> shown = logIndices(table.model()->arrangedObjects());
            QVERIFY2(shown.size() <= whole.size() && whole.mid(0, shown.size()) == shown, qPrintable(text));
            QCoreApplication::processEvents();
        }
    }
    const bool incremental = sort.first().key == KLVRRWCLogTableModel::kDateKey;
    QCOMPARE(table.model()->isArranging(), incremental);
    finished.clear();
    QTRY_VERIFY(!table.model()->isArranging());
    QCOMPARE(finished.count(), incremental ? 1 : 0);
    QCOMPARE(logIndices(table.model()->arrangedObjects()), wholePass(typed.last(), sort));
    QCOMPARE(table.rows(), int(wholePass(typed.last(), sort).size()));
}

void tst_KLVRRWCLogTableController::selectionAndReadersWhileAFilterIsAddingRows()
{
    const QList<KLVRRWCSortDescriptor> dateUp{{QStringLiteral("date"), true}};
    Table table(evenings());
    // One date's entries per slice.
    table.model()->setEntriesPerSlice(1);
    table.controller->setSortDescriptors(dateUp);

    // A late sleep and its wake stay selected through two keystrokes that bring them back last.
    KLVRRWCLogEntry *sleep = table.log.objectAtIndex(114);
    KLVRRWCLogEntry *wake = table.log.objectAtIndex(115);
    QCOMPARE(wake->pair(), sleep);
    table.select({114, 115});
    table.field.setText(QStringLiteral("System"));
    QVERIFY(table.model()->isArranging());
    QVERIFY(table.controller->selectedRows().isEmpty());
    table.field.setText(QStringLiteral("System "));
    QTRY_VERIFY(!table.model()->isArranging());
    QCOMPARE(table.rows(), int(wholePass(QStringLiteral("System "), dateUp).size()));
    QCOMPARE(table.controller->selectedObjects(), (QList<KLVRRWCLogEntry *>{sleep, wake}));

    // Whoever reads the arranged rows while the pass runs gets every row.
    table.field.setText(QStringLiteral("sleeping"));
    const qsizetype sleeping = wholePass(QStringLiteral("sleeping"), dateUp).size();
    QVERIFY(sleeping > 30);
    QVERIFY(table.model()->isArranging());
    QVERIFY(table.rows() < sleeping);
    QSignalSpy changes(table.controller.get(), &KLVRRWCLogTableController::selectionDidChange);
    QCOMPARE(qsizetype(table.controller->arrangedObjects().size()), sleeping);
    QCOMPARE(changes.count(), 1);
    QVERIFY(!table.model()->isArranging());
    QCOMPARE(table.rows(), int(sleeping));

    // The user's own choice while rows arrive is not undone when the rest come in.
    table.field.clear();
    table.model()->finishArranging();
    table.select({115});
    table.field.setText(QStringLiteral("System w"));
    for (int slice = 0; slice < 5 && table.rows() == 0; ++slice)
        QCoreApplication::processEvents();
    QVERIFY(table.rows() >= 1);
    QVERIFY(table.model()->isArranging());
    table.select({0});
    const KLVRRWCLogEntry *chosen = table.model()->entryAt(0);
    QTRY_VERIFY(!table.model()->isArranging());
    QCOMPARE(table.controller->selectedObjects(), QList<KLVRRWCLogEntry *>{const_cast<KLVRRWCLogEntry *>(chosen)});

    // Newest first: the latest wake is the first row shown and its sleep not yet; Select Pair
    // still finds it.
    table.controller->setSortDescriptors({{QStringLiteral("date"), false}});
    table.field.setText(QStringLiteral("System"));
    QVERIFY(table.model()->isArranging());
    QCOMPARE(table.rows(), 1);
    QCOMPARE(table.model()->entryAt(0)->event(), QStringLiteral("System has powered on"));
    table.select({0});
    const KLVRRWCLogEntry *partner = table.model()->entryAt(0)->pair();
    QVERIFY(partner);
    QCOMPARE(table.model()->rowOf(partner), -1);
    table.controller->selectPair();
    QCOMPARE(table.controller->selectedObjects(), QList<KLVRRWCLogEntry *>{const_cast<KLVRRWCLogEntry *>(partner)});
}

QTEST_MAIN(tst_KLVRRWCLogTableController)
#include "tst_KLVRRWCLogTableController.moc"
