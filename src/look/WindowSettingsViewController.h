#pragma once

#include "platform/core/Geometry.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QSlider;

namespace quorvia {

// The popover content with which a private window's owner lets the speaker set
// the window's opacity and, optionally, always-on-top.
class WindowSettingsViewController : public QWidget {
    Q_OBJECT
public:
    WindowSettingsViewController(const QString& heading, const QString& note, double opacity, bool alwaysOnTop,
                                 bool showsAlwaysOnTop = true, QWidget* additionalView = nullptr,
                                 platform::Size additionalSize = {});

    static platform::Size preferredSize(bool hasAdditionalView, platform::Size additionalSize);
    static QString percentText(double opacity);
    // The owner's note; where nothing composites translucent windows it also
    // says that opacity needs a desktop that does.
    static QString noteText(const QString& note, bool composited);
    // The slider counts thousandths of opacity.
    static int sliderPosition(double opacity);

    platform::Size preferredContentSize() const { return preferred_; }

    std::function<void(double)> onOpacityChanged;
    std::function<void(bool)> onAlwaysOnTopChanged;

    void opacityChanged(int sliderValue);
    void alwaysOnTopChanged(bool checked);

    QSlider* slider() const { return slider_; }
    QCheckBox* checkbox() const { return checkbox_; }
    QLabel* valueLabel() const { return valueLabel_; }
    QLabel* noteLabel() const { return noteLabel_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QColor secondaryColor() const;
    void loadView(const QString& heading, const QString& note, double opacity, bool alwaysOnTop,
                  bool showsAlwaysOnTop, QWidget* additionalView, platform::Size additionalSize);

    platform::Size preferred_;
    QLabel* valueLabel_ = nullptr;
    QLabel* noteLabel_ = nullptr;
    QSlider* slider_ = nullptr;
    QCheckBox* checkbox_ = nullptr;
};

} // namespace quorvia
