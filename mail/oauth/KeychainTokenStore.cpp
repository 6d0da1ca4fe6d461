#include "KeychainTokenStore.h"

#include <QCoreApplication>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <future>
#include <memory>

namespace orvane::mail::oauth {

using form::Status;
using form::StatusKind;

namespace {

// The one thread every keychain job of the process runs on. QtKeychain's JobExecutor is a
// process-wide QObject created by the first job and serialises the jobs by a "finished"
// connection to itself: were jobs started on changing threads, that connection would be queued
// to a thread that has ended (or is busy waiting) and every later job would wait forever.
// Stopped when the application object goes, before Qt's own clean-up.
class KeychainThread
{
public:
    // Null without an application object (no event loop can run then) or after it has gone.
    static KeychainThread *instance()
    {
        const std::lock_guard lock(s_mutex);
        if (!s_instance && QCoreApplication::instance() && !s_stopped) {
            s_instance = new KeychainThread;
            qAddPostRoutine(stop);
        }
        return s_instance;
    }

    void post(std::function<void()> work)
    {
        QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
    }

private:
    KeychainThread()
    {
        m_thread.setObjectName(QStringLiteral("orvane keychain"));
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
        m_thread.start();
    }

    static void stop()
    {
        const std::lock_guard lock(s_mutex);
        if (!s_instance)
            return;
        s_instance->m_thread.quit();
        // A job still waiting for the Secret Service holds no lock the loop needs: the quit
        // is seen at once.
        s_instance->m_thread.wait();
        delete s_instance;
        s_instance = nullptr;
        s_stopped = true;
    }

    QThread m_thread;
    QObject *m_context = nullptr;
    static inline std::mutex s_mutex;
    static inline KeychainThread *s_instance = nullptr;
    static inline bool s_stopped = false;
};

} // namespace

struct KeychainTokenStore::Outcome
{
    bool finished = false; // false: no answer within the bound, or no thread to ask on
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QByteArray data;
};

KeychainTokenStore::KeychainTokenStore(std::chrono::milliseconds bound)
    : m_bound(bound)
{
    // Started here, on the thread that makes the sign-in (the user-interface thread), so that
    // it is ready before the first Send and is stopped with the application.
    KeychainThread::instance();
}

QString KeychainTokenStore::serviceName()
{
    return QStringLiteral("orvane");
}

KeychainTokenStore::Outcome KeychainTokenStore::perform(const MakeJob &make)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_stuck.isEmpty())
            return {};
    }
    KeychainThread *thread = KeychainThread::instance();
    if (!thread)
        return {};
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> answer = promise->get_future();
    thread->post([make, promise] {
        QKeychain::Job *job = make();
        // The job deletes itself once finished, also when the caller gave up on it long ago:
        // QtKeychain's libsecret callback holds a raw pointer to it, so it must outlive the wait.
        job->setAutoDelete(true);
        QObject::connect(job, &QKeychain::Job::finished, job, [promise](QKeychain::Job *done) {
            Outcome outcome;
            outcome.finished = true;
            outcome.error = done->error();
            outcome.errorText = done->errorString();
            if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(done))
                outcome.data = reading->binaryData();
            promise->set_value(std::move(outcome));
        });
        job->start();
    });
    if (answer.wait_for(m_bound) != std::future_status::ready)
        return {};
    return answer.get();
}

Status KeychainTokenStore::unusable(const QString &why)
{
    const std::lock_guard lock(m_mutex);
    if (m_stuck.isEmpty())
        m_stuck = why;
    return Status::failure(StatusKind::Internal, 0, m_stuck);
}

namespace {

QString noAnswer(std::chrono::milliseconds bound)
{
    if (!QCoreApplication::instance())
        return QStringLiteral("The desktop's secret store cannot be used without a running "
                              "application.");
    return QStringLiteral("The desktop's secret store did not answer within %1 seconds.")
            .arg(double(bound.count()) / 1000.0);
}

QString refused(const QString &what)
{
    return QStringLiteral("The desktop's secret store cannot be used: %1").arg(what);
}

} // namespace

form::Result<std::optional<QByteArray>> KeychainTokenStore::read(const QString &key)
{
    const Outcome outcome = perform([key] {
        auto *job = new QKeychain::ReadPasswordJob(serviceName());
        job->setKey(key);
        return job;
    });
    if (!outcome.finished)
        return unusable(noAnswer(m_bound));
    if (outcome.error == QKeychain::EntryNotFound)
        return {Status::success(), std::nullopt};
    if (outcome.error != QKeychain::NoError)
        return Status::failure(StatusKind::Internal, outcome.error, refused(outcome.errorText));
    return {Status::success(), outcome.data};
}

Status KeychainTokenStore::write(const QString &key, const QByteArray &value)
{
    const Outcome outcome = perform([key, value] {
        auto *job = new QKeychain::WritePasswordJob(serviceName());
        job->setKey(key);
        // Refresh tokens are printable ASCII (RFC 6749 appendix A.17): kept as text, they are
        // found by the first look-up, where binary data needs a second.
        job->setTextData(QString::fromUtf8(value));
        return job;
    });
    if (!outcome.finished)
        return unusable(noAnswer(m_bound));
    if (outcome.error != QKeychain::NoError)
        return Status::failure(StatusKind::Internal, outcome.error, refused(outcome.errorText));
    return Status::success();
}

Status KeychainTokenStore::remove(const QString &key)
{
    const Outcome outcome = perform([key] {
        auto *job = new QKeychain::DeletePasswordJob(serviceName());
        job->setKey(key);
        return job;
    });
    if (!outcome.finished)
        return unusable(noAnswer(m_bound));
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        return Status::failure(StatusKind::Internal, outcome.error, refused(outcome.errorText));
    return Status::success();
}

} // namespace orvane::mail::oauth
