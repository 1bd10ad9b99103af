#include "speech/AudioDeviceController.h"
#include "speech/AudioSetupWindowController.h"
#include "support/EventWait.h"
#include "support/FakeAudioService.h"
#include "support/FakeDisplayService.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"
#include "support/WindowManagedTwoOutputTest.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

class AudioSetupWindowTest : public test::WindowManagedTwoOutputTest {};

// With a laptop's long device names and a status of two lines, under a window
// manager that takes its title bar out of the window, every text shows whole
// and 完成 stands clear of the bottom edge: the window grows to its content,
// never below 620 x 350 inside.
TEST_P(AudioSetupWindowTest, TheWindowHoldsItsWholeContent)
{
    test::TestPlatform env;
    auto audio = std::make_shared<test::FakeAudioService>();
    auto displays = std::make_shared<test::FakeDisplayService>();
    platform::Screen builtIn = test::FakeDisplayService::builtIn(1);
    builtIn.frame = builtIn.visibleFrame = platform::Rect(0, 0, 1920, 1080);
    displays->setScreens({builtIn});
    env.platform().audioService = audio;
    env.platform().displayService = displays;
    audio->defaultInput = audio->add("mic", "Family 17h/19h HD Audio Controller Digital Microphone", 2, 0);
    audio->defaultOutput = audio->add("speaker", "Family 17h/19h HD Audio Controller Analog Stereo", 0, 2);
    AudioDeviceController devices;
    AudioSetupWindowController::Automation automation;
    automation.status = [] {
        return std::pair(QStringLiteral("语音：不可用"),
                         QStringLiteral("找不到 zh-Hans-CN 的本机识别模型。请把模型放进数据文件夹下的 quorvia/speech/zh-Hans-CN/，"
                                        "或改用固定滚动或手动翻页。"));
    };
    AudioSetupWindowController controller(devices, automation);
    controller.present();
    platform::Window& window = *controller.window();
    ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    if (GetParam() == test::Manager::openbox) {
        ASSERT_TRUE(test::waitUntil([&] { return !window.decorationMargins().isNull(); }));
    }
    QWidget* content = window.contentView();
    QLabel* route = controller.routeLabel();
    QLabel* status = controller.statusLabel();
    QPushButton* done = controller.closeButton();
    // Laid out at the size it ends at.
    EXPECT_TRUE(test::waitUntil([&] {
        return content->height() >= 350 && content->width() >= 620 && route->height() >= route->heightForWidth(route->width())
            && status->height() >= status->heightForWidth(status->width());
    }, 10000)) << "content " << content->width() << 'x' << content->height() << ", route " << route->height() << " of "
              << route->heightForWidth(route->width()) << ", status " << status->height() << " of "
              << status->heightForWidth(status->width());
    test::keepSnapshot(window.grab(), QStringLiteral("audio-setup-managed"));

    for (QWidget* w : std::initializer_list<QWidget*>{route, status, done}) {
        const QRect area(w->mapTo(content, QPoint(0, 0)), w->size());
        EXPECT_TRUE(content->rect().contains(area)) << w->metaObject()->className();
    }
    const int below = content->height() - done->mapTo(content, QPoint(0, done->height())).y();
    EXPECT_GE(below, 12) << "完成 sits on the bottom edge";
}

QUORVIA_UNDER_EACH_WINDOW_MANAGER(AudioSetupWindowTest);

} // namespace
} // namespace quorvia
