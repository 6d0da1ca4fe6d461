#pragma once

#include "support/ScriptServer.h"

#include <QByteArray>
#include <QString>

namespace orvane::test {

// held_smtp.py: an SMTP server that answers each message only when the test releases it. The
// files it shares with the test are the synchronisation points. It stops by itself after a
// minute.
class HeldSmtpServer : public ScriptServer
{
public:
    // Empty once it listens, else why it does not.
    QString start();

    // Whether message n (from 1) has arrived whole and waits for its answer.
    bool holding(int n) const;
    // Lets the server answer message n: with reply, or with 250 when reply is empty.
    void release(int n, const QByteArray &reply = {});
    // Messages that arrived whole.
    int messages() const;
};

} // namespace orvane::test
