#include "look/WindowSettingsViewController.h"

#include "platform/core/Text.h"
#include "platform/desktop/Window.h"
#include "look/WindowPreferences.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quorvia {

platform::Size WindowSettingsViewController::preferredSize(bool hasAdditionalView, platform::Size additional)
{
    double height = 160;
    if (hasAdditionalView)
        height += additional.height + 12;
    return {std::max(320.0, additional.width), height};
}

QString WindowSettingsViewController::percentText(double opacity)
{
    return QString::number(qint64(platform::text::roundHalfAwayFromZero(opacity * 100))) + QLatin1Char('%');
}

QString WindowSettingsViewController::noteText(const QString& note, bool composited)
{
    if (composited)
        return note;
    return note + QStringLiteral("透明度需要开启窗口合成的桌面才会生效。");
}

int WindowSettingsViewController::sliderPosition(double opacity)
{
    return int(std::lround(opacity * 1000));
}

WindowSettingsViewController::WindowSettingsViewController(const QString& heading, const QString& note, double opacity,
                                                           bool alwaysOnTop, bool showsAlwaysOnTop,
                                                           QWidget* additionalView, platform::Size additionalSize)
    : preferred_(preferredSize(additionalView != nullptr, additionalSize))
{
    loadView(heading, note, opacity, alwaysOnTop, showsAlwaysOnTop, additionalView, additionalSize);
}

void WindowSettingsViewController::loadView(const QString& heading, const QString& note, double opacity,
                                            bool alwaysOnTop, bool showsAlwaysOnTop, QWidget* additionalView,
                                            platform::Size additionalSize)
{
    setFixedSize(int(std::ceil(preferred_.width)), int(std::ceil(preferred_.height)));
    const QColor secondary = secondaryColor();

    auto* headingLabel = new QLabel(heading);
    headingLabel->setFont(pixelFont(15, QFont::DemiBold));

    auto* sliderTitle = new QLabel(QStringLiteral("窗口透明度"));
    sliderTitle->setFont(pixelFont(12));

    valueLabel_ = new QLabel;
    QFont digits = pixelFont(11, QFont::Medium);
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    valueLabel_->setFont(digits);
    setTextColour(valueLabel_, secondary);
    valueLabel_->setText(percentText(opacity));

    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->addWidget(sliderTitle);
    titleRow->addStretch(1);
    titleRow->addWidget(valueLabel_);

    slider_ = new QSlider(Qt::Horizontal);
    slider_->setRange(sliderPosition(WindowPreferences::minimumOpacity),
                      sliderPosition(WindowPreferences::maximumOpacity));
    slider_->setValue(sliderPosition(opacity));
    slider_->setTracking(true);
    slider_->setAccessibleName(QStringLiteral("窗口透明度"));
    connect(slider_, &QSlider::valueChanged, this, &WindowSettingsViewController::opacityChanged);

    auto* stack = new QVBoxLayout(this);
    // Leading, top and trailing insets only: the column hangs from the top.
    stack->setContentsMargins(16, 14, 16, 0);
    stack->setSpacing(9);
    stack->addWidget(headingLabel);
    stack->addLayout(titleRow);
    stack->addWidget(slider_);

    if (showsAlwaysOnTop) {
        checkbox_ = new QCheckBox(QStringLiteral("始终置顶"));
        checkbox_->setChecked(alwaysOnTop);
        connect(checkbox_, &QCheckBox::toggled, this, &WindowSettingsViewController::alwaysOnTopChanged);
        stack->addWidget(checkbox_);
    }

    noteLabel_ = new QLabel(noteText(note, platform::Window::isCompositing()));
    auto* noteLabel = noteLabel_;
    noteLabel->setWordWrap(true);
    noteLabel->setFont(pixelFont(11));
    setTextColour(noteLabel, secondary);
    stack->addWidget(noteLabel);

    if (additionalView) {
        auto* line = new QFrame;
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        stack->addWidget(line);
        additionalView->setFixedHeight(int(std::ceil(additionalSize.height)));
        stack->addWidget(additionalView);
    }
    stack->addStretch(1);
    // A note that wraps to more lines than the preferred height holds grows
    // the popover, with the top's inset below it, rather than being cut.
    const int preferredHeight = int(std::ceil(preferred_.height));
    const int contentHeight = stack->totalHeightForWidth(int(std::ceil(preferred_.width)));
    if (contentHeight > preferredHeight)
        setFixedHeight(contentHeight + 14);
}

QColor WindowSettingsViewController::secondaryColor() const
{
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    return dark ? dark_colours::secondaryLabel() : dark_colours::secondaryLabelOnLight();
}

void WindowSettingsViewController::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A popover with its own appearance hands its palette down after construction.
    if (event->type() == QEvent::PaletteChange && valueLabel_ && noteLabel_) {
        setTextColour(valueLabel_, secondaryColor());
        setTextColour(noteLabel_, secondaryColor());
    }
}

void WindowSettingsViewController::opacityChanged(int sliderValue)
{
    const double value = sliderValue / 1000.0;
    valueLabel_->setText(percentText(value));
    if (onOpacityChanged)
        onOpacityChanged(value);
}

void WindowSettingsViewController::alwaysOnTopChanged(bool checked)
{
    if (onAlwaysOnTopChanged)
        onAlwaysOnTopChanged(checked);
}

} // namespace quorvia
