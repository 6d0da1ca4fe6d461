#include "WindowFixture.h"
#include "ui/FileDropFilter.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QUrl>

namespace {

using orvane::form::Control;
using orvane::test::WindowFixture;
using orvane::ui::FileDropFilter;

using DropTest = WindowFixture;

std::unique_ptr<QMimeData> files(const QStringList &paths, const QString &text = QString())
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << (path.contains(QLatin1String("://")) ? QUrl(path) : QUrl::fromLocalFile(path));
    if (!urls.isEmpty())
        data->setUrls(urls);
    if (!text.isEmpty())
        data->setText(text);
    return data;
}

// A drag over `target` and, when it was accepted, the drop: what a real drag delivers.
// Returns whether the drag was accepted.
bool dragAndDrop(QWidget *target, const QMimeData *data,
                 Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    EXPECT_NE(enter.dropAction(), Qt::MoveAction) << "a move would let the source delete the file";
    QDropEvent drop(QPointF(at), actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QWidget *bodyViewport(QWidget *body)
{
    return static_cast<QAbstractScrollArea *>(body)->viewport();
}

TEST_F(DropTest, OneFileOnTheAttachmentBoxReplacesItsText)
{
    auto *attachment = find<QLineEdit>("txtAttachment");
    attachment->setText("typed.pdf");
    const auto data = files({"/srv/scans/page 1.pdf"});
    EXPECT_TRUE(dragAndDrop(attachment, data.get()));
    EXPECT_EQ(attachment->text(), QDir::toNativeSeparators("/srv/scans/page 1.pdf"));
    EXPECT_FALSE(attachment->text().startsWith("file:"));
}

TEST_F(DropTest, SeveralFilesOnTheBodyGiveTheFirstAndLeaveTheBody)
{
    auto *body = find<QPlainTextEdit>("txtBody");
    body->setPlainText("Hello");
    const auto data = files({"/srv/scans/b.tif", "/srv/scans/a.tif"}, "some text");
    EXPECT_TRUE(dragAndDrop(bodyViewport(body), data.get()));
    EXPECT_EQ(fields().text(Control::txtAttachment), QDir::toNativeSeparators("/srv/scans/b.tif"));
    EXPECT_EQ(body->toPlainText(), QStringLiteral("Hello"));

    const auto second = files({"/srv/scans/c.tif"});
    EXPECT_TRUE(dragAndDrop(bodyViewport(body), second.get()));
    EXPECT_EQ(fields().text(Control::txtAttachment), QDir::toNativeSeparators("/srv/scans/c.tif"));
}

TEST_F(DropTest, TextOnlyAndRemoteLinksAreRefusedAndChangeNothing)
{
    auto *attachment = find<QLineEdit>("txtAttachment");
    auto *body = find<QPlainTextEdit>("txtBody");
    attachment->setText("kept.pdf");
    body->setPlainText("Body");
    const auto text = files({}, "dragged text");
    const auto remote = files({"https://example.com/a.pdf"}, "https://example.com/a.pdf");
    for (const QMimeData *data : {text.get(), remote.get()}) {
        EXPECT_FALSE(dragAndDrop(attachment, data));
        EXPECT_FALSE(dragAndDrop(bodyViewport(body), data));
        EXPECT_FALSE(dragAndDrop(body, data));
    }
    EXPECT_EQ(attachment->text(), QStringLiteral("kept.pdf"));
    EXPECT_EQ(body->toPlainText(), QStringLiteral("Body"));

    // Mixed: the local file counts, the web link is left out.
    const auto mixed = files({"https://example.com/a.pdf", "/srv/scans/local.pdf"});
    EXPECT_TRUE(dragAndDrop(attachment, mixed.get()));
    EXPECT_EQ(attachment->text(), QDir::toNativeSeparators("/srv/scans/local.pdf"));
}

TEST_F(DropTest, MoveOnlyDragsAreRefused)
{
    const auto data = files({"/srv/scans/page.pdf"});
    EXPECT_FALSE(dragAndDrop(find("txtAttachment"), data.get(), Qt::MoveAction));
    EXPECT_EQ(fields().text(Control::txtAttachment), QString());
}

TEST_F(DropTest, NoOtherControlTakesDrops)
{
    EXPECT_FALSE(window->acceptDrops());
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool target = w->objectName() == QLatin1String("txtAttachment")
                            || w->objectName() == QLatin1String("txtBody")
                            || w->parentWidget() == find("txtBody");
        if (!target) {
            EXPECT_FALSE(w->acceptDrops())
                    << qPrintable(w->objectName()) << " " << w->metaObject()->className();
        }
    }
    EXPECT_TRUE(find("txtAttachment")->acceptDrops());
}

TEST_F(DropTest, LocalFilesKeepTheDragOrder)
{
    const auto data = files({"/a/1.pdf", "https://x/2.pdf", "/a/3.pdf"});
    EXPECT_EQ(FileDropFilter::localFiles(data.get()),
              (QStringList{QDir::toNativeSeparators("/a/1.pdf"),
                           QDir::toNativeSeparators("/a/3.pdf")}));
    EXPECT_TRUE(FileDropFilter::localFiles(nullptr).isEmpty());
}

} // namespace
