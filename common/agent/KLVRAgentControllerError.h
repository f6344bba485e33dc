// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Rest Watch developers
#pragma once

#include <QString>

// An error meant for the user, as the agent controller returns and presents it: a domain (the
// controller's own, or the platform's for failures it passes on unchanged), a code, the text of
// that code and, where the platform gave one, the underlying reason.
class KLVRAgentControllerError
{
public:
    static inline const QString kDomain = QStringLiteral("KLVRAgentController");

    // The controller's codes; the numbers are part of its interface and never change.
    enum Code : int {
        None = 0,
        BlessAuthorization = 1,
        Bless = 2,
        RemoveAuthorization = 3,
        ExternalForm = 4,
        AgentFilesNotRemoved = 6,
        RemoveSystemJob = 7,
        ApplicationSupportFolder = 8,
        CopyAgent = 9,
        NoJobTicket = 10,
        LaunchAgentsFolder = 11,
        WriteJobTicket = 12,
        NoAuthorization = 13,
        SubmitUserJob = 14,
        RemoveAgentCopy = 17,
        RemoveJobTicket = 18,
        RemoveUserJob = 19,
        NotOneAgentApplication = 20,
        TerminateAgentApplication = 21,
        // No polkit to ask for the administrator's password.
        PolkitMissing = 22,
    };

    KLVRAgentControllerError() = default;
    explicit KLVRAgentControllerError(int code, const QString &underlying = QString(),
                                      const QString &domain = kDomain);

    bool isNull() const { return m_code == None; }
    explicit operator bool() const { return !isNull(); }

    QString domain() const { return m_domain; }
    int code() const { return m_code; }
    // The code's text from the controller's strings table ("KLVRAgentController.error.<code>"),
    // or the underlying text itself for errors of other domains.
    QString localizedDescription() const;
    QString underlyingDescription() const { return m_underlying; }
    // Description and reason together, as the error presentation shows them.
    QString presentationText() const;

    friend bool operator==(const KLVRAgentControllerError &a, const KLVRAgentControllerError &b)
    {
        return a.m_code == b.m_code && a.m_domain == b.m_domain;
    }

private:
    QString m_domain;
    int m_code = None;
    QString m_underlying;
};
