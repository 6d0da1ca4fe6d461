#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace orvane::test {

// held_smtp.py on 127.0.0.1, run with /usr/bin/python3: an SMTP server that answers each
// message only when the test releases it. The files it shares with the test are the
// synchronisation points. It stops by itself after a minute and is stopped by PID here.
class HeldSmtpServer
{
public:
    ~HeldSmtpServer();

    // Empty once it listens, else why it does not.
    QString start();
    int port() const { return m_port; }

    // Whether message n (from 1) has arrived whole and waits for its answer.
    bool holding(int n) const;
    // Lets the server answer message n: with reply, or with 250 when reply is empty.
    void release(int n, const QByteArray &reply = {});
    // Messages that arrived whole.
    int messages() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace orvane::test
