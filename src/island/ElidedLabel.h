#pragma once

#include <QLabel>

namespace quorvia {

// A one-line label that cuts what does not fit with an ellipsis instead of
// growing its row.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, Qt::TextElideMode mode = Qt::ElideRight, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
};

} // namespace quorvia
