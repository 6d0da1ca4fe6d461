#include "SmtpTransport.h"

#include "mail/Redaction.h"
#include "mail/detail/CurlHandles.h"
#include "mail/detail/SmtpDialogue.h"
#include "mail/detail/SmtpFailure.h"

#include <QSysInfo>

#include <cctype>
#include <chrono>
#include <curl/curl.h>
#include <mutex>

namespace orvane::mail {

using form::Status;
using form::StatusKind;

namespace {

using detail::SmtpDialogue;
using Clock = std::chrono::steady_clock;

// State the libcurl callbacks share with send().
struct Transfer
{
    MimeStream *message = nullptr;
    SmtpDialogue dialogue;
    SmtpTransport::Progress progress;
    bool mustAuthenticate = false;
    bool stoppedNoLogin = false;
    bool stoppedByProgress = false;
    bool readFailed = false;
    qint64 bytesRead = 0;
    bool readToEnd = false;
    Clock::time_point lastTraffic; // the last byte either way; none yet: the clock's epoch
};

size_t readMessage(char *buffer, size_t size, size_t count, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    const qint64 n = transfer->message->read(buffer, qint64(size) * qint64(count));
    if (n < 0) {
        transfer->readFailed = true;
        return CURL_READFUNC_ABORT;
    }
    // libcurl stops asking once it has the announced size, so the count tells, not a 0.
    transfer->bytesRead += n;
    if (n == 0 || transfer->bytesRead == transfer->message->size())
        transfer->readToEnd = true;
    return size_t(n);
}

int followDialogue(CURL *, curl_infotype type, char *data, size_t size, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    // Every type but libcurl's own remarks is bytes on the wire: commands, replies, the
    // message, and with TLS each record, so a reply that stops halfway still counts.
    if (type != CURLINFO_TEXT)
        transfer->lastTraffic = Clock::now();
    if (type == CURLINFO_HEADER_IN)
        transfer->dialogue.replyReceived(QByteArray(data, qsizetype(size)));
    else if (type == CURLINFO_HEADER_OUT)
        transfer->dialogue.commandSent(QByteArray(data, qsizetype(size)));
    return 0;
}

// Runs once the connection is up (greeting, EHLO, TLS and login done) and before MAIL FROM.
// libcurl goes on without a login when the server offers none; we would rather not send.
int beforeMailFrom(void *userdata, char *, char *, int, int)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    if (transfer->mustAuthenticate && !transfer->dialogue.authenticated()) {
        transfer->stoppedNoLogin = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

int reportProgress(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    if (transfer->progress && !transfer->progress(uploaded, transfer->message->size())) {
        transfer->stoppedByProgress = true;
        return 1;
    }
    return 0;
}

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long wholeSeconds(std::chrono::milliseconds duration)
{
    return std::max<long>(1, long((duration.count() + 999) / 1000));
}

// One send. The strings, the recipient list and the error buffer libcurl points at live here
// beside the easy handle and are declared before it, so the handle, destroyed first, never
// points at freed memory.
class Submission
{
public:
    Submission(const SmtpRequest &request, const TransportOptions &options, MimeStream &message,
               const SmtpTransport::Progress &progress);
    Submission(const Submission &) = delete;
    Submission &operator=(const Submission &) = delete;

    Status run();
    // The server's answer to the message, after a successful run().
    const QString &acceptedReply() const { return m_transfer.dialogue.lastReply(); }

private:
    bool appendRecipients();
    void setConnectionOptions(CURL *h);
    void setEnvelopeOptions(CURL *h);
    void setCallbacks(CURL *h);
    detail::FailureContext failureContext(CURLcode rc) const;
    Status describeFailure(CURLcode rc);

    const SmtpRequest &m_request;
    const TransportOptions &m_options;
    MimeStream &m_message;
    bool m_implicitTls;
    QByteArray m_url;
    QByteArray m_mailFrom;
    QByteArray m_user;
    QByteArray m_password;
    QByteArray m_bearer;
    QByteArray m_caFile;
    detail::CurlSlist m_recipients;
    Transfer m_transfer;
    Clock::time_point m_started;
    Clock::time_point m_ended;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    detail::CurlEasy m_curl; // last, so destroyed first
};

Submission::Submission(const SmtpRequest &request, const TransportOptions &options,
                       MimeStream &message, const SmtpTransport::Progress &progress)
    : m_request(request)
    , m_options(options)
    , m_message(message)
    , m_implicitTls(request.useTls && options.tlsStart(request.port) == TlsStart::Implicit)
    , m_mailFrom('<' + request.mailFrom + '>')
    , m_user(request.user.toUtf8())
    , m_password(request.password.toUtf8())
    , m_bearer(request.bearer)
    , m_caFile(options.caFile.toLocal8Bit())
{
    const QString host = request.host.contains(u':') ? u'[' + request.host + u']' : request.host;
    m_url = (m_implicitTls ? "smtps://" : "smtp://") + host.toUtf8() + ':'
            + QByteArray::number(request.port) + '/' + SmtpTransport::clientName();
    m_transfer.message = &message;
    m_transfer.progress = progress;
    m_transfer.mustAuthenticate = request.authenticate;
}

Status Submission::run()
{
    m_curl.reset(curl_easy_init());
    if (!m_curl)
        return Status::failure(StatusKind::Internal, CURLE_FAILED_INIT,
                               QStringLiteral("The mail library could not be started."));
    if (!appendRecipients())
        return Status::failure(StatusKind::Internal, CURLE_OUT_OF_MEMORY,
                               QStringLiteral("Out of memory."));
    CURL *h = m_curl.get();
    setConnectionOptions(h);
    setEnvelopeOptions(h);
    setCallbacks(h);
    m_started = Clock::now();
    const CURLcode rc = curl_easy_perform(h);
    m_ended = Clock::now();
    if (rc == CURLE_OK)
        return Status::success();
    return describeFailure(rc);
}

bool Submission::appendRecipients()
{
    for (const QByteArray &rcpt : m_request.rcptTo) {
        curl_slist *appended
                = curl_slist_append(m_recipients.get(), ('<' + rcpt + '>').constData());
        if (!appended)
            return false;
        // The list keeps its head; taking it back over is all the hand-off needs.
        static_cast<void>(m_recipients.release());
        m_recipients.reset(appended);
    }
    return true;
}

void Submission::setConnectionOptions(CURL *h)
{
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, m_url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // TLS is never optional once asked for: CURLUSESSL_TRY would fall back to plaintext.
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(m_request.useTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_caFile.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, m_caFile.constData());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    if (m_request.authenticate && !m_bearer.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, m_user.constData());
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, m_bearer.constData());
        // Only the two bearer mechanisms: with a user name and no password libcurl would
        // otherwise try PLAIN with an empty password where the server offers neither.
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=OAUTHBEARER;AUTH=XOAUTH2");
    } else if (m_request.authenticate) {
        curl_easy_setopt(h, CURLOPT_USERNAME, m_user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.constData());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(m_options.stallTimeout));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, wholeSeconds(m_options.stallTimeout));
}

void Submission::setEnvelopeOptions(CURL *h)
{
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, m_mailFrom.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, m_recipients.get());
    // One refused recipient fails the whole send before DATA.
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &m_transfer);
    // Announced with SIZE in MAIL FROM (RFC 1870), so a server refuses before the upload.
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_message.size()));
}

void Submission::setCallbacks(CURL *h)
{
    // The debug stream is how we see the server's replies; it never reaches stderr.
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, followDialogue);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &m_transfer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, beforeMailFrom);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &m_transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &m_transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
}

detail::FailureContext Submission::failureContext(CURLcode rc) const
{
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    curl_off_t connectTime = 0; // microseconds from the start
    curl_easy_getinfo(m_curl.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
    detail::FailureContext context;
    context.curlCode = rc;
    context.errorText
            = QString::fromUtf8(m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(rc));
    context.host = m_request.host;
    context.port = m_request.port;
    context.implicitTls = m_implicitTls;
    context.startTls = m_request.useTls && !m_implicitTls;
    context.connected = connectTime > 0 || m_transfer.dialogue.greeted();
    context.messageSize = m_message.size();
    context.wholeMessageRead = m_transfer.readToEnd;
    context.elapsed = duration_cast<milliseconds>(m_ended - m_started);
    // Our start comes a little before libcurl's, so the connection came up no later than this.
    const Clock::time_point connectedAt = m_started + std::chrono::microseconds(connectTime);
    context.idle = context.connected ? duration_cast<milliseconds>(
                           m_ended - std::max(connectedAt, m_transfer.lastTraffic))
                                     : context.elapsed;
    context.dialogue = &m_transfer.dialogue;
    context.bearer = !m_bearer.isEmpty();
    return context;
}

Status Submission::describeFailure(CURLcode rc)
{
    const Status &read = m_message.status();
    Status status;
    if (m_transfer.readFailed)
        // The abort keeps libcurl from sending the final dot, so the server drops what it got.
        status = Status::failure(read.kind, read.nativeCode,
                                 read.description + QStringLiteral(" The message was not sent."));
    else if (m_transfer.stoppedNoLogin)
        status = detail::describeNoLoginOffered(failureContext(rc));
    else if (m_transfer.stoppedByProgress)
        status = Status::failure(StatusKind::Aborted, rc,
                                 QStringLiteral("Sending was stopped; the message was not "
                                                "sent."));
    else
        status = detail::describeSmtpFailure(failureContext(rc));
    redact(status, m_request.password);
    redactEncoded(status, '\0' + m_user + '\0' + m_password);
    redact(status, QString::fromLatin1(m_bearer));
    return status;
}

} // namespace

SmtpTransport::SmtpTransport(TransportOptions options)
    : m_options(std::move(options))
{}

QByteArray SmtpTransport::clientName()
{
    const QByteArray name = QSysInfo::machineHostName().toLatin1();
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.'))
            return "localhost";
    return name.isEmpty() ? QByteArray("localhost") : name;
}

Status SmtpTransport::send(const SmtpRequest &request, MimeStream &message)
{
    initialiseCurl();
    if (Status s = message.open(); !s.ok())
        return s;
    Submission submission(request, m_options, message, m_progress);
    Status status = submission.run();
    m_acceptedReply = status.ok() ? submission.acceptedReply() : QString();
    return status;
}

} // namespace orvane::mail
