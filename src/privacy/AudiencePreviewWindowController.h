#pragma once

#include "platform/capture/CaptureService.h"
#include "platform/core/Geometry.h"
#include "platform/core/MainQueue.h"
#include "look/AudiencePreviewPreferences.h"

#include <functional>
#include <memory>
#include <optional>

class QPushButton;

namespace quorvia {

namespace platform {
class Popover;
class Window;
} // namespace platform
class AudiencePreviewCanvasView;

// Shows the speaker, on the built-in screen, what the chosen audience display
// shows: its own capture of that display, drawn in an ordinary window that is
// itself left out of capture. It knows nothing of safety states.
class AudiencePreviewWindowController {
public:
    AudiencePreviewWindowController();
    ~AudiencePreviewWindowController();
    AudiencePreviewWindowController(const AudiencePreviewWindowController&) = delete;
    AudiencePreviewWindowController& operator=(const AudiencePreviewWindowController&) = delete;

    bool isVisible() const;
    void start(platform::DisplayID displayID);
    void stop();
    void handleTopologyChange(std::optional<platform::DisplayID> selectedDisplayID);
    void windowWillClose();
    void showOpacitySettings();

    // 28 from the top-right corner of the built-in screen's visible frame (or
    // the main screen's, or a fixed rectangle), 0.44 of its width within
    // 560...960, at 16:9.
    static platform::Rect initialWindowFrame(std::optional<platform::Rect> builtInVisible,
                                             std::optional<platform::Rect> mainVisible);

    std::function<void(bool)> onVisibilityChange;
    std::function<void(platform::Window*)> onWindowCreated;

    platform::Window* window() const { return window_.get(); }
    AudiencePreviewCanvasView* canvas() const { return canvas_; }
    QPushButton* opacityButton() const { return opacityButton_; }
    platform::Popover* settingsPopover() const { return settingsPopover_.get(); }
    std::optional<platform::DisplayID> activeDisplayID() const { return activeDisplayID_; }
    bool isStopping() const { return isStopping_; }

private:
    struct Liveness {
        AudiencePreviewWindowController* owner;
    };

    void stopStream(std::function<void()> completion);
    void showWindow(platform::DisplayID displayID);
    void configureStream(const platform::ShareableDisplay& display,
                         const std::vector<platform::ShareableApplication>& excluding, std::uint64_t request);
    void contentArrived(std::expected<platform::ShareableContent, platform::CaptureError> result,
                        platform::DisplayID displayID, std::uint64_t request);
    void fail(const QString& status);
    void frameArrived(platform::StreamID source, const platform::SampleBuffer& buffer);
    void streamStopped(platform::StreamID source);
    void keepWindowOnBuiltInScreen();
    platform::Rect initialWindowFrame() const;
    QWidget* makeContentView();
    void closeSettingsPopover();
    void reportVisibility(bool visible);

    platform::SerialQueue captureQueue_;
    AudiencePreviewPreferences preferences_;
    std::shared_ptr<platform::CaptureStream> stream_;
    std::optional<platform::DisplayID> activeDisplayID_;
    bool isStopping_ = false;
    std::unique_ptr<platform::Window> window_;
    AudiencePreviewCanvasView* canvas_ = nullptr;
    QPushButton* opacityButton_ = nullptr;
    std::unique_ptr<platform::Popover> settingsPopover_;
    // Each start and stop supersedes the requests before it.
    std::uint64_t request_ = 0;
    std::shared_ptr<Liveness> liveness_;
};

} // namespace quorvia
