// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRFuzzSupport.h"

#include "KLVRBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir &folder()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/restwatch-fuzz-XXXXXX"));
    return dir;
}

} // namespace

namespace KLVRFuzz {

void start(int *argc, char ***argv, const QString &bundle)
{
    // Never destroyed: at exit Qt's own globals may already be gone.
    static QCoreApplication *app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app);
    qInstallMessageHandler(quiet);
    if (!bundle.isEmpty())
        KLVRBundle::setMain(bundle);
    // Settings of the readers that follow user defaults go to this process's own folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder().path()));
}

QList<QByteArray> documents(const uint8_t *data, size_t size, qsizetype limit)
{
    QList<QByteArray> parts;
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &part : input.split('\0')) {
        if (!part.isEmpty() && parts.size() < limit)
            parts.append(QByteArray(part.constData(), part.size())); // deep copy: the reader may keep it
    }
    return parts;
}

QString writeFile(const uint8_t *data, size_t size, const QString &name)
{
    const QString path = folder().filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

} // namespace KLVRFuzz
