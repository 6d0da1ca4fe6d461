#pragma once

#include "directory/detail/LdapHandles.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace orvane::directory::detail {

// Watches the socket under one libldap connection. libldap bounds some waits itself (the TCP
// connect, ldap_result) but not all: a TLS handshake with a server that never answers, or a
// message that arrives half, can block for good. While a step is watched, a watchdog thread
// shuts the socket down once the step's deadline has passed, so that libldap's blocked call
// fails at once and the caller can report a time-out. The watch also counts the bytes the
// server has sent, so that a failed TLS handshake can be told apart from a server that hung up
// without a word.
//
// Attach it to a handle before the handle connects; it must outlive the handle.
class ConnectionWatch
{
public:
    using Clock = std::chrono::steady_clock;

    ConnectionWatch();
    ~ConnectionWatch();

    ConnectionWatch(const ConnectionWatch &) = delete;
    ConnectionWatch &operator=(const ConnectionWatch &) = delete;

    // Registers the watch for the connections the handle makes.
    void attach(LDAP *ld);

    // Watches the steps run while it lives; no deadline watches nothing.
    class [[nodiscard]] Step
    {
    public:
        explicit Step(ConnectionWatch *watch)
            : m_watch(watch)
        {}
        ~Step()
        {
            if (m_watch)
                m_watch->stopWatching();
        }
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

    private:
        ConnectionWatch *m_watch;
    };
    Step watch(const std::optional<Clock::time_point> &deadline);

    // The watchdog has cut the connection off: every later call on it fails.
    bool cutOff() const { return m_cutOff.load(); }
    // Bytes read from the server so far.
    std::uint64_t bytesRead() const { return m_bytesRead.load(); }

private:
    static int onConnect(LDAP *ld, Sockbuf *sb, LDAPURLDesc *srv, struct sockaddr *addr,
                         struct ldap_conncb *ctx);
    static void onClose(LDAP *ld, Sockbuf *sb, struct ldap_conncb *ctx);
    static ber_slen_t countingRead(Sockbuf_IO_Desc *sbiod, void *buf, ber_len_t len);

    void stopWatching();
    void runWatchdog();

    ldap_conncb m_callbacks{};
    std::atomic<std::uint64_t> m_bytesRead{0};
    std::atomic<bool> m_cutOff{false};

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Clock::time_point> m_deadline; // of the step being watched
    int m_socket = -1; // a duplicate of libldap's, so it can never name another file
    bool m_stopping = false;
    std::thread m_watchdog;
};

} // namespace orvane::directory::detail
