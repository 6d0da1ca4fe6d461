#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvane::test {

// A throwaway CA and a server certificate it signed for localhost and 127.0.0.1, plus a second
// CA that signed nothing (to hand in as the wrong trust anchor). Made with the openssl tool, for
// the SMTP servers and the private slapd alike.
class TestCertificates
{
public:
    // Empty on success, else what went wrong.
    QString create();

    QString caFile() const { return m_dir.filePath("ca.pem"); }
    QString otherCaFile() const { return m_dir.filePath("other-ca.pem"); }
    QString serverCert() const { return m_dir.filePath("server.pem"); }
    QString serverKey() const { return m_dir.filePath("server.key"); }

private:
    QString openssl(const QStringList &arguments);

    QTemporaryDir m_dir;
};

} // namespace orvane::test
