#include "platform/qt/WinUtils.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>

namespace {

// After a disable and an enable every control is as it was: controls disabled on their
// own (a spin edit in a group box, a check box on the panel) stay disabled.
TEST(WinUtils, EnableChildrenRestoresControls)
{
    qttest::App();
    QWidget panel;
    auto* edit = new QLineEdit(&panel);
    auto* ownCheck = new QCheckBox(&panel);
    auto* group = new QGroupBox(&panel);
    auto* groupEdit = new QLineEdit(group);
    auto* ownSpin = new QSpinBox(group);
    ownCheck->setEnabled(false);
    ownSpin->setEnabled(false);
    QWidget* all[] = {edit, ownCheck, group, groupEdit, ownSpin};

    for (int disables : {1, 2}) {
        SCOPED_TRACE(disables);
        for (int i = 0; i < disables; ++i) EnableChildren(&panel, false);
        EXPECT_TRUE(panel.isEnabled());
        for (QWidget* w : all) EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();

        EnableChildren(&panel, true);
        EXPECT_TRUE(edit->isEnabled());
        EXPECT_TRUE(group->isEnabled());
        EXPECT_TRUE(groupEdit->isEnabled());
        EXPECT_FALSE(ownCheck->isEnabled());
        EXPECT_FALSE(ownSpin->isEnabled());
    }

    // Without a disable before it, an enable enables every child.
    EnableChildren(&panel, true);
    EXPECT_TRUE(ownCheck->isEnabled());
    EXPECT_FALSE(ownSpin->isEnabled());
}

} // namespace
