#include "privacy/AudiencePreviewWindowController.h"

#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "platform/desktop/Popover.h"
#include "platform/desktop/Window.h"
#include "privacy/AudiencePreviewCanvasView.h"
#include "look/WindowSettingsViewController.h"
#include "PrivacyFakes.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::FrameStatus;
using platform::Rect;
using test::FakeDisplayService;

TEST(AudiencePreviewFrame, InitialFrameSitsTopRightWithinItsWidthLimits)
{
    using C = AudiencePreviewWindowController;
    EXPECT_EQ(C::initialWindowFrame(std::nullopt, std::nullopt), Rect(452, 277, 560, 315));
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 2560, 1400), std::nullopt).width(), 960);
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 1500, 875), std::nullopt), Rect(812, 475.75, 660, 371.25));
    EXPECT_EQ(C::initialWindowFrame(std::nullopt, Rect(100, 50, 1200, 800)).maxX(), 1300 - 28);
}

namespace {
const QString kQueue = QStringLiteral("com.local.quorvia.audience-preview");

struct Preview : ::testing::Test, test::PrivacyFakes {
    std::unique_ptr<AudiencePreviewWindowController> preview = std::make_unique<AudiencePreviewWindowController>();
    std::vector<bool> visibility;
    int windowsCreated = 0;

    Preview()
    {
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7),
                              FakeDisplayService::external(8, QStringLiteral("B"), Rect(3360, 0, 1920, 1080))});
        shareEverything();
        preview->onVisibilityChange = [this](bool v) { visibility.push_back(v); };
        preview->onWindowCreated = [this](platform::Window*) { ++windowsCreated; };
    }

    QString status() const { return preview->canvas()->statusLabel().text(); }
    bool statusShown() const { return !preview->canvas()->statusLabel().isHidden(); }
    void answer(std::expected<platform::ShareableContent, platform::CaptureError> reply)
    {
        capture->answerContent(std::move(reply));
        clock().runPending();
    }
    // Start and bring the stream to running.
    test::FakeCaptureStream* running(platform::DisplayID id)
    {
        preview->start(id);
        answer(capture->content);
        auto* stream = capture->lastStream();
        if (stream && stream->completeStart())
            clock().runPending();
        return stream;
    }
    void stopped(test::FakeCaptureStream* stream)
    {
        stream->completeStop();
        clock().runPending();
    }
    void deliver(test::FakeCaptureStream* stream, const platform::SampleBuffer& buffer)
    {
        stream->deliverRaw(buffer);
        clock().drainQueue(kQueue);
        clock().runPending();
    }
};
} // namespace

TEST_F(Preview, CapturesTheChosenDisplayLeavingOutOnlyItselfAndShowsOnlyUsableFrames)
{
    preview->start(7);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(visibility, std::vector<bool>{true});
    EXPECT_EQ(preview->window()->sharingType(), platform::SharingType::none);

    answer(capture->content);
    auto* stream = capture->lastStream();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->filter.display.displayID, 7u);
    ASSERT_EQ(stream->filter.excludedApplications.size(), 1u);
    EXPECT_EQ(stream->filter.excludedApplications[0].processID, process->pid);
    EXPECT_EQ(stream->configuration.minimumFrameInterval, (platform::FrameInterval{1, 30}));
    EXPECT_EQ(stream->configuration.queueDepth, 3);
    EXPECT_TRUE(stream->configuration.showsCursor);

    // Only usable complete and started frames reach the renderer.
    ASSERT_TRUE(stream->completeStart());
    clock().runPending();
    auto* surface = surfaces.last();
    for (int status : {int(FrameStatus::idle), int(FrameStatus::blank), int(FrameStatus::suspended),
                       int(FrameStatus::stopped), 42})
        deliver(stream, test::sampleFrame(status));
    deliver(stream, platform::SampleBuffer{});
    deliver(stream, test::sampleFrame(int(FrameStatus::complete), true, false));
    EXPECT_EQ(surface->enqueued, 0);
    EXPECT_TRUE(statusShown()) << "the last picture and text stay";

    deliver(stream, test::sampleFrame(int(FrameStatus::complete)));
    deliver(stream, test::sampleFrame(int(FrameStatus::started)));
    EXPECT_EQ(surface->enqueued, 2);
    EXPECT_FALSE(statusShown());
}

TEST_F(Preview, EveryFailureShowsItsTextAndReportsThePreviewGone)
{
    permissions->screenCaptureGranted = false;
    preview->start(7);
    EXPECT_EQ(permissions->screenRequests, 1);
    EXPECT_EQ(status(), QStringLiteral("需要屏幕录制权限，授权后请重启应用"));
    EXPECT_TRUE(preview->window()->isVisible()) << "the window stays with the text";
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(capture->contentRequests, 0);
    preview->window()->resize(640, 388);
    QApplication::processEvents();
    test::keepSnapshot(preview->window()->grab(), QStringLiteral("audience-preview"));

    permissions->screenCaptureGranted = true;
    preview->start(7);
    answer(std::unexpected(platform::CaptureError::contentUnavailable));
    EXPECT_EQ(status(), QStringLiteral("无法读取外屏画面"));

    preview->start(9);
    answer(capture->content);
    EXPECT_EQ(status(), QStringLiteral("找不到所选外屏"));
    EXPECT_EQ(visibility, (std::vector<bool>{true, false, true, false, true, false}));

    capture->addOutputError = platform::CaptureError::outputUnavailable;
    preview->start(7);
    answer(capture->content);
    EXPECT_EQ(status(), QStringLiteral("外屏预览启动失败"));
    EXPECT_EQ(capture->lastStream()->startRequests, 0);
    EXPECT_FALSE(preview->isVisible());

    capture->addOutputError.reset();
    preview->start(7);
    answer(capture->content);
    auto* stream = capture->lastStream();
    stream->completeStart(platform::CaptureError::startFailed);
    clock().runPending();
    EXPECT_EQ(status(), QStringLiteral("外屏预览启动失败"));
    EXPECT_EQ(stream->stopRequests, 1);
    EXPECT_FALSE(preview->isVisible());

    // A stream the system stops ends the preview too.
    stopped(stream);
    auto* second = running(7);
    second->fail();
    clock().runPending();
    EXPECT_EQ(status(), QStringLiteral("外屏预览已停止"));
    EXPECT_TRUE(preview->window()->isVisible());
    EXPECT_FALSE(preview->isVisible());
    visibility.clear();
    stopped(second);
    EXPECT_EQ(visibility, std::vector<bool>{false});
}

TEST_F(Preview, LateResultsOfAnEarlierStartLeaveTheNewerPreviewAlone)
{
    preview->start(7);
    preview->start(8);
    ASSERT_EQ(capture->pendingContentRequests(), 2u);
    answer(std::unexpected(platform::CaptureError::contentUnavailable));
    EXPECT_EQ(preview->activeDisplayID(), 8u);
    EXPECT_EQ(status(), QStringLiteral("正在连接外屏预览…"));
    answer(capture->content);
    ASSERT_EQ(capture->streams.size(), 1u);
    EXPECT_EQ(capture->lastStream()->filter.display.displayID, 8u);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(visibility, (std::vector<bool>{true, true}));

    // An old success after a newer start of the same display makes no second stream.
    stopped(capture->lastStream());
    preview->stop();
    stopped(capture->lastStream());
    preview->start(7);
    preview->start(7);
    answer(capture->content);
    answer(capture->content);
    EXPECT_EQ(capture->streams.size(), 2u);

    // Nor does a result that reaches a destroyed controller.
    preview->stop();
    stopped(capture->lastStream());
    preview->start(7);
    preview.reset();
    answer(capture->content);
    EXPECT_EQ(capture->streams.size(), 2u);
}

TEST_F(Preview, StopsWaitForTheStreamAndRestartsReuseTheSameWindow)
{
    auto* stream = running(7);
    platform::Window* window = preview->window();
    preview->stop();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(status(), QStringLiteral("预览已关闭"));
    visibility.clear();
    preview->start(8); // ignored while the stream is still stopping
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(visibility.empty());
    stopped(stream);
    EXPECT_EQ(visibility, std::vector<bool>{false});

    auto* first = running(7);
    preview->start(8);
    EXPECT_EQ(first->stopRequests, 1);
    EXPECT_EQ(window->title(), QStringLiteral("观众画面预览 · 外屏 8"));
    stopped(first);

    auto* second = running(8);
    window->close();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(second->stopRequests, 1);
    stopped(second);
    running(7);
    EXPECT_EQ(preview->window(), window);
    EXPECT_EQ(windowsCreated, 1);
}

TEST_F(Preview, DisplayChangesEndThePreviewUnlessItsDisplayStaysChosenAndConnected)
{
    running(7);
    visibility.clear();
    // A window the speaker placed on the built-in screen stays; one left on
    // another screen returns to its first frame.
    platform::Window* window = preview->window();
    window->setFrame(Rect(100, 100, 700, 400));
    preview->handleTopologyChange(7);
    EXPECT_EQ(window->frame(), Rect(100, 100, 700, 400));
    window->setFrame(Rect(2000, 100, 700, 400));
    preview->handleTopologyChange(7);
    EXPECT_EQ(window->frame().maxX(), 1440 - 28);
    EXPECT_TRUE(preview->isVisible());

    preview->handleTopologyChange(8);
    EXPECT_FALSE(preview->isVisible());
    stopped(capture->lastStream());

    running(7);
    displays->unplug(7);
    preview->handleTopologyChange(7);
    EXPECT_FALSE(preview->window()->isVisible());
    stopped(capture->lastStream());
    EXPECT_EQ(visibility.back(), false);
}

TEST_F(Preview, OpacityPopoverAppliesAtOnceAndIsRemembered)
{
    running(7);
    preview->opacityButton()->click();
    auto* settings = preview->settingsPopover()->findChild<WindowSettingsViewController*>();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->checkbox(), nullptr);
    settings->slider()->setValue(600);
    EXPECT_DOUBLE_EQ(preview->window()->alphaValue(), 0.6);
    EXPECT_DOUBLE_EQ(env.defaults().doubleValue(QStringLiteral("audience.preview.opacity")), 0.6);

    preview->stop();
    EXPECT_FALSE(preview->settingsPopover()->isShown());
    stopped(capture->lastStream());
    preview->window()->setAlphaValue(1.0);
    running(7);
    EXPECT_DOUBLE_EQ(preview->window()->alphaValue(), 0.6);
}
