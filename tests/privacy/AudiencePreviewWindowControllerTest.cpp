#include "privacy/AudiencePreviewWindowController.h"

#include "platform/Popover.h"
#include "platform/Window.h"
#include "privacy/AudiencePreviewCanvasView.h"
#include "privacy/WindowSettingsViewController.h"
#include "support/FakeCaptureService.h"
#include "support/FakeDisplayService.h"
#include "support/FakePermissionService.h"
#include "support/FakeProcessService.h"
#include "support/FakeVideoSurface.h"
#include "support/TestPlatform.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
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
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 1200, 800), std::nullopt).width(), 560);
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 2560, 1400), std::nullopt).width(), 960);
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 1500, 875), std::nullopt), Rect(1500 - 660 - 28, 875 - 371.25 - 28, 660, 371.25));
    EXPECT_EQ(C::initialWindowFrame(std::nullopt, Rect(100, 50, 1200, 800)).maxX(), 1300 - 28);
    EXPECT_EQ(C::initialWindowFrame(Rect(0, 0, 1440, 875), Rect(1440, 0, 1920, 1080)).maxY(), 875 - 28);
}

namespace {
const QString kQueue = QStringLiteral("com.local.quorvia.audience-preview");

struct Preview : ::testing::Test {
    test::TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    std::shared_ptr<test::FakeCaptureService> capture = std::make_shared<test::FakeCaptureService>();
    std::shared_ptr<test::FakePermissionService> permissions = std::make_shared<test::FakePermissionService>();
    std::shared_ptr<test::FakeProcessService> process = std::make_shared<test::FakeProcessService>();
    test::FakeVideoSurfaces surfaces;
    std::unique_ptr<AudiencePreviewWindowController> preview;
    std::vector<bool> visibility;
    int windowsCreated = 0;

    Preview()
    {
        env.platform().displayService = displays;
        env.platform().captureService = capture;
        env.platform().permissionService = permissions;
        env.platform().processService = process;
        displays->setScreens({FakeDisplayService::builtIn(1), FakeDisplayService::external(7),
                              FakeDisplayService::external(8, QStringLiteral("B"), Rect(3360, 0, 1920, 1080))});
        capture->content.displays = {test::FakeCaptureService::display(7, Rect(1440, 0, 1920, 1080)),
                                     test::FakeCaptureService::display(8, Rect(3360, 0, 1920, 1080))};
        capture->content.applications = {{QStringLiteral("com.local.quorvia"), QStringLiteral("Quorvia"), process->pid},
                                         {QStringLiteral("com.apple.Keynote"), QStringLiteral("Keynote"), 77}};
        makeController();
    }

    void makeController()
    {
        preview = std::make_unique<AudiencePreviewWindowController>();
        preview->onVisibilityChange = [this](bool v) { visibility.push_back(v); };
        preview->onWindowCreated = [this](platform::Window*) { ++windowsCreated; };
    }

    QString status() const { return preview->canvas()->statusLabel().text(); }
    bool statusShown() const { return !preview->canvas()->statusLabel().isHidden(); }

    // Start and bring the stream to running.
    test::FakeCaptureStream* running(platform::DisplayID id)
    {
        preview->start(id);
        capture->answerContent();
        env.scheduler().runPending();
        auto* stream = capture->lastStream();
        if (stream) {
            stream->completeStart();
            env.scheduler().runPending();
        }
        return stream;
    }

    void deliver(test::FakeCaptureStream* stream, FrameStatus status)
    {
        stream->deliver(status);
        env.scheduler().drainQueue(kQueue);
        env.scheduler().runPending();
    }
};
} // namespace

TEST_F(Preview, StartCapturesTheChosenDisplayLeavingOutOnlyItself)
{
    preview->start(7);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(visibility, std::vector<bool>{true});
    EXPECT_EQ(windowsCreated, 1);
    EXPECT_EQ(status(), QStringLiteral("正在连接外屏预览…"));
    EXPECT_EQ(preview->window()->title(), QStringLiteral("观众画面预览 · 外屏 7"));
    EXPECT_EQ(preview->window()->sharingType(), platform::SharingType::none);
    EXPECT_FALSE(capture->lastExcludingDesktopWindows);
    EXPECT_FALSE(capture->lastOnScreenWindowsOnly);

    capture->answerContent();
    env.scheduler().runPending();
    auto* stream = capture->lastStream();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->filter.display.displayID, 7u);
    ASSERT_EQ(stream->filter.excludedApplications.size(), 1u);
    EXPECT_EQ(stream->filter.excludedApplications[0].processID, process->pid);
    EXPECT_EQ(stream->configuration.width, 1920);
    EXPECT_EQ(stream->configuration.minimumFrameInterval, (platform::FrameInterval{1, 30}));
    EXPECT_EQ(stream->configuration.queueDepth, 3);
    EXPECT_TRUE(stream->configuration.showsCursor);
    EXPECT_FALSE(stream->configuration.capturesAudio);
    EXPECT_EQ(stream->outputQueueLabel, kQueue);
    EXPECT_EQ(stream->startRequests, 1);
}

TEST_F(Preview, OnlyCompleteAndStartedFramesReachTheCanvas)
{
    auto* stream = running(7);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(statusShown());
    deliver(stream, FrameStatus::idle);
    deliver(stream, FrameStatus::blank);
    deliver(stream, FrameStatus::suspended);
    deliver(stream, FrameStatus::stopped);
    platform::SampleBuffer unknown;
    unknown.frameStatus = 42;
    unknown.image = test::FakeCaptureStream::defaultImage();
    stream->deliverRaw(unknown);
    platform::SampleBuffer noStatus;
    noStatus.image = test::FakeCaptureStream::defaultImage();
    stream->deliverRaw(noStatus);
    env.scheduler().drainQueue(kQueue);
    env.scheduler().runPending();
    EXPECT_EQ(surfaces.last()->enqueued, 0);
    EXPECT_TRUE(statusShown()) << "the last picture and text stay";

    deliver(stream, FrameStatus::complete);
    deliver(stream, FrameStatus::started);
    EXPECT_EQ(surfaces.last()->enqueued, 2);
    EXPECT_FALSE(statusShown());
}

TEST_F(Preview, CanvasFlushesAFailedRendererAndDropsWhenBusy)
{
    auto* stream = running(7);
    auto* surface = surfaces.last();
    surface->forcedStatus = platform::VideoSurface::Status::failed;
    deliver(stream, FrameStatus::complete);
    EXPECT_EQ(surface->flushes, 1);
    surface->forcedStatus.reset();
    surface->ready = false;
    deliver(stream, FrameStatus::complete);
    EXPECT_EQ(surface->enqueued, 1);

    platform::SampleBuffer invalid;
    invalid.isValid = false;
    invalid.image = test::FakeCaptureStream::defaultImage();
    surface->ready = true;
    preview->canvas()->enqueue(invalid);
    EXPECT_EQ(surface->enqueued, 1);
}

TEST_F(Preview, DeniedPermissionKeepsTheWindowWithItsText)
{
    permissions->screenCaptureGranted = false;
    preview->start(7);
    EXPECT_EQ(permissions->screenRequests, 1);
    EXPECT_EQ(status(), QStringLiteral("需要屏幕录制权限，授权后请重启应用"));
    EXPECT_TRUE(preview->window()->isVisible());
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(visibility, (std::vector<bool>{true, false}));
    EXPECT_EQ(capture->contentRequests, 0);
}

TEST_F(Preview, ContentFailuresShowTheirText)
{
    preview->start(7);
    capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable));
    env.scheduler().runPending();
    EXPECT_EQ(status(), QStringLiteral("无法读取外屏画面"));
    EXPECT_FALSE(preview->isVisible());

    preview->start(9);
    capture->answerContent();
    env.scheduler().runPending();
    EXPECT_EQ(status(), QStringLiteral("找不到所选外屏"));
    EXPECT_EQ(visibility, (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(capture->streams.empty());
}

TEST_F(Preview, LateFailureOfAnEarlierStartLeavesTheNewerPreviewAlone)
{
    preview->start(7);
    preview->start(8);
    // The first request fails after the second is already running.
    ASSERT_EQ(capture->pendingContentRequests(), 2u);
    capture->answerContent(std::unexpected(platform::CaptureError::contentUnavailable));
    env.scheduler().runPending();
    EXPECT_EQ(preview->activeDisplayID(), 8u);
    EXPECT_EQ(status(), QStringLiteral("正在连接外屏预览…"));

    capture->answerContent();
    env.scheduler().runPending();
    ASSERT_EQ(capture->streams.size(), 1u);
    EXPECT_EQ(capture->lastStream()->filter.display.displayID, 8u);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(visibility, (std::vector<bool>{true, true}));
}

TEST_F(Preview, OldSuccessAfterANewerStartMakesNoSecondStream)
{
    preview->start(7);
    preview->start(7);
    capture->answerContent();
    capture->answerContent();
    env.scheduler().runPending();
    EXPECT_EQ(capture->streams.size(), 1u) << "a second stream would run on unseen";
}

TEST_F(Preview, StartFailureAndSystemStopEndThePreview)
{
    preview->start(7);
    capture->answerContent();
    env.scheduler().runPending();
    auto* stream = capture->lastStream();
    stream->completeStart(platform::CaptureError::startFailed);
    env.scheduler().runPending();
    EXPECT_EQ(status(), QStringLiteral("外屏预览启动失败"));
    EXPECT_EQ(stream->stopRequests, 1);
    EXPECT_FALSE(preview->isVisible());

    stream->completeStop();
    env.scheduler().runPending();
    auto* second = running(7);
    ASSERT_NE(second, stream);
    second->fail();
    env.scheduler().runPending();
    EXPECT_EQ(status(), QStringLiteral("外屏预览已停止"));
    EXPECT_TRUE(preview->window()->isVisible());
    EXPECT_FALSE(preview->isVisible());
    visibility.clear();
    second->completeStop();
    env.scheduler().runPending();
    EXPECT_EQ(visibility, std::vector<bool>{false});
}

TEST_F(Preview, OutputThatCannotBeAddedIsNeverStarted)
{
    capture->addOutputError = platform::CaptureError::outputUnavailable;
    preview->start(7);
    capture->answerContent();
    env.scheduler().runPending();
    EXPECT_EQ(status(), QStringLiteral("外屏预览启动失败"));
    EXPECT_EQ(capture->lastStream()->startRequests, 0);
    EXPECT_FALSE(preview->isVisible());
}

TEST_F(Preview, StartWhileStoppingIsIgnoredEntirely)
{
    auto* stream = running(7);
    preview->stop();
    EXPECT_TRUE(preview->isStopping());
    EXPECT_FALSE(preview->window()->isVisible());
    EXPECT_EQ(status(), QStringLiteral("预览已关闭"));
    visibility.clear();
    preview->start(8);
    EXPECT_FALSE(preview->window()->isVisible());
    EXPECT_TRUE(visibility.empty());

    stream->completeStop();
    env.scheduler().runPending();
    EXPECT_FALSE(preview->isStopping());
    EXPECT_EQ(visibility, std::vector<bool>{false}) << "stop reports once its stream has stopped";
}

TEST_F(Preview, SwitchingDisplaysStopsTheOldStreamAndReusesTheWindow)
{
    auto* first = running(7);
    first->autoCompleteStop = false;
    platform::Window* window = preview->window();
    // A stream still stopping would make the next start a no-op, so let it finish.
    preview->start(8);
    EXPECT_EQ(first->stopRequests, 1);
    EXPECT_EQ(preview->window(), window);
    EXPECT_EQ(windowsCreated, 1);
    EXPECT_EQ(window->title(), QStringLiteral("观众画面预览 · 外屏 8"));
}

TEST_F(Preview, UnpluggingOrMirroringTheDisplayStopsThePreview)
{
    running(7);
    visibility.clear();
    preview->handleTopologyChange(7);
    EXPECT_TRUE(preview->isVisible());

    displays->unplug(7);
    preview->handleTopologyChange(7);
    EXPECT_FALSE(preview->window()->isVisible());
    capture->lastStream()->completeStop();
    env.scheduler().runPending();
    EXPECT_EQ(visibility, std::vector<bool>{false});

    displays->plug(FakeDisplayService::external(7));
    running(7);
    displays->mirror(1, 8);
    preview->handleTopologyChange(7);
    EXPECT_FALSE(preview->isVisible());
}

TEST_F(Preview, AnotherChosenDisplayEndsThePreview)
{
    running(7);
    preview->handleTopologyChange(8);
    EXPECT_FALSE(preview->isVisible());
    preview->handleTopologyChange(std::nullopt); // nothing running: nothing happens
}

TEST_F(Preview, WindowLeftOnAnotherScreenReturnsButAPlacedOneStays)
{
    running(7);
    platform::Window* window = preview->window();
    EXPECT_EQ(window->frame(), AudiencePreviewWindowController::initialWindowFrame(Rect(0, 0, 1440, 875), std::nullopt));
    EXPECT_NEAR(window->frame().width(), 633.6, 1e-9);
    window->setFrame(Rect(100, 100, 700, 400));
    preview->handleTopologyChange(7);
    EXPECT_EQ(window->frame(), Rect(100, 100, 700, 400));

    window->setFrame(Rect(2000, 100, 700, 400));
    preview->handleTopologyChange(7);
    EXPECT_EQ(window->frame().maxX(), 1440 - 28);
}

TEST_F(Preview, ClosingTheWindowStopsAndTheNextStartReusesIt)
{
    auto* stream = running(7);
    platform::Window* window = preview->window();
    window->close();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(stream->stopRequests, 1);
    stream->completeStop();
    env.scheduler().runPending();
    running(8);
    EXPECT_EQ(preview->window(), window);
    EXPECT_EQ(windowsCreated, 1);
}

TEST_F(Preview, OpacityPopoverAppliesAtOnceAndIsRemembered)
{
    running(7);
    EXPECT_DOUBLE_EQ(preview->window()->alphaValue(), 1.0);
    preview->opacityButton()->click();
    ASSERT_NE(preview->settingsPopover(), nullptr);
    auto* settings = preview->settingsPopover()->findChild<WindowSettingsViewController*>();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->checkbox(), nullptr);
    settings->slider()->setValue(600);
    EXPECT_DOUBLE_EQ(preview->window()->alphaValue(), 0.6);
    EXPECT_DOUBLE_EQ(env.defaults().doubleValue(QStringLiteral("audience.preview.opacity")), 0.6);

    preview->stop();
    EXPECT_FALSE(preview->settingsPopover()->isShown());
    capture->lastStream()->completeStop();
    env.scheduler().runPending();
    preview->window()->setAlphaValue(1.0);
    running(7);
    EXPECT_DOUBLE_EQ(preview->window()->alphaValue(), 0.6);
}

TEST_F(Preview, DestroyedControllerIgnoresLateResults)
{
    preview->start(7);
    preview.reset();
    capture->answerContent();
    env.scheduler().runPending();
    EXPECT_TRUE(capture->streams.empty());
}

TEST_F(Preview, SnapshotOfAPictureAndOfAStatus)
{
    auto* stream = running(7);
    QImage picture(1920, 1080, QImage::Format_ARGB32);
    picture.fill(QColor(30, 90, 160));
    {
        QPainter painter(&picture);
        QFont f;
        f.setPixelSize(120);
        painter.setFont(f);
        painter.setPen(Qt::white);
        painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("第 3 页"));
    }
    stream->deliver(FrameStatus::complete, picture);
    env.scheduler().drainQueue(kQueue);
    env.scheduler().runPending();
    platform::Window* window = preview->window();
    window->resize(640, 388);
    QApplication::processEvents();
    const QString dir = qEnvironmentVariable("QUORVIA_SNAPSHOT_DIR");
    const QPixmap live = window->grab();
    EXPECT_FALSE(live.isNull());
    preview->stop();
    window->orderFront();
    QApplication::processEvents();
    const QPixmap closed = window->grab();
    if (!dir.isEmpty()) {
        live.save(QDir(dir).filePath(QStringLiteral("audience-preview.png")));
        closed.save(QDir(dir).filePath(QStringLiteral("audience-preview-closed.png")));
    }
}
