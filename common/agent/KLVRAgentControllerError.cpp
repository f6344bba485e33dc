// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#include "KLVRAgentControllerError.h"

#include "KLVRStringsTable.h"

KLVRAgentControllerError::KLVRAgentControllerError(int code, const QString &underlying, const QString &domain)
    : m_domain(domain)
    , m_code(code)
    , m_underlying(underlying)
{
}

QString KLVRAgentControllerError::localizedDescription() const
{
    if (isNull())
        return QString();
    if (m_domain != kDomain)
        return m_underlying;
    const QString key = QStringLiteral("%1.error.%2").arg(kDomain).arg(m_code);
    return KLVRStringsTable::localizedString(key, kDomain);
}

QString KLVRAgentControllerError::presentationText() const
{
    const QString description = localizedDescription();
    if (m_underlying.isEmpty() || m_underlying == description)
        return description;
    return description + QLatin1Char('\n') + m_underlying;
}
