// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAbsoluteTime.h"
#include "KLVRPropertyList.h"

#include <QDir>
#include <QTest>

class TestKLVRPropertyList : public QObject
{
    Q_OBJECT

private:
    static QVariantMap sample()
    {
        return QVariantMap{
            {QStringLiteral("Name"), QStringLiteral("BAT0 — Akku ✓")},
            {QStringLiteral("Current Capacity"), qlonglong(57)},
            {QStringLiteral("Negative"), qlonglong(-12)},
            {QStringLiteral("Health"), 0.8731},
            {QStringLiteral("Is Charging"), true},
            {QStringLiteral("Is Present"), false},
            {QStringLiteral("When"), QVariant::fromValue(KLVRAbsoluteTime(786000000.123456))},
            {QStringLiteral("Blob"), QByteArray("\x00\x01\xff", 3)},
            {QStringLiteral("Processes"), QVariantList{QStringLiteral("systemd"), QStringLiteral("kworker/0:1")}},
            {QStringLiteral("Nested"), QVariantMap{{QStringLiteral("Empty"), QVariantList{}}}},
        };
    }

private Q_SLOTS:
    void roundTripsEveryType_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("xml") << int(KLVRPropertyList::Format::Xml);
        QTest::newRow("binary") << int(KLVRPropertyList::Format::Binary);
    }

    void roundTripsEveryType()
    {
        QFETCH(int, format);
        const QByteArray data = KLVRPropertyList::write(sample(), KLVRPropertyList::Format(format));
        QVERIFY(!data.isEmpty());
        const QVariantMap back = KLVRPropertyList::read(data).toMap();
        const QVariantMap expected = sample();
        QCOMPARE(back.keys(), expected.keys());
        for (const QString &key : expected.keys()) {
            if (key == QLatin1String("When"))
                // XML property lists hold dates to the second; binary ones keep microseconds.
                QCOMPARE(back.value(key).value<KLVRAbsoluteTime>().seconds(),
                         format == int(KLVRPropertyList::Format::Xml) ? 786000000.0 : 786000000.123456);
            else if (key == QLatin1String("Health"))
                QCOMPARE(back.value(key).toDouble(), 0.8731);
            else
                QCOMPARE(back.value(key), expected.value(key));
        }
    }

    void xmlIsVersionOne()
    {
        const QByteArray data = KLVRPropertyList::write(QVariantMap{{QStringLiteral("a"), QStringLiteral("b")}});
        QVERIFY(data.contains("<plist version=\"1.0\">"));
        QVERIFY(data.contains("<key>a</key>"));
    }

    void rejectsGarbageWithoutCrashing_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not a plist at all");
        QTest::newRow("truncated xml") << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>");
        QTest::newRow("truncated binary") << QByteArray("bplist00\xd1\x01\x02", 11);
    }

    void rejectsGarbageWithoutCrashing()
    {
        QFETCH(QByteArray, data);
        QString error;
        QVERIFY(!KLVRPropertyList::read(data, &error).isValid());
        QVERIFY(!error.isEmpty());
    }

    // Inputs that stopped the program inside libplist (a text holding a NUL character), kept
    // from fuzzing and written by hand; each is refused with an error.
    void refusesListsThatWouldStopLibplist_data()
    {
        QTest::addColumn<QString>("path");
        const QDir folder(QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/foundation/hostile"));
        const QStringList names = folder.entryList(QDir::Files, QDir::Name);
        QVERIFY(names.size() >= 5);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }

    void refusesListsThatWouldStopLibplist()
    {
        QFETCH(QString, path);
        QString error;
        QVERIFY(!KLVRPropertyList::readFile(path, &error).isValid());
        QVERIFY(!error.isEmpty());
    }

    void characterReferencesOtherThanNulStillRead()
    {
        const QByteArray xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>k&#x30;</key><string>&#65;&#x1F600;&amp;</string></dict></plist>\n");
        QString error;
        QCOMPARE(KLVRPropertyList::read(xml, &error), QVariant(QVariantMap{{QStringLiteral("k0"), QString::fromUtf8("A\xF0\x9F\x98\x80&")}}));
        QVERIFY(error.isEmpty());
    }

    void refusesValuesItCannotHold()
    {
        QString error;
        QVERIFY(KLVRPropertyList::write(QVariant::fromValue(QObject::staticMetaObject.className() ? nullptr : nullptr), KLVRPropertyList::Format::Xml, &error).isEmpty());
        QVERIFY(KLVRPropertyList::write(QVariantMap{{QStringLiteral("d"), QVariant::fromValue(KLVRAbsoluteTime::invalid())}},
                                        KLVRPropertyList::Format::Xml, &error).isEmpty());
        QVERIFY(error.contains(QLatin1String("finite")));
        // Dates keep their seconds in 32 bits: beyond 2069 and before 1933 they cannot be held.
        for (const double seconds : {3e9, -2147483649.5}) {
            error.clear();
            QVERIFY(KLVRPropertyList::write(QVariantMap{{QStringLiteral("d"), QVariant::fromValue(KLVRAbsoluteTime(seconds))}},
                                            KLVRPropertyList::Format::Binary, &error).isEmpty());
            QVERIFY(error.contains(QLatin1String("beyond")));
        }
    }

    // Lists that fuzzing found to go wrong when what was read is written again.
    void writesBackWhatItReads_data()
    {
        QTest::addColumn<QString>("path");
        const QDir folder(QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/foundation/readable"));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }

    void writesBackWhatItReads()
    {
        QFETCH(QString, path);
        QString error;
        const QVariant value = KLVRPropertyList::readFile(path, &error);
        QVERIFY2(value.isValid(), qPrintable(error));
        for (const auto format : {KLVRPropertyList::Format::Binary, KLVRPropertyList::Format::Xml}) {
            error.clear();
            const QByteArray written = KLVRPropertyList::write(value, format, &error);
            QCOMPARE(written.isEmpty(), !error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestKLVRPropertyList)
#include "tst_KLVRPropertyList.moc"
