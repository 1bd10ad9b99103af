#include "look/WindowSettingsViewController.h"

#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QSlider>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::Size;

TEST(WindowSettingsView, SizeAndPercentFollowTheirRules)
{
    EXPECT_EQ(WindowSettingsViewController::preferredSize(false, {}), (Size{320, 160}));
    EXPECT_EQ(WindowSettingsViewController::preferredSize(true, {620, 300}), (Size{620, 472}));
    EXPECT_EQ(WindowSettingsViewController::preferredSize(true, {200, 100}), (Size{320, 272}));
    EXPECT_EQ(WindowSettingsViewController::percentText(0.355), QStringLiteral("36%"));
}

TEST(WindowSettingsView, SliderReportsEveryValueAndTheLabelFollows)
{
    WindowSettingsViewController view(QStringLiteral("灵动岛窗口"), QStringLiteral("透明度与置顶只影响内屏窗口，观众外屏不受影响。"),
                                      0.97, true);
    EXPECT_EQ(view.valueLabel()->text(), QStringLiteral("97%"));
    test::keepSnapshot(view.grab(), QStringLiteral("window-settings"));
    std::vector<double> seen;
    view.onOpacityChanged = [&](double v) { seen.push_back(v); };
    view.slider()->setValue(WindowSettingsViewController::sliderPosition(0.5));
    view.slider()->setValue(WindowSettingsViewController::sliderPosition(0.35));
    EXPECT_EQ(seen, (std::vector<double>{0.5, 0.35}));
    EXPECT_EQ(view.valueLabel()->text(), QStringLiteral("35%"));

    std::vector<bool> tops;
    view.onAlwaysOnTopChanged = [&](bool v) { tops.push_back(v); };
    ASSERT_NE(view.checkbox(), nullptr);
    EXPECT_TRUE(view.checkbox()->isChecked());
    view.checkbox()->setChecked(false);
    EXPECT_EQ(tops, std::vector<bool>{false});
}

TEST(WindowSettingsView, WithoutACompositorTheNoteSaysOpacityNeedsOne)
{
    const QString note = QStringLiteral("可拖动空白背景移动主窗口，也可拖动边缘改变大小。");
    EXPECT_EQ(WindowSettingsViewController::noteText(note, true), note);
    EXPECT_EQ(WindowSettingsViewController::noteText(note, false),
              note + QStringLiteral("透明度需要开启窗口合成的桌面才会生效。"));

    test::TestPlatform env;
    WindowSettingsViewController bare(QStringLiteral("灵动岛设置"), note, 0.97, true);
    EXPECT_TRUE(bare.noteLabel()->text().endsWith(QStringLiteral("透明度需要开启窗口合成的桌面才会生效。")));
    // The longer note still fits the popover's fixed size.
    EXPECT_LE(bare.layout()->minimumSize().height(), bare.height());
    test::keepSnapshot(bare.grab(), QStringLiteral("window-settings-no-compositor"));
    env.windowSystem().setComposited(true);
    WindowSettingsViewController composited(QStringLiteral("灵动岛设置"), note, 0.97, true);
    EXPECT_EQ(composited.noteLabel()->text(), note);
}

TEST(WindowSettingsView, ANoteLongerThanThePreferredHeightHoldsStaysWholeInsideIt)
{
    test::TestPlatform env;
    WindowSettingsViewController view(QStringLiteral("提词窗设置"),
                                      QStringLiteral("只调整分离提词窗，不影响主页灵动岛。"), 0.97, true);
    view.show();
    const QLabel* note = view.noteLabel();
    EXPECT_EQ(view.width(), 320);
    EXPECT_GE(note->height(), note->heightForWidth(note->width())) << "every wrapped line gets its height";
    EXPECT_LE(note->geometry().bottom(), view.height() - 1);
    test::keepSnapshot(view.grab(), QStringLiteral("window-settings-long-note"));

    // A note that fits keeps the preferred size.
    env.windowSystem().setComposited(true);
    WindowSettingsViewController shortNote(QStringLiteral("提词窗设置"), QStringLiteral("只调整分离提词窗。"), 0.97,
                                           true);
    EXPECT_EQ(shortNote.size(), QSize(320, 160));
}
