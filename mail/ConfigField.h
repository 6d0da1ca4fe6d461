#pragma once

#include "form/Status.h"
#include "mail/FieldValue.h"

namespace orvane::mail {

// One field of a message's configuration, fetched by full name for one write.
class ConfigField
{
public:
    virtual ~ConfigField() = default;

    virtual form::Status setValue(const FieldValue &value) = 0;
};

} // namespace orvane::mail
