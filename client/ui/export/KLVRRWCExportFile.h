// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRRWCLogExporter.h"

#include <QByteArray>
#include <QString>
#include <functional>

class KLVRRWCLog;

// Writes one export file, for the window and the command line alike: the log in a text format
// or the graph as an image, chosen by format tag. The file is replaced only once it is
// complete, so a cancelled or refused export leaves what was there before. Needs no widgets.
class KLVRRWCExportFile
{
public:
    enum class Result {
        Written,
        NothingWritten, // an unknown tag, no picture, or a value the writer refused (logged)
        Cancelled,
        WriteFailed,    // error holds the system's text
    };
    // The graph's bytes for a graph format tag (empty when there is no picture).
    using Graph = std::function<QByteArray(int tag)>;

    static Result write(const QString &path, int tag, const KLVRRWCLog *log, const Graph &graph,
                        const KLVRRWCLogExporter::Progress &progress, QString *error);
    // "Cannot save file: '%@': %s", localized, filled with the path and the reason.
    static QString errorMessage(const QString &path, const QString &reason);
};
