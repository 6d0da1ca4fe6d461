#pragma once

#include "mail/FieldValue.h"
#include "mail/MailStatus.h"

namespace orvane::mail {

// One field of a message's configuration, fetched by full name for one write.
class ConfigField
{
public:
    virtual ~ConfigField() = default;

    virtual MailStatus setValue(const FieldValue &value) = 0;
};

} // namespace orvane::mail
