#pragma once

#include "form/FormFields.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

namespace orvane::test {

// A form without widgets for handler tests. Holds every control's state and records each
// call the handler makes, in order, as one line ("text txtFrom", "setCaption lblStatus=...",
// "messageBox orvane: From or To address is blank!").
class RecordingForm : public form::FormFields
{
public:
    struct Box
    {
        QString text;
        QString caption;
    };

    QString text(form::Control c) const override
    {
        log(QStringLiteral("text %1").arg(name(c)));
        return m_texts.count(c) ? m_texts.at(c) : QString();
    }
    void setText(form::Control c, const QString &text) override
    {
        log(QStringLiteral("setText %1=%2").arg(name(c), text));
        m_texts[c] = text;
    }
    int value(form::Control c) const override
    {
        log(QStringLiteral("value %1").arg(name(c)));
        return m_values.count(c) ? m_values.at(c) : 0;
    }
    void setCaption(form::Control c, const QString &caption) override
    {
        log(QStringLiteral("setCaption %1=%2").arg(name(c), caption));
        m_captions[c] = caption;
    }
    void setVisible(form::Control c, bool visible) override
    {
        log(QStringLiteral("setVisible %1=%2").arg(name(c), visible ? "true" : "false"));
        m_visible[c] = visible;
    }
    void listClear(form::Control c) override
    {
        log(QStringLiteral("listClear %1").arg(name(c)));
        m_lists[c].clear();
        m_listIndex = -1;
    }
    void listAddItem(form::Control c, const QString &item) override
    {
        log(QStringLiteral("listAddItem %1=%2").arg(name(c), item));
        m_lists[c].append(item);
    }
    int listIndex(form::Control c) const override
    {
        log(QStringLiteral("listIndex %1").arg(name(c)));
        return m_listIndex;
    }
    QString listItem(form::Control c, int index) const override
    {
        log(QStringLiteral("listItem %1[%2]").arg(name(c)).arg(index));
        const QStringList &items = m_lists.count(c) ? m_lists.at(c) : m_empty;
        return index >= 0 && index < items.size() ? items.at(index) : QString();
    }
    void messageBox(const QString &text, const QString &caption) override
    {
        const QString shown
                = caption.isEmpty() ? QString::fromLatin1(form::applicationTitle) : caption;
        log(QStringLiteral("messageBox %1: %2").arg(shown, text));
        boxes.push_back({text, shown});
        if (onMessageBox)
            onMessageBox(text);
    }
    QString executableBaseName() const override { return QStringLiteral("orvane"); }

    // Test set-up, not recorded.
    void preset(form::Control c, const QString &text) { m_texts[c] = text; }
    void presetValue(form::Control c, int value) { m_values[c] = value; }
    void presetList(form::Control c, const QStringList &items, int selected)
    {
        m_lists[c] = items;
        m_listIndex = selected;
    }

    // Test inspection, not recorded.
    QString textOf(form::Control c) const { return m_texts.count(c) ? m_texts.at(c) : QString(); }
    QString captionOf(form::Control c) const
    {
        return m_captions.count(c) ? m_captions.at(c) : QString();
    }
    bool isVisible(form::Control c) const { return m_visible.count(c) && m_visible.at(c); }
    QStringList listOf(form::Control c) const
    {
        return m_lists.count(c) ? m_lists.at(c) : QStringList();
    }

    mutable QStringList calls;
    std::vector<Box> boxes;
    std::function<void(const QString &)> onMessageBox;

private:
    static QString name(form::Control c) { return QString::fromLatin1(form::controlName(c)); }
    void log(const QString &line) const { calls.append(line); }

    std::map<form::Control, QString> m_texts;
    std::map<form::Control, QString> m_captions;
    std::map<form::Control, int> m_values;
    std::map<form::Control, bool> m_visible;
    std::map<form::Control, QStringList> m_lists;
    int m_listIndex = -1;
    QStringList m_empty;
};

} // namespace orvane::test
