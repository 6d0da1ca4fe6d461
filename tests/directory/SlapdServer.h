#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace orvane::test {

// A private slapd for integration tests: a temporary folder, its own TLS certificates (a CA
// made with the openssl CLI, server certificate for localhost and 127.0.0.1), a slapd.conf
// written here, data loaded with slapadd before start, listeners on free ports of 127.0.0.1
// only (plain and ldaps), a readiness probe, and a stop by PID. Never the system instance.
class SlapdServer
{
public:
    struct Database
    {
        QString suffix;
        QString ldif;         // loaded with slapadd -q
        QStringList overlays; // e.g. "sssvlv"
        QStringList config;   // further lines for this database, e.g. "require strong"
    };

    ~SlapdServer();

    // False with a reason when slapd or a tool is missing or the server does not come up.
    bool start(const std::vector<Database> &databases, const QStringList &globalConfig);
    void stop();

    const QString &error() const { return m_error; }
    int plainPort() const { return m_plainPort; }
    int tlsPort() const { return m_tlsPort; }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }

    // A port on 127.0.0.1 that was free a moment ago (nothing listens on it).
    static int freePort();

private:
    bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {});
    bool makeCertificates();
    bool waitUntilListening(int port);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_slapd;
    int m_plainPort = 0;
    int m_tlsPort = 0;
    QString m_error;
};

} // namespace orvane::test
