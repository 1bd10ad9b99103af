#include "app/AppCoordinator.h"

#include "app/CommandDialogs.h"
#include "model/ProjectDocumentStore.h"
#include "platform/Platform.h"
#include "platform/settings/DefaultsStore.h"

#include <QFileInfo>

namespace quorvia {

namespace {
using Kind = PresentationSafetyState::Kind;
}

bool AppCoordinator::canChangePresentationProject()
{
    platform::Window* editor = scriptEditorController ? scriptEditorController->window() : nullptr;
    if (!editor || !editor->isVisible())
        return true;
    editor->makeKeyAndOrderFront();
    alerts->acknowledge(platform::AlertStyle::informational, QStringLiteral("请先完成当前稿件编辑"),
                        QStringLiteral("保存或取消编辑后，才能切换演讲项目。"));
    return false;
}

bool AppCoordinator::selectPresentationProject(const QUuid& id)
{
    if (!canChangePresentationProject())
        return false;
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    promptScript->selectProject(id);
    return true;
}

std::optional<QString> AppCoordinator::requestProjectName(const QString& title, const QString& message,
                                                          const QString& initialValue, const QString& confirmTitle)
{
    platform::AlertRequest request;
    request.style = platform::AlertStyle::informational;
    request.messageText = title;
    request.informativeText = message;
    request.buttons = {confirmTitle, CommandDialogs::cancelTitle};
    request.textField = platform::AlertRequest::TextField{initialValue, {}, 320, true};
    const auto answer = CommandDialogs::run(request);
    if (!answer.isFirstButton())
        return std::nullopt;
    return answer.text;
}

void AppCoordinator::createPresentationProject()
{
    if (!canChangePresentationProject())
        return;
    const QString suggested = QStringLiteral("新演讲 %1").arg(promptScript->projectSummaries().size() + 1);
    const auto name = requestProjectName(QStringLiteral("新建演讲项目"), QStringLiteral("为新的本地演讲稿命名。"),
                                         suggested, QStringLiteral("新建"));
    if (!name)
        return;
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    promptScript->createProject(*name);
}

void AppCoordinator::renamePresentationProject()
{
    if (!canChangePresentationProject())
        return;
    const auto name =
        requestProjectName(QStringLiteral("重命名演讲项目"), QStringLiteral("只修改项目名称，不会改动稿件内容。"),
                           promptScript->activeProjectName(), QStringLiteral("保存"));
    if (name)
        promptScript->renameActiveProject(*name);
}

void AppCoordinator::deletePresentationProject()
{
    if (!canChangePresentationProject() || !promptScript->canDeleteActiveProject())
        return;
    const bool confirmed =
        CommandDialogs::confirm(platform::AlertStyle::warning,
                                QStringLiteral("删除“%1”？").arg(promptScript->activeProjectName()),
                                QStringLiteral("该项目的本地稿件会被删除，此操作无法撤销。"), QStringLiteral("删除"));
    if (!confirmed)
        return;
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    promptScript->deleteActiveProject();
}

void AppCoordinator::duplicatePresentationProject()
{
    if (presentationState.kind() != Kind::disabled || !canChangePresentationProject())
        return;
    const QUuid sourceID = promptScript->activeProjectID();
    std::optional<QString> sourcePath;
    if (const auto& deck = promptScript->deck())
        sourcePath = deck->filePath;
    autoScroll->pause();
    prompterHost->captureReadingPosition();
    setProjectOperationRunning(true);

    const WeakLife weak = life_;
    platform::globalQueue().async([weak, sourceID, sourcePath, name = promptScript->activeProjectName()] {
        std::expected<std::optional<QString>, ProjectBackupFailure> copy = std::optional<QString>();
        if (sourcePath) {
            auto copied = ProjectDocumentStore::copyDocument(*sourcePath, std::nullopt, name);
            if (copied)
                copy = std::optional<QString>(*copied);
            else
                copy = std::unexpected(copied.error());
        }
        platform::MainQueue::async([weak, sourceID, copy] {
            auto* self = alive(weak);
            if (!self)
                return;
            if (self->promptScript->activeProjectID() != sourceID) {
                self->setProjectOperationRunning(false);
                return;
            }
            if (!copy) {
                self->setProjectOperationRunning(false);
                self->showProjectOperationError(QStringLiteral("复制项目失败"), description(copy.error()));
                return;
            }
            if (!self->promptScript->duplicateActiveProject(*copy)) {
                self->setProjectOperationRunning(false);
                // The model answers no id only when the active project is missing.
                self->showProjectOperationError(QStringLiteral("复制项目失败"),
                                                QStringLiteral("找不到当前演讲项目。"));
                return;
            }
            self->activateRestoredProjectKeynote(
                QStringLiteral("项目及其演示文稿已复制为独立副本。原项目不会随副本修改而改变。"));
        });
    });
}

void AppCoordinator::activateRestoredProjectKeynote(const QString& successMessage, const QStringList& importedCopies)
{
    // Said done only once the projects naming the new copies are on the drive:
    // until then a power cut leaves copies no stored project names. The flush
    // does not wait out the settings' gathering of changes. Then an import's
    // record goes: no later start is to judge it, not even under an older copy
    // of these settings put back.
    // Taken here and held by the task, which never reads the platform from its own thread.
    const std::shared_ptr<platform::DefaultsStore> defaults = platform::current().defaultsService;
    const QUuid projectID = promptScript->activeProjectID();
    const WeakLife weak = life_;
    platform::globalQueue().async([weak, defaults, projectID, successMessage, importedCopies] {
        const auto failure = defaults->flush();
        if (!failure)
            ProjectDocumentStore::endImport(importedCopies);
        platform::MainQueue::async([weak, failure, projectID, successMessage] {
            auto* self = alive(weak);
            if (!self)
                return;
            if (failure || self->promptScript->activeProjectID() != projectID) {
                self->setProjectOperationRunning(false);
                if (failure)
                    self->showProjectOperationError(
                        QStringLiteral("项目尚未保存"),
                        successMessage
                            + QStringLiteral(" 但项目无法保存到 %1（%2）。Quorvia 会继续尝试保存，保存成功前请勿关机。")
                                  .arg(failure->folder, failure->reason));
                else
                    self->showProjectOperationSuccess(QStringLiteral("项目已就绪"), successMessage);
                return;
            }
            self->openRestoredProjectKeynote(successMessage);
        });
    });
}

void AppCoordinator::openRestoredProjectKeynote(const QString& successMessage)
{
    const auto& deck = promptScript->deck();
    if (!deck || QFileInfo(deck->filePath).suffix().compare(QStringLiteral("key"), Qt::CaseInsensitive) != 0) {
        setProjectOperationRunning(false);
        showProjectOperationSuccess(QStringLiteral("项目已就绪"), successMessage);
        return;
    }
    const QUuid projectID = promptScript->activeProjectID();
    const qint64 expectedSlides = deck->slideCount();
    syncController->disable();
    const WeakLife weak = life_;
    keynoteController->openDocumentAndInspect(
        deck->filePath, [weak, projectID, expectedSlides,
                         successMessage](std::expected<KeynoteOpenedDocument, KeynoteOpenError> result) {
            auto* self = alive(weak);
            if (!self)
                return;
            self->setProjectOperationRunning(false);
            if (self->promptScript->activeProjectID() != projectID)
                return;
            if (!result) {
                self->showProjectOperationSuccess(QStringLiteral("项目已恢复，Keynote 未自动打开"),
                                                  successMessage + u' ' + result.error().description());
            } else if (result->slideCount == expectedSlides) {
                const bool enabled = self->syncController->enable();
                self->showProjectOperationSuccess(
                    QStringLiteral("项目已就绪"),
                    successMessage
                        + (enabled ? QStringLiteral(" Keynote 已打开，双向同步已自动启用。")
                                   : QStringLiteral(" Keynote 已打开，但双向同步未能启用。")));
            } else {
                self->showProjectOperationSuccess(
                    QStringLiteral("项目已恢复，双向同步保持关闭"),
                    successMessage + QStringLiteral(" 但 Keynote 当前实际页数与备份记录不一致，请检查文稿后重新导入。"));
            }
        });
}

void AppCoordinator::showProjectOperationError(const QString& title, const QString& description)
{
    alerts->acknowledge(platform::AlertStyle::warning, title, description);
}

void AppCoordinator::showProjectOperationSuccess(const QString& title, const QString& message)
{
    alerts->acknowledge(platform::AlertStyle::informational, title, message);
}

void AppCoordinator::setProjectOperationRunning(bool running)
{
    projectOperationRunning = running;
    presentationModule->setProjectOperationRunning(running);
}

} // namespace quorvia
