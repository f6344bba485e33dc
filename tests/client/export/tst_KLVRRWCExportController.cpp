// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRExportTestSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRRWCEntriesView.h"
#include "KLVRRWCExportController.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRUserDefaults.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace KLVRExportTest;
using namespace KLVRRecordTest;

// File > Export… as the user meets it: the real save dialog, clicked and typed into.
class tst_KLVRRWCExportController : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<KLVRUserDefaults> m_defaults;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<KLVRRWCLog> m_log;
    std::unique_ptr<KLVRRWCDateRangeController> m_dateRange;
    std::unique_ptr<KLVRRWCEntriesView> m_view;
    std::unique_ptr<KLVRRWCExportController> m_controller;

    // Opens the dialog from the menu command and waits for it to show.
    QFileDialog *openPanel()
    {
        m_controller->exportAction()->trigger();
        QFileDialog *panel = m_controller->activeExportPanel();
        if (panel && !QTest::qWaitForWindowActive(panel))
            return nullptr;
        return panel;
    }
    // Picks the format in the dialog's file type box with the keyboard, as a user does.
    static bool chooseFormat(QFileDialog *panel, int tag)
    {
        auto *types = panel->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        const int index = int(KLVRRWCExportFormat::tags().indexOf(tag));
        if (!types || index < 0)
            return false;
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(types, Qt::Key_Down);
        return types->currentIndex() == index;
    }
    // Goes to the file's folder, types its name and presses Return, closing the completion
    // list that typing opens first, as a user does.
    static void saveAs(QFileDialog *panel, const QString &path)
    {
        auto *edit = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        const QFileInfo target(path);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        panel->setDirectory(target.absolutePath());
        QTest::keyClicks(edit, target.fileName());
        if (QCompleter *completer = edit->completer(); completer && completer->popup()->isVisible())
            QTest::keyClick(completer->popup(), Qt::Key_Escape);
        QTest::keyClick(edit, Qt::Key_Return);
    }

private Q_SLOTS:
    void initTestCase()
    {
        useBerlinTime();
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        m_defaults = std::make_unique<KLVRUserDefaults>(QStringLiteral("com.klvr.restwatch.test"),
                                                        m_dir.filePath(QStringLiteral("defaults-%1.plist").arg(QDateTime::currentMSecsSinceEpoch())));
        m_window = std::make_unique<QWidget>();
        m_window->resize(800, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_log = std::make_unique<KLVRRWCLog>();
        m_dateRange = std::make_unique<KLVRRWCDateRangeController>(m_defaults.get());
        m_log->setDateRange(m_dateRange.get());
        m_view = std::make_unique<KLVRRWCEntriesView>(m_window.get());
        m_view->resize(640, 240);
        m_view->setLog(m_log.get());
        m_view->setDateRange(m_dateRange.get());
        m_controller = std::make_unique<KLVRRWCExportController>(m_window.get(), m_defaults.get());
        m_controller->setLog(m_log.get());
        m_controller->setEntriesView(m_view.get());
    }

    void cleanup()
    {
        m_controller.reset();
        m_view.reset();
        m_log.reset();
        m_dateRange.reset();
        m_window.reset();
        m_defaults.reset();
    }

    void exportIsEnabledOnlyWhileTheLogHoldsAnEntry()
    {
        QVERIFY(!m_controller->exportAction()->isEnabled());
        m_log->addExternalEntries(sleepAndWake());
        QVERIFY(m_controller->exportAction()->isEnabled());
    }

    void dialogSuggestsTodaysNameInTheHomeFolderWithTheRememberedFormat()
    {
        m_log->addExternalEntries(sleepAndWake());
        m_defaults->setValue(KLVRRWCExportController::kFormatTagKey, int(KLVRRWCExportFormat::PropertyList));
        QFileDialog *panel = openPanel();
        QVERIFY(panel);
        QCOMPARE(QDir(panel->directory()).canonicalPath(), QDir::home().canonicalPath());
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QCOMPARE(panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(), today + QStringLiteral("-RestWatch"));
        QCOMPARE(panel->defaultSuffix(), QStringLiteral("plist"));
        QCOMPARE(panel->selectedNameFilter(), KLVRRWCExportFormat::nameFilterForFormatTag(KLVRRWCExportFormat::PropertyList));
        QCOMPARE(panel->nameFilters().size(), 6);
        QCOMPARE(panel->windowModality(), Qt::WindowModal);

        // A second export replaces the first dialog.
        QFileDialog *second = openPanel();
        QVERIFY(second && second != panel);
        QTRY_VERIFY(!panel || !panel->isVisible());
        second->reject();
    }

    void eachFormatIsWrittenAndOpensInItsReader_data()
    {
        QTest::addColumn<int>("tag");
        QTest::newRow("rich text") << int(KLVRRWCExportFormat::RichText);
        QTest::newRow("tab-separated text") << int(KLVRRWCExportFormat::TabularText);
        QTest::newRow("property list") << int(KLVRRWCExportFormat::PropertyList);
        QTest::newRow("word") << int(KLVRRWCExportFormat::Word);
        QTest::newRow("tiff") << int(KLVRRWCExportFormat::TIFF);
        QTest::newRow("png") << int(KLVRRWCExportFormat::PNG);
    }
    void eachFormatIsWrittenAndOpensInItsReader()
    {
        QFETCH(int, tag);
        m_log->addExternalEntries(sleepAndWake());
        QFileDialog *panel = openPanel();
        QVERIFY(panel);
        QVERIFY(chooseFormat(panel, tag));
        QCOMPARE(m_defaults->value(KLVRRWCExportController::kFormatTagKey).toInt(), tag);
        const QString suffix = KLVRRWCExportFormat::exportSuffixForFormatTag(tag);
        QCOMPARE(panel->defaultSuffix(), suffix);
        QSignalSpy exported(m_controller.get(), &KLVRRWCExportController::exported);
        const QString base = m_dir.filePath(QStringLiteral("export-%1").arg(tag));
        saveAs(panel, base);
        const QString file = base + QLatin1Char('.') + suffix;
        QTRY_COMPARE(exported.size(), 1);
        QCOMPARE(exported.at(0).at(0).toString(), file);

        const QString sleep = m_log->objectAtIndex(0)->summary();
        const QString wake = m_log->objectAtIndex(1)->summary();
        switch (tag) {
        case KLVRRWCExportFormat::RichText: {
            const Run read = run(QStringLiteral("unrtf"), {QStringLiteral("--text"), file});
            QVERIFY2(read.ok(), read.errors.constData());
            const QString text = QString::fromUtf8(read.output);
            QVERIFY2(text.contains(sleep) && text.contains(wake), qPrintable(text));
            break;
        }
        case KLVRRWCExportFormat::TabularText: {
            const Run read = python(QStringLiteral("import csv, sys\n"
                                                   "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8'), dialect='excel-tab'))\n"
                                                   "print(len(rows)); print(rows[1][1])\n"),
                                    {file});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output), QStringLiteral("2\n") + wake + QLatin1Char('\n'));
            break;
        }
        case KLVRRWCExportFormat::PropertyList: {
            const Run read = python(QStringLiteral("import plistlib, sys\n"
                                                   "e = plistlib.load(open(sys.argv[1], 'rb'))\n"
                                                   "print(len(e)); print(e[1]['Date'].isoformat()); print(e[1]['Summary'])\n"),
                                    {file});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output), QStringLiteral("2\n2024-03-06T06:30:00\n") + wake + QLatin1Char('\n'));
            break;
        }
        case KLVRRWCExportFormat::Word: {
            const Run read = python(QStringLiteral("import docx, sys\n"
                                                   "for p in docx.Document(sys.argv[1]).paragraphs: print(p.text)\n"),
                                    {file});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                     (QStringList{QStringLiteral("2024-03-05 21:45:00 +0000\t") + sleep, QStringLiteral("2024-03-06 06:30:00 +0000\t") + wake}));
            break;
        }
        case KLVRRWCExportFormat::TIFF: {
            const Run info = run(QStringLiteral("tiffinfo"), {file});
            QVERIFY2(info.ok(), info.errors.constData());
            QVERIFY2(info.output.contains("Compression Scheme: LZW"), info.output.constData());
            Q_FALLTHROUGH();
        }
        case KLVRRWCExportFormat::PNG: {
            QImage image(file);
            QVERIFY(!image.isNull());
            QCOMPARE(image.size(), m_view->size());
            // Not a blank picture: the graph draws its bands and axis in several colours.
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 4)
                for (int x = 0; x < image.width(); x += 4)
                    colours.insert(image.pixel(x, y));
            QVERIFY2(colours.size() > 4, qPrintable(QString::number(colours.size())));
            break;
        }
        }
    }

    void unknownFormatTagGivesNoSuffixAndWritesNothing()
    {
        m_log->addExternalEntries(sleepAndWake());
        m_defaults->setValue(KLVRRWCExportController::kFormatTagKey, 4);
        QTest::ignoreMessage(QtWarningMsg, "Unsuppported export format tag: 4");
        QFileDialog *panel = openPanel();
        QVERIFY(panel);
        QVERIFY(panel->defaultSuffix().isEmpty());
        QSignalSpy exported(m_controller.get(), &KLVRRWCExportController::exported);
        const QString file = m_dir.filePath(QStringLiteral("tag-four.txt"));
        saveAs(panel, file);
        QTRY_VERIFY(!panel->isVisible());
        // The write is queued after the dialog closes.
        QTest::qWait(100);
        QCOMPARE(exported.size(), 0);
        QVERIFY(!QFile::exists(file));
        QVERIFY(!m_controller->errorAlert());
    }

    void unwritableDestinationShowsTheAlert()
    {
        m_log->addExternalEntries(sleepAndWake());
        m_defaults->setValue(KLVRRWCExportController::kFormatTagKey, int(KLVRRWCExportFormat::TabularText));
        // A folder that is a file: no one, root included, can save inside it.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile block(blocker);
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        const QString file = blocker + QStringLiteral("/log.txt");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot save file")));
        QVERIFY(!m_controller->exportToFile(file, KLVRRWCExportFormat::TabularText));
        auto *alert = qobject_cast<QMessageBox *>(m_controller->errorAlert());
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QVERIFY(alert->windowTitle().isEmpty());
        const QString prefix = QStringLiteral("Cannot save file: '") + file + QStringLiteral("': ");
        QVERIFY2(alert->text().startsWith(prefix) && alert->text().size() > prefix.size(), qPrintable(alert->text()));
        alert->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!m_controller->errorAlert());
    }

    void cancellingTheProgressLeavesNoFile()
    {
        QVariantList records;
        for (int i = 0; i < 5000; ++i)
            records.append(record(utc("2024-03-01 00:00:00").addSeconds(60.0 * i), kLast, QStringLiteral("Tick %1").arg(i)));
        m_log->addExternalEntries(records);
        // The user presses Cancel as soon as the progress shows.
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, this, [this] {
            if (QProgressDialog *progress = m_controller->progressDialog())
                progress->cancel();
        });
        canceller.start(0);
        const QString file = m_dir.filePath(QStringLiteral("cancelled.txt"));
        QVERIFY(!m_controller->exportToFile(file, KLVRRWCExportFormat::TabularText));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!m_controller->errorAlert());
    }
};

QTEST_MAIN(tst_KLVRRWCExportController)
#include "tst_KLVRRWCExportController.moc"
