#pragma once

#include "directory/LdapProviderOptions.h"
#include "directory/Query.h"
#include "directory/Status.h"
#include "directory/detail/LdapFailure.h"
#include "directory/detail/LdapHandles.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace orvane::directory::detail {

using Clock = std::chrono::steady_clock;
// No deadline means waiting as long as the server takes.
using Deadline = std::optional<Clock::time_point>;

// One bound libldap connection. On a plain port it is upgraded with StartTLS before the bind
// wherever the server offers it; with no user name and no password it signs in with the
// user's Kerberos ticket where the server takes GSSAPI and a ticket is at hand. Referrals are
// never chased (libldap would follow them with an anonymous bind); the connection ends when
// the last owner releases it.
class LdapSession
{
public:
    struct Credentials
    {
        QString user;
        QString password;
    };

    // Connects to the query's server and binds; timeout <= 0 means no limit for the bind.
    static Status open(const Query &query, const Credentials &credentials,
                       const LdapProviderOptions &options, std::chrono::milliseconds timeout,
                       std::shared_ptr<LdapSession> &session);

    LDAP *handle() const { return m_ld.get(); }
    const FailureContext &context() const { return m_context; }

    // Waits for the next message of the operation msgid until the deadline; abandons the
    // operation when the deadline passes.
    Status next(int msgid, const Deadline &deadline, LdapMessagePtr &message);

    // A failure for rc with libldap's current diagnostic message.
    Status failure(int rc) const;
    // The result code, diagnostic and matched DN of a result message, as a status.
    Status resultStatus(LDAPMessage *result, LdapControlsPtr *controls = nullptr) const;

    Deadline deadlineFromNow() const;

private:
    // What the server's root entry says it offers.
    struct Offers
    {
        bool startTls = false;
        bool gssapi = false;
    };

    LdapSession(LdapHandle ld, FailureContext context);

    static Status connect(const Query &query, const LdapProviderOptions &options,
                          std::chrono::milliseconds timeout, std::shared_ptr<LdapSession> &session);
    Status readOffers(Offers &offers);
    Status startTls(const LdapProviderOptions &options);
    Status bind(const Credentials &credentials, const Offers &offers);
    Status bindSimple(const Credentials &credentials);
    // Sets usedTicket to false where no ticket was at hand, so nothing was tried.
    Status bindKerberos(bool &usedTicket);
    QString diagnostic() const;
    QByteArray uri() const;

    LdapHandle m_ld;
    FailureContext m_context;
    bool m_tlsFromStart = false;
};

} // namespace orvane::directory::detail
