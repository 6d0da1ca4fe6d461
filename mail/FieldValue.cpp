#include "FieldValue.h"

namespace orvane::mail {

QString describeFieldValue(const FieldValue &value)
{
    if (const auto *number = std::get_if<std::int16_t>(&value))
        return QStringLiteral("int16:%1").arg(*number);
    if (const auto *text = std::get_if<QString>(&value))
        return QStringLiteral("text:") + *text;
    return QStringLiteral("bool:%1").arg(std::get<AutomationBool>(value).raw);
}

} // namespace orvane::mail
