#pragma once

#include <QProcess>

namespace orvane::test {

// Stops a server a test started, by its PID: SIGTERM, and SIGKILL if it has not ended within
// five seconds. Never by name, so nothing else on the machine is touched.
inline void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate(); // SIGTERM to the process's own PID
    if (!process.waitForFinished(5000)) {
        process.kill(); // SIGKILL to the same PID
        process.waitForFinished(5000);
    }
}

} // namespace orvane::test
