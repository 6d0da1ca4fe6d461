#pragma once

#include <QString>

#include <cstdint>
#include <variant>

namespace orvane::mail {

// An Automation boolean: true is -1, false is 0. Any other raw value counts as true.
struct AutomationBool
{
    std::int16_t raw = 0;

    static constexpr AutomationBool fromBool(bool value) { return {std::int16_t(value ? -1 : 0)}; }
    constexpr bool isTrue() const { return raw != 0; }
    friend constexpr bool operator==(AutomationBool, AutomationBool) = default;
};

// The value of one configuration field: a 16-bit signed integer, a text or a boolean.
using FieldValue = std::variant<std::int16_t, QString, AutomationBool>;

// "int16:2", "text:smtp.example.com", "bool:-1": for tests and diagnostics.
QString describeFieldValue(const FieldValue &value);

} // namespace orvane::mail
