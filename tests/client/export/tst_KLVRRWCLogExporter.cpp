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
#include "KLVRRWCPropertyListArrayWriter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QTemporaryDir>
#include <QtTest>

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

    void propertyListWrittenInRunsIsTheCodecsDocument()
    {
        QVariantList elements;
        for (int i = 0; i < 11; ++i)
            elements.append(QVariantMap{{QStringLiteral("Date"), QVariant::fromValue(KLVRAbsoluteTime(i * 86400.0))},
                                        {QStringLiteral("List"), QVariantList{i, QStringLiteral("<&>")}}});
        QByteArray written;
        QBuffer buffer(&written);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        KLVRRWCPropertyListArrayWriter writer(&buffer);
        QString error;
        for (int i = 0; i < elements.size(); i += 4)
            QVERIFY(writer.append(elements.mid(i, 4), &error));
        QVERIFY(writer.finish(&error));
        QCOMPARE(written, KLVRPropertyList::write(elements));
    }

    void refusedValueEndsThePropertyListWithTheCodecsReason()
    {
        QByteArray written;
        QBuffer buffer(&written);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        KLVRRWCPropertyListArrayWriter writer(&buffer);
        QString error;
        QVERIFY(writer.append({QVariantMap{{QStringLiteral("a"), 1}}}, &error));
        QVERIFY(!writer.append({QVariantMap{{QStringLiteral("point"), QPointF(1, 2)}}}, &error));
        QVERIFY2(error.contains(QLatin1String("QPointF")), qPrintable(error));
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
