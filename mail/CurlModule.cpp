#include "mail/CurlComponents.h"
#include "mail/MailModule.h"

orvane::mail::MailComponents *
orvane_create_mail_components(const orvane::mail::TransportOptions *options)
{
    return options ? new orvane::mail::CurlComponents(*options) : nullptr;
}
