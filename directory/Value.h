#pragma once

#include <QString>

#include <cstdint>
#include <variant>

namespace orvane::directory {

// A value handed to or read from the data-access layer, with its type: null, text, 16-bit or
// 32-bit signed integer, or boolean.
class Value
{
public:
    enum class Type { Null, Text, Int16, Int32, Boolean };

    Value() = default;
    static Value text(const QString &text) { return Value(Data(text)); }
    static Value int16(std::int16_t number) { return Value(Data(number)); }
    static Value int32(std::int32_t number) { return Value(Data(number)); }
    static Value boolean(bool flag) { return Value(Data(flag)); }

    Type type() const { return static_cast<Type>(m_data.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isInteger() const { return type() == Type::Int16 || type() == Type::Int32; }

    // The integer value of an Int16 or Int32, 0 otherwise.
    std::int32_t toInt() const;
    // Text of any non-null value (numbers in decimal, booleans as "True"/"False").
    QString toText() const;

    bool operator==(const Value &other) const = default;

private:
    using Data = std::variant<std::monostate, QString, std::int16_t, std::int32_t, bool>;
    explicit Value(Data data)
        : m_data(std::move(data))
    {}

    Data m_data;
};

// "Text", "Int16", ... for descriptions and test output.
const char *typeName(Value::Type type);

} // namespace orvane::directory
