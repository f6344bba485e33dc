// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRSignalToSocket.h"

#include "KLVRPosixIO.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalSinkFD = -1;
int gSignalSourceFD = -1;
QSocketNotifier *gSignalSourceCF = nullptr;
KLVRSignalToSocketCallback gClientCallback = nullptr;
void *gClientCallbackRefCon = nullptr;

void SignalToSocketHandler(int sig, siginfo_t *sigInfo, void *)
{
    KLVR_POSIX_ASSERT(gSignalSinkFD != -1);
    KLVR_POSIX_ASSERT(sig == sigInfo->si_signo);
    const int savedErrno = errno;
    const ssize_t junk = ::write(gSignalSinkFD, sigInfo, sizeof(*sigInfo));
    // A full socket means a flood of signals the main thread has not read yet; dropping one more
    // record keeps the agent alive where aborting would lose every event still queued.
    const bool socketFull = junk < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    if (!socketFull)
        KLVR_POSIX_ASSERT(junk == ssize_t(sizeof(*sigInfo)));
    errno = savedErrno;
}

void SignalToSocketReadCallback(QSocketDescriptor s)
{
    KLVR_POSIX_ASSERT(gSignalSourceCF != NULL);
    KLVR_POSIX_ASSERT(gClientCallback != NULL);
    KLVR_POSIX_ASSERT(int(s) == gSignalSourceFD);
    siginfo_t sigInfo = {};
    const int err = KLVRReadExact(gSignalSourceFD, &sigInfo, sizeof(sigInfo));
    KLVR_POSIX_ASSERT(err == 0);
    gClientCallback(&sigInfo, gClientCallbackRefCon);
}

void uninstall()
{
    delete gSignalSourceCF;
    gSignalSourceCF = nullptr;
    gClientCallback = nullptr;
    gClientCallbackRefCon = nullptr;
    int junk = ::close(gSignalSinkFD);
    KLVR_POSIX_ASSERT(junk == 0);
    junk = ::close(gSignalSourceFD);
    KLVR_POSIX_ASSERT(junk == 0);
    gSignalSinkFD = -1;
    gSignalSourceFD = -1;
}

} // namespace

int InstallSignalToSocket(const sigset_t *sigSet, KLVRSignalToSocketCallback callback, void *refCon)
{
    KLVR_POSIX_ASSERT(sigSet != NULL);
    KLVR_POSIX_ASSERT(callback != NULL);
    KLVR_POSIX_ASSERT(gSignalSinkFD == -1);
    KLVR_POSIX_ASSERT(gSignalSourceCF == NULL);
    KLVR_POSIX_ASSERT(gClientCallback == NULL);

    int sockets[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return errno;
    gSignalSinkFD = sockets[0];
    gSignalSourceFD = sockets[1];

    int err = 0;
    const int flags = ::fcntl(gSignalSinkFD, F_GETFL);
    if (flags < 0 || ::fcntl(gSignalSinkFD, F_SETFL, flags | O_NONBLOCK) < 0)
        err = errno;

    if (err == 0) {
        gSignalSourceCF = new QSocketNotifier(gSignalSourceFD, QSocketNotifier::Read);
        if (!gSignalSourceCF->isValid())
            err = EINVAL;
    }
    if (err == 0) {
        gClientCallback = callback;
        gClientCallbackRefCon = refCon;
        QObject::connect(gSignalSourceCF, &QSocketNotifier::activated, &SignalToSocketReadCallback);
        gSignalSourceCF->setEnabled(true);

        struct sigaction newAction = {};
        newAction.sa_sigaction = SignalToSocketHandler;
        // SA_RESTART spares the program's other threads interrupted system calls.
        newAction.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&newAction.sa_mask);
        for (int sig = 1; sig < 32; ++sig) {
            if (sigismember(sigSet, sig) == 1) {
                const int junk = ::sigaction(sig, &newAction, nullptr);
                KLVR_POSIX_ASSERT(junk == 0);
            }
        }
    }
    if (err != 0)
        uninstall();
    return err;
}
