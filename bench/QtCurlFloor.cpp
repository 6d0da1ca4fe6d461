// The least a Qt Core program can do to send: a QCoreApplication, and one upload of a message
// already built through libcurl with its defaults. orvane-send's peak memory is set beside
// this, what Qt Core and Debian's libcurl (with TLS, Kerberos, SSH, LDAP and the rest it
// links) take before the program does anything of its own.
//
//   orvane_bench_qtcurl URL MESSAGE-FILE FROM TO

#include <QCoreApplication>

#include <cstdio>
#include <curl/curl.h>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: orvane_bench_qtcurl URL MESSAGE-FILE FROM TO\n", stderr);
        return 2;
    }
    int programOnly = 1;
    QCoreApplication app(programOnly, argv);
    std::FILE *message = std::fopen(argv[2], "rb");
    if (!message || curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return 1;
    CURL *curl = curl_easy_init();
    curl_slist *recipients = curl_slist_append(nullptr, argv[4]);
    curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, argv[3]);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, message);
    const CURLcode sent = curl_easy_perform(curl);
    if (sent != CURLE_OK)
        std::fprintf(stderr, "orvane_bench_qtcurl: %s\n", curl_easy_strerror(sent));
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    std::fclose(message);
    return sent == CURLE_OK ? 0 : 1;
}
