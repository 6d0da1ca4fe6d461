#include "WaitPromptBox.h"

#include "form/FormFields.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane::ui {

namespace {

QLabel *selectableLabel(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    // Addresses and codes come from the provider: shown as they are, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    return label;
}

} // namespace

WaitPromptBox::WaitPromptBox(const form::WaitPrompt &prompt, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("waitPrompt"));
    setWindowTitle(prompt.caption.isEmpty() ? QString::fromLatin1(form::applicationTitle)
                                            : prompt.caption);
    // Not modal: a window blocked by a modal box never hears of a close from the window
    // manager, and the close of the window must still end the program during the wait. The
    // wait keeps input from the window meanwhile. A box to answer or cancel, not to minimise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(selectableLabel(prompt.text, "promptText", this));

    auto *buttons = new QHBoxLayout;
    if (!prompt.address.isEmpty()) {
        // An authorization address runs to hundreds of characters without a space: one line
        // that scrolls, all of it selected at a click, and a button that copies it whole.
        auto *address = new QLineEdit(prompt.address, this);
        address->setObjectName(QStringLiteral("promptAddress"));
        address->setReadOnly(true);
        address->setCursorPosition(0);
        layout->addWidget(address);
        auto *copy = new QPushButton(QStringLiteral("Copy &Address"), this);
        copy->setObjectName(QStringLiteral("btnCopyAddress"));
        connect(copy, &QPushButton::clicked, this,
                [text = prompt.address] { QGuiApplication::clipboard()->setText(text); });
        buttons->addWidget(copy);
    }
    if (!prompt.code.isEmpty()) {
        QLabel *code = selectableLabel(prompt.code, "promptCode", this);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(font.pointSizeF() * 1.6);
        font.setBold(true);
        code->setFont(font);
        code->setAlignment(Qt::AlignCenter);
        layout->addWidget(code);
        auto *copy = new QPushButton(QStringLiteral("&Copy Code"), this);
        copy->setObjectName(QStringLiteral("btnCopyCode"));
        connect(copy, &QPushButton::clicked, this,
                [text = prompt.code] { QGuiApplication::clipboard()->setText(text); });
        buttons->addWidget(copy);
    }
    buttons->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btnCancelPrompt"));
    connect(cancel, &QPushButton::clicked, this, &WaitPromptBox::reject);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void WaitPromptBox::cancel()
{
    emit cancelRequested();
}

void WaitPromptBox::finish()
{
    m_finished = true;
    close();
}

void WaitPromptBox::reject()
{
    // The box goes with the wait, once the work has seen the cancel and ended.
    emit cancelRequested();
    if (m_finished)
        QDialog::reject();
}

void WaitPromptBox::closeEvent(QCloseEvent *event)
{
    if (m_finished) {
        event->accept();
        return;
    }
    emit cancelRequested();
    event->ignore();
}

} // namespace orvane::ui
