#include "app/AppCoordinator.h"

#include "app/CommandDialogs.h"
#include "app/ScriptFileReader.h"
#include "platform/Platform.h"
#include "platform/core/Text.h"

namespace quorvia {

namespace {

using Kind = PresentationSafetyState::Kind;

const QString kChooseScriptMessage = QStringLiteral("请选择 UTF-8 编码的 TXT 或 Markdown 文件。");
const QString kBlankScriptFile =
    QStringLiteral("文件是空的或只有空白，没有可用的稿件内容；当前稿件保持不变。如需清空稿件，请在“稿件管理”中使用“删除全部稿件块”。");
const QString kBlankDemoFile = QStringLiteral("文件是空的或只有空白，没有可用的演示块内容；当前稿件保持不变。");

platform::FileDialogRequest scriptChooser(const QString& title, platform::Window* parent)
{
    platform::FileDialogRequest request;
    request.title = title;
    request.message = kChooseScriptMessage;
    request.prompt = QStringLiteral("上传");
    request.allowedExtensions = {QStringLiteral("txt"), QStringLiteral("md")};
    request.parent = parent;
    return request;
}

// Reads the file off the main thread and hands the outcome back on it.
void readScriptFile(const QString& path, std::function<void(std::expected<QString, QString>)> done)
{
    platform::globalQueue().async([path, done = std::move(done)] {
        auto result = ScriptFileReader::read(path);
        platform::MainQueue::async([done, result = std::move(result)] { done(result); });
    });
}

bool isVisible(const platform::Window* window) { return window && window->isVisible(); }

} // namespace

platform::Window* AppCoordinator::islandWindow() const
{
    return islandController ? islandController->window() : nullptr;
}

void AppCoordinator::showScriptEditor(std::optional<QUuid> blockID)
{
    if (presentationState.kind() != Kind::disabled)
        return;
    if (!blockID && !promptScript->currentBlock())
        return;
    if (!scriptEditorController) {
        scriptEditorController = std::make_unique<ScriptEditorWindowController>(*promptScript);
        if (auto* window = scriptEditorController->window())
            privateWindows->registerWindow(window);
    }
    scriptEditorController->present(blockID);
}

void AppCoordinator::showScriptManagement()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    if (!scriptManagementController) {
        auto controller = std::make_unique<ScriptManagementWindowController>(*promptScript);
        const WeakLife weak = life_;
        controller->onImport = weakly(&AppCoordinator::importScript);
        controller->onDelete = weakly(&AppCoordinator::deleteTimeline);
        controller->onAddDemo = [weak] {
            if (auto* self = alive(weak))
                self->addDemoBlock(std::nullopt);
        };
        controller->onUploadDemo = weakly(&AppCoordinator::uploadDemoBlock);
        scriptManagementController = std::move(controller);
        if (auto* window = scriptManagementController->window())
            privateWindows->registerWindow(window);
    }
    scriptManagementController->present();
}

void AppCoordinator::importScript()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    platform::Window* parent = scriptManagementController && isVisible(scriptManagementController->window())
                                   ? scriptManagementController->window()
                                   : islandWindow();
    if (!parent)
        return;
    platform::current().application().activateIgnoringOtherApps();
    const WeakLife weak = life_;
    platform::current().dialogs().beginOpenPanel(
        scriptChooser(QStringLiteral("上传当前演讲项目的稿件"), parent), [weak](std::optional<QString> path) {
            auto* self = alive(weak);
            if (!self || !path)
                return;
            const QUuid projectID = self->promptScript->activeProjectID();
            readScriptFile(*path, [weak, projectID](std::expected<QString, QString> text) {
                auto* self = alive(weak);
                // A reply for a project the speaker has left would overwrite another script.
                if (!self || self->promptScript->activeProjectID() != projectID)
                    return;
                if (!text)
                    self->showScriptImportError(text.error());
                // An empty file would wipe every block: clearing is the delete command's job.
                else if (platform::text::isBlank(*text))
                    self->showScriptImportError(kBlankScriptFile);
                else
                    self->promptScript->replaceText(*text);
            });
        });
}

void AppCoordinator::deleteTimeline()
{
    if (presentationState.kind() != Kind::disabled || !promptScript->hasContent())
        return;
    const bool confirmed = CommandDialogs::confirm(
        platform::AlertStyle::warning, QStringLiteral("删除全部稿件块？"),
        QStringLiteral("数字块和演示块都会删除；当前演讲项目和已绑定的 .key 文稿会保留。"), QStringLiteral("全部删除"));
    if (!confirmed)
        return;
    autoScroll->pause();
    promptScript->deleteTimeline();
    if (scriptEditorController && scriptEditorController->window())
        scriptEditorController->window()->orderOut();
}

std::optional<QString> AppCoordinator::requestDemoLabel()
{
    platform::AlertRequest request;
    request.style = platform::AlertStyle::informational;
    request.messageText = QStringLiteral("演示块标识");
    request.informativeText = QStringLiteral("请输入纯英文字母；不要求按 A、B、C 排序。");
    request.buttons = {QStringLiteral("继续"), CommandDialogs::cancelTitle};
    request.textField = platform::AlertRequest::TextField{{}, QStringLiteral("例如 A、demo、browser"), 260, false};
    const auto answer = CommandDialogs::run(request);
    if (!answer.isFirstButton())
        return std::nullopt;
    const QString label = answer.text.trimmed();
    bool isInteger = false;
    label.toLongLong(&isInteger);
    if (!promptScript->canUseTimelineLabel(label) || isInteger) {
        showDemoLabelError();
        return std::nullopt;
    }
    return label;
}

std::optional<qint64> AppCoordinator::demoInsertionIndex() const
{
    if (!promptScript->hasContent())
        return std::nullopt;
    return promptScript->currentIndex();
}

void AppCoordinator::addDemoBlock(std::optional<QString> uploadedText)
{
    if (presentationState.kind() != Kind::disabled)
        return;
    const auto label = requestDemoLabel();
    if (!label)
        return;
    if (const auto limit = promptScript->exceededLimit(std::nullopt, *label, uploadedText.value_or(QString()))) {
        alerts->acknowledge(platform::AlertStyle::warning, QStringLiteral("无法添加演示块"),
                            ScriptText::limitText(*limit) + QStringLiteral("，无法再添加演示块。"));
        return;
    }
    const auto id = promptScript->addDemoBlock(*label, uploadedText.value_or(QString()), demoInsertionIndex());
    if (!id) {
        showDemoLabelError();
        return;
    }
    if (!uploadedText)
        showScriptEditor(*id);
}

void AppCoordinator::uploadDemoBlock()
{
    if (presentationState.kind() != Kind::disabled)
        return;
    const auto label = requestDemoLabel();
    if (!label)
        return;
    platform::Window* parent = scriptManagementController && scriptManagementController->window()
                                   ? scriptManagementController->window()
                                   : islandWindow();
    if (!parent)
        return;
    const WeakLife weak = life_;
    platform::current().dialogs().beginOpenPanel(
        scriptChooser(QStringLiteral("上传演示块 ") + *label, parent), [weak, label = *label](std::optional<QString> path) {
            auto* self = alive(weak);
            if (!self || !path)
                return;
            const QUuid projectID = self->promptScript->activeProjectID();
            readScriptFile(*path, [weak, projectID, label](std::expected<QString, QString> text) {
                auto* self = alive(weak);
                if (!self || self->promptScript->activeProjectID() != projectID)
                    return;
                if (!text) {
                    self->showScriptImportError(text.error());
                    return;
                }
                // An empty file would add an empty block, which the speaker did not ask for.
                if (platform::text::isBlank(*text)) {
                    self->showScriptImportError(kBlankDemoFile);
                    return;
                }
                if (const auto limit = self->promptScript->exceededLimit(std::nullopt, label, *text)) {
                    self->showScriptImportError(ScriptText::limitText(*limit) + QStringLiteral("，无法添加演示块。"));
                    return;
                }
                if (!self->promptScript->addDemoBlock(label, *text, self->demoInsertionIndex()))
                    self->showDemoLabelError();
            });
        });
}

void AppCoordinator::showScriptImportError(const QString& description)
{
    alerts->acknowledge(platform::AlertStyle::warning, QStringLiteral("稿件上传失败"), description);
}

void AppCoordinator::showDemoLabelError()
{
    alerts->acknowledge(platform::AlertStyle::warning, QStringLiteral("演示块标识无效"),
                        QStringLiteral("请输入尚未使用的纯英文字母标识，例如 A、demo 或 browser。"));
}

} // namespace quorvia
