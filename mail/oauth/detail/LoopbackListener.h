#pragma once

#include "form/Status.h"
#include "mail/oauth/detail/ProviderFailure.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>

namespace orvane::mail::oauth::detail {

// Catches the browser's redirect at the end of a sign-in (RFC 8252 section 7.3): a socket on
// 127.0.0.1 alone, on a port the system picks, that takes one request and closes, so nothing
// else on the machine can hand it a second answer. The redirect must carry this sign-in's
// `state` (RFC 6749 section 10.12) before its code or its error is believed.
class LoopbackListener
{
public:
    using Clock = std::chrono::steady_clock;

    explicit LoopbackListener(const ProviderFailure &failure);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    form::Status listen();
    int port() const { return m_port; }
    // http://127.0.0.1:<port>/, the form a native client registers (RFC 8252 section 7.3).
    QString redirectUri() const;

    // Waits for the one request until `deadline` or until `cancelled` is set, answers the
    // browser with a page, and returns the authorization code. `limit` is how long the user
    // was given, for the text of a time-out.
    form::Result<QByteArray> waitForCode(const QByteArray &state, Clock::time_point deadline,
                                         std::chrono::milliseconds limit,
                                         const std::atomic<bool> &cancelled);

    // A request larger than this is no redirect of ours: a code and a state are far shorter.
    static constexpr int requestLimit = 8 * 1024;

private:
    void closeListener();

    const ProviderFailure &m_failure;
    int m_listener = -1;
    int m_port = 0;
};

} // namespace orvane::mail::oauth::detail
