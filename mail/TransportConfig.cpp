#include "TransportConfig.h"

#include "mail/CdoFields.h"
#include "mail/TextChecks.h"

#include <QUrl>

namespace orvane::mail {

using form::Result;
using form::Status;
using form::StatusKind;

namespace {

Status refuse(const QString &text)
{
    return Status::failure(StatusKind::Configuration, 0, text);
}

const FieldValue *find(const std::map<QString, FieldValue> &fields, const char *shortName)
{
    const auto it = fields.find(cdo::fullName(shortName));
    return it == fields.end() ? nullptr : &it->second;
}

// A whole number from an integer or a text of digits; nullopt for anything else.
std::optional<long long> wholeNumber(const FieldValue &value)
{
    if (const auto *number = std::get_if<std::int16_t>(&value))
        return *number;
    if (const auto *boolean = std::get_if<AutomationBool>(&value))
        return boolean->raw;
    const QString text = std::get<QString>(value).trimmed();
    bool ok = false;
    const long long parsed = text.toLongLong(&ok);
    if (!ok || text.isEmpty()
        || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    return parsed;
}

QString textOf(const FieldValue *value)
{
    if (!value)
        return {};
    if (const auto *text = std::get_if<QString>(value))
        return *text;
    return describeFieldValue(*value).section(u':', 1);
}

bool isIpv4(QStringView text)
{
    const auto parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    for (QStringView part : parts) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || n < 0 || n > 255)
            return false;
    }
    return true;
}

} // namespace

Result<QString> TransportConfig::checkHost(const QString &server)
{
    if (server.trimmed().isEmpty())
        return refuse(QStringLiteral("No SMTP server is set. Enter the name or address of your "
                                     "mail server."));
    if (Status s = checkHeaderText(server, QStringLiteral("SMTP server")); !s.ok())
        return s;
    const QString bad = QStringLiteral("The SMTP server \"%1\" is not a valid host name or IP "
                                       "address.")
                                .arg(server);
    QString host = server;
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return refuse(bad);
    if (host.contains(u':')) // QUrl accepted it as an IPv6 address
        return {Status::success(), url.host()};
    const QString ascii = url.host(QUrl::EncodeUnicode);
    if (ascii.size() > 253)
        return refuse(bad);
    bool numeric = true;
    for (QStringView label : QStringView(ascii).split(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return refuse(bad);
        for (QChar c : label) {
            if (c.unicode() > 0x7e || !(c.isLetterOrNumber() || c == u'-'))
                return refuse(bad);
            numeric = numeric && c.isDigit();
        }
    }
    if (numeric && !isIpv4(ascii))
        return refuse(bad);
    return {Status::success(), ascii};
}

Result<TransportConfig> TransportConfig::fromFields(const std::map<QString, FieldValue> &fields)
{
    TransportConfig config;
    const FieldValue *sendUsing = find(fields, cdo::sendUsing);
    if (!sendUsing || wholeNumber(*sendUsing) != cdo::sendUsingPort)
        return refuse(QStringLiteral("Only sending through an SMTP server on the network "
                                     "(sendusing 2) is supported; sendusing is \"%1\".")
                              .arg(sendUsing ? textOf(sendUsing) : QStringLiteral("not set")));

    const FieldValue *server = find(fields, cdo::smtpServer);
    Result<QString> host = checkHost(textOf(server));
    if (!host.ok())
        return host.status;
    config.host = host.value;

    if (const FieldValue *port = find(fields, cdo::smtpServerPort);
        port && !textOf(port).trimmed().isEmpty()) {
        const std::optional<long long> number = wholeNumber(*port);
        if (!number || *number < 1 || *number > 65535)
            return refuse(QStringLiteral("The SMTP port \"%1\" is not a number from 1 to "
                                         "65535. Enter the server's port, usually 25, 465 or "
                                         "587.")
                                  .arg(visibleText(textOf(port))));
        config.port = int(*number);
    }

    if (const FieldValue *auth = find(fields, cdo::smtpAuthenticate)) {
        const std::optional<long long> method = wholeNumber(*auth);
        if (method != cdo::authAnonymous && method != cdo::authBasic)
            return refuse(QStringLiteral("Only login with a user name and password "
                                         "(smtpauthenticate 1) or none (0) is supported; "
                                         "smtpauthenticate is \"%1\".")
                                  .arg(textOf(auth)));
        config.authenticate = method == cdo::authBasic;
    }
    if (config.authenticate) {
        config.user = textOf(find(fields, cdo::sendUserName));
        config.password = textOf(find(fields, cdo::sendPassword));
        if (Status s = checkHeaderText(config.user, QStringLiteral("user name")); !s.ok())
            return s;
        if (config.password.contains(QChar(0)))
            return refuse(QStringLiteral("The password contains a NUL character, which no "
                                         "login method can carry."));
    }

    if (const FieldValue *ssl = find(fields, cdo::smtpUseSsl)) {
        if (const auto *boolean = std::get_if<AutomationBool>(ssl))
            config.useSsl = boolean->isTrue();
        else
            config.useSsl = wholeNumber(*ssl).value_or(0) != 0;
    }
    return {Status::success(), config};
}

} // namespace orvane::mail
