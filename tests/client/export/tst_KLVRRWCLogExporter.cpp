// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"
#include "KLVRExportTestSupport.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCAbsoluteDuration.h"
#include "KLVRRWCExportFile.h"
#include "KLVRRWCExportFormat.h"
#include "KLVRRWCLog.h"
#include "KLVRRWCLogExporter.h"
#include "KLVRRWCLogEntry.h"
#include "KLVRRWCProcessList.h"
#include "KLVRRWCPropertyListXmlWriter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

using namespace KLVRExportTest;
using namespace KLVRRecordTest;

// The log's export formats, each read back by the program people open it with.
class tst_KLVRRWCLogExporter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool writeFile(const KLVRRWCLog &log, const QString &type, const QString &file, const QString &prefix = {},
                   const QString &suffix = {})
    {
        KLVRRWCLogExporter exporter(&log);
        exporter.setPrefix(prefix);
        exporter.setSuffix(suffix);
        QFile out(file);
        return out.open(QIODevice::WriteOnly) && exporter.write(type, &out) == KLVRRWCLogExporter::Result::Written;
    }

private Q_SLOTS:
    void initTestCase()
    {
        useBerlinTime();
        KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
        QVERIFY(m_dir.isValid());
    }

    void tabularTextIsOneLinePerEntryInPythonsTabDialect()
    {
        KLVRRWCLog log;
        log.addExternalEntries(sleepAndWake());
        QCOMPARE(log.count(), 2);
        const QString file = path(QStringLiteral("two.txt"));
        QVERIFY(writeFile(log, KLVRRWCExportFormat::kTabularTextType, file));

        const Run read = python(QStringLiteral("import csv, json, sys\n"
                                               "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                               "    print(json.dumps(list(csv.reader(f, dialect='excel-tab'))))\n"),
                                {file});
        QVERIFY2(read.ok(), read.errors.constData());
        const QJsonArray rows = QJsonDocument::fromJson(read.output).array();
        QCOMPARE(rows.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const KLVRRWCLogEntry *entry = log.objectAtIndex(i);
            const QJsonArray fields = rows.at(i).toArray();
            QCOMPARE(fields.size(), 3);
            QCOMPARE(fields.at(0).toString(), KLVRRWCAbsoluteDuration::dateDescription(entry->date()));
            QCOMPARE(fields.at(1).toString(), entry->summary());
            QCOMPARE(fields.at(2).toString(), entry->attributesAsString());
        }
        QCOMPARE(rows.at(0).toArray().at(0).toString(), QStringLiteral("2024-03-05 21:45:00 +0000"));
        QVERIFY(rows.at(1).toArray().at(1).toString().contains(QLatin1String("8 hours 45 minutes")));
        QFile bytes(file);
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        const QByteArray text = bytes.readAll();
        QCOMPARE(text.count('\n'), 2);
        QVERIFY(text.endsWith('\n'));
    }

    // The text is written without the entries' own formatting code (process lists are
    // written once per shared list); every kind of attribute must still come out the same.
    void tabularLinesAreTheEntriesOwnLines()
    {
        KLVRRWCLog log;
        QVariantList records = sleepAndWake();
        const KLVRAbsoluteTime noon = utc("2024-03-06 11:00:00");
        const QVariantList processes{QStringLiteral("systemd"), QStringLiteral("firefox-esr")};
        for (int i = 0; i < 3; ++i) // an idle sleep asked three times: one entry with duplicates
            records.append(record(noon.addSeconds(i), kPowerEvents, QStringLiteral("Can system sleep"),
                                  {{QStringLiteral("Idle Seconds"), 600 + i}, {QStringLiteral("Processes"), processes}}));
        records.append(record(noon.addSeconds(60), kPowerSource, QStringLiteral("Power state changed"),
                              batteryProperties(QStringLiteral("Battery Power"), false, 80)));
        records.append(record(noon.addSeconds(120), kPowerSource, QStringLiteral("Power state changed"),
                              batteryProperties(QStringLiteral("AC Power"), true, 79)));
        records.append(record(noon.addSeconds(180), kAgent, QStringLiteral("Starting monitor")));
        records.append(record(noon.addSeconds(240), kPowerEvents, QStringLiteral("System will sleep"),
                              {{QStringLiteral("Processes"), QVariantList()}}));
        log.addExternalEntries(records);
        QVERIFY(log.count() >= 6);
        QStringList expected;
        for (const auto &entry : log.entries())
            expected.append(entry->stringValue());
        QVERIFY(expected.join(QLatin1Char('\n')).contains(QLatin1String("Duplicates:(")));
        QVERIFY(expected.join(QLatin1Char('\n')).contains(QLatin1String("Processes:(systemd, firefox-esr)")));

        KLVRRWCLogExporter exporter(&log);
        const QString text = QString::fromUtf8(exporter.dataRepresentationOfType(KLVRRWCExportFormat::kTabularTextType));
        QCOMPARE(text, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));

        // A tab or a line break inside a field would shift or split the entry's line.
        KLVRRWCLog hostile;
        hostile.addExternalEntries(QVariantList{record(noon, kPowerEvents, QStringLiteral("System will sleep"),
                                           {{QStringLiteral("Processes"), QVariantList{QStringLiteral("tab\there"), QStringLiteral("two\nlines")}}}),
                                    record(noon.addSeconds(60), kLast, QStringLiteral("Lid\tclosed\r\n"))});
        const QString lines = QString::fromUtf8(KLVRRWCLogExporter(&hostile).dataRepresentationOfType(KLVRRWCExportFormat::kTabularTextType));
        QCOMPARE(lines.count(QLatin1Char('\n')), 2);
        QCOMPARE(lines.count(QLatin1Char('\t')), 4);
        QVERIFY2(lines.contains(QLatin1String("Processes:(tab here, two lines)")), qPrintable(lines));
        QVERIFY2(lines.contains(QLatin1String("\tLid closed  \t")), qPrintable(lines));
    }

    void textFormatsOfAnEmptyLogAreEmptyAndUnknownTypesNothing()
    {
        KLVRRWCLog log;
        KLVRRWCLogExporter exporter(&log);
        const QByteArray text = exporter.dataRepresentationOfType(KLVRRWCExportFormat::kTabularTextType);
        QVERIFY(!text.isNull());
        QVERIFY(text.isEmpty());
        QTest::ignoreMessage(QtWarningMsg, "Unsupported KLVRLog::dataRepresentationOfType:image/png");
        QVERIFY(exporter.dataRepresentationOfType(QStringLiteral("image/png")).isNull());
        // The empty log's property list is still a document: an empty array.
        const QVariant array = KLVRPropertyList::read(exporter.dataRepresentationOfType(KLVRRWCExportFormat::kPropertyListType));
        QCOMPARE(array.typeId(), QMetaType::QVariantList);
        QVERIFY(array.toList().isEmpty());
    }

    void wordDocumentOpensInPythonDocxAndLibreOffice()
    {
        KLVRRWCLog log;
        QVariantList records = sleepAndWake();
        // Text XML cannot hold (a control character) next to text it must escape.
        records.append(record(utc("2024-03-06 07:00:00"), kLast, QStringLiteral("Lid <closed> & \x01opened ☕")));
        log.addExternalEntries(records);
        QCOMPARE(log.count(), 3);
        const QString file = path(QStringLiteral("log.docx"));
        QVERIFY(writeFile(log, KLVRRWCExportFormat::kWordType, file, QStringLiteral("<p><b>Power history</b> of my laptop</p>"),
                          QStringLiteral("<p><i>End of report</i></p>")));

        const Run read = python(QStringLiteral("import docx, json, sys\n"
                                               "d = docx.Document(sys.argv[1])\n"
                                               "print(json.dumps([{'text': p.text, 'bold': [r.text for r in p.runs if r.bold],"
                                               " 'italic': [r.text for r in p.runs if r.italic]} for p in d.paragraphs]))\n"),
                                {file});
        QVERIFY2(read.ok(), read.errors.constData());
        const QJsonArray paragraphs = QJsonDocument::fromJson(read.output).array();
        QCOMPARE(paragraphs.size(), 5);
        QCOMPARE(paragraphs.at(0)[QStringLiteral("text")].toString(), QStringLiteral("Power history of my laptop"));
        QCOMPARE(paragraphs.at(0)[QStringLiteral("bold")].toArray(), QJsonArray{QStringLiteral("Power history")});
        for (int i = 0; i < 3; ++i)
            QCOMPARE(paragraphs.at(i + 1)[QStringLiteral("text")].toString(), KLVRRWCLogExporter::richTextLine(*log.objectAtIndex(i)).remove(QChar(1)));
        QCOMPARE(paragraphs.at(3)[QStringLiteral("text")].toString(), QStringLiteral("2024-03-06 07:00:00 +0000\tLid <closed> & opened ☕"));
        QCOMPARE(paragraphs.at(4)[QStringLiteral("italic")].toArray(), QJsonArray{QStringLiteral("End of report")});

        // LibreOffice: one conversion per run, in a profile of its own.
        QTemporaryDir profile;
        QVERIFY(profile.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), profile.path());
        const Run convert = run(QStringLiteral("soffice"),
                                {QStringLiteral("-env:UserInstallation=file://") + profile.filePath(QStringLiteral("user")),
                                 QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("txt:Text (encoded):UTF8"),
                                 QStringLiteral("--outdir"), profile.path(), file},
                                environment, 180000);
        QVERIFY2(convert.ok(), convert.errors.constData());
        QFile text(profile.filePath(QStringLiteral("log.txt")));
        QVERIFY2(text.open(QIODevice::ReadOnly), convert.output.constData());
        QStringList lines = QString::fromUtf8(text.readAll()).remove(QChar(0xFEFF)).split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = line.trimmed();
        lines.removeAll(QString());
        QCOMPARE(lines, (QStringList{QStringLiteral("Power history of my laptop"),
                                     KLVRRWCLogExporter::richTextLine(*log.objectAtIndex(0)),
                                     KLVRRWCLogExporter::richTextLine(*log.objectAtIndex(1)),
                                     QStringLiteral("2024-03-06 07:00:00 +0000\tLid <closed> & opened ☕"),
                                     QStringLiteral("End of report")}));
    }

    // unrtf's text without its banner of comment lines, every run of white space one blank
    // (unrtf writes a tab as blanks and a line break).
    static QString unrtfText(const QString &file)
    {
        const Run read = run(QStringLiteral("unrtf"), {QStringLiteral("--text"), file});
        if (!read.ok())
            return QStringLiteral("unrtf failed: ") + QString::fromUtf8(read.errors);
        QStringList lines;
        for (const QString &line : QString::fromUtf8(read.output).split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1String("###")) && !line.startsWith(QLatin1String("-----")))
                lines.append(line);
        }
        return lines.join(QLatin1Char(' ')).simplified();
    }

    void richTextOpensInUnrtf()
    {
        KLVRRWCLog log;
        QVariantList records = sleepAndWake();
        records.append(record(utc("2024-03-06 07:00:00"), kLast, QStringLiteral("Braces {x} and \\ back")));
        records.append(record(utc("2024-03-06 08:00:00"), kLast, QStringLiteral("Caf\u00e9 \u2615")));
        log.addExternalEntries(records);
        QStringList expected;
        for (int i = 0; i < 3; ++i)
            expected.append(KLVRRWCLogExporter::richTextLine(*log.objectAtIndex(i)));
        const QString entries = expected.join(QLatin1Char(' ')).simplified();

        // Without prefix and suffix: the entry lines only (unrtf's text shows what is not
        // ASCII as its fallback "?", so the last line is checked in its HTML).
        const QString plain = path(QStringLiteral("plain.rtf"));
        QVERIFY(writeFile(log, KLVRRWCExportFormat::kRichTextType, plain));
        QCOMPARE(unrtfText(plain), entries + QStringLiteral(" 2024-03-06 08:00:00 +0000 Caf? ?"));
        const Run html = run(QStringLiteral("unrtf"), {QStringLiteral("--html"), plain});
        QVERIFY2(html.output.contains("Caf&eacute; &#9749;"), html.output.constData());

        const QString framed = path(QStringLiteral("framed.rtf"));
        QVERIFY(writeFile(log, KLVRRWCExportFormat::kRichTextType, framed, QStringLiteral("<p><b>Power history</b></p>"),
                          QStringLiteral("<p>End of report</p>")));
        QCOMPARE(unrtfText(framed),
                 QStringLiteral("Power history ") + entries + QStringLiteral(" 2024-03-06 08:00:00 +0000 Caf? ? End of report"));
        QFile rtf(framed);
        QVERIFY(rtf.open(QIODevice::ReadOnly));
        const QByteArray bytes = rtf.readAll();
        QVERIFY(bytes.startsWith("{\\rtf1"));
        QVERIFY2(bytes.contains("\\b Power history"), bytes.constData());
    }

    void propertyListReadsBackWithPlistlib()
    {
        KLVRRWCLog log;
        QVariantList records = sleepAndWake();
        // An idle sleep: its idle time is a duration among the attributes.
        records.append(record(utc("2024-03-06 12:00:00"), kPowerEvents, QStringLiteral("Can system sleep"),
                              {{QStringLiteral("Idle Seconds"), 600}}));
        // An event without a description has no summary.
        records.append(record(utc("2024-03-06 12:30:00"), kLast, QString()));
        // Process names are whatever the kernel was told, control characters included.
        records.append(record(utc("2024-03-06 13:00:00"), kPowerEvents, QStringLiteral("System will sleep"),
                              {{QStringLiteral("Processes"), QVariantList{QStringLiteral("esc\x1b[0m"), QStringLiteral("caf\u00e9 <&>")}}}));
        log.addExternalEntries(records);
        QCOMPARE(log.count(), 5);
        const QString file = path(QStringLiteral("log.plist"));
        QVERIFY(writeFile(log, KLVRRWCExportFormat::kPropertyListType, file));

        const Run read = python(QStringLiteral("import plistlib, json, sys, datetime\n"
                                               "with open(sys.argv[1], 'rb') as f:\n"
                                               "    entries = plistlib.load(f)\n"
                                               "def plain(v):\n"
                                               "    if isinstance(v, datetime.datetime): return {'datetime': v.isoformat()}\n"
                                               "    if isinstance(v, dict): return {k: plain(x) for k, x in v.items()}\n"
                                               "    if isinstance(v, list): return [plain(x) for x in v]\n"
                                               "    return v\n"
                                               "print(json.dumps(plain(entries)))\n"),
                                {file});
        QVERIFY2(read.ok(), read.errors.constData());
        const QJsonArray entries = QJsonDocument::fromJson(read.output).array();
        QCOMPARE(entries.size(), 5);
        const QJsonObject sleep = entries.at(0).toObject();
        QCOMPARE(sleep.keys(), (QStringList{QStringLiteral("Attributes"), QStringLiteral("Date"), QStringLiteral("Monitor"),
                                            QStringLiteral("Summary")}));
        QCOMPARE(sleep[QStringLiteral("Date")][QStringLiteral("datetime")].toString(), QStringLiteral("2024-03-05T21:45:00"));
        QCOMPARE(sleep[QStringLiteral("Summary")].toString(), log.objectAtIndex(0)->summary());
        QCOMPARE(sleep[QStringLiteral("Attributes")][QStringLiteral("Processes")].toArray(),
                 (QJsonArray{QStringLiteral("systemd"), QStringLiteral("Xorg")}));
        // Durations arrive as their short text.
        const QJsonObject idle = entries.at(2).toObject();
        QCOMPARE(idle[QStringLiteral("Attributes")][QStringLiteral("Properties")][QStringLiteral("Idle Time")].toString(),
                 QStringLiteral("10m"));
        // Without a summary the dictionary ends after the date.
        const QJsonObject bare = entries.at(3).toObject();
        QCOMPARE(bare.keys(), QStringList{QStringLiteral("Date")});
        QCOMPARE(bare[QStringLiteral("Date")][QStringLiteral("datetime")].toString(), QStringLiteral("2024-03-06T12:30:00"));
        // What XML cannot hold becomes the replacement character; the rest arrives as it was.
        QCOMPARE(entries.at(4)[QStringLiteral("Attributes")][QStringLiteral("Processes")].toArray(),
                 (QJsonArray{QStringLiteral("esc\uFFFD[0m"), QStringLiteral("caf\u00e9 <&>")}));
    }

    void dateTextIsTheCalendarsText_data()
    {
        QTest::addColumn<double>("unixSeconds");
        QTest::newRow("epoch") << 0.0;
        QTest::newRow("reference date") << 978307200.0;
        QTest::newRow("a second before the reference date") << 978307199.0;
        QTest::newRow("just before a second, rounded up") << 978307199.9996;
        QTest::newRow("just before a second, kept") << 978307199.9994;
        QTest::newRow("leap day") << 1709164800.0 + 86399.0;
        QTest::newRow("new year's eve of a leap year") << 1735689599.0;
        QTest::newRow("before 1970") << -1e9 - 0.25;
        QTest::newRow("1900, no leap year") << -2203891200.0 + 59 * 86400.0;
        QTest::newRow("year 2400") << 13574563200.0 + 59 * 86400.0;
        QTest::newRow("year 1") << -62135596800.0 + 3600.5;
        QTest::newRow("year 9999") << 253402300799.0;
        QTest::newRow("year 10000") << 253402300800.0;
        QTest::newRow("before year 1") << -62135596801.0;
        QTest::newRow("no date") << qQNaN();
        QTest::newRow("infinity") << qInf();
    }
    void dateTextIsTheCalendarsText()
    {
        QFETCH(double, unixSeconds);
        const KLVRAbsoluteTime date(unixSeconds - 978307200.0);
        QCOMPARE(KLVRRWCLogExporter::dateDescription(date), KLVRRWCAbsoluteDuration::dateDescription(date));
    }

    // The property-list writer against the codec, value by value (each written twice, so that a
    // process list is also copied from what was laid out before).
    void propertyListWrittenStraightIsTheCodecsDocument_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("markup and line ends") << QVariant(QStringLiteral("a&b<c>d\"e'f \t\n\r ]]> x"));
        QTest::newRow("beyond ASCII") << QVariant(QStringLiteral("caf\u00e9 \u2615 \U0001F600 \u2028"));
        QTest::newRow("empty text") << QVariant(QString());
        QTest::newRow("integers") << QVariant(QVariantList{0, -7, qint64(1) << 40, std::numeric_limits<qulonglong>::max(), 'x'});
        QTest::newRow("reals") << QVariant(QVariantList{0.5, 0.0, -0.0, 0.1, 1.0 / 3, 1e20, -3.0, 1e-7, 123456789012345678.0,
                                                         qQNaN(), qInf(), -qInf(), 2.5f});
        QTest::newRow("truths") << QVariant(QVariantList{true, false});
        QTest::newRow("dates") << QVariant(QVariantList{QVariant::fromValue(KLVRAbsoluteTime(725443200.7)),
                                                         QVariant::fromValue(KLVRAbsoluteTime(725443200.9999996)),
                                                         QVariant::fromValue(KLVRAbsoluteTime(-4.5)),
                                                         QVariant::fromValue(KLVRAbsoluteTime(-5.0)),
                                                         QVariant::fromValue(KLVRAbsoluteTime(-1e9)),
                                                         QDateTime(QDate(2024, 3, 5), QTime(21, 45, 10), QTimeZone::utc())});
        QTest::newRow("empty containers") << QVariant(QVariantList{QVariantList(), QVariantMap(), QStringList()});
        QTest::newRow("nested dictionaries") << QVariant(QVariantMap{
            {QStringLiteral("k&<>"), QVariantMap{{QStringLiteral("b"), QStringList{QStringLiteral("x"), QStringLiteral("<y>")}},
                                                 {QStringLiteral("a"), QVariantList{QVariantMap{{QStringLiteral("z"), 1.5}}}}}},
            {QStringLiteral("Date"), QVariant::fromValue(KLVRAbsoluteTime(86400.0))}});
        QTest::newRow("hash") << QVariant(QVariantHash{{QStringLiteral("b"), 2}, {QStringLiteral("a"), 1}});
        QTest::newRow("process lists") << QVariant(QVariantMap{
            {QStringLiteral("Processes"), QVariant::fromValue(KLVRRWCProcessList({QStringLiteral("systemd"), QStringLiteral("caf\u00e9 <&>")}))},
            {QStringLiteral("None"), QVariant::fromValue(KLVRRWCProcessList())}});
    }
    void propertyListWrittenStraightIsTheCodecsDocument()
    {
        QFETCH(QVariant, value);
        KLVRRWCPropertyListXmlWriter writer;
        QByteArray written = KLVRRWCPropertyListXmlWriter::documentHeader();
        QVERIFY(writer.append(written, value, 1));
        QVERIFY(writer.append(written, value, 1));
        written += KLVRRWCPropertyListXmlWriter::documentFooter();
        const QVariant general = KLVRRWCLogEntry::propertyListSafe(value);
        QCOMPARE(written, KLVRPropertyList::write(QVariantList{general, general}));
    }

    void propertyListWriterLeavesWhatItDoesNotKnowUnwritten_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("data") << QVariant(QVariantMap{{QStringLiteral("a"), 1}, {QStringLiteral("b"), QByteArray("\x01\x02")}})
                              << QString();
        QTest::newRow("point") << QVariant(QVariantList{1, QPointF(1, 2)}) << QStringLiteral("QPointF");
        QTest::newRow("date beyond 2069") << QVariant::fromValue(KLVRAbsoluteTime(3e9)) << QStringLiteral("date lies beyond");
        QTest::newRow("no date") << QVariant::fromValue(KLVRAbsoluteTime(qQNaN())) << QStringLiteral("not a finite time");
    }
    void propertyListWriterLeavesWhatItDoesNotKnowUnwritten()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, reason);
        KLVRRWCPropertyListXmlWriter writer;
        QByteArray written("kept");
        QVERIFY(!writer.append(written, value, 1));
        QCOMPARE(written, QByteArray("kept"));
        // The codec then writes it, or refuses it with its reason.
        QString error;
        const QByteArray codec = KLVRPropertyList::write(QVariantList{value}, KLVRPropertyList::Format::Xml, &error);
        QCOMPARE(codec.isEmpty(), !reason.isEmpty());
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // The exports written entry by entry against the documents written whole.
    void exportsAreTheGeneralPathsDocuments_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("summaries");
        const QStringList plain{QStringLiteral("Lid closed"), QStringLiteral("Braces {x} and \\ back"),
                                QStringLiteral("Caf\u00e9 \u2615 \U0001F600")};
        const QStringList breaks{QStringLiteral("two\nlines"), QStringLiteral("ends in a return\r"), QStringLiteral("\r\nstarts"),
                                 QStringLiteral("a\r\rb"), QStringLiteral("para\u2029graph"), QStringLiteral("line\u2028break"),
                                 QString(), QStringLiteral("last\n")};
        const QString prefix = QStringLiteral("<p><b>Power history</b> of <i>this</i> laptop</p>");
        const QString suffix = QStringLiteral("<p style=\"color:#800000\">End of report</p>");
        QTest::newRow("lines only") << QString() << QString() << plain;
        QTest::newRow("prefix and suffix") << prefix << suffix << plain;
        QTest::newRow("prefix") << prefix << QString() << plain;
        QTest::newRow("suffix") << QString() << suffix << plain;
        QTest::newRow("breaks inside lines") << QString() << QString() << breaks;
        QTest::newRow("breaks inside lines, framed") << prefix << suffix << breaks;
        QTest::newRow("one empty line") << QString() << QString() << QStringList{QString()};
        QTest::newRow("one line ending in a return, framed") << prefix << suffix << QStringList{QStringLiteral("x\r")};
        QTest::newRow("no lines, framed") << prefix << suffix << QStringList();
    }
    void exportsAreTheGeneralPathsDocuments()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        QFETCH(QStringList, summaries);
        KLVRRWCLog log;
        QVariantList records;
        const KLVRAbsoluteTime noon = utc("2024-03-06 11:00:00");
        for (qsizetype i = 0; i < summaries.size(); ++i)
            records.append(record(noon.addSeconds(60.0 * double(i)), kLast, summaries.at(i)));
        // Shared and single process lists, durations and battery figures among the attributes.
        const QVariantList processes{QStringLiteral("systemd"), QStringLiteral("caf\u00e9 <&>")};
        for (int i = 0; i < 3; ++i)
            records.append(record(noon.addSeconds(3600.0 + i), kPowerEvents, QStringLiteral("Can system sleep"),
                                  {{QStringLiteral("Idle Seconds"), 600 + i}, {QStringLiteral("Processes"), processes}}));
        records.append(record(noon.addSeconds(4000.0), kPowerSource, QStringLiteral("Power state changed"),
                              batteryProperties(QStringLiteral("Battery Power"), false, 80)));
        records.append(record(noon.addSeconds(4100.0), kPowerEvents, QStringLiteral("System will sleep"),
                              {{QStringLiteral("Processes"), processes}}));
        if (!summaries.isEmpty())
            log.addExternalEntries(records);
        QStringList lines;
        QVariantList dictionaries;
        for (const auto &entry : log.entries()) {
            lines.append(KLVRRWCLogExporter::richTextLine(*entry));
            dictionaries.append(entry->exportAsDictionary());
        }

        KLVRRWCLogExporter exporter(&log);
        exporter.setPrefix(prefix);
        exporter.setSuffix(suffix);
        QCOMPARE(exporter.dataRepresentationOfType(KLVRRWCExportFormat::kRichTextType),
                 KLVRRWCLogExporter::richTextDocument(lines, prefix, suffix));
        QCOMPARE(exporter.dataRepresentationOfType(KLVRRWCExportFormat::kPropertyListType), KLVRPropertyList::write(dictionaries));
    }

    void cancelledOrFailedExportLeavesTheFileAsItWas()
    {
        KLVRRWCLog log;
        log.addExternalEntries(sleepAndWake());
        const QString file = path(QStringLiteral("kept.txt"));
        {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the user's own text\n");
        }
        QString error;
        QCOMPARE(KLVRRWCExportFile::write(file, KLVRRWCExportFormat::TabularText, &log, {},
                                          [](qint64, qint64) { return false; }, &error),
                 KLVRRWCExportFile::Result::Cancelled);
        QTest::ignoreMessage(QtWarningMsg, "Unsuppported export format tag: 4");
        QCOMPARE(KLVRRWCExportFile::write(file, 4, &log, {}, {}, &error), KLVRRWCExportFile::Result::NothingWritten);
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's own text\n"));

        // A destination that cannot be made gives the system's reason.
        QCOMPARE(KLVRRWCExportFile::write(file + QStringLiteral("/inside.txt"), KLVRRWCExportFormat::TabularText, &log, {}, {},
                                          &error),
                 KLVRRWCExportFile::Result::WriteFailed);
        QVERIFY2(!error.isEmpty(), qPrintable(error));
        QCOMPARE(KLVRRWCExportFile::errorMessage(QStringLiteral("/x"), error),
                 QStringLiteral("Cannot save file: '/x': ") + error);
    }
};

QTEST_MAIN(tst_KLVRRWCLogExporter)
#include "tst_KLVRRWCLogExporter.moc"
