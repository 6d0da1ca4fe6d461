#include "DovecotSubmission.h"

#include "support/Loopback.h"
#include "support/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace orvane::test {

namespace {

const QString dovecotPath = QStringLiteral("/usr/sbin/dovecot");
const QString doveconfPath = QStringLiteral("/usr/bin/doveconf");
const QString submissionPath = QStringLiteral("/usr/lib/dovecot/submission");
// coreutils: Dovecot has no lifetime of its own, and a test that is killed hard leaves it.
const QString timeoutPath = QStringLiteral("/usr/bin/timeout");

// The whole configuration: nothing from /etc/dovecot is read.
// - 127.0.0.1 counts as secured, so plain AUTH is allowed without TLS.
// - auth_failure_delay and the anvil penalty off: otherwise every refusal holds the next login
//   from 127.0.0.1 back by 2 to 15 s, long enough for a short-lived token to expire meanwhile.
// - mail_location is never used (nothing is stored), but the submission service wants one.
// - The sink offers no AUTH, or Dovecot's relay would add AUTH= to MAIL FROM.
constexpr char configTemplate[] = R"(base_dir = @DIR@/run
state_dir = @DIR@/state
instance_name = @INSTANCE@
log_path = @DIR@/dovecot.log
auth_verbose = yes
protocols = submission
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
hostname = orvane-test-submission
mail_location = maildir:@DIR@/mail/%u
auth_mechanisms = @MECHANISMS@
auth_failure_delay = 0
submission_relay_host = 127.0.0.1
submission_relay_port = @RELAY_PORT@
passdb {
  driver = oauth2
  mechanisms = @MECHANISMS@
  args = @DIR@/oauth2.conf
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup
}
service submission-login {
  inet_listener submission {
    port = @PORT@
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    port = 0
  }
  inet_listener pop3s {
    port = 0
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
)";

// The token check (RFC 7662 introspection). The user name comes from the answer's "email",
// which must equal the SASL user (XOAUTH2 user=, OAUTHBEARER a=); a token without the scope, or
// not active, is refused.
constexpr char oauth2Template[] = R"(introspection_mode = post
introspection_url = @URL@
username_attribute = email
active_attribute = active
active_value = true
scope = smtp.send
timeout_msecs = 5000
)";

bool writeFile(const QString &path, const QString &content)
{
    QFile file(path);
    const QByteArray bytes = content.toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

DovecotSubmission::~DovecotSubmission()
{
    stop();
}

QString DovecotSubmission::missingPrerequisite()
{
    if (!QFileInfo(dovecotPath).isExecutable() || !QFileInfo(doveconfPath).isExecutable())
        return QStringLiteral("%1 is not installed (Debian package dovecot-core)").arg(dovecotPath);
    if (!QFileInfo(submissionPath).isExecutable())
        return QStringLiteral("Dovecot's submission service %1 is not installed (Debian package "
                              "dovecot-submissiond)")
                .arg(submissionPath);
    if (!QFileInfo(timeoutPath).isExecutable())
        return QStringLiteral("%1 is missing (Debian package coreutils)").arg(timeoutPath);
    // Its master process starts the login and auth processes as its own users.
    if (::geteuid() != 0)
        return QStringLiteral("Dovecot runs only as root: run the OAuth tests as root, as CI does");
    return {};
}

QString DovecotSubmission::start(const Config &config)
{
    if (QString missing = missingPrerequisite(); !missing.isEmpty())
        return missing;
    m_folder = config.folder;
    if (QString error = writeConfig(config); !error.isEmpty())
        return error;
    if (QString error = testConfig(); !error.isEmpty())
        return error;
    if (QString error = launch(config); !error.isEmpty())
        return error;
    return probe();
}

void DovecotSubmission::stop()
{
    if (m_dovecot)
        stopProcess(*m_dovecot);
}

QString DovecotSubmission::writeConfig(const Config &config)
{
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("cannot make %1").arg(m_folder);
    m_port = freePort();
    const QString oauth2
            = QString::fromLatin1(oauth2Template).replace("@URL@", config.introspectionUrl);
    const QString main = QString::fromLatin1(configTemplate)
                                 .replace("@DIR@", m_folder)
                                 .replace("@INSTANCE@", config.instanceName)
                                 .replace("@MECHANISMS@", config.mechanisms)
                                 .replace("@RELAY_PORT@", QString::number(config.relayPort))
                                 .replace("@PORT@", QString::number(m_port));
    if (!writeFile(path("oauth2.conf"), oauth2) || !writeFile(path("dovecot.conf"), main))
        return QStringLiteral("cannot write the Dovecot configuration in %1").arg(m_folder);
    return {};
}

QString DovecotSubmission::testConfig()
{
    QProcess doveconf;
    doveconf.setProcessChannelMode(QProcess::MergedChannels);
    doveconf.start(doveconfPath, {"-c", path("dovecot.conf"), "-n"});
    if (!doveconf.waitForFinished(20000) || doveconf.exitStatus() != QProcess::NormalExit
        || doveconf.exitCode() != 0)
        return QStringLiteral("doveconf refused %1: %2")
                .arg(path("dovecot.conf"), QString::fromLocal8Bit(doveconf.readAll().right(2000)));
    return {};
}

QString DovecotSubmission::launch(const Config &config)
{
    m_dovecot = std::make_unique<QProcess>();
    m_dovecot->setProcessChannelMode(QProcess::MergedChannels);
    m_dovecot->setStandardOutputFile(path("dovecot.out"));
    // timeout runs Dovecot in a process group of its own and passes a SIGTERM on to all of it,
    // so the master's children go with it, whether the test stops it or dies.
    m_dovecot->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_dovecot->start(timeoutPath, {"--kill-after=5", QString::number(config.lifetimeSeconds),
                                   dovecotPath, "-F", "-c", path("dovecot.conf")});
    if (!m_dovecot->waitForStarted(10000))
        return QStringLiteral("dovecot did not start: %1").arg(m_dovecot->errorString());
    return {};
}

QString DovecotSubmission::probe()
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_dovecot->state() == QProcess::NotRunning)
            return QStringLiteral("dovecot exited before opening port %1: %2")
                    .arg(m_port)
                    .arg(logTail());
        if (acceptsConnections(m_port))
            return {};
        QThread::msleep(20);
    }
    return QStringLiteral("dovecot did not open port %1 within 10 s: %2")
            .arg(m_port)
            .arg(logTail());
}

QString DovecotSubmission::log() const
{
    QFile file(path("dovecot.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString DovecotSubmission::logTail() const
{
    QString text = log();
    QFile out(path("dovecot.out"));
    if (out.open(QIODevice::ReadOnly))
        text += QString::fromLocal8Bit(out.readAll());
    return text.isEmpty() ? QStringLiteral("(no log)") : text.right(2000);
}

QString DovecotSubmission::path(const QString &name) const
{
    return m_folder + u'/' + name;
}

} // namespace orvane::test
