#pragma once

#include <QWidget>

namespace quorvia {

// The overlay's root: a black view holding one centred column that is as wide
// as its widest line of text, but never closer than 40 to either edge.
class SafetyOverlayContentView : public QWidget {
    Q_OBJECT
public:
    explicit SafetyOverlayContentView(QWidget* column);

    static int columnWidth(int naturalWidth, int rootWidth);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* column_;
};

} // namespace quorvia
