#include "platform/linux/application/RefusalPanel.h"

#include "platform/linux/dialogs/PanelPlacement.h"

#include "platform/application/ApplicationIcon.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvia::platform::native {

namespace {
constexpr double panelWidth = 420;
constexpr double panelHeight = 150;
// A reason up to this wide reads on one line; a longer one on lines of even length.
constexpr int widestReason = 480;

int linesAt(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine(), ++lines)
        line.setLineWidth(width);
    layout.endLayout();
    return lines;
}

// The narrowest width, in steps of one character, that takes no more lines
// than the widest does: the lines come out even, none of them holding only
// the last character or two.
int evenWidth(const QString& text, const QFont& font)
{
    const QFontMetrics metrics(font);
    const int step = metrics.horizontalAdvance(QChar(0x4E00));
    const int fewest = linesAt(text, font, widestReason);
    int width = metrics.horizontalAdvance(text) / fewest;
    while (width < widestReason && linesAt(text, font, width) > fewest)
        width = std::min(width + step, widestReason);
    return width;
}
} // namespace

RefusalPanel::RefusalPanel(const QString& reason)
    : Window(Rect(0, 0, panelWidth, panelHeight), WindowStyle::titled | WindowStyle::closable),
      reason_(new QLabel(reason)), button_(new QPushButton(QStringLiteral("知道了")))
{
    setSharingType(SharingType::none);
    setLevel(floatingLevel);
    setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary);
    setTitle(QCoreApplication::applicationName());
    setWindowIcon(applicationIcon());

    auto* content = new QWidget;
    auto* icon = new QLabel;
    icon->setPixmap(content->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    reason_->setWordWrap(true);
    reason_->setFixedWidth(evenWidth(reason, reason_->font()));
    button_->setDefault(true);
    button_->setAutoDefault(true);
    connect(button_, &QPushButton::clicked, this, [this] { close(); });

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(reason_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(button_);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 16);
    column->addLayout(top, 1);
    column->addLayout(buttons);
    setContentView(content);
    // Sized to the reason, and never smaller than the panel always was.
    const int width = std::max(content->sizeHint().width(), int(panelWidth));
    setFrame(Rect(0, 0, width, std::max(column->totalHeightForWidth(width), int(panelHeight))));
}

void RefusalPanel::run()
{
    if (!centreOnBuiltInScreen(*this))
        return;
    QEventLoop answered;
    onWillClose = [&answered] { answered.quit(); };
    makeKeyAndOrderFront();
    button_->setFocus();
    answered.exec();
    onWillClose = nullptr;
}

} // namespace quorvia::platform::native
