#include "PropertyBag.h"

#include <QStringList>

namespace orvane::directory {

using form::Status;
using form::StatusKind;

void PropertyBag::offer(const QString &name, const Value &initial, Check check)
{
    m_properties.push_back({name, initial, std::move(check)});
}

Status PropertyBag::set(const QString &name, const Value &value)
{
    for (Property &property : m_properties) {
        if (property.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (const QString problem = property.check(value); !problem.isEmpty())
            return Status::failure(StatusKind::InvalidValue, 0,
                                   QStringLiteral("The property \"%1\" cannot take this value: %2.")
                                           .arg(property.name, problem));
        property.value = value;
        return Status::success();
    }
    QStringList offered;
    for (const Property &property : m_properties)
        offered.append(QStringLiteral("\"%1\"").arg(property.name));
    return Status::failure(StatusKind::PropertyNotOffered, 0,
                           offered.isEmpty()
                                   ? QStringLiteral("The property \"%1\" is not offered: no "
                                                    "provider has been chosen.")
                                             .arg(name)
                                   : QStringLiteral("The provider does not offer the property "
                                                    "\"%1\"; it offers %2.")
                                             .arg(name, offered.join(QStringLiteral(", "))));
}

Value PropertyBag::value(const QString &name) const
{
    for (const Property &property : m_properties) {
        if (property.name.compare(name, Qt::CaseInsensitive) == 0)
            return property.value;
    }
    return Value();
}

PropertyBag::Check PropertyBag::textCheck()
{
    return [](const Value &value) {
        return value.type() == Value::Type::Text
                       ? QString()
                       : QStringLiteral("it takes text, not %1")
                                 .arg(QLatin1String(typeName(value.type())));
    };
}

PropertyBag::Check PropertyBag::integerCheck(int minimum, int maximum)
{
    return [minimum, maximum](const Value &value) {
        if (!value.isInteger())
            return QStringLiteral("it takes a number, not %1")
                    .arg(QLatin1String(typeName(value.type())));
        if (value.toInt() < minimum || value.toInt() > maximum)
            return QStringLiteral("%1 is outside %2 to %3")
                    .arg(value.toInt())
                    .arg(minimum)
                    .arg(maximum);
        return QString();
    };
}

} // namespace orvane::directory
