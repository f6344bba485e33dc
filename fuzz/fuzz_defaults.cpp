// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
// The user's defaults file, as a launch of the client reads it: the defaults object over it,
// and the date range restoring the saved span and tag from it.
#include "KLVRFuzzSupport.h"
#include "KLVRRWCDateRangeController.h"
#include "KLVRUserDefaults.h"

#include <QVariantMap>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    KLVRFuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = KLVRFuzz::writeFile(data, size, QStringLiteral("defaults.plist"));
    KLVRUserDefaults defaults(QStringLiteral("com.klvr.restwatch"), path);
    defaults.registerDefaultsFromResource(QStringLiteral(RESTWATCH_SOURCE_DIR "/resources/client/Defaults.plist"));
    const QVariantMap values = defaults.persistentValues();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        defaults.value(it.key()).toString();
    // A fixed clock: the same input must take the same path on every run.
    KLVRRWCDateRangeController range(&defaults, nullptr, [] { return KLVRAbsoluteTime(800000000.0); });
    range.setDistantPast(KLVRAbsoluteTime(700000000.0), KLVRAbsoluteTime(800000000.0));
    range.absoluteDuration();
    return 0;
}
