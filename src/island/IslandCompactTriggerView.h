#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace quorvia {

// The collapsed island's content. It only reports the pointer and presses;
// its owner decides the look through setHovered.
class IslandCompactTriggerView : public QWidget {
    Q_OBJECT
public:
    explicit IslandCompactTriggerView(QWidget* parent = nullptr);

    void setHovered(bool hovered);
    bool isHovered() const { return hovered_; }
    bool hoverContentVisible() const;

    std::function<void(bool)> onHoverChanged;
    std::function<void()> onActivate;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutHoverStack();

    QLabel* iconView_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QWidget* hoverStack_ = nullptr;
    bool hovered_ = false;
};

} // namespace quorvia
