#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

// Whether a test server that cannot start must fail the tests instead of skipping them: on CI
// a missing server is a failure, never a silent skip.
inline bool serverRequired()
{
    return qgetenv("CI") == "true";
}

// The address of port on 127.0.0.1, where every test server listens.
inline sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Whether something accepts TCP connections on 127.0.0.1:port now.
inline bool acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool up
            = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return up;
}

} // namespace orvane::test
