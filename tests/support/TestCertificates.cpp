#include "TestCertificates.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace orvane::test {

namespace {

// A CA that says it is one: GnuTLS, libldap's TLS library, wants both extensions on an anchor.
QStringList selfSignedCa(const QString &name, const QString &subject)
{
    return {"req",
            "-x509",
            "-newkey",
            "ec",
            "-pkeyopt",
            "ec_paramgen_curve:prime256v1",
            "-nodes",
            "-keyout",
            name + ".key",
            "-out",
            name + ".pem",
            "-days",
            "2",
            "-subj",
            subject,
            "-addext",
            "basicConstraints=critical,CA:TRUE",
            "-addext",
            "keyUsage=critical,keyCertSign,cRLSign"};
}

} // namespace

QString TestCertificates::openssl(const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable("openssl");
    if (program.isEmpty())
        return QStringLiteral("the openssl tool is not installed (Debian package openssl)");
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("openssl %1 failed: %2")
                .arg(arguments.join(' '), QString::fromLocal8Bit(process.readAllStandardError()));
    return {};
}

QString TestCertificates::create()
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory");
    QFile extensions(m_dir.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly))
        return extensions.errorString();
    extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                     "basicConstraints=CA:FALSE\n"
                     "extendedKeyUsage=serverAuth\n");
    extensions.close();

    const QList<QStringList> steps = {
            selfSignedCa("ca", "/CN=orvane test CA"),
            selfSignedCa("other-ca", "/CN=orvane other CA"),
            {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"},
            {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
             "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext"},
    };
    for (const QStringList &step : steps)
        if (QString error = openssl(step); !error.isEmpty())
            return error;
    return {};
}

} // namespace orvane::test
