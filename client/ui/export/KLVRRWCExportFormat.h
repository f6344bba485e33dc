// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>

// One logging category for export and printing.
Q_DECLARE_LOGGING_CATEGORY(lcRWCExport)

// The formats the log and the graph export to, each known by the integer tag the user's
// choice is remembered under (exportFormatTag). Tag 4 was never used and stays free.
//
//   0 rtf   rich text of the log          3 docx  Word document of the log
//   1 txt   tab-separated text of the log 5 tiff  the graph, LZW-compressed
//   2 plist XML property list of the log  6 png   the graph
class KLVRRWCExportFormat
{
public:
    enum Tag {
        RichText = 0,
        TabularText = 1,
        PropertyList = 2,
        Word = 3,
        TIFF = 5,
        PNG = 6,
    };

    // The data types the log writes (KLVRRWCLogExporter).
    static inline const QString kRichTextType = QStringLiteral("text/rtf");
    static inline const QString kTabularTextType = QStringLiteral("text/plain");
    static inline const QString kPropertyListType = QStringLiteral("xml/plist");
    static inline const QString kWordType = QStringLiteral("word/doc");

    // Every tag, in the order the save dialog offers them.
    static QList<int> tags();
    // The file extension ("rtf", ...) or a null string, with the logged line, for an unknown tag.
    static QString exportSuffixForFormatTag(int tag);
    // The data type handed to the log, or a null string, with the logged line, for an unknown
    // tag; the graph formats answer their image types, which the log does not write.
    static QString dataTypeForFormatTag(int tag);
    // The save dialog's name filter: "Rich Text (*.rtf)" and so on; empty for an unknown tag.
    static QString nameFilterForFormatTag(int tag);
    // The tag a file extension or a command-line format name stands for ("tif" is TIFF too);
    // -1 for none.
    static int formatTagForSuffix(const QString &suffix);
    static bool isGraphFormat(int tag) { return tag == TIFF || tag == PNG; }
    static bool isKnown(int tag);
};
