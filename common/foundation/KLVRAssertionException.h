// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>
#include <stdexcept>

// The one exception for broken programming contracts and configuration. Its message is the
// exact text the system reports; nothing catches it except where a caller is documented to.
class KLVRAssertionException : public std::runtime_error
{
public:
    explicit KLVRAssertionException(const QString &message, const char *file = nullptr, int line = 0);

    QString message() const { return m_message; }
    QString file() const { return m_file; }
    int line() const { return m_line; }

    // "Invalid parameter not satisfying: %s"
    [[noreturn]] static void invalidParameter(const char *condition, const char *file, int line);

private:
    QString m_message;
    QString m_file;
    int m_line = 0;
};

// Argument check: throws "Invalid parameter not satisfying: <condition>".
#define KLVR_PARAMETER_ASSERT(condition) \
    do { if (!(condition)) KLVRAssertionException::invalidParameter(#condition, __FILE__, __LINE__); } while (0)

// Any other assertion, with a message already formatted (class name first).
#define KLVR_ASSERT(condition, message) \
    do { if (!(condition)) throw KLVRAssertionException((message), __FILE__, __LINE__); } while (0)
