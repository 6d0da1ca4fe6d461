#pragma once

#include "MemoryStore.h"
#include "app/DefaultComponents.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

namespace orvane::test {

// A loaded, shown and active window over an in-memory store. Widgets are found by their
// object names, as a screen reader or a user's script would find them.
class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<ui::MainWindow>(
                app::defaultComponents(QStringLiteral(ORVANE_TEST_MODULE_DIR)), store);
        window->load();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template<class T = QWidget>
    T *find(const char *name) const
    {
        T *widget = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static QString focused()
    {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QStringLiteral("<none>");
    }

    form::FormFields &fields() { return window->fields(); }

    MemoryStore store;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace orvane::test
