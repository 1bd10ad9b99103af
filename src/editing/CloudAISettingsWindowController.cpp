#include "editing/CloudAISettingsWindowController.h"

#include "editing/CloudAISettings.h"
#include "editing/EditingWindow.h"
#include "privacy/BuiltInScreenPlacement.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvia {

using platform::WindowStyle;

CloudAISettingsWindowController::CloudAISettingsWindowController(CloudAISettings& settings)
    : settings_(settings),
      window_(editing_window::make({620, 390}, WindowStyle::titled | WindowStyle::closable,
                                   QStringLiteral("云端 AI 页码匹配设置")))
{
    window_->setContentView(makeContentView());
    positionOnBuiltInScreen();
}

CloudAISettingsWindowController::~CloudAISettingsWindowController() = default;

QWidget* CloudAISettingsWindowController::labeledRow(const QString& title, QLineEdit* field)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    QLabel* label = styledLabel(title, 13, QFont::Normal, dark_colours::white());
    label->setFixedWidth(86);
    layout->addWidget(label);
    layout->addWidget(field, 1);
    row->setFixedWidth(570);
    return row;
}

QWidget* CloudAISettingsWindowController::makeContentView()
{
    QWidget* content = editing_window::makeContentView();
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(22, 20, 22, 16);
    stack->setSpacing(12);

    stack->addWidget(styledLabel(QStringLiteral("供应商无关的 HTTPS JSON 服务"), 19, QFont::DemiBold,
                                               dark_colours::white()));
    endpointField_ = new QLineEdit;
    endpointField_->setPlaceholderText(endpointPlaceholder);
    modelField_ = new QLineEdit;
    modelField_->setPlaceholderText(QStringLiteral("可选模型名"));
    tokenField_ = new QLineEdit;
    tokenField_->setEchoMode(QLineEdit::Password);
    tokenField_->setPlaceholderText(QStringLiteral("Bearer token（保存到钥匙串）"));
    stack->addWidget(labeledRow(QStringLiteral("服务地址"), endpointField_));
    stack->addWidget(labeledRow(QStringLiteral("模型"), modelField_));
    stack->addWidget(labeledRow(QStringLiteral("访问令牌"), tokenField_));

    auto addNote = [&](const QString& text, const QColor& colour, int lines) {
        QLabel* note = styledLabel(text, 12, QFont::Normal, colour);
        note->setWordWrap(true);
        note->setMaximumHeight(note->fontMetrics().lineSpacing() * lines);
        stack->addWidget(note);
        return note;
    };
    addNote(QStringLiteral("只有你在页码映射窗口明确点击“运行云端 AI 匹配”时，稿件与 PPT 页面文字才会发送到此地址。现场音频永远不会发送。"
                           "请自行确认服务方的数据保存、删除与计费政策。"),
            dark_colours::systemOrange(), 5);
    addNote(QStringLiteral("服务返回 JSON：{\"mappings\":[{\"section_index\":0,\"slide_number\":1,\"confidence\":0.9}]}。"
                           "置信度低于 0.72 的建议不会静默写入正式映射。"),
            dark_colours::secondaryLabel(), 4);
    statusLabel_ = addNote(QString(), dark_colours::systemRed(), 2);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    cancelButton_ = editing_window::makeButton(QStringLiteral("取消"));
    saveButton_ = editing_window::makeButton(QStringLiteral("保存设置"), dark_colours::systemBlue());
    buttons->addWidget(cancelButton_);
    buttons->addWidget(saveButton_);
    buttons->addStretch(1);
    stack->addLayout(buttons);
    stack->addStretch(1);

    QObject::connect(cancelButton_, &QPushButton::clicked, content, [this] { cancelPressed(); });
    QObject::connect(saveButton_, &QPushButton::clicked, content, [this] { savePressed(); });
    return content;
}

void CloudAISettingsWindowController::present()
{
    endpointField_->setText(settings_.endpointText());
    modelField_->setText(settings_.model());
    tokenField_->setText(settings_.token());
    statusLabel_->clear();
    if (!centreOnBuiltInScreen(*window_))
        return;
    window_->makeKeyAndOrderFront();
}

void CloudAISettingsWindowController::positionOnBuiltInScreen()
{
    centreOnBuiltInScreen(*window_);
}

void CloudAISettingsWindowController::cancelPressed()
{
    window_->orderOut();
}

void CloudAISettingsWindowController::savePressed()
{
    const auto saved = settings_.save(endpointField_->text(), modelField_->text(), tokenField_->text());
    if (saved) {
        window_->orderOut();
        return;
    }
    statusLabel_->setText(description(saved.error()));
}

} // namespace quorvia
