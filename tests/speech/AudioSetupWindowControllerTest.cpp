#include "speech/AudioSetupWindowController.h"

#include "AudioSetupHooks.h"
#include "SpeechAutomationRig.h"
#include "platform/core/NotificationCenter.h"
#include "speech/AudioDeviceController.h"
#include "speech/AudioSetupState.h"
#include "support/FakeAudioService.h"
#include "support/FakeDisplayService.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

// Speech automation as far as the window reads and drives it: confirming
// holds only while the output in force is the system default.
struct FakeAutomation {
    AudioSetupWindowController::Automation hooks(AudioDeviceController& devices)
    {
        return {[this] { return std::pair(title, detail); }, [this] { return verified; },
                [this, &devices](bool value) {
                    verified = value && devices.selectedOutputIsSystemDefault();
                    platform::NotificationCenter::defaultCenter().post(
                        NotificationName::speechAutomationStatusChanged, this);
                },
                [this] {
                    ++routeChanges;
                    verified = false;
                }};
    }
    QString title = QStringLiteral("就绪");
    QString detail = QStringLiteral("可以开始语音跟随");
    bool verified = false;
    int routeChanges = 0;
};

class AudioSetupTest : public ::testing::Test {
protected:
    AudioSetupTest()
    {
        platform.platform().audioService = audio;
        platform.platform().displayService = displays;
        displays->setScreens({test::FakeDisplayService::builtIn(1)});
        audio->defaultInput = audio->add("mic", "内置麦克风", 1, 0);
        audio->add("usb", "USB Headset", 1, 2);
        audio->defaultOutput = audio->add("spk", "内置扬声器", 0, 2);
        devices = std::make_unique<AudioDeviceController>();
    }

    AudioSetupWindowController& window()
    {
        if (!controller)
            controller = std::make_unique<AudioSetupWindowController>(*devices, automation.hooks(*devices));
        return *controller;
    }
    QStringList titles(QComboBox* popup)
    {
        QStringList list;
        for (int i = 0; i < popup->count(); ++i)
            list << popup->itemText(i);
        return list;
    }
    void choose(QComboBox* popup, const QString& uid)
    {
        popup->setCurrentIndex(popup->findData(uid));
        emit popup->activated(popup->currentIndex());
    }

    test::TestPlatform platform;
    std::shared_ptr<test::FakeAudioService> audio = std::make_shared<test::FakeAudioService>();
    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::unique_ptr<AudioDeviceController> devices;
    FakeAutomation automation;
    std::unique_ptr<AudioSetupWindowController> controller;
};

TEST_F(AudioSetupTest, StateNamesTheDevicesInForceOrTheirAbsence)
{
    auto state = AudioSetupState::of(*devices, "就绪", "可以开始", false);
    EXPECT_EQ(state.inputs.items, (std::vector<std::pair<QString, QString>>{{"USB Headset", "usb"}, {"内置麦克风", "mic"}}));
    EXPECT_EQ(state.inputs.selectedIndex, 1); // the system default input, no choice stored
    EXPECT_EQ(state.outputs.items.front().second, "usb"); // a two-way device is in both lists
    EXPECT_EQ(state.routeText, "当前输入：内置麦克风\n当前系统输出：内置扬声器 · 已设为系统默认输出");
    EXPECT_EQ(state.statusText, "就绪：可以开始");
    EXPECT_EQ(state.confirmTitle, "我在会场听到了");
    EXPECT_FALSE(state.confirmChecked);

    audio->remove("mic");
    audio->remove("usb");
    audio->defaultOutput = 77; // a device the list does not hold
    audio->add("hdmi", "HDMI", 0, 2);
    devices->refresh();
    state = AudioSetupState::of(*devices, "就绪", "可以开始", true);
    EXPECT_TRUE(state.inputs.items.empty());
    EXPECT_EQ(state.outputs.items.size(), 2u);
    EXPECT_FALSE(state.outputs.selectedIndex);
    EXPECT_EQ(state.routeText, "当前输入：无可用麦克风\n当前系统输出：无可用输出 · 尚未成为系统默认输出");
    EXPECT_EQ(state.confirmTitle, "会场输出已确认");
    EXPECT_TRUE(state.confirmChecked);
}

TEST_F(AudioSetupTest, BuiltAsAPrivateFloatingWindowThatAppearsOnlyOnTheBuiltInScreen)
{
    auto& c = window();
    EXPECT_FALSE(c.window()->isVisible());
    EXPECT_EQ(c.window()->title(), "音频设备");
    EXPECT_EQ(c.window()->level(), platform::Window::floatingLevel);
    EXPECT_EQ(c.window()->sharingType(), platform::SharingType::none);
    EXPECT_EQ(c.window()->collectionBehavior(),
              platform::CollectionBehavior::canJoinAllSpaces | platform::CollectionBehavior::fullScreenAuxiliary);

    c.present();
    ASSERT_TRUE(c.window()->isVisible());
    const auto visible = test::FakeDisplayService::builtIn(1).visibleFrame;
    // Centred, at least 620 x 350 and as tall as its content.
    const platform::Size size = c.window()->frame().size;
    EXPECT_EQ(c.window()->frame(), platform::Rect(visible.midX() - size.width / 2, visible.midY() - size.height / 2, size.width, size.height));
    EXPECT_EQ(size.width, 620);
    EXPECT_GE(size.height, 350);
    c.closePressed();
    EXPECT_FALSE(c.window()->isVisible());

    // No built-in screen: the window stays hidden rather than showing where the audience may look.
    displays->setScreens({test::FakeDisplayService::external(2)});
    c.present();
    EXPECT_FALSE(c.window()->isVisible());
    c.positionOnBuiltInScreen();
    EXPECT_FALSE(c.window()->isVisible());
}

TEST_F(AudioSetupTest, ChoosingDevicesReportsARouteChangeAndARefusalRestoresTheOutput)
{
    auto& c = window();
    c.present();
    choose(c.inputPopup(), "usb");
    EXPECT_EQ(devices->selectedInputUID(), "usb");
    EXPECT_EQ(automation.routeChanges, 1);
    EXPECT_TRUE(c.routeLabel()->text().startsWith("当前输入：USB Headset\n"));

    choose(c.outputPopup(), "usb");
    EXPECT_EQ(audio->defaultOutput, audio->find("usb")->id);
    EXPECT_EQ(automation.routeChanges, 2);
    EXPECT_EQ(c.outputPopup()->currentData().toString(), "usb");

    audio->refuseDefaultOutput = true;
    choose(c.outputPopup(), "spk");
    EXPECT_EQ(c.outputPopup()->currentData().toString(), "usb"); // back to the output in force
    EXPECT_EQ(c.statusLabel()->text(), "无法更改系统默认输出，请在系统设置中手动选择。");
    EXPECT_EQ(automation.routeChanges, 2);

    // A device change elsewhere reloads the window and replaces the message.
    audio->add("bt", "蓝牙耳机", 1, 2);
    ASSERT_TRUE(devices->refresh()); // as the coordinator's poll does before it tells
    platform::NotificationCenter::defaultCenter().post(NotificationName::audioDeviceTopologyChanged, devices.get());
    EXPECT_EQ(c.statusLabel()->text(), "就绪：可以开始语音跟随");
    EXPECT_EQ(titles(c.inputPopup()), (QStringList{"USB Headset", "内置麦克风", "蓝牙耳机"}));
}

TEST_F(AudioSetupTest, ConfirmingNeedsTheSystemDefaultAndATonePlayedWithdrawsIt)
{
    auto& c = window();
    c.present();
    c.confirmButton()->click();
    EXPECT_TRUE(automation.verified);
    EXPECT_EQ(c.confirmButton()->text(), "会场输出已确认");
    EXPECT_TRUE(c.confirmButton()->isChecked());
    EXPECT_EQ(c.statusLabel()->text(), "就绪：可以开始语音跟随");

    c.testToneButton()->click();
    EXPECT_FALSE(automation.verified);
    EXPECT_EQ(c.confirmButton()->text(), "我在会场听到了");
    EXPECT_FALSE(c.confirmButton()->isChecked());
    ASSERT_TRUE(audio->lastPlayer());
    audio->lastPlayer()->finishBuffer();
    platform.scheduler().runPending();
    EXPECT_EQ(c.statusLabel()->text(), "就绪：可以开始语音跟随");

    // The default output moved elsewhere: confirming is refused and says why.
    audio->defaultOutput = audio->find("usb")->id;
    devices->selectInput("mic");
    devices->refresh();
    audio->defaultOutput = 99;
    c.confirmButton()->click();
    EXPECT_FALSE(automation.verified);
    EXPECT_FALSE(c.confirmButton()->isChecked());
    EXPECT_EQ(c.confirmButton()->text(), "我在会场听到了");
    EXPECT_EQ(c.statusLabel()->text(), "所选设备不是当前系统默认输出；请重新选择或在系统设置中修正。");

    // No output in force: the tone fails at once.
    c.playTestTone();
    EXPECT_EQ(c.statusLabel()->text(), "测试音播放失败，请重新选择系统输出设备。");
}

// The window over the real speech automation, as the coordinator wires it.
class AudioSetupWithAutomationTest : public ::testing::Test, public test::SpeechAutomationRig {
protected:
    AudioSetupWithAutomationTest()
    {
        env.platform().displayService = displays;
        displays->setScreens({test::FakeDisplayService::builtIn(1)});
        window = std::make_unique<AudioSetupWindowController>(*devices, test::setupWindowHooks(*automation));
        topologyObservation = platform::NotificationCenter::defaultCenter().observe(
            NotificationName::audioDeviceTopologyChanged, devices.get(), [this](const auto&) { ++topologyPosts; });
    }

    std::shared_ptr<test::FakeDisplayService> displays = std::make_shared<test::FakeDisplayService>();
    std::unique_ptr<AudioSetupWindowController> window;
    platform::Observation topologyObservation;
    int topologyPosts = 0;
};

TEST_F(AudioSetupWithAutomationTest, ADeviceChangeFoundOnOpeningIsHandledAsTheCoordinatorHandlesOne)
{
    window->present();
    startFollowing();
    window->confirmOutputRoute();
    ASSERT_EQ(window->confirmButton()->text(), "会场输出已确认");

    // Opening again with nothing changed keeps the confirmation and the following.
    window->closePressed();
    window->present();
    EXPECT_EQ(topologyPosts, 0);
    EXPECT_TRUE(automation->hasVerifiedOutputRoute());
    EXPECT_EQ(automation->status(), SpeechAutomationStatus::listening(PromptMode::wordFollow));

    // A headset plugged in just before opening, ahead of the coordinator's check.
    window->closePressed();
    audio->defaultOutput = audio->add(QStringLiteral("usb"), QStringLiteral("USB Headset"), 1, 2);
    window->present();
    EXPECT_EQ(topologyPosts, 1);
    EXPECT_FALSE(automation->hasVerifiedOutputRoute());
    EXPECT_FALSE(window->confirmButton()->isChecked());
    EXPECT_EQ(window->confirmButton()->text(), "我在会场听到了");
    EXPECT_EQ(automation->status(), SpeechAutomationStatus::ready());
    EXPECT_FALSE(recognizer->isCapturing());
    EXPECT_TRUE(window->routeLabel()->text().endsWith("当前系统输出：USB Headset · 已设为系统默认输出"));
    EXPECT_EQ(window->statusLabel()->text(), AudioSetupState::statusLine(automation->status().title(),
                                                                         automation->status().detail()));
    EXPECT_FALSE(devices->refresh()); // nothing left over for the coordinator's check
}

// Names too long for their lines would need a fourth: they give way with an
// ellipsis, and the words saying how the route stands show whole.
TEST_F(AudioSetupTest, LongDeviceNamesGiveWayToTheWordsAroundThem)
{
    const QString family = QStringLiteral("Family 17h/19h/1ah HD Audio Controller ");
    audio->defaultInput = audio->add("long-mic", family + QStringLiteral("Digital Microphone Array + Headset Mic"), 1, 0);
    audio->defaultOutput = audio->add("long-spk", family + QStringLiteral("Speaker + Headphones"), 0, 2);
    auto& c = window();
    c.present();
    const QPixmap picture = c.window()->grab();
    test::keepSnapshot(picture, QStringLiteral("audio-setup-long-names"));
    EXPECT_EQ(picture.width(), 620);
    const QLabel* route = c.routeLabel();
    const QStringList lines = route->text().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << route->text().toStdString();
    EXPECT_TRUE(lines[0].startsWith("当前输入：Family 17h") && lines[0].endsWith(u'…')) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("当前系统输出：Family 17h") && lines[1].endsWith("… · 已设为系统默认输出")) << lines[1].toStdString();
    for (const QString& line : lines)
        EXPECT_LE(route->fontMetrics().horizontalAdvance(line), route->contentsRect().width()) << line.toStdString();
    EXPECT_GE(route->height(), route->sizeHint().height());
}

TEST_F(AudioSetupTest, LooksRight)
{
    automation.title = QStringLiteral("语音跟随就绪");
    automation.detail = QStringLiteral("选择逐字跟读或关键词模式后开始识别；更换设备后请重新确认。");
    auto& c = window();
    c.present();
    const QPixmap picture = c.window()->grab();
    EXPECT_GE(picture.width(), 620);
    EXPECT_GE(picture.height(), 350);
    // Every control fits inside the window.
    for (QWidget* w : std::initializer_list<QWidget*>{c.inputPopup(), c.outputPopup(), c.routeLabel(), c.statusLabel(),
                                                      c.confirmButton(), c.closeButton()}) {
        const QRect area(w->mapTo(c.window(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(QRect(QPoint(), picture.size()).contains(area)) << w->metaObject()->className();
    }
    test::keepSnapshot(picture, QStringLiteral("audio-setup"));
}

} // namespace
} // namespace quorvia
