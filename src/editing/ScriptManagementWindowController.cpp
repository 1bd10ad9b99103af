#include "editing/ScriptManagementWindowController.h"

#include "editing/EditingWindow.h"
#include "privacy/BuiltInScreenPlacement.h"
#include "editing/ScriptManagementState.h"
#include "model/PromptScript.h"
#include "model/PromptScriptNotifications.h"
#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvia {

using platform::WindowStyle;

ScriptManagementWindowController::ScriptManagementWindowController(PromptScript& script)
    : script_(script),
      window_(editing_window::make({500, 250}, WindowStyle::titled | WindowStyle::closable, QStringLiteral("稿件管理")))
{
    window_->setContentView(makeContentView());
    scriptObserver_ = platform::NotificationCenter::defaultCenter().observe(
        NotificationName::promptScriptChanged, &script_, [this](const platform::Notification&) { updateControls(); });
}

ScriptManagementWindowController::~ScriptManagementWindowController() = default;

QWidget* ScriptManagementWindowController::makeContentView()
{
    QWidget* content = editing_window::makeContentView();
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 18, 20, 18);
    stack->setSpacing(12);

    stack->addWidget(styledLabel(QStringLiteral("整条时间线"), 20, QFont::DemiBold, dark_colours::white()));
    statusLabel_ = styledLabel(QString(), 13, QFont::Normal, dark_colours::secondaryLabel());
    stack->addWidget(statusLabel_);
    QLabel* description = styledLabel(
        QStringLiteral("上传或重新导入会用新文件替换全部数字块和演示块。删除同样会清空整条时间线，但保留当前演讲项目和已绑定的 .key 文稿。"),
        12, QFont::Normal, dark_colours::secondaryLabel());
    description->setWordWrap(true);
    description->setMaximumHeight(description->fontMetrics().lineSpacing() * 3);
    stack->addWidget(description);

    auto addRow = [&](QPushButton* left, QPushButton* right) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(left, 1);
        row->addWidget(right, 1);
        stack->addLayout(row);
    };
    importButton_ = editing_window::makeButton(QStringLiteral("上传稿件"), dark_colours::systemBlue());
    deleteButton_ = editing_window::makeButton(QStringLiteral("删除全部稿件块"), dark_colours::systemRed());
    addDemoButton_ = editing_window::makeButton(QStringLiteral("手动添加演示块"));
    uploadDemoButton_ = editing_window::makeButton(QStringLiteral("上传演示块"));
    addRow(importButton_, deleteButton_);
    addRow(addDemoButton_, uploadDemoButton_);
    stack->addStretch(1);

    auto raise = [](std::function<void()>& callback) {
        if (callback)
            callback();
    };
    QObject::connect(importButton_, &QPushButton::clicked, content, [this, raise] { raise(onImport); });
    QObject::connect(deleteButton_, &QPushButton::clicked, content, [this, raise] { raise(onDelete); });
    QObject::connect(addDemoButton_, &QPushButton::clicked, content, [this, raise] { raise(onAddDemo); });
    QObject::connect(uploadDemoButton_, &QPushButton::clicked, content, [this, raise] { raise(onUploadDemo); });
    updateControls();
    return content;
}

void ScriptManagementWindowController::updateControls()
{
    const ScriptManagementState state = ScriptManagementState::of(script_);
    if (statusLabel_)
        statusLabel_->setText(state.statusText);
    if (importButton_)
        importButton_->setText(state.importTitle);
    if (deleteButton_)
        deleteButton_->setEnabled(state.deleteEnabled);
}

void ScriptManagementWindowController::present()
{
    updateControls();
    if (!centreOnBuiltInScreen(*window_))
        return;
    window_->makeKeyAndOrderFront();
}

void ScriptManagementWindowController::positionOnBuiltInScreen()
{
    centreOnBuiltInScreen(*window_);
}

} // namespace quorvia
