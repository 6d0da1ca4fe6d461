#include "MessageBox.h"

#include "form/FormFields.h"

#include <QMessageBox>

namespace orvane::ui {

using form::applicationTitle;

void showMessageBox(QWidget *parent, const QString &text, const QString &caption)
{
    const QString title = caption.isEmpty() ? QString::fromLatin1(applicationTitle) : caption;
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    // Server replies and paths are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
}

} // namespace orvane::ui
