#include "platform/linux/RefusalPanel.h"

#include "platform/linux/PanelPlacement.h"

#include "platform/ApplicationIcon.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quorvia::platform::native {

namespace {
constexpr double panelWidth = 420;
constexpr double panelHeight = 150;
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
