#include "ConnectionWatch.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::directory::detail {

namespace {

// libldap's own time-outs (ldap_result's, the connect's) end the step a little before the
// watchdog does, so a server that is merely slow ends as it always did, with the operation
// abandoned on a connection that still works.
constexpr std::chrono::milliseconds grace(50);

int setupCounting(Sockbuf_IO_Desc *sbiod, void *arg)
{
    sbiod->sbiod_pvt = arg;
    return 0;
}

int removeCounting(Sockbuf_IO_Desc *)
{
    return 0;
}

int controlCounting(Sockbuf_IO_Desc *sbiod, int opt, void *arg)
{
    return LBER_SBIOD_CTRL_NEXT(sbiod, opt, arg);
}

ber_slen_t writeCounting(Sockbuf_IO_Desc *sbiod, void *buf, ber_len_t len)
{
    return LBER_SBIOD_WRITE_NEXT(sbiod, buf, len);
}

} // namespace

ber_slen_t ConnectionWatch::countingRead(Sockbuf_IO_Desc *sbiod, void *buf, ber_len_t len)
{
    const ber_slen_t read = LBER_SBIOD_READ_NEXT(sbiod, buf, len);
    if (read > 0)
        static_cast<ConnectionWatch *>(sbiod->sbiod_pvt)->m_bytesRead += std::uint64_t(read);
    return read;
}

ConnectionWatch::ConnectionWatch()
{
    m_callbacks.lc_add = &ConnectionWatch::onConnect;
    m_callbacks.lc_del = &ConnectionWatch::onClose;
    m_callbacks.lc_arg = this;
}

ConnectionWatch::~ConnectionWatch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_watchdog.joinable())
        m_watchdog.join();
    if (m_socket >= 0)
        ::close(m_socket);
}

void ConnectionWatch::attach(LDAP *ld)
{
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &m_callbacks);
}

// Called by libldap once the TCP connection stands, before any TLS.
int ConnectionWatch::onConnect(LDAP *, Sockbuf *sb, LDAPURLDesc *, struct sockaddr *,
                               struct ldap_conncb *ctx)
{
    auto *watch = static_cast<ConnectionWatch *>(ctx->lc_arg);
    ber_socket_t fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    if (fd >= 0) {
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        const std::lock_guard lock(watch->m_mutex);
        if (watch->m_socket >= 0)
            ::close(watch->m_socket);
        watch->m_socket = copy;
    }
    // Above the socket, below TLS: what it counts is what the server sent. libldap adds its
    // socket layer after this callback, at the provider level; one level up keeps this above
    // it.
    static Sockbuf_IO counting
            = {setupCounting, removeCounting, controlCounting, &ConnectionWatch::countingRead,
               writeCounting, nullptr};
    ber_sockbuf_add_io(sb, &counting, LBER_SBIOD_LEVEL_PROVIDER + 1, watch);
    return LDAP_SUCCESS;
}

void ConnectionWatch::onClose(LDAP *, Sockbuf *, struct ldap_conncb *) {}

ConnectionWatch::Step ConnectionWatch::watch(const std::optional<Clock::time_point> &deadline)
{
    if (!deadline)
        return Step(nullptr);
    {
        const std::lock_guard lock(m_mutex);
        m_deadline = *deadline + grace;
        if (!m_watchdog.joinable())
            m_watchdog = std::thread(&ConnectionWatch::runWatchdog, this);
    }
    m_changed.notify_all();
    return Step(this);
}

void ConnectionWatch::stopWatching()
{
    // The watchdog wakes at the old deadline, finds none and sleeps on.
    const std::lock_guard lock(m_mutex);
    m_deadline.reset();
}

void ConnectionWatch::runWatchdog()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_deadline) {
            m_changed.wait(lock);
            continue;
        }
        if (Clock::now() < *m_deadline) {
            m_changed.wait_until(lock, *m_deadline);
            continue;
        }
        // Whatever libldap is blocked in (a read, a poll, a handshake) returns with an error.
        if (m_socket >= 0)
            ::shutdown(m_socket, SHUT_RDWR);
        m_cutOff = true;
        m_deadline.reset();
    }
}

} // namespace orvane::directory::detail
