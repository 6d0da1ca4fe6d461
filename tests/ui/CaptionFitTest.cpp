#include "ui/CaptionFit.h"

#include "MemoryStore.h"
#include "app/DefaultComponents.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

using orvane::ui::fitCaption;

QSize sizeOf(const orvane::ui::FittedCaption &fitted)
{
    return QFontMetrics(fitted.font).boundingRect(QRect(0, 0, 10000, 10000), 0, fitted.text).size();
}

TEST(CaptionFit, RoomEnoughKeepsTextAndFont)
{
    const QFont font = QGuiApplication::font();
    const auto fitted = fitCaption("SMTP Authentication", font, QSize(1000, 100));
    EXPECT_EQ(fitted.text, QStringLiteral("SMTP Authentication"));
    EXPECT_EQ(fitted.font, font);
}

TEST(CaptionFit, TwoLinesOfRoomWrapAtTheSpace)
{
    const QFont font = QGuiApplication::font();
    const QFontMetrics metrics(font);
    const QSize room(metrics.horizontalAdvance("Authentication") + 2, metrics.lineSpacing() * 2);
    const auto fitted = fitCaption("SMTP Authentication", font, room);
    EXPECT_EQ(fitted.text, QStringLiteral("SMTP\nAuthentication"));
    EXPECT_EQ(fitted.font, font);
}

TEST(CaptionFit, TooNarrowShrinksThenElides)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(10);
    const QFontMetrics metrics(font);
    const QSize room(metrics.horizontalAdvance("File Attachment:") * 9 / 10, metrics.height());
    const auto smaller = fitCaption("File Attachment:", font, room);
    EXPECT_EQ(smaller.text, QStringLiteral("File Attachment:"));
    EXPECT_LT(smaller.font.pointSizeF(), 10);
    EXPECT_GE(smaller.font.pointSizeF(), 7);
    EXPECT_LE(sizeOf(smaller).width(), room.width());

    const auto elided
            = fitCaption("File Attachment:", font, QSize(room.width() / 3, room.height()));
    EXPECT_EQ(elided.font, font);
    EXPECT_TRUE(elided.text.endsWith(QChar(0x2026))) << qPrintable(elided.text);
}

TEST(CaptionFit, TheStatusLineKeepsTheWindowsFontWhereCaptionsShrink)
{
    const QFont platform = QApplication::font();
    QFont large = platform;
    large.setPointSizeF(platform.pointSizeF() * 2);
    QApplication::setFont(large);
    orvane::test::MemoryStore store;
    orvane::ui::MainWindow window(
            orvane::app::defaultComponents(QStringLiteral(ORVANE_TEST_MODULE_DIR)), store);
    const QFont caption = window.findChild<QLabel *>("Label5")->font();
    const QFont status = window.findChild<QLabel *>("lblStatus")->font();
    QApplication::setFont(platform);
    ASSERT_LT(caption.pointSizeF(), large.pointSizeF()) << "the captions did not need to shrink";
    EXPECT_EQ(status.pointSizeF(), large.pointSizeF());
}

} // namespace
