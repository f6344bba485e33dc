// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRExportTestSupport.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCStore.h"
#include "KLVRWindowTestSupport.h"

#include <QDBusConnection>
#include <QImage>
#include <QtTest>

using namespace KLVRExportTest;
using namespace KLVRRecordTest;

// restwatch --export, as a script or a cron job runs it: no display, no agent, the cache the
// window filled on an earlier day.
class tst_KLVRRWCExportCommand : public QObject
{
    Q_OBJECT

private:
    KLVRWindowTestSupport m_tree;
    QList<QVariantMap> m_week;

    // The week's events in the cache, as the window's store left them.
    bool fillCache()
    {
        const QDBusConnection nowhere(QStringLiteral("klvr-no-bus"));
        KLVRRWCLog log;
        KLVRRWCStore store(nowhere, nowhere);
        store.setLogController(&log);
        store.cacheEvents(m_week);
        return store.sortedCachedEventsFromDate(std::nullopt, std::nullopt).size() == m_week.size();
    }
    // The program without a display and with no bus to find an agent on.
    static Run restwatch(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/session"));
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/system"));
        return run(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), arguments, environment);
    }
    QString file(const QString &name) const { return m_tree.home() + QLatin1Char('/') + name; }
    // Data rows name files as "@/name": in the home folder of the test's own tree.
    QStringList inHome(QStringList arguments) const
    {
        for (QString &argument : arguments)
            argument.replace(QStringLiteral("@/"), m_tree.home() + QLatin1Char('/'));
        return arguments;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useBerlinTime();
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        m_week = KLVRWindowTestSupport::recordedWeek();
    }

    void init()
    {
        QVERIFY(m_tree.resetTree());
    }

    void eachFormatIsWrittenHeadless_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("written");
        QTest::newRow("txt") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.txt")} << QStringLiteral("week.txt");
        QTest::newRow("format given") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.data"),
                                                     QStringLiteral("--format"), QStringLiteral("txt")}
                                      << QStringLiteral("week.data");
        QTest::newRow("rtf") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.rtf")} << QStringLiteral("week.rtf");
        QTest::newRow("plist") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.plist")}
                               << QStringLiteral("week.plist");
        QTest::newRow("docx") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.docx")}
                              << QStringLiteral("week.docx");
        QTest::newRow("png") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.png"), QStringLiteral("--width"),
                                            QStringLiteral("800"), QStringLiteral("--height"), QStringLiteral("300")}
                             << QStringLiteral("week.png");
        QTest::newRow("tiff") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.tif")} << QStringLiteral("week.tif");
    }
    void eachFormatIsWrittenHeadless()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, written);
        arguments = inHome(arguments);
        QVERIFY(fillCache());
        // The entries the program makes of the cache, for comparison.
        KLVRRWCLog log;
        log.addExternalEntries(m_week);
        const Run result = restwatch(arguments);
        QVERIFY2(result.ok(), result.errors.constData());
        const QString path = file(written);
        const QString suffix = QFileInfo(path).suffix();
        const QString lastSummary = log.objectAtIndex(log.count() - 1)->summary();

        if (suffix == QLatin1String("txt") || suffix == QLatin1String("data")) {
            const Run read = python(QStringLiteral("import csv, sys\n"
                                                   "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8'), dialect='excel-tab'))\n"
                                                   "print(len(rows)); print(rows[-1][1])\n"),
                                    {path});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output), QString::number(log.count()) + QLatin1Char('\n') + lastSummary + QLatin1Char('\n'));
        } else if (suffix == QLatin1String("rtf")) {
            const Run read = run(QStringLiteral("unrtf"), {QStringLiteral("--text"), path});
            QVERIFY2(read.ok(), read.errors.constData());
            QVERIFY(QString::fromUtf8(read.output).contains(lastSummary));
        } else if (suffix == QLatin1String("plist")) {
            const Run read = python(QStringLiteral("import plistlib, sys\n"
                                                   "e = plistlib.load(open(sys.argv[1], 'rb'))\n"
                                                   "print(len(e)); print(type(e[0]['Date']).__name__); print(e[-1]['Summary'])\n"),
                                    {path});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output),
                     QString::number(log.count()) + QStringLiteral("\ndatetime\n") + lastSummary + QLatin1Char('\n'));
        } else if (suffix == QLatin1String("docx")) {
            const Run read = python(QStringLiteral("import docx, sys\n"
                                                   "p = docx.Document(sys.argv[1]).paragraphs\n"
                                                   "print(len(p)); print(p[-1].text.split('\\t')[1])\n"),
                                    {path});
            QVERIFY2(read.ok(), read.errors.constData());
            QCOMPARE(QString::fromUtf8(read.output), QString::number(log.count()) + QLatin1Char('\n') + lastSummary + QLatin1Char('\n'));
        } else {
            const QImage image(path);
            QVERIFY(!image.isNull());
            QCOMPARE(image.size(), suffix == QLatin1String("png") ? QSize(800, 300) : QSize(1024, 384));
            if (suffix == QLatin1String("tif")) {
                const Run info = run(QStringLiteral("tiffinfo"), {path});
                QVERIFY2(info.output.contains("Compression Scheme: LZW"), info.output.constData());
            }
        }
    }

    void mistakesGiveAClearMessageAndAnErrorExit_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown extension") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.xyz")} << 2
                                           << QStringLiteral("unknown export format 'xyz'");
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week.txt"),
                                                       QStringLiteral("--format"), QStringLiteral("bmp")}
                                        << 2 << QStringLiteral("unknown export format 'bmp'");
        QTest::newRow("no extension") << QStringList{QStringLiteral("--export"), QStringLiteral("@/week")} << 2
                                      << QStringLiteral("give --format");
        QTest::newRow("unwritable") << QStringList{QStringLiteral("--export"), QStringLiteral("@/blocker/x.txt")}
                                    << 1 << QStringLiteral("Cannot save file: '");
    }
    void mistakesGiveAClearMessageAndAnErrorExit()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        arguments = inHome(arguments);
        QFETCH(QString, message);
        QVERIFY(fillCache());
        // A folder that is a file: nobody, root included, can save inside it.
        QFile blocker(file(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const Run result = restwatch(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(result.errors).contains(message), result.errors.constData());
        QVERIFY(!QFile::exists(arguments.at(1)));
    }

    void emptyCacheAndNoAgentIsSaid()
    {
        const Run result = restwatch({QStringLiteral("--export"), file(QStringLiteral("week.txt"))});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.errors.contains("no events to export"), result.errors.constData());
        QVERIFY(!QFile::exists(file(QStringLiteral("week.txt"))));
    }
};

QTEST_MAIN(tst_KLVRRWCExportCommand)
#include "tst_KLVRRWCExportCommand.moc"
