#include "prompter/TimelineCardView.h"

#include "privacy/PrivacyPalette.h"
#include "prompter/TimelineCardTitle.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QPainter>

#include <mutex>

namespace quorvia {
namespace {

// Assistive technology hears a card as a button.
QAccessibleInterface* cardAccessible(const QString& key, QObject* object)
{
    if (key == QLatin1String(TimelineCardView::staticMetaObject.className()) && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Button);
    return nullptr;
}

} // namespace

TimelineCardView::TimelineCardView(int index, const QString& label, bool selected, QWidget* parent)
    : QWidget(parent), index_(index), selected_(selected), label_(label), titleLabel_(new QLabel(label, this))
{
    QFont font = titleLabel_->font();
    font.setPixelSize(TimelineCardTitle::largestPixelSize);
    font.setWeight(QFont::DemiBold);
    titleLabel_->setFont(font);
    baseFont_ = font;
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    titleLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = titleLabel_->palette();
    palette.setColor(QPalette::WindowText, privacy_palette::white());
    titleLabel_->setPalette(palette);

    setAttribute(Qt::WA_TransparentForMouseEvents);
    static std::once_flag accessibleFactory;
    std::call_once(accessibleFactory, [] { QAccessible::installFactory(cardAccessible); });
    setAccessibleName(QStringLiteral("时间线块 ") + label);
}

void TimelineCardView::setContent(int index, const QString& label, bool selected)
{
    index_ = index;
    if (label != label_) {
        label_ = label;
        fitTitle();
        setAccessibleName(QStringLiteral("时间线块 ") + label);
    }
    if (selected != selected_) {
        selected_ = selected;
        update();
    }
}

QPixmap TimelineCardView::dragImage()
{
    QPixmap image = grab();
    if (image.isNull()) {
        image = QPixmap(size());
        image.fill(Qt::transparent);
    }
    return image;
}

void TimelineCardView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double border = selected_ ? 2 : 1;
    QPen pen(selected_ ? privacy_palette::controlAccent() : privacy_palette::timelineCardBorder(), border);
    painter.setPen(pen);
    QColor fill = selected_ ? privacy_palette::controlAccent() : privacy_palette::timelineCardFill();
    if (selected_)
        fill.setAlphaF(0.34f);
    painter.setBrush(fill);
    // The border is drawn inside the card, as a layer border is.
    const QRectF inner = QRectF(rect()).adjusted(border / 2, border / 2, -border / 2, -border / 2);
    painter.drawRoundedRect(inner, 7 - border / 2, 7 - border / 2);
}

void TimelineCardView::resizeEvent(QResizeEvent*)
{
    titleLabel_->setGeometry(3, 0, std::max(0, width() - 6), height());
    fitTitle();
}

void TimelineCardView::fitTitle()
{
    const auto title = TimelineCardTitle::fit(label_, baseFont_, titleLabel_->width());
    titleLabel_->setFont(title.font);
    titleLabel_->setText(title.text);
}

} // namespace quorvia
