// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRBundle.h"

#include "KLVRAssertionException.h"
#include "KLVRPropertyList.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

namespace {
std::unique_ptr<KLVRBundle> &mainBundle()
{
    static std::unique_ptr<KLVRBundle> bundle;
    return bundle;
}
}

KLVRBundle::KLVRBundle(const QString &infoPlistPath, const QString &resourcePrefix)
    : m_info(KLVRPropertyList::readFile(infoPlistPath).toMap())
    , m_resourcePrefix(resourcePrefix.isEmpty() ? QFileInfo(infoPlistPath).path() : resourcePrefix)
{
}

void KLVRBundle::setMain(const QString &infoPlistPath, const QString &resourcePrefix)
{
    mainBundle() = std::make_unique<KLVRBundle>(infoPlistPath, resourcePrefix);
    KLVR_ASSERT(mainBundle()->isValid(), QStringLiteral("KLVRBundle Info.plist is missing at %1").arg(infoPlistPath));
}

const KLVRBundle &KLVRBundle::main()
{
    KLVR_ASSERT(mainBundle() != nullptr, QStringLiteral("KLVRBundle main bundle is not set"));
    return *mainBundle();
}

QString KLVRBundle::executablePath() const
{
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                        : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QVariant KLVRBundle::requiredInfoValue(const QString &owner, const QString &key) const
{
    const QVariant value = m_info.value(key);
    KLVR_ASSERT(value.isValid(), QStringLiteral("%1 Info.plist is missing %2").arg(owner, key));
    return value;
}

QString KLVRBundle::pathForResource(const QString &name, const QString &extension) const
{
    const QString path = m_resourcePrefix + QLatin1Char('/') + name
                         + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    return QFileInfo::exists(path) ? path : QString();
}
