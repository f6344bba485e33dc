// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include "KLVRAbsoluteTime.h"
#include "KLVRRecordTestSupport.h"

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QVariantList>

// What the export and print tests share: the real programs that read the files back, and small
// logs with known content.
namespace KLVRExportTest {

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool ok() const { return exitCode == 0; }
};

// Runs a program to its end (two minutes at most); exitCode -1 when it did not start or finish.
inline Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = {},
               int timeout = 120000)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted(10000) || !process.waitForFinished(timeout)) {
        process.kill();
        process.waitForFinished();
        result.errors = process.readAllStandardError();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}

// Debian's own interpreter, which has python3-docx; the one on PATH may be another.
inline Run python(const QString &script, const QStringList &arguments = {})
{
    return run(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + arguments);
}

// A UTC wall-clock time as seconds since 2001.
inline KLVRAbsoluteTime utc(const char *text)
{
    QDateTime dateTime = QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dateTime.setTimeZone(QTimeZone::utc());
    return KLVRAbsoluteTime::fromDateTime(dateTime);
}

// A lid sleep and the wake after it: two entries, the sleep with its processes, the wake with
// how long the machine slept.
inline QVariantList sleepAndWake()
{
    using namespace KLVRRecordTest;
    const QVariantList processes{QStringLiteral("systemd"), QStringLiteral("Xorg")};
    return {
        record(utc("2024-03-05 21:45:00"), kPowerEvents, QStringLiteral("System will sleep"),
               {{QStringLiteral("Idle Seconds"), 0}, {QStringLiteral("Processes"), processes}}),
        record(utc("2024-03-06 06:30:00"), kPowerEvents, QStringLiteral("System has powered on"),
               {{QStringLiteral("Idle Seconds"), 0}, {QStringLiteral("Processes"), processes}}),
    };
}

} // namespace KLVRExportTest
