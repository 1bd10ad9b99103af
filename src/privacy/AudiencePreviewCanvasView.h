#pragma once

#include "platform/capture/SampleBuffer.h"

#include <QWidget>

class QLabel;

namespace quorvia {

namespace platform {
class VideoSurface;
}

// The preview window's content: captured frames fitted on black, with a status
// line over the picture while there is nothing to show.
class AudiencePreviewCanvasView : public QWidget {
    Q_OBJECT
public:
    explicit AudiencePreviewCanvasView(QWidget* parent = nullptr);

    // Shows the text and clears the picture behind it.
    void showStatus(const QString& status);
    void enqueue(const platform::SampleBuffer& buffer);
    void prepareForShutdown();

    platform::VideoSurface* surface() const { return surface_; }
    QLabel& statusLabel() const { return *statusLabel_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    platform::VideoSurface* surface_ = nullptr;
    QLabel* statusLabel_ = nullptr;
};

} // namespace quorvia
