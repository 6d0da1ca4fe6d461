#include "ProviderHttp.h"

#include "mail/detail/CurlHandles.h"

#include <QJsonDocument>

#include <curl/curl.h>
#include <mutex>

namespace orvane::mail::oauth::detail {

using form::Status;
using form::StatusKind;

namespace {

// State the libcurl callbacks share with one request.
struct Transfer
{
    const std::atomic<bool> *cancelled = nullptr;
    QByteArray body;
    bool tooLarge = false;
    bool stopped = false;
};

size_t collect(char *data, size_t size, size_t count, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    const size_t n = size * count;
    if (transfer->body.size() + qint64(n) > ProviderHttp::answerLimit) {
        transfer->tooLarge = true;
        return 0; // CURLE_WRITE_ERROR
    }
    transfer->body.append(data, qsizetype(n));
    return n;
}

// libcurl calls this about once a second while it waits, and at every chunk it moves.
int checkCancelled(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    if (transfer->cancelled->load()) {
        transfer->stopped = true;
        return 1;
    }
    return 0;
}

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString hostOf(const QUrl &url)
{
    return url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
}

QByteArray formEncoded(const FormFields &fields)
{
    QByteArray encoded;
    for (const auto &[name, value] : fields) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return encoded;
}

// Drops the extra wait before an answer to a POST's "Expect: 100-continue" that libcurl would
// add for larger forms.
constexpr const char *requestHeaders[] = {"Accept: application/json", "Expect:"};

} // namespace

ProviderHttp::ProviderHttp(const SignInOptions &options, const ProviderFailure &failure)
    : m_options(options)
    , m_failure(failure)
{}

bool ProviderHttp::allowedAddress(const QUrl &address)
{
    if (!address.isValid() || address.host().isEmpty() || !address.userInfo().isEmpty())
        return false;
    if (address.scheme() == QLatin1String("https"))
        return true;
    // Names are not enough: "localhost" may resolve elsewhere (RFC 8252 section 8.3).
    return address.scheme() == QLatin1String("http")
           && (address.host() == QLatin1String("127.0.0.1")
               || address.host() == QLatin1String("::1"));
}

Status ProviderHttp::checkAddress(const QString &what, const QString &address) const
{
    if (allowedAddress(QUrl(address, QUrl::StrictMode)))
        return Status::success();
    return m_failure.badAddress(what, address);
}

form::Result<ProviderAnswer> ProviderHttp::get(const QString &address,
                                               const std::atomic<bool> &cancelled)
{
    return perform(address, nullptr, cancelled);
}

form::Result<ProviderAnswer> ProviderHttp::post(const QString &address, const FormFields &fields,
                                                const std::atomic<bool> &cancelled)
{
    const QByteArray form = formEncoded(fields);
    return perform(address, &form, cancelled);
}

form::Result<ProviderAnswer> ProviderHttp::perform(const QString &address, const QByteArray *form,
                                                   const std::atomic<bool> &cancelled)
{
    const QUrl url(address, QUrl::StrictMode);
    if (Status allowed = checkAddress(QStringLiteral("address"), address); !allowed.ok())
        return allowed;
    initialiseCurl();
    const QByteArray urlBytes = url.toEncoded();
    const QByteArray caFile = m_options.caFile.toLocal8Bit();
    Transfer transfer;
    transfer.cancelled = &cancelled;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    mail::detail::CurlSlist headers;
    for (const char *header : requestHeaders) {
        curl_slist *appended = curl_slist_append(headers.get(), header);
        if (!appended)
            return Status::failure(StatusKind::Internal, CURLE_OUT_OF_MEMORY,
                                   QStringLiteral("Out of memory."));
        static_cast<void>(headers.release()); // the list keeps its head
        headers.reset(appended);
    }
    // Declared after what it points at, so it goes first.
    const mail::detail::CurlEasy curl(curl_easy_init());
    if (!curl)
        return Status::failure(StatusKind::Internal, CURLE_FAILED_INIT,
                               QStringLiteral("The network library could not be started."));
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // Added to the system's trust store, whose folder libcurl keeps as its CA path.
    if (!caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(m_options.requestTimeout.count()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "orvane");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkCancelled);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (form) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, form->constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(form->size()));
    }
    const CURLcode rc = curl_easy_perform(h);
    long httpStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &httpStatus);
    const QString host = hostOf(url);
    if (transfer.stopped)
        return m_failure.cancelled();
    if (transfer.tooLarge)
        return m_failure.unusableAnswer(host, httpStatus, QStringLiteral("larger than 1 MB"));
    if (rc != CURLE_OK)
        return m_failure.unreachable(
                host, rc, QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc)));
    if (httpStatus >= 300 && httpStatus < 400)
        return m_failure.unusableAnswer(host, httpStatus,
                                        QStringLiteral("a redirect, which is not followed"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(transfer.body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return m_failure.unusableAnswer(host, httpStatus, QStringLiteral("not JSON"));
    return {Status::success(), ProviderAnswer{httpStatus, document.object()}};
}

} // namespace orvane::mail::oauth::detail
