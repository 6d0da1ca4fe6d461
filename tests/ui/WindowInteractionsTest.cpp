#include "ui/WindowInteractions.h"

#include "support/RecordingForm.h"
#include "ui/HandlerGuard.h"

#include <gtest/gtest.h>
#include <stdexcept>

using orvane::form::Control;
using orvane::test::RecordingForm;
namespace form = orvane::form;
namespace ui = orvane::ui;

namespace {

const QStringList groupOrder = {"txtUsername", "txtPassword", "Label8", "Label9", "chkSSL"};

QStringList visibilityCalls(const QString &state)
{
    QStringList calls;
    for (const QString &name : groupOrder)
        calls << QStringLiteral("setVisible %1=%2").arg(name, state);
    return calls;
}

TEST(AuthenticationToggle, TickedShowsTheGroupInOrderAndTouchesNothingElse)
{
    RecordingForm form;
    form.presetValue(Control::chkSMTPAuth, form::Ticked);
    ui::chkSMTPAuth_Click(form);
    EXPECT_EQ(form.calls, QStringList{"value chkSMTPAuth"} + visibilityCalls("true"));
}

TEST(AuthenticationToggle, AnyOtherValueHidesTheGroup)
{
    for (const int value : {form::Unticked, form::Greyed, 7}) {
        RecordingForm form;
        form.presetValue(Control::chkSMTPAuth, value);
        ui::chkSMTPAuth_Click(form);
        EXPECT_EQ(form.calls, QStringList{"value chkSMTPAuth"} + visibilityCalls("false")) << value;
    }
}

TEST(FileDrop, FirstPathReplacesTheAttachmentFromEitherBox)
{
    const QStringList files = {"/home/ann/scans/page one.pdf", "/home/ann/scans/two.pdf"};
    for (auto handler : {&ui::txtAttachment_OLEDragDrop, &ui::txtBody_OLEDragDrop}) {
        RecordingForm form;
        form.preset(Control::txtAttachment, "typed before");
        form.preset(Control::txtBody, "body text");
        handler(form, files);
        EXPECT_EQ(form.calls, QStringList{"setText txtAttachment=/home/ann/scans/page one.pdf"});
        EXPECT_EQ(form.textOf(Control::txtBody), QStringLiteral("body text"));
    }
}

TEST(FileDrop, PathIsTakenAsGivenAndASecondDropReplacesTheFirst)
{
    RecordingForm form;
    ui::txtAttachment_OLEDragDrop(form, {"  odd name ;=%.tif "});
    EXPECT_EQ(form.textOf(Control::txtAttachment), QStringLiteral("  odd name ;=%.tif "));
    ui::txtBody_OLEDragDrop(form, {QStringLiteral("/tmp/Grüße.pdf")});
    EXPECT_EQ(form.textOf(Control::txtAttachment), QStringLiteral("/tmp/Grüße.pdf"));
}

TEST(FileDrop, EmptyFileListLeavesTheAttachment)
{
    RecordingForm form;
    form.preset(Control::txtAttachment, "kept.pdf");
    ui::txtAttachment_OLEDragDrop(form, {});
    ui::txtBody_OLEDragDrop(form, {});
    EXPECT_TRUE(form.calls.isEmpty());
    EXPECT_EQ(form.textOf(Control::txtAttachment), QStringLiteral("kept.pdf"));
}

TEST(HandlerGuard, EscapingExceptionBecomesOneBoxAndReturns)
{
    RecordingForm form;
    ui::runGuarded(form, "btnOrvane_Click", [] { throw std::runtime_error("out of memory"); });
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].caption, QStringLiteral("orvane"));
    EXPECT_TRUE(form.boxes[0].text.startsWith("btnOrvane_Click failed: out of memory"))
            << qPrintable(form.boxes[0].text);

    ui::runGuarded(form, "lstEmail_Click", [] { throw 42; });
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_TRUE(form.boxes[1].text.startsWith("lstEmail_Click failed: an unknown error"));
}

TEST(HandlerGuard, QuietReportGoesToStandardErrorAndSuccessReportsNothing)
{
    RecordingForm form;
    bool ran = false;
    ui::runGuarded(form, "chkSMTPAuth_Click", [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(form.boxes.empty());

    testing::internal::CaptureStderr();
    ui::runGuarded(
            form, "Form_Unload", [] { throw std::runtime_error("no store"); },
            ui::FailureReport::StandardError);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_NE(err.find("Form_Unload failed: no store"), std::string::npos) << err;
}

} // namespace
