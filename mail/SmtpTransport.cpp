#include "SmtpTransport.h"

#include "mail/Redaction.h"
#include "mail/detail/CurlHandles.h"
#include "mail/detail/SmtpDialogue.h"
#include "mail/detail/SmtpFailure.h"

#include <QSysInfo>

#include <cctype>
#include <curl/curl.h>
#include <mutex>

namespace orvane::mail {

using form::Status;
using form::StatusKind;

namespace {

using detail::SmtpDialogue;

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

    detail::CurlEasy curl(curl_easy_init());
    if (!curl)
        return Status::failure(StatusKind::Internal, CURLE_FAILED_INIT,
                               QStringLiteral("The mail library could not be started."));
    char errorBuffer[CURL_ERROR_SIZE] = {};

    const bool implicitTls
            = request.useTls && m_options.tlsStart(request.port) == TlsStart::Implicit;
    const QString host = request.host.contains(u':') ? u'[' + request.host + u']' : request.host;
    const QByteArray url = (implicitTls ? "smtps://" : "smtp://") + host.toUtf8() + ':'
                           + QByteArray::number(request.port) + '/' + clientName();
    const QByteArray mailFrom = '<' + request.mailFrom + '>';
    detail::CurlSlist recipients;
    for (const QByteArray &rcpt : request.rcptTo) {
        curl_slist *appended = curl_slist_append(recipients.get(), ('<' + rcpt + '>').constData());
        if (!appended)
            return Status::failure(StatusKind::Internal, CURLE_OUT_OF_MEMORY,
                                   QStringLiteral("Out of memory."));
        // The list keeps its head; taking it back over is all the hand-off needs.
        static_cast<void>(recipients.release());
        recipients.reset(appended);
    }
    const QByteArray user = request.user.toUtf8();
    const QByteArray password = request.password.toUtf8();
    const QByteArray caFile = m_options.caFile.toLocal8Bit();

    Transfer transfer;
    transfer.message = &message;
    transfer.progress = m_progress;
    transfer.mustAuthenticate = request.authenticate;

    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // TLS is never optional once asked for: CURLUSESSL_TRY would fall back to plaintext.
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(request.useTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    if (request.authenticate) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, mailFrom.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());
    // One refused recipient fails the whole send before DATA.
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &transfer);
    // Announced with SIZE in MAIL FROM (RFC 1870), so a server refuses before the upload.
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(m_options.stallTimeout));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, wholeSeconds(m_options.stallTimeout));
    // The debug stream is how we see the server's replies; it never reaches stderr.
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, followDialogue);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, beforeMailFrom);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    const CURLcode rc = curl_easy_perform(h);
    if (rc == CURLE_OK)
        return Status::success();

    curl_off_t connectTime = 0;
    curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
    detail::FailureContext context;
    context.curlCode = rc;
    context.errorText = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc));
    context.host = request.host;
    context.port = request.port;
    context.implicitTls = implicitTls;
    context.startTls = request.useTls && !implicitTls;
    context.connected = connectTime > 0 || transfer.dialogue.greeted();
    context.messageSize = message.size();
    context.wholeMessageRead = transfer.readToEnd;
    context.connectTimeout = m_options.connectTimeout;
    context.stallTimeout = m_options.stallTimeout;
    context.dialogue = &transfer.dialogue;

    Status status;
    if (transfer.readFailed)
        // The abort keeps libcurl from sending the final dot, so the server drops what it got.
        status = Status::failure(message.status().kind, message.status().nativeCode,
                                 message.status().description
                                         + QStringLiteral(" The message was not sent."));
    else if (transfer.stoppedNoLogin)
        status = detail::describeNoLoginOffered(context);
    else if (transfer.stoppedByProgress)
        status = Status::failure(StatusKind::Aborted, rc,
                                 QStringLiteral("Sending was stopped; the message was not "
                                                "sent."));
    else
        status = detail::describeSmtpFailure(context);
    redact(status, request.password);
    redactEncoded(status, '\0' + user + '\0' + password);
    return status;
}

} // namespace orvane::mail
