#pragma once

#include "directory/LdapProviderOptions.h"
#include "directory/Query.h"
#include "directory/detail/ConnectionWatch.h"
#include "directory/detail/LdapFailure.h"
#include "directory/detail/LdapHandles.h"
#include "form/Status.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace orvane::directory::detail {

using Clock = std::chrono::steady_clock;
// No deadline means waiting as long as the server takes.
using Deadline = std::optional<Clock::time_point>;

// One bound libldap connection. With no user name and no password it signs in with the user's
// Kerberos ticket where the server takes GSSAPI and a ticket is at hand; otherwise a plain
// port is upgraded with StartTLS before the bind wherever the server offers it. Every TLS
// connection has a TLS context of its own (see TlsTrust.h). Each step, from the connect to
// the last page, ends within the time-out, however the server behaves (see ConnectionWatch.h).
// Referrals are never chased (libldap would follow them with an anonymous bind); the
// connection ends when the last owner releases it.
class LdapSession
{
public:
    struct Credentials
    {
        QString user;
        QString password;
    };

    // Connects to the query's server and binds; timeout <= 0 means no limit for the bind.
    static form::Result<std::shared_ptr<LdapSession>> open(const Query &query,
                                                           const Credentials &credentials,
                                                           const LdapProviderOptions &options,
                                                           std::chrono::milliseconds timeout);

    LDAP *handle() const { return m_ld.get(); }
    const FailureContext &context() const { return m_context; }

    // Waits for the next message of the operation msgid until the deadline; abandons the
    // operation when the deadline passes.
    form::Result<LdapMessagePtr> next(int msgid, const Deadline &deadline);

    // A failure for rc with libldap's current diagnostic message.
    form::Status failure(int rc) const;
    // The result code, diagnostic and matched DN of a result message, as a status.
    form::Status resultStatus(LDAPMessage *result, LdapControlsPtr *controls = nullptr) const;

    Deadline deadlineFromNow() const;
    // Ends the steps run while it lives at the deadline, should the server not answer.
    ConnectionWatch::Step watch(const Deadline &deadline) { return m_watch.watch(deadline); }
    // Waits before asking the server again for what it turned down as too early: a pause that
    // doubles each time, up to 100 ms. False, at once, after the last of `maxTries` tries or
    // where the pause would pass the deadline.
    static bool pauseBeforeRetry(int tries, const Deadline &deadline,
                                 std::chrono::milliseconds &pause);
    // How often a request turned down as too early is asked for in all.
    static constexpr int maxTries = 8;

    // The server's root DSE says it is an Active Directory domain controller (or Samba's).
    bool activeDirectory() const { return m_activeDirectory; }

private:
    // What the server's root entry says it offers.
    struct Offers
    {
        bool startTls = false;
        bool gssapi = false;
    };
    enum class Upgrade {
        Done,    // the connection is encrypted
        Refused, // the server does not take StartTLS: the bind goes as it always did
        HungUp,  // the server took StartTLS, then hung up without a word
    };

    explicit LdapSession(FailureContext context);

    static form::Result<std::shared_ptr<LdapSession>> connect(const Query &query,
                                                              const LdapProviderOptions &options,
                                                              std::chrono::milliseconds timeout);
    form::Result<Offers> readOffers();
    // Upgrades the connection where the server takes StartTLS; listed: the root DSE lists it.
    form::Result<Upgrade> startTls(const LdapProviderOptions &options, bool listed);
    // Gives the handle its own TLS context, before its TLS handshake.
    form::Status prepareTls(const LdapProviderOptions &options);
    // The failure of a TLS handshake that returned rc, named as well as can be found out.
    form::Status handshakeFailure(int rc, bool startTls, std::uint64_t readBefore,
                                  const LdapProviderOptions &options);
    // A step the watchdog cut off (or whose wait ran out), in the time-out's words.
    form::Status timedOut(const QString &what) const;
    // Sends StartTLS; the value is the server's answer, the status any other failure.
    form::Result<form::Status> askStartTls();
    form::Status bindSimple(const Credentials &credentials);
    // Binds with SASL GSSAPI. The value is whether a ticket was used: false where none was at
    // hand, so that nothing went to the server and another bind may follow.
    form::Result<bool> bindKerberos();
    QString diagnostic() const;
    QByteArray uri() const;

    // Declared before the handle, which it must outlive.
    ConnectionWatch m_watch;
    LdapHandle m_ld;
    FailureContext m_context;
    QByteArray m_authorities; // PEM text of whom TLS trusts, read before the first handshake
    bool m_tlsFromStart = false;
    bool m_activeDirectory = false;
};

} // namespace orvane::directory::detail
