#include "LoopbackListener.h"

#include <QUrlQuery>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::mail::oauth::detail {

using form::Status;
using form::StatusKind;

namespace {

// How often a wait looks at the cancel flag and the deadline: short enough that Cancel acts
// at once for the user.
constexpr int sliceMs = 100;

// The accepted connection, closed on every way out.
class Connection
{
public:
    explicit Connection(int fd)
        : m_fd(fd)
    {}
    ~Connection()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

enum class Wait { Ready, Cancelled, TimedOut, Failed };

Wait waitReadable(int fd, LoopbackListener::Clock::time_point deadline,
                  const std::atomic<bool> &cancelled)
{
    for (;;) {
        if (cancelled.load())
            return Wait::Cancelled;
        if (LoopbackListener::Clock::now() >= deadline)
            return Wait::TimedOut;
        pollfd watched{fd, POLLIN, 0};
        const int n = ::poll(&watched, 1, sliceMs);
        if (n > 0)
            return Wait::Ready;
        if (n < 0 && errno != EINTR)
            return Wait::Failed;
    }
}

void answer(int fd, int code, const QString &sentence)
{
    const QByteArray page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>orvane"
                            "</title></head>\n<body><p>"
                            + sentence.toHtmlEscaped().toUtf8() + "</p></body></html>\n";
    const QByteArray response = "HTTP/1.1 " + QByteArray::number(code)
                                + (code == 200 ? " OK" : " Bad Request")
                                + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                                + QByteArray::number(page.size())
                                + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page;
    // Best effort: the sign-in's outcome does not depend on the browser reading the page.
    qsizetype sent = 0;
    while (sent < response.size()) {
        const ssize_t n = ::send(fd, response.constData() + sent, size_t(response.size() - sent),
                                 MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::shutdown(fd, SHUT_WR);
}

const QString closeTab = QStringLiteral("You can close this tab and return to orvane.");

// The one value of a parameter; none when it is missing or repeated (RFC 6749 section 3.1:
// parameters must not be included more than once).
std::optional<QString> single(const QUrlQuery &query, const char *name)
{
    const QStringList values
            = query.allQueryItemValues(QString::fromLatin1(name), QUrl::FullyDecoded);
    if (values.size() != 1)
        return std::nullopt;
    return values.first();
}

} // namespace

LoopbackListener::LoopbackListener(const ProviderFailure &failure)
    : m_failure(failure)
{}

LoopbackListener::~LoopbackListener()
{
    closeListener();
}

void LoopbackListener::closeListener()
{
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

Status LoopbackListener::listen()
{
    closeListener();
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(m_listener, 1) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        const int error = errno;
        closeListener();
        return Status::failure(StatusKind::Internal, error,
                               QStringLiteral("The sign-in could not listen on 127.0.0.1 for the "
                                              "browser's answer: %1. The message was not sent.")
                                       .arg(QString::fromLocal8Bit(std::strerror(error))));
    }
    m_port = ntohs(address.sin_port);
    return Status::success();
}

QString LoopbackListener::redirectUri() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

form::Result<QByteArray> LoopbackListener::waitForCode(const QByteArray &state,
                                                       Clock::time_point deadline,
                                                       std::chrono::milliseconds limit,
                                                       const std::atomic<bool> &cancelled)
{
    const auto stopped = [&](Wait wait) -> Status {
        if (wait == Wait::Cancelled)
            return m_failure.cancelled();
        if (wait == Wait::TimedOut)
            return m_failure.timedOut(limit);
        return m_failure.strayRequest(QStringLiteral("no request"));
    };
    if (m_listener < 0)
        return m_failure.strayRequest(QStringLiteral("no listener"));
    if (const Wait wait = waitReadable(m_listener, deadline, cancelled); wait != Wait::Ready)
        return stopped(wait);
    const Connection connection(::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC));
    // One request only: from here on a connection to the port is refused.
    closeListener();
    if (connection.fd() < 0)
        return stopped(Wait::Failed);

    QByteArray request;
    while (!request.contains("\r\n\r\n") && request.size() < requestLimit) {
        if (const Wait wait = waitReadable(connection.fd(), deadline, cancelled);
            wait != Wait::Ready)
            return stopped(wait);
        char buffer[2048];
        const ssize_t n = ::recv(connection.fd(), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, qsizetype(n));
    }
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    if (requestLine.size() != 3 || requestLine.first() != "GET" || !target.startsWith("/?")) {
        answer(connection.fd(), 400, QStringLiteral("This is not a sign-in answer. ") + closeTab);
        // Method and path only: a query might carry a code.
        return m_failure.strayRequest(QString::fromLatin1(
                (requestLine.first() + ' ' + target.left(target.indexOf('?'))).left(80)));
    }
    // A form-encoded '+' is a space (RFC 6749 appendix B); a literal one arrives as %2B.
    const QUrlQuery query(QString::fromLatin1(target.mid(2)).replace(u'+', QStringLiteral("%20")));
    if (single(query, "state") != QString::fromLatin1(state)) {
        answer(connection.fd(), 400,
               QStringLiteral("This answer did not come from orvane's sign-in, so it was not "
                              "used. ")
                       + closeTab);
        return m_failure.foreignRedirect();
    }
    if (const std::optional<QString> error = single(query, "error")) {
        const ProviderError refusal{*error, single(query, "error_description").value_or(QString())};
        answer(connection.fd(), 400,
               QStringLiteral("The sign-in did not succeed (%1). ").arg(refusal.error) + closeTab);
        return m_failure.refused(refusal);
    }
    const std::optional<QString> code = single(query, "code");
    if (!code || code->isEmpty()) {
        answer(connection.fd(), 400, QStringLiteral("The sign-in brought no code. ") + closeTab);
        return m_failure.redirectWithoutCode();
    }
    answer(connection.fd(), 200, closeTab);
    return {Status::success(), code->toUtf8()};
}

} // namespace orvane::mail::oauth::detail
