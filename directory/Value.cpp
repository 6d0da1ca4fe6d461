#include "Value.h"

namespace orvane::directory {

std::int32_t Value::toInt() const
{
    if (const auto *n = std::get_if<std::int16_t>(&m_data))
        return *n;
    if (const auto *n = std::get_if<std::int32_t>(&m_data))
        return *n;
    return 0;
}

QString Value::toText() const
{
    switch (type()) {
    case Type::Null:
        return QString();
    case Type::Text:
        return std::get<QString>(m_data);
    case Type::Int16:
    case Type::Int32:
        return QString::number(toInt());
    case Type::Boolean:
        return std::get<bool>(m_data) ? QStringLiteral("True") : QStringLiteral("False");
    }
    return QString();
}

const char *typeName(Value::Type type)
{
    switch (type) {
    case Value::Type::Null:
        return "Null";
    case Value::Type::Text:
        return "Text";
    case Value::Type::Int16:
        return "Int16";
    case Value::Type::Int32:
        return "Int32";
    case Value::Type::Boolean:
        return "Boolean";
    }
    return "?";
}

} // namespace orvane::directory
