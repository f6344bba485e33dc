// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAbsoluteTime.h"
#include "KLVRAgentTestEnvironment.h"
#include "KLVRBundle.h"
#include "KLVRGuardedBytes.h"
#include "KLVRPropertyList.h"
#include "KLVRRWCCacheRecord.h"

#include <QDir>
#include <QtEndian>
#include <QtTest>
#include <sqlite3.h>

namespace {

const QString kHostileFolder = QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/client/store/hostile");

QVariantMap storedEvent(double date, const QString &description)
{
    return {{QStringLiteral("date"), KLVRAbsoluteTime(date).toText()},
            {QStringLiteral("description"), description},
            {QStringLiteral("monitor"), QStringLiteral("com.klvr.monitor.watcher.powerevents")},
            {QStringLiteral("properties"), QStringLiteral("NULL")}};
}

QByteArray binaryRecord(const QVariantMap &event)
{
    return KLVRPropertyList::write(event, KLVRPropertyList::Format::Binary);
}

// A binary list with one object, an 8-byte offset table and the given trailer figures.
QByteArray oneObjectList(const QByteArray &object, int offsetSize, int refSize, quint64 objects, quint64 top)
{
    QByteArray bytes("bplist00");
    bytes += object;
    const quint64 table = quint64(bytes.size());
    QByteArray offset(offsetSize, '\0');
    offset[offsetSize - 1] = char(8);
    bytes += offset;
    QByteArray trailer(32, '\0');
    trailer[6] = char(offsetSize);
    trailer[7] = char(refSize);
    qToBigEndian<quint64>(objects, trailer.data() + 8);
    qToBigEndian<quint64>(top, trailer.data() + 16);
    qToBigEndian<quint64>(table, trailer.data() + 24);
    return bytes + trailer;
}

} // namespace

class tst_KLVRRWCCacheRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void hostileRecordsAreRefusedWithoutReadingBeyondThem_data();
    void hostileRecordsAreRefusedWithoutReadingBeyondThem();
    void everyTruncationAndByteOfARealRecordIsSafe();
    void aHostileRowLeavesTheLaunchAndTheOtherRowsAlone();
    void writtenRecordsReadAsTheGeneralWriterStoresThem_data();
    void writtenRecordsReadAsTheGeneralWriterStoresThem();
};

void tst_KLVRRWCCacheRecord::initTestCase()
{
    KLVRBundle::setMain(QStringLiteral(":/client/Info.plist"));
}

void tst_KLVRRWCCacheRecord::hostileRecordsAreRefusedWithoutReadingBeyondThem_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Kept inputs: the crafted row that crashed every launch and what fuzzing found since.
    const QDir folder(kHostileFolder);
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    QVERIFY(names.contains(QStringLiteral("object-count-wraps-offset-table.bplist")));
    for (const QString &name : names) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << file.readAll();
    }
    // Counts whose products wrap: dictionary entries, UTF-16 characters, objects, all 2^61 and up.
    QTest::newRow("dictionary entries wrap") << oneObjectList(QByteArray("\xdf\x13\x40\x00\x00\x00\x00\x00\x00\x01", 10), 8, 8, 1, 0);
    QTest::newRow("text length wraps") << oneObjectList(QByteArray("\x6f\x13\x80\x00\x00\x00\x00\x00\x00\x01", 10), 8, 1, 1, 0);
    QTest::newRow("object count wraps") << oneObjectList(QByteArray("\xd0", 1), 8, 1, 0x2000000000000001ULL, 1);
    QTest::newRow("offset table past the end") << oneObjectList(QByteArray("\xd0", 1), 8, 1, 2, 0);
    QTest::newRow("count marker cut off") << oneObjectList(QByteArray("\xdf", 1), 8, 1, 1, 0);
    QTest::newRow("count of 16 bytes") << oneObjectList(QByteArray("\xdf\x14\x00", 3), 8, 1, 1, 0);
    QTest::newRow("header only") << QByteArray("bplist00");
}

// The bytes end at an inaccessible page, so that a read past them fails here, not only under a
// sanitizer.
void tst_KLVRRWCCacheRecord::hostileRecordsAreRefusedWithoutReadingBeyondThem()
{
    QFETCH(QByteArray, bytes);
    const KLVRGuardedBytes guarded(bytes);
    QVERIFY(!KLVRRWCCacheRecord::readBinary(guarded.data(), guarded.size()));
    KLVRRWCCacheRecord::Fields fields;
    QVERIFY(!KLVRRWCCacheRecord::readFields(guarded.data(), guarded.size(), &fields));
    // The general reader gets the row next: it must refuse it as well, not fail on it.
    QString error;
    const QVariant general = KLVRPropertyList::read(QByteArray::fromRawData(guarded.data(), guarded.size()), &error);
    QVERIFY(general.typeId() != QMetaType::QVariantMap || !error.isEmpty());
}

// Every prefix of a record the store writes, and the record with each single byte changed, is
// read or refused: never read beyond, and what is read is a dictionary of texts.
void tst_KLVRRWCCacheRecord::everyTruncationAndByteOfARealRecordIsSafe()
{
    const QVariantMap event = storedEvent(800000000.5, QStringLiteral("Größe ①"));
    const QByteArray record = binaryRecord(event);
    QCOMPARE(KLVRRWCCacheRecord::readBinary(record.constData(), record.size()), event);

    int refused = 0;
    const auto check = [&](const QByteArray &bytes) {
        const KLVRGuardedBytes guarded(bytes);
        const std::optional<QVariantMap> read = KLVRRWCCacheRecord::readBinary(guarded.data(), guarded.size());
        KLVRRWCCacheRecord::Fields fields;
        KLVRRWCCacheRecord::readFields(guarded.data(), guarded.size(), &fields);
        if (!read)
            ++refused;
        else
            for (const QVariant &value : *read)
                QCOMPARE(value.typeId(), QMetaType::QString);
    };
    for (qsizetype size = 0; size < record.size(); ++size)
        check(record.left(size));
    for (qsizetype at = 0; at < record.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray changed = record;
            changed[at] = char(changed[at] ^ (1 << bit));
            check(changed);
        }
    }
    // Every truncation is refused: the trailer is gone.
    QVERIFY(refused >= record.size());
}

// The crafted row stopped every launch with a crash; now it is left out and the rest is shown.
void tst_KLVRRWCCacheRecord::aHostileRowLeavesTheLaunchAndTheOtherRowsAlone()
{
    KLVRAgentTestEnvironment environment;
    QVERIFY(environment.start(false));
    const auto printLog = [&environment](QProcess &printer) {
        printer.setProcessEnvironment(environment.agentEnvironment());
        printer.start(QStringLiteral(RESTWATCH_BINARY_DIR "/client/app/restwatch"), {QStringLiteral("--print-log")});
        return printer.waitForFinished(60000);
    };
    QProcess first;
    QVERIFY(printLog(first)); // makes the empty cache

    const QString cache = environment.home() + QStringLiteral("/Documents/Rest Watch.rest-watch-events");
    QVERIFY(QFileInfo::exists(cache));
    QFile crafted(kHostileFolder + QStringLiteral("/object-count-wraps-offset-table.bplist"));
    QVERIFY(crafted.open(QIODevice::ReadOnly));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(cache).constData(), &db), SQLITE_OK);
    sqlite3_stmt *insert = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "INSERT INTO cache (date, properties) VALUES (?, ?)", -1, &insert, nullptr), SQLITE_OK);
    const auto row = [&](double date, const QByteArray &bytes) {
        sqlite3_reset(insert);
        sqlite3_bind_double(insert, 1, date);
        sqlite3_bind_blob(insert, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return sqlite3_step(insert);
    };
    QCOMPARE(row(800000000.0, binaryRecord(storedEvent(800000000.0, QStringLiteral("System will sleep")))), SQLITE_DONE);
    QCOMPARE(row(800000010.0, crafted.readAll()), SQLITE_DONE);
    QCOMPARE(row(800000020.0, binaryRecord(storedEvent(800000020.0, QStringLiteral("System has powered on")))), SQLITE_DONE);
    sqlite3_finalize(insert);
    sqlite3_close(db);

    QProcess printer;
    QVERIFY(printLog(printer));
    QCOMPARE(printer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(printer.exitCode(), 0);
    const QString output = QString::fromUtf8(printer.readAllStandardOutput());
    // Both good rows reach the log: the sleep, and the wake that the log pairs with it.
    QVERIFY2(output.contains(QLatin1String("System going to sleep")) && output.contains(QLatin1String("System waking after 20 seconds")),
             qPrintable(output));
    QVERIFY(QString::fromUtf8(printer.readAllStandardError()).contains(QLatin1String("inflation of")));
}

void tst_KLVRRWCCacheRecord::writtenRecordsReadAsTheGeneralWriterStoresThem_data()
{
    QTest::addColumn<QVariantMap>("record");
    QTest::newRow("a sleep without context") << storedEvent(818360441.509829, QStringLiteral("Can system sleep"));
    QVariantMap processes = storedEvent(818360441.5, QStringLiteral("System has powered on"));
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names.append(QStringLiteral("kworker/u16:%1-events").arg(i));
    processes.insert(QStringLiteral("properties"), QString::fromUtf8(KLVRPropertyList::write(
                                                      QVariantMap{{QStringLiteral("Processes"), names}})));
    // Texts past 255 and 65,535 bytes take wider counts and offsets.
    QTest::newRow("three hundred process names") << processes;
    QVariantMap wide = storedEvent(818360441.5, QStringLiteral("System has powered on"));
    wide.insert(QStringLiteral("properties"), QString(70000, QLatin1Char('x')));
    QTest::newRow("a text past 64 KiB") << wide;
    QVariantMap french = storedEvent(818360441.5, QStringLiteral("GNOME doit verrouiller l\u2019\u00e9cran"));
    french.insert(QStringLiteral("properties"), QStringLiteral("<string>\U0001F4A4 r\u00e9veil</string>"));
    QTest::newRow("texts beyond ASCII, a surrogate pair") << french;
    QVariantMap empty = storedEvent(0.0, QString());
    empty.insert(QString(), QString());
    QTest::newRow("empty texts and an empty key") << empty;
    QVariantMap many;
    for (int i = 0; i < 40; ++i)
        many.insert(QStringLiteral("key %1").arg(i), QStringLiteral("value %1").arg(i));
    // Fifteen entries and more take a count object after the marker, and more than 255 objects
    // two-byte references.
    QTest::newRow("forty entries") << many;
    QVariantMap hundreds;
    for (int i = 0; i < 200; ++i)
        hundreds.insert(QStringLiteral("k%1").arg(i), QString(i, QChar(0x00e9)));
    QTest::newRow("four hundred objects") << hundreds;
}

// The records' own writer stands in for the general one for every pulled event: what it writes
// must read back the same through the general reader, the record reader and the field reader.
void tst_KLVRRWCCacheRecord::writtenRecordsReadAsTheGeneralWriterStoresThem()
{
    QFETCH(QVariantMap, record);
    QList<KLVRRWCCacheRecord::Entry> entries;
    for (auto it = record.cbegin(); it != record.cend(); ++it)
        entries.append({it.key(), *static_cast<const QString *>(it.value().constData())});
    const QByteArray bytes = KLVRRWCCacheRecord::writeBinary(entries.constData(), entries.size());
    QString error;
    QCOMPARE(KLVRPropertyList::read(bytes, &error).toMap(), record);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const std::optional<QVariantMap> read = KLVRRWCCacheRecord::readBinary(bytes.constData(), bytes.size());
    QVERIFY(read);
    QCOMPARE(*read, record);
    // Texts go the way the general writer stores them: ASCII where they can, or the same size.
    QVERIFY(bytes.size() <= binaryRecord(record).size() + 16 * record.size());
    KLVRRWCCacheRecord::Fields fields;
    if (record.contains(QStringLiteral("date")) && record.contains(QStringLiteral("monitor"))) {
        QVERIFY(KLVRRWCCacheRecord::readFields(bytes.constData(), bytes.size(), &fields));
        QCOMPARE(QString::fromLatin1(fields.date), record.value(QStringLiteral("date")).toString());
        QCOMPARE(fields.description, record.value(QStringLiteral("description")).toString());
        const QString properties = fields.wideProperties.isNull() ? QString::fromLatin1(fields.properties) : fields.wideProperties;
        QCOMPARE(properties, record.value(QStringLiteral("properties")).toString());
    }
}

QTEST_GUILESS_MAIN(tst_KLVRRWCCacheRecord)
#include "tst_KLVRRWCCacheRecord.moc"
