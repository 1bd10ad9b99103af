#pragma once

#include "model/PromptTimelineBlock.h"
#include "prompter/TimelineStripDensity.h"
#include "prompter/TimelineStripScrollArea.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;

namespace quorvia {

class TimelineStripCanvas;

// Every block of the script as a card in one scrolling strip: slides on the
// upper row, demos on the lower. Keeps no model: the owner reloads it after
// every change and carries out what the speaker asks through the callbacks.
class TimelineStripView : public QWidget {
    Q_OBJECT
public:
    using Density = TimelineStripDensity;

    explicit TimelineStripView(Density density, QWidget* parent = nullptr);

    void reload(const std::vector<PromptTimelineBlock>& blocks, int selectedIndex);

    Density density() const { return density_; }
    TimelineStripCanvas* canvas() const { return canvas_; }
    QScrollArea* scrollView() const { return scrollView_; }
    QLabel* slideLabel() const { return slideLabel_; }
    QLabel* demoLabel() const { return demoLabel_; }

    std::function<void(int index)> onSelect;
    std::function<void(int from, int to)> onMove;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutStrip();
    void fitCanvas();

    Density density_;
    TimelineStripScrollArea* scrollView_;
    TimelineStripCanvas* canvas_;
    QLabel* slideLabel_;
    QLabel* demoLabel_;
    std::vector<PromptTimelineBlock> blocks_;
    int selectedIndex_ = 0;
};

} // namespace quorvia
