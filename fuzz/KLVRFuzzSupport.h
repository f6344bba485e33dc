// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

// What every fuzz target shares: one application object, silent logging (a reader that refuses
// input says so, millions of times), and the input as documents or as a file.
namespace KLVRFuzz {

// Call from LLVMFuzzerInitialize. bundle: the Info.plist resource to make the main bundle, if any.
void start(int *argc, char ***argv, const QString &bundle = QString());
// The input cut into documents at every zero byte (empty ones dropped), at most limit of them.
QList<QByteArray> documents(const uint8_t *data, size_t size, qsizetype limit = 8);
// The input written to a file of this process (the same path every time) and its path.
QString writeFile(const uint8_t *data, size_t size, const QString &name);

} // namespace KLVRFuzz
