// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAssertionException.h"

#include <QFileInfo>

KLVRAssertionException::KLVRAssertionException(const QString &message, const char *file, int line)
    : std::runtime_error(message.toStdString())
    , m_message(message)
    , m_file(file ? QFileInfo(QString::fromUtf8(file)).fileName() : QString())
    , m_line(line)
{
}

void KLVRAssertionException::invalidParameter(const char *condition, const char *file, int line)
{
    throw KLVRAssertionException(QStringLiteral("Invalid parameter not satisfying: %1").arg(QString::fromUtf8(condition)),
                                 file, line);
}
