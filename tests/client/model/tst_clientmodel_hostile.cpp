// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// Property lists from outside read by the client's own reader: inputs that fuzzing found to go
// wrong, each a run of documents separated by NUL bytes, read one after the other as the reader
// meets them (it remembers the documents before).
#include "KLVRRWCPropertyDictionary.h"
#include "KLVRRWCPropertyReader.h"

#include <QDir>
#include <QTest>

class TestClientModelHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void documentsReadAlikeAsBytesAndAsText_data()
    {
        QTest::addColumn<QString>("path");
        const QDir folder(QStringLiteral(RESTWATCH_SOURCE_DIR "/tests/client/model/hostile"));
        const QStringList names = folder.entryList(QDir::Files, QDir::Name);
        QVERIFY(!names.isEmpty());
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }

    // Both ways in must give the same verdict and the same dictionary, whatever the bytes.
    void documentsReadAlikeAsBytesAndAsText()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray &document : file.readAll().split('\0')) {
            if (document.isEmpty())
                continue;
            KLVRRWCPropertyDictionary fromBytes, fromText;
            QString bytesError, textError;
            const auto bytesResult = KLVRRWCPropertyReader::readData(document, &fromBytes, &bytesError);
            const auto textResult = KLVRRWCPropertyReader::read(QString::fromUtf8(document), &fromText, &textError);
            QCOMPARE(int(bytesResult), int(textResult));
            if (bytesResult == KLVRRWCPropertyReader::Result::Dictionary)
                QCOMPARE(fromBytes.toMap(), fromText.toMap());
        }
    }
};

QTEST_GUILESS_MAIN(TestClientModelHostile)
#include "tst_clientmodel_hostile.moc"
