#pragma once

#include "TestCertificates.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace orvane::test {

// A private slapd for integration tests, started in named steps: clean run folder, certificates
// (the test CA's server certificate for localhost and 127.0.0.1), config written from
// scripts/slapd/slapd.conf.in, config tested with slapd -Ttest, data loaded with slapadd, start
// on free ports of 127.0.0.1 only (plain and ldaps), probe both; a stop by PID. Never the
// system instance.
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
    QString caFile() const { return m_certificates.caFile(); }
    // What slapd logged so far: a line for each connection and operation it read, such as
    // 'BIND dn="cn=reader,..." method=128', so a test can tell what reached the server.
    QString logText() const;

private:
    bool findTools();
    bool cleanRunFolder();
    bool makeCertificates();
    bool writeConfig(const std::vector<Database> &databases, const QStringList &globalConfig);
    bool testConfig();
    bool loadData(const std::vector<Database> &databases);
    bool launch();
    bool probe(int port);

    bool run(const QString &program, const QStringList &arguments);
    bool fail(const QString &why);
    QString runPath(const QString &name) const;
    QString configPath() const { return runPath(QStringLiteral("slapd.conf")); }
    QString logTail() const;

    QTemporaryDir m_dir;
    TestCertificates m_certificates;
    std::unique_ptr<QProcess> m_slapd;
    int m_plainPort = 0;
    int m_tlsPort = 0;
    QString m_error;
};

} // namespace orvane::test
