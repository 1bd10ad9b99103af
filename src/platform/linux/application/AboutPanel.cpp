#include "platform/linux/application/AboutPanel.h"

#include "platform/linux/dialogs/PanelPlacement.h"

#include "platform/application/ApplicationIcon.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvia::platform::native {

namespace {
constexpr double panelWidth = 300;
constexpr double panelHeight = 230;
} // namespace

AboutPanel::AboutPanel()
    : Window(Rect(0, 0, panelWidth, panelHeight), WindowStyle::titled | WindowStyle::closable),
      icon_(new QLabel), name_(new QLabel), version_(new QLabel)
{
    setSharingType(SharingType::none);
    setLevel(floatingLevel);
    setCollectionBehavior(CollectionBehavior::canJoinAllSpaces | CollectionBehavior::fullScreenAuxiliary);
    setTitle(QStringLiteral("关于Quorvia"));
    setWindowIcon(applicationIcon());

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(24, 22, 24, 24);
    column->setSpacing(8);
    icon_->setPixmap(applicationIcon().pixmap(96, 96));
    icon_->setAlignment(Qt::AlignCenter);
    name_->setText(QCoreApplication::applicationName());
    QFont bold = name_->font();
    bold.setPixelSize(20);
    bold.setBold(true);
    name_->setFont(bold);
    name_->setAlignment(Qt::AlignCenter);
    version_->setText(QStringLiteral("版本 %1").arg(QCoreApplication::applicationVersion()));
    version_->setAlignment(Qt::AlignCenter);
    column->addWidget(icon_);
    column->addWidget(name_);
    column->addWidget(version_);
    column->addStretch(1);
    setContentView(content);
}

void AboutPanel::present()
{
    if (centreOnBuiltInScreen(*this)) {
        makeKeyAndOrderFront();
        return;
    }
    orderOut();
}

void AboutPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    Window::keyPressEvent(event);
}

} // namespace quorvia::platform::native
