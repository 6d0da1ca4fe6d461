#pragma once

#include <QString>

#include <ostream>

// Readable GoogleTest output for Qt strings (QStringList prints as a list of these).
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
