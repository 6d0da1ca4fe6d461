#pragma once

#include <QString>
#include <QVarLengthArray>

#include <utility>

namespace orvane::directory::detail {

// The first value of each attribute of one entry, keyed by the attribute's name in lower case.
// A search holds tens of thousands of entries of a handful of attributes each: a short list
// kept inside the entry costs no allocation of its own, where a QHash allocates room for 48
// nodes with its first key (about 2.5 KB an entry).
class EntryValues
{
public:
    // Replaces the value of a name already present.
    void insert(const QString &name, const QString &value)
    {
        for (auto &[key, current] : m_values) {
            if (key == name) {
                current = value;
                return;
            }
        }
        m_values.append({name, value});
    }

    // The value, or cend() (a null pointer) when the entry has no such attribute. The name
    // may come in any case: names are stored in lower case, so no lower-cased copy is needed.
    const QString *constFind(const QString &name) const
    {
        for (const auto &[key, value] : m_values) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return &value;
        }
        return nullptr;
    }
    const QString *cend() const { return nullptr; }

    QString value(const QString &name, const QString &fallback = QString()) const
    {
        const QString *found = constFind(name);
        return found ? *found : fallback;
    }

    qsizetype size() const { return m_values.size(); }

private:
    QVarLengthArray<std::pair<QString, QString>, 4> m_values;
};

} // namespace orvane::directory::detail
