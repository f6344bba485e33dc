// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The display formatters and the RTF writer: relative days, filled entry templates, and RTF
// that a real reader (unrtf) reads back with every character intact.
#include "KLVRAssertionException.h"
#include "KLVRRWCLogEntryFormatter.h"
#include "KLVRRWCRTFWriter.h"
#include "KLVRRWCRelativeDateFormatter.h"
#include "KLVRTableTestSupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace KLVRTableTest;

class tst_KLVRRWCFormatters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void relativeDays_data();
    void relativeDays();
    void relativeDatesFollowTheSetting();
    void notADateGivesNothingAndTextNeverParses();
    void templateMarkersAreFilledInTheMarkersLook();
    void entryWithoutAttributesAndObjectsThatAreNoEntries();
    void rtfEscapesAndARealReaderGetsTheTextBack_data();
    void rtfEscapesAndARealReaderGetsTheTextBack();

private:
    static QString readWithUnrtf(const QByteArray &rtf);
};

void tst_KLVRRWCFormatters::initTestCase()
{
    pinLocale();
}

void tst_KLVRRWCFormatters::relativeDays_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QString>("text");
    // Today is Tuesday 5 March 2024, 12:00.
    QTest::newRow("today, relative") << "2024-03-05 09:41:00" << true << "Today, 9:41 AM";
    QTest::newRow("today, plain") << "2024-03-05 09:41:00" << false << "3/5/24, 9:41 AM";
    QTest::newRow("tomorrow, relative") << "2024-03-06 00:00:00" << true << "Tomorrow, 12:00 AM";
    QTest::newRow("yesterday, relative") << "2024-03-04 23:59:00" << true << "Yesterday, 11:59 PM";
    QTest::newRow("yesterday, plain") << "2024-03-04 23:59:00" << false << "3/4/24, 11:59 PM";
    QTest::newRow("two days ahead, relative") << "2024-03-07 18:05:00" << true << "3/7/24, 6:05 PM";
    QTest::newRow("two days ahead, plain") << "2024-03-07 18:05:00" << false << "3/7/24, 6:05 PM";
}

void tst_KLVRRWCFormatters::relativeDays()
{
    QFETCH(QString, date);
    QFETCH(bool, relative);
    QFETCH(QString, text);
    KLVRRWCRelativeDateFormatter formatter;
    formatter.setClock([] { return at(QStringLiteral("2024-03-05 12:00:00")); });
    formatter.setRelativeDates(relative);
    QString written = formatter.stringForObjectValue(QVariant::fromValue(at(date)));
    // Newer locale data puts a narrow no-break space before AM and PM.
    written.replace(QChar(0x202F), QLatin1Char(' '));
    QCOMPARE(written, text);
}

void tst_KLVRRWCFormatters::relativeDatesFollowTheSetting()
{
    Table table;
    KLVRRWCRelativeDateFormatter formatter;
    formatter.setClock([] { return at(QStringLiteral("2024-03-05 12:00:00")); });
    formatter.awakeFromNib(&table.defaults);
    QVERIFY(!formatter.relativeDates());
    table.defaults.setValue(QStringLiteral("relativeDates"), true);
    QVERIFY(formatter.relativeDates());
    QVERIFY(formatter.stringForDate(at(QStringLiteral("2024-03-05 08:00:00"))).startsWith(QStringLiteral("Today, ")));
    // Words of other languages' day texts are capitalised one by one.
    QCOMPARE(KLVRRWCRelativeDateFormatter::capitalized(QStringLiteral("vor gestern ABEND")), QStringLiteral("Vor Gestern Abend"));
}

void tst_KLVRRWCFormatters::notADateGivesNothingAndTextNeverParses()
{
    KLVRRWCRelativeDateFormatter dates;
    QCOMPARE(dates.stringForObjectValue(QStringLiteral("2024-03-05")), QString());
    QCOMPARE(dates.stringForObjectValue(QVariant()), QString());
    QString error;
    QVariant object;
    QVERIFY(!dates.getObjectValue(&object, QStringLiteral("Today, 9:41 AM"), &error));
    QCOMPARE(error, QStringLiteral("Unsupported conversion from string to object."));
    KLVRRWCLogEntryFormatter entries;
    QVERIFY(!entries.getObjectValue(&object, QStringLiteral("System woke up"), &error));
    QCOMPARE(error, QStringLiteral("Unsupported conversion from string to entry."));

    QString message;
    try {
        KLVRRWCLogEntryFormatter::attributedStringFromRTF(QStringLiteral("NoSuchTemplate"));
    } catch (const KLVRAssertionException &exception) {
        message = exception.message();
    }
    QCOMPARE(message, QStringLiteral("KLVRRWCLogEntryFormatter Required resource NoSuchTemplate.html is missing."));
}

void tst_KLVRRWCFormatters::templateMarkersAreFilledInTheMarkersLook()
{
    Table table;
    const KLVRRWCLogEntry *idle = table.log.objectAtIndex(5);
    QVERIFY(!idle->attributesAsString().isEmpty());

    // A template whose primary marker starts bold and goes on plain, with two of each marker.
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat grey;
    grey.setForeground(QColor(0x76, 0x76, 0x76));
    KLVRRWCAttributedString custom(QStringLiteral("• "));
    custom.append(QStringLiteral("[p"), bold);
    custom.append(QStringLiteral("rimary] ([supplimentary]) [primary]"), QTextCharFormat());
    custom.append(QStringLiteral(" [supplimentary]"), grey);
    KLVRRWCLogEntryFormatter formatter;
    formatter.setTemplateEntryWithDetail(custom);
    formatter.setShowDetail(true);
    const KLVRRWCAttributedString filled = formatter.attributedStringForEntry(idle);
    // Only the first of each marker is replaced.
    QCOMPARE(filled.string(), QStringLiteral("• ") + idle->summary() + QStringLiteral(" (") + idle->attributesAsString()
                                  + QStringLiteral(") [primary] [supplimentary]"));
    QCOMPARE(filled.runs().at(1).text, idle->summary());
    QCOMPARE(filled.runs().at(1).format.fontWeight(), int(QFont::Bold));

    // The shipped templates: one line is the summary; the detail adds the attributes in grey.
    KLVRRWCLogEntryFormatter shipped;
    QCOMPARE(shipped.stringForObjectValue(QVariant::fromValue(const_cast<KLVRRWCLogEntry *>(idle))), idle->summary());
    shipped.setShowDetail(true);
    const KLVRRWCAttributedString detail = shipped.attributedStringForEntry(idle);
    QCOMPARE(detail.string(), idle->summary() + QChar(QChar::LineSeparator) + idle->attributesAsString());
    QCOMPARE(detail.runs().last().format.foreground().color(), QColor(0x76, 0x76, 0x76));
}

void tst_KLVRRWCFormatters::entryWithoutAttributesAndObjectsThatAreNoEntries()
{
    Table table;
    const KLVRRWCLogEntry *start = table.log.objectAtIndex(1);
    QCOMPARE(start->attributesAsString(), QString());
    KLVRRWCLogEntryFormatter formatter;
    formatter.setShowDetail(true);
    QCOMPARE(formatter.attributedStringForEntry(start).string(), start->summary() + QChar(QChar::LineSeparator));
    // Anything else gets the template as it stands; rich text comes back as it was.
    QVERIFY(formatter.stringForObjectValue(QStringLiteral("text")).contains(KLVRRWCLogEntryFormatter::kSupplimentaryMarker));
    const KLVRRWCAttributedString given(QStringLiteral("already rich"));
    QCOMPARE(formatter.attributedStringForObjectValue(QVariant::fromValue(given)), given);
}

QString tst_KLVRRWCFormatters::readWithUnrtf(const QByteArray &rtf)
{
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty())
        return QString();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("text.rtf")));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(rtf);
    file.close();
    QProcess reader;
    reader.start(unrtf, {QStringLiteral("--text"), file.fileName()});
    reader.waitForFinished(10000);
    QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'));
    lines.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("###")) || line.startsWith(QStringLiteral("-----")); });
    return lines.join(QLatin1Char('\n')).trimmed();
}

void tst_KLVRRWCFormatters::rtfEscapesAndARealReaderGetsTheTextBack_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("fragment");
    QTest::newRow("backslash and braces") << QStringList{"C:\\temp\\{new} }{"} << QByteArray("C:\\\\temp\\\\\\{new\\} \\}\\{");
    QTest::newRow("beyond ASCII") << QStringList{"'Akku' geladen, Größe 5 µm"} << QByteArray("Gr\\u246?\\u223?e 5 \\u181?m");
    QTest::newRow("outside the basic plane") << QStringList{"Akku 🔋 voll"} << QByteArray("\\u-10179?\\u-8949?");
    QTest::newRow("three rows") << QStringList{"one\ttwo", "three", "four"} << QByteArray("one\\tab two}\\par");
}

void tst_KLVRRWCFormatters::rtfEscapesAndARealReaderGetsTheTextBack()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, fragment);
    QList<KLVRRWCAttributedString> attributed;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (const QString &row : rows)
        attributed.append(KLVRRWCAttributedString(row, bold));
    const QByteArray rtf = KLVRRWCRTFWriter(QGuiApplication::font()).write(attributed);
    QVERIFY2(rtf.contains(fragment), rtf.constData());
    // Plain ASCII only, one paragraph mark between rows and none after the last.
    QVERIFY(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
    QCOMPARE(rtf.count("\\par\n"), rows.size() - 1);
    QVERIFY(rtf.contains("\\b "));

    const QString read = readWithUnrtf(rtf);
    if (read.isNull())
        QSKIP("unrtf is not installed (Debian package unrtf)");
    // unrtf's text output writes what lies beyond ASCII as "?", one for each UTF-16 unit, and a
    // tab as a run of blanks; the words must come back whole, none eaten by the fallbacks.
    QString expected = rows.join(QLatin1Char('\n'));
    for (QChar &c : expected) {
        if (c.unicode() >= 0x80)
            c = QLatin1Char('?');
    }
    const auto words = [](const QString &text) { return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts); };
    QCOMPARE(words(read), words(expected));
}

QTEST_MAIN(tst_KLVRRWCFormatters)
#include "tst_KLVRRWCFormatters.moc"
