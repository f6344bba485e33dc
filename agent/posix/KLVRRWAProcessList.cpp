// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRRWAProcessList.h"

#include "KLVRSystemPath.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { closedir(dir); }
};

bool parsePid(const char *name, unsigned long *pid)
{
    if (*name == '\0')
        return false;
    unsigned long value = 0;
    for (const char *c = name; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(*c - '0');
    }
    *pid = value;
    return true;
}

bool readSmallFile(int dirFd, const char *relativePath, QByteArray *out)
{
    const int fd = openat(dirFd, relativePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[256];
    ssize_t length;
    do {
        length = read(fd, buffer, sizeof buffer);
    } while (length < 0 && errno == EINTR);
    close(fd);
    if (length < 0)
        return false;
    *out = QByteArray(buffer, static_cast<qsizetype>(length));
    return true;
}

} // namespace

QStringList KLVRRWAProcessList::names()
{
    return namesInDirectory(KLVRSystemPath::resolve(QStringLiteral("/proc")));
}

QStringList KLVRRWAProcessList::namesInDirectory(const QString &procPath)
{
    std::unique_ptr<DIR, DirCloser> dir(opendir(procPath.toLocal8Bit().constData()));
    if (!dir)
        return {};
    std::vector<unsigned long> pids;
    pids.reserve(512);
    while (const dirent *entry = readdir(dir.get())) {
        unsigned long pid = 0;
        if (parsePid(entry->d_name, &pid))
            pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());

    const int dirFd = dirfd(dir.get());
    QStringList names;
    names.reserve(static_cast<qsizetype>(pids.size()));
    char path[48];
    QByteArray comm;
    for (unsigned long pid : pids) {
        snprintf(path, sizeof path, "%lu/comm", pid);
        if (readSmallFile(dirFd, path, &comm))
            names.append(decodeName(comm));
    }
    return names;
}

QString KLVRRWAProcessList::decodeName(QByteArray comm)
{
    const qsizetype nul = comm.indexOf('\0');
    if (nul >= 0)
        comm.truncate(nul);
    if (comm.endsWith('\n'))
        comm.chop(1);
    QString name = QString::fromUtf8(comm); // invalid sequences become U+FFFD
    for (QChar &c : name) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t') || u == 0x7f || u == 0xfffe || u == 0xffff)
            c = QChar(QChar::ReplacementCharacter);
    }
    return name;
}
