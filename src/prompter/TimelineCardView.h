#pragma once

#include <QWidget>

class QLabel;

namespace quorvia {

// One timeline card: its look only. A reload may replace cards or give them
// another block, so the long-lived canvas takes the presses and drags over them.
class TimelineCardView : public QWidget {
    Q_OBJECT
public:
    TimelineCardView(int index, const QString& label, bool selected, QWidget* parent = nullptr);

    // Shows another block, or the same one after a change, without a new widget.
    void setContent(int index, const QString& label, bool selected);

    int index() const { return index_; }
    bool isSelected() const { return selected_; }
    QLabel* titleLabel() const { return titleLabel_; }
    // A bitmap of the card to follow the pointer while dragging.
    QPixmap dragImage();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The label as stored, shrunk or shortened to the card's width.
    void fitTitle();

    int index_;
    bool selected_;
    QString label_;
    QFont baseFont_;
    QLabel* titleLabel_;
};

} // namespace quorvia
