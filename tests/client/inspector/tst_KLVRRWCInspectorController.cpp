// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The inspector as the user meets it: the stack shown for nothing, one entry and several, the
// item chosen for each kind of value, refreshes coalesced while visible and not followed while
// hidden, the panel keeping its top-right corner and its remembered frame, and its visible state.
#include "../model/KLVRModelTestSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCDuration.h"
#include "KLVRRWCInspectorController.h"
#include "KLVRRWCInspectorDictionarySubViewController.h"
#include "KLVRRWCInspectorLabelView.h"
#include "KLVRRWCInspectorStyledTextDelegate.h"
#include "KLVRRWCInspectorSubViewController.h"
#include "KLVRRWCInspectorWindow.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCStyledText.h"
#include "KLVRUserDefaults.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace KLVRModelTest;

namespace {

QVariantMap inhibitor(const QString &who, const QString &why)
{
    return {{QStringLiteral("Who"), who}, {QStringLiteral("Why"), why}, {QStringLiteral("What"), QStringLiteral("sleep")},
            {QStringLiteral("Mode"), QStringLiteral("delay")}};
}

QVariantMap sleepContext(qlonglong idle, const QVariantMap &extra = {})
{
    QVariantMap properties{{QStringLiteral("Idle Seconds"), idle},
                           {QStringLiteral("Processes"), QVariantList{QStringLiteral("systemd"), QStringLiteral("gnome-shell")}}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        properties.insert(it.key(), it.value());
    return properties;
}

// Two days of a laptop with two batteries: awake in the morning, an idle sleep over lunch held
// back by the desktop's lock and woken by the lid, on mains in the afternoon, asleep at night.
QVariantList twoDays()
{
    const QVariantMap inhibitors{{QStringLiteral("Inhibitors"), QVariantList{inhibitor(QStringLiteral("GNOME Shell"),
                                                                                       QStringLiteral("GNOME needs to lock the screen"))}}};
    const QVariantMap woken{{QStringLiteral("Wake Reason"),
                             QVariantMap{{QStringLiteral("IRQ"), 9}, {QStringLiteral("Sources"), QVariantList{QStringLiteral("PNP0C0D:00")}}}}};
    QVariantList records;
    for (const QString day : {QStringLiteral("2024-03-05"), QStringLiteral("2024-03-06")}) {
        const auto t = [&day](const char *time) { return at(day + QLatin1Char(' ') + QLatin1String(time)); };
        records << boot(t("08:00:00"), QStringLiteral("startup"));
        records << powerStatus(t("08:00:10"), Battery{.name = QStringLiteral("BAT0"), .capacity = 90});
        records << powerStatus(t("08:00:11"), Battery{.name = QStringLiteral("BAT1"), .capacity = 70});
        records << record(t("12:00:00"), QStringLiteral("Can system sleep"), kPowerEvents, sleepContext(900, inhibitors));
        records << record(t("12:00:02"), QStringLiteral("Can system sleep"), kPowerEvents, sleepContext(902, inhibitors));
        records << record(t("12:00:03"), QStringLiteral("System will sleep"), kPowerEvents, sleepContext(903, inhibitors));
        records << record(t("13:00:00"), QStringLiteral("System has powered on"), kPowerEvents, sleepContext(0, woken));
        records << powerStatus(t("14:00:00"), Battery{.name = QStringLiteral("BAT0"), .charging = 1, .state = QStringLiteral("AC Power"), .capacity = 60,
                                                      .extra = {{QStringLiteral("Health"), 87.5}, {QStringLiteral("Charge Cycles"), 112}}});
        records << powerStatus(t("14:00:01"), Battery{.name = QStringLiteral("BAT1"), .charging = 1, .state = QStringLiteral("AC Power"), .capacity = 50});
        records << record(t("23:00:00"), QStringLiteral("System will sleep"), kPowerEvents, sleepContext(0));
    }
    return records;
}

struct Fixture
{
    Fixture()
        : defaults(QStringLiteral("com.klvr.restwatch.inspectortest"), dir.filePath(QStringLiteral("defaults.plist")))
        , inspector(&defaults)
    {
        log.setDateRange(&range);
        log.addExternalEntries(twoDays());
        inspector.setLog(&log);
        inspector.setDateRange(&range);
    }

    KLVRRWCLogEntry *entry(const QString &event, const QString &day = QStringLiteral("2024-03-05")) const
    {
        for (const auto &e : log.entries()) {
            if (e->event() == event && e->date().toDateTime().toLocalTime().date().toString(Qt::ISODate) == day)
                return e.get();
        }
        return nullptr;
    }
    QList<KLVRRWCLogEntry *> all() const
    {
        QList<KLVRRWCLogEntry *> entries;
        for (const auto &e : log.entries())
            entries << e.get();
        return entries;
    }

    // The stack as (kind, key) pairs, top down.
    QStringList stack() const
    {
        QStringList items;
        for (const auto &item : inspector.subViewControllers())
            items << item->nibName().mid(int(qstrlen("KLVRRWCInspector"))) + QLatin1Char(':') + item->attributeKey();
        return items;
    }

    const KLVRRWCInspectorSubViewController *item(const QString &kindAndKey) const
    {
        for (const auto &item : inspector.subViewControllers()) {
            if (item->nibName().mid(int(qstrlen("KLVRRWCInspector"))) + QLatin1Char(':') + item->attributeKey() == kindAndKey)
                return item.get();
        }
        return nullptr;
    }

    QTemporaryDir dir;
    KLVRUserDefaults defaults;
    KLVRRWCDateRangeController range{&defaults};
    KLVRRWCLog log;
    KLVRRWCInspectorController inspector;
};

// A cell's text as the table shows it.
QString cell(const KLVRRWCInspectorSubViewController *item, int row, int column)
{
    const auto *table = qobject_cast<const QTableView *>(item->view());
    return table ? table->model()->index(row, column).data().toString() : QString();
}

QString shortDate(const QString &local)
{
    return QLocale().toString(at(local).toDateTime().toLocalTime().date(), QLocale::ShortFormat);
}

QPoint topRight(const QWidget *window)
{
    return QPoint(window->geometry().x() + window->geometry().width(), window->geometry().y());
}

} // namespace

Q_DECLARE_METATYPE(QList<KLVRRWCLogEntry *>)

class TestInspectorController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useBerlinTime(); }

    void nothingSelectedShowsOnlyNoSelection()
    {
        Fixture f;
        f.inspector.showInformationPanel();
        QCOMPARE(f.stack(), QStringList{QStringLiteral("MessageSubViewController:No Selection")});
        const QLabel *message = f.inspector.subViewControllers().front()->view()->findChild<QLabel *>();
        QVERIFY(message && message->isVisible());
        QCOMPARE(message->text(), QStringLiteral("No Selection"));
        QCOMPARE(f.inspector.containerView()->children().size(), 1);
    }

    void oneEntryShowsEntryThenEachAttribute_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QStringList>("stack");
        QTest::newRow("idle sleep, held back, repeated") << "Can system sleep"
            << QStringList{"LabelSubViewController:Summary", "EntrySubViewController:Event",
                           "LabelSubViewController:Properties", "DictionarySubViewController:Properties",
                           "LabelSubViewController:Processes", "ArraySubViewController:Processes",
                           "LabelSubViewController:Duplicates", "ArraySubViewController:Duplicates",
                           "LabelSubViewController:Inhibitors", "ArraySubViewController:Inhibitors"};
        QTest::newRow("wake with its reason") << "System has powered on"
            << QStringList{"LabelSubViewController:Summary", "EntrySubViewController:Event",
                           "LabelSubViewController:Properties", "DictionarySubViewController:Properties",
                           "LabelSubViewController:Processes", "ArraySubViewController:Processes",
                           "LabelSubViewController:Wake Reason", "DictionarySubViewController:Wake Reason"};
    }
    void oneEntryShowsEntryThenEachAttribute()
    {
        QFETCH(QString, event);
        QFETCH(QStringList, stack);
        Fixture f;
        f.inspector.setSelectedEntries({f.entry(event)});
        f.inspector.showInformationPanel();
        QCOMPARE(f.stack(), stack);
        // Heading bars carry the attribute's name.
        const auto *heading = qobject_cast<KLVRRWCInspectorLabelView *>(f.inspector.subViewControllers().at(2)->view());
        QVERIFY(heading);
        QCOMPARE(heading->title(), QStringLiteral("Properties"));
        const QLabel *summary = f.inspector.subViewControllers().at(1)->view()->findChild<QLabel *>(QStringLiteral("title"));
        QVERIFY(summary);
        QCOMPARE(summary->text(), f.entry(event)->summary());
    }

    void idleSleepShowsItsContext()
    {
        Fixture f;
        f.inspector.setSelectedEntries({f.entry(QStringLiteral("Can system sleep"))});
        f.inspector.showInformationPanel();
        // The repeat two seconds later, as a short date; the lock that held the sleep back.
        const KLVRRWCInspectorSubViewController *duplicates = f.item(QStringLiteral("ArraySubViewController:Duplicates"));
        QVERIFY(duplicates);
        QCOMPARE(duplicates->numberOfRows(), 1);
        QCOMPARE(cell(duplicates, 0, 0), shortDate(QStringLiteral("2024-03-05 12:00:02")));
        const KLVRRWCInspectorSubViewController *inhibitors = f.item(QStringLiteral("ArraySubViewController:Inhibitors"));
        QVERIFY(inhibitors);
        QCOMPARE(cell(inhibitors, 0, 0), QStringLiteral("GNOME Shell: GNOME needs to lock the screen (sleep, delay)"));
        const KLVRRWCInspectorSubViewController *properties = f.item(QStringLiteral("DictionarySubViewController:Properties"));
        QCOMPARE(cell(properties, 0, 0), QStringLiteral("Idle Time"));
        QCOMPARE(cell(properties, 0, 1), KLVRRWCDuration(900).stringValue());
        QCOMPARE(cell(f.item(QStringLiteral("ArraySubViewController:Processes")), 1, 0), QStringLiteral("gnome-shell"));

        // The wake that ended the same sleep tells what woke the machine.
        f.inspector.setSelectedEntries({f.entry(QStringLiteral("System has powered on"))});
        f.inspector.updateContents();
        const KLVRRWCInspectorSubViewController *reason = f.item(QStringLiteral("DictionarySubViewController:Wake Reason"));
        QVERIFY(reason);
        QCOMPARE(cell(reason, 0, 0), QStringLiteral("Interrupt"));
        QCOMPARE(cell(reason, 0, 1), QStringLiteral("9"));
        QCOMPARE(cell(reason, 1, 0), QStringLiteral("Wakeup Sources"));
        QCOMPARE(cell(reason, 1, 1), QStringLiteral("PNP0C0D:00"));
    }

    void severalEntriesShowStatistics()
    {
        Fixture f;
        f.inspector.setSelectedEntries(f.all());
        f.inspector.showInformationPanel();
        QCOMPARE(f.stack(), (QStringList{"LabelSubViewController:Summary", "Selection:Event",
                                         "LabelSubViewController:Usage", "DictionarySubViewController:Usage",
                                         "LabelSubViewController:Power Source", "DictionarySubViewController:Power Source",
                                         "LabelSubViewController:BAT0", "DictionarySubViewController:BAT0",
                                         "LabelSubViewController:BAT1", "DictionarySubViewController:BAT1"}));
        const auto *usage = static_cast<const KLVRRWCInspectorDictionarySubViewController *>(
            f.item(QStringLiteral("DictionarySubViewController:Usage")));
        QVERIFY(usage->keyArray().contains(QStringLiteral("Asleep")));
        QVERIFY(usage->keyArray().contains(QStringLiteral("Awake")));
        // Figures keep their styles for the cell to draw; the text reads "<percent>%  <duration>".
        const QModelIndex asleep = usage->tableView()->model()->index(int(usage->keyArray().indexOf(QStringLiteral("Asleep"))), 1);
        QCOMPARE(asleep.data(KLVRRWCInspectorStyledTextDelegate::StyledTextRole).userType(), qMetaTypeId<KLVRRWCStyledText>());
        QVERIFY2(asleep.data().toString().contains(QStringLiteral("%  ")), qPrintable(asleep.data().toString()));
        const QLabel *title = f.item(QStringLiteral("Selection:Event"))->view()->findChild<QLabel *>(QStringLiteral("title"));
        QCOMPARE(title->text(), QStringLiteral("%1 entries").arg(f.log.count()));
    }

    void itemForEachKindOfValue_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("kind");
        QTest::newRow("text") << QVariant(QStringLiteral("Internal")) << "ScalarSubViewController";
        QTest::newRow("number") << QVariant(42) << "ScalarSubViewController";
        QTest::newRow("duration") << QVariant::fromValue(KLVRRWCDuration(60)) << "ScalarSubViewController";
        QTest::newRow("list") << QVariant(QVariantList{1, 2}) << "ArraySubViewController";
        QTest::newRow("process list") << QVariant::fromValue(KLVRRWCProcessList({QStringLiteral("a")})) << "ArraySubViewController";
        QTest::newRow("dictionary") << QVariant(QVariantMap{{"a", 1}}) << "DictionarySubViewController";
        QTest::newRow("no entry") << QVariant::fromValue(static_cast<KLVRRWCLogEntry *>(nullptr)) << "MessageSubViewController";
        QTest::newRow("rectangle") << QVariant(QRectF(0, 0, 1, 1)) << "MessageSubViewController";
        QTest::newRow("data") << QVariant(QByteArray("\x01\x02")) << "MessageSubViewController";
    }
    void itemForEachKindOfValue()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, kind);
        const auto item = KLVRRWCInspectorSubViewController::withAttributeValue(value, QStringLiteral("Key"));
        QCOMPARE(item->nibName(), QStringLiteral("KLVRRWCInspector") + kind);
        QCOMPARE(item->view()->objectName(), item->nibName());
        if (kind == QLatin1String("MessageSubViewController"))
            QCOMPARE(item->view()->findChild<QLabel *>()->text(), QStringLiteral("Unsupported attribute"));
    }

    void burstOfChangesRebuildsOnce()
    {
        Fixture f;
        f.inspector.showInformationPanel();
        QSignalSpy rebuilt(&f.inspector, &KLVRRWCInspectorController::contentsUpdated);
        const QList<KLVRRWCLogEntry *> entries = f.all();
        for (int i = 0; i < entries.size(); ++i)
            f.inspector.setSelectedEntries(entries.mid(0, i + 1));
        f.range.dayBackward();
        QCOMPARE(rebuilt.size(), 0);
        QTRY_COMPARE(rebuilt.size(), 1);
        QTest::qWait(50);
        QCOMPARE(rebuilt.size(), 1);
        // The one rebuild showed the last selection.
        QCOMPARE(f.stack().value(1), QStringLiteral("Selection:Event"));
    }

    void hiddenPanelFollowsNothingUntilShown()
    {
        Fixture f;
        f.inspector.showInformationPanel();
        f.inspector.hideInformationPanel();
        QSignalSpy rebuilt(&f.inspector, &KLVRRWCInspectorController::contentsUpdated);
        f.inspector.setSelectedEntries({f.entry(QStringLiteral("System will sleep"))});
        QTest::qWait(50);
        QCOMPARE(rebuilt.size(), 0);
        QCOMPARE(f.stack(), QStringList{QStringLiteral("MessageSubViewController:No Selection")});
        f.inspector.showInformationPanel();
        QCOMPARE(rebuilt.size(), 1);
        QCOMPARE(f.stack().value(1), QStringLiteral("EntrySubViewController:Event"));
    }

    void panelKeepsItsTopRightCorner()
    {
        Fixture f;
        f.inspector.showInformationPanel();
        QWidget *window = f.inspector.inspectorWindow();
        window->move(300, 120);
        const QPoint corner = topRight(window);
        const QSize small = window->size();

        f.inspector.setSelectedEntries({f.entry(QStringLiteral("Can system sleep"))});
        QTRY_VERIFY(window->height() > small.height());
        QCOMPARE(topRight(window), corner);
        QCOMPARE(f.inspector.containerView()->size(), window->size());
        const QSize grown = window->size();

        f.inspector.setSelectedEntries(f.all());
        QTRY_VERIFY(window->size() != grown);
        QCOMPARE(topRight(window), corner);

        f.inspector.setSelectedEntries({});
        QTRY_COMPARE(window->size(), small);
        QCOMPARE(topRight(window), corner);
    }

    void stackFillsThePanelTopDown()
    {
        Fixture f;
        f.inspector.setSelectedEntries({f.entry(QStringLiteral("Can system sleep"))});
        f.inspector.showInformationPanel();
        int y = 0;
        int width = 0;
        for (const auto &item : f.inspector.subViewControllers())
            width = std::max(width, item->view()->width());
        for (const auto &item : f.inspector.subViewControllers()) {
            QCOMPARE(item->view()->parentWidget(), f.inspector.containerView());
            QCOMPARE(item->view()->y(), y);
            QCOMPARE(item->view()->width(), width);
            y += item->view()->height();
        }
        QCOMPARE(f.inspector.inspectorWindow()->size(), QSize(width, y));
    }

    void storedFrame_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("applied");
        QTest::newRow("on the screen") << "{{40, 50}, {300, 200}}" << true;
        QTest::newRow("off every screen") << "{{9000, 9000}, {300, 200}}" << false;
        QTest::newRow("left of every screen") << "{{-1000, 50}, {300, 200}}" << false;
        QTest::newRow("not a rectangle") << "{{40, 50}}" << false;
    }
    void storedFrame()
    {
        QFETCH(QString, stored);
        QFETCH(bool, applied);
        Fixture f;
        QVERIFY(QGuiApplication::primaryScreen()->geometry().contains(QPoint(40, 50)));
        f.defaults.setValue(QStringLiteral("KLVR Window Frame KLVRRWCInspectorController"), stored);
        KLVRRWCInspectorWindow *window = f.inspector.inspectorWindow();
        QCOMPARE(window->geometry() == QRect(40, 50, 300, 200), applied);
        QCOMPARE(window->geometry().intersects(QGuiApplication::primaryScreen()->geometry()), true);
    }

    void frameIsRemembered()
    {
        QRect shown;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("defaults.plist"));
        {
            KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch.inspectortest"), file);
            KLVRRWCInspectorController inspector(&defaults);
            inspector.showInformationPanel();
            inspector.inspectorWindow()->move(120, 90);
            shown = inspector.inspectorWindow()->geometry();
            defaults.sync();
        }
        KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch.inspectortest"), file);
        KLVRRWCInspectorController inspector(&defaults);
        QCOMPARE(inspector.inspectorWindow()->geometry(), shown);
    }

    void visibleStateIsKept()
    {
        Fixture f;
        QVERIFY(!f.inspector.isVisible());
        f.inspector.applicationDidFinishLaunching();
        QTest::qWait(20);
        QVERIFY(!f.inspector.isVisible());

        f.inspector.toggleAction()->trigger();
        QVERIFY(f.inspector.isVisible());
        QCOMPARE(f.defaults.value(QStringLiteral("info-visible")).toBool(), true);

        // The user closing the panel keeps it closed; the setting reopens it at the next launch.
        f.inspector.inspectorWindow()->close();
        QVERIFY(!f.inspector.isVisible());
        QVERIFY(!f.inspector.toggleAction()->isChecked());
        QCOMPARE(f.defaults.value(QStringLiteral("info-visible")).toBool(), false);

        f.defaults.setValue(QStringLiteral("info-visible"), true);
        QVERIFY(f.inspector.isVisible());
        KLVRRWCInspectorController next(&f.defaults);
        next.applicationDidFinishLaunching();
        QVERIFY(!next.isVisible());
        QTRY_VERIFY(next.isVisible());
    }
};

QTEST_MAIN(TestInspectorController)
#include "tst_KLVRRWCInspectorController.moc"
