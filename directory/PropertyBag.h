#pragma once

#include "directory/Value.h"
#include "form/Status.h"

#include <QString>

#include <functional>
#include <vector>

namespace orvane::directory {

// The properties a provider offers on one object: names matched without regard to case,
// each with its current value and a check of what it accepts.
class PropertyBag
{
public:
    // Returns an empty text when the value is acceptable, otherwise why it is not.
    using Check = std::function<QString(const Value &)>;

    void offer(const QString &name, const Value &initial, Check check);
    void clear() { m_properties.clear(); }

    form::Status set(const QString &name, const Value &value);
    Value value(const QString &name) const;

    // Checks for the usual kinds of property.
    static Check textCheck();
    static Check integerCheck(int minimum, int maximum);

private:
    struct Property
    {
        QString name;
        Value value;
        Check check;
    };
    std::vector<Property> m_properties;
};

} // namespace orvane::directory
