#include "app/AppCoordinator.h"

#include "app/CommandDialogs.h"
#include "platform/Platform.h"

namespace quorvia {

void AppCoordinator::showKeynoteImportError(const QString& description)
{
    alerts->acknowledge(platform::AlertStyle::warning, QStringLiteral(".key 文稿导入失败"), description);
}

void AppCoordinator::importKeynoteDocument()
{
    if (!canChangePresentationProject())
        return;
    platform::Window* parent = islandWindow();
    if (!parent)
        return;
    platform::FileDialogRequest request;
    request.parent = parent;
    request.title = QStringLiteral("导入当前演讲项目的 Keynote 文稿");
    request.message = QStringLiteral("文稿会同时在 Keynote 中打开；应用读取实际页数后自动启用双向同步。");
    request.prompt = QStringLiteral("导入");
    request.allowedExtensions = {QStringLiteral("key")};

    platform::current().application().activateIgnoringOtherApps();
    const WeakLife weak = life_;
    platform::current().dialogs().beginOpenPanel(request, [weak](std::optional<QString> path) {
        auto* self = alive(weak);
        if (!self || !path)
            return;
        const QUuid projectID = self->promptScript->activeProjectID();
        if (self->slideMappingController && self->slideMappingController->window())
            self->slideMappingController->window()->orderOut();
        self->syncController->disable();
        self->presentationModule->setDeckImporting(true);
        self->keynoteController->openDocumentAndInspect(
            *path, [weak, projectID, path = *path](std::expected<KeynoteOpenedDocument, KeynoteOpenError> result) {
                auto* self = alive(weak);
                if (!self)
                    return;
                self->presentationModule->setDeckImporting(false);
                if (self->promptScript->activeProjectID() != projectID)
                    return;
                if (!result) {
                    self->showKeynoteImportError(result.error().description());
                    return;
                }
                self->promptScript->replaceDeck(PresentationDeck::keynoteDocument(path, result->slideCount));
                if (self->syncController->enable())
                    self->setKeynoteNotesResult(QStringLiteral(".key 文稿已绑定，双向同步已自动启用"), false);
                else
                    self->setKeynoteNotesResult(QStringLiteral(".key 文稿已绑定，但双向同步启用失败"), true);
            });
    });
}

std::optional<AppCoordinator::NotesContext> AppCoordinator::currentKeynoteNotesContext() const
{
    const auto& state = keynoteController->state();
    if (state.kind != KeynoteConnectionState::Kind::ready || state.isPlaying)
        return std::nullopt;
    const auto& deck = promptScript->deck();
    if (!deck || deck->slideCount() != state.slideCount)
        return std::nullopt;
    const auto& identity = keynoteController->documentIdentity();
    if (!identity || !identity->matches(*deck))
        return std::nullopt;
    return NotesContext{*identity, state.slideCount};
}

std::map<qint64, QString> AppCoordinator::mappedPresenterNotes() const
{
    std::map<qint64, QStringList> bySlide;
    const auto& sections = promptScript->sections();
    for (qint64 index = 0; index < sections.size(); ++index)
        if (const auto slide = promptScript->slideNumber(index))
            bySlide[*slide].append(sections[index]);
    std::map<qint64, QString> notes;
    for (const auto& [slide, texts] : bySlide)
        notes[slide] = texts.join(QStringLiteral("\n\n"));
    return notes;
}

QString AppCoordinator::keynoteNotesErrorText(KeynotePresenterNotesError error)
{
    switch (error) {
    case KeynotePresenterNotesError::invalidState:
        return QStringLiteral("请停止 Keynote 放映后重试");
    case KeynotePresenterNotesError::documentMismatch:
        return QStringLiteral("Keynote 文稿已变化，未写入注释");
    case KeynotePresenterNotesError::automationDenied:
        return QStringLiteral("请允许本应用控制 Keynote");
    case KeynotePresenterNotesError::unavailable:
        break;
    }
    return QStringLiteral("Keynote 注释更新失败，原注释备份仍保留");
}

void AppCoordinator::setKeynoteNotesResult(const QString& text, bool isError)
{
    lastKeynoteNotesResult = {text, isError};
    presentationModule->setKeynoteNotesResult(text, isError);
}

void AppCoordinator::replaceKeynotePresenterNotes()
{
    const auto context = currentKeynoteNotesContext();
    if (!context) {
        setKeynoteNotesResult(QStringLiteral("请先打开匹配的 Keynote 文稿并停止放映"), true);
        return;
    }
    auto notes = mappedPresenterNotes();
    if (notes.empty()) {
        setKeynoteNotesResult(QStringLiteral("没有可写入的页码映射"), true);
        return;
    }
    const auto& backup = promptScript->keynoteNotesBackup();
    if (backup && !backup->matches(context->identity.name, context->identity.filePath, context->slideCount)) {
        setKeynoteNotesResult(QStringLiteral("请先打开上一个 Keynote 文稿恢复原注释"), true);
        return;
    }
    const QUuid projectID = promptScript->activeProjectID();
    presentationModule->setKeynoteNotesWorking(true);

    std::vector<qint64> slides;
    for (const auto& [slide, text] : notes)
        slides.push_back(slide);
    const WeakLife weak = life_;
    keynoteController->readPresenterNotes(
        slides, context->identity, context->slideCount,
        [weak, projectID, notes, context = *context](
            std::expected<KeynotePresenterNotesBackup, KeynotePresenterNotesError> read) {
            auto* self = alive(weak);
            if (!self)
                return;
            if (self->promptScript->activeProjectID() != projectID) {
                self->setKeynoteNotesResult(QStringLiteral("项目已变化，未写入 Keynote"), true);
                return;
            }
            if (!read) {
                self->setKeynoteNotesResult(keynoteNotesErrorText(read.error()), true);
                return;
            }
            if (!self->promptScript->mergeKeynoteNotesBackup(*read)) {
                self->setKeynoteNotesResult(QStringLiteral("请先恢复上一个 Keynote 文稿的原注释"), true);
                return;
            }
            self->keynoteController->replacePresenterNotes(
                notes, context.identity, context.slideCount,
                [weak, count = notes.size()](std::expected<void, KeynotePresenterNotesError> written) {
                    auto* self = alive(weak);
                    if (!self)
                        return;
                    if (!written)
                        self->setKeynoteNotesResult(keynoteNotesErrorText(written.error()), true);
                    else
                        self->setKeynoteNotesResult(QStringLiteral("已替换 %1 页 Keynote 注释").arg(count), false);
                });
        });
}

void AppCoordinator::restoreKeynotePresenterNotes()
{
    const auto context = currentKeynoteNotesContext();
    const auto& backup = promptScript->keynoteNotesBackup();
    if (!context || !backup
        || !backup->matches(context->identity.name, context->identity.filePath, context->slideCount)) {
        setKeynoteNotesResult(QStringLiteral("当前 Keynote 没有可恢复的原注释"), true);
        return;
    }
    const QUuid projectID = promptScript->activeProjectID();
    presentationModule->setKeynoteNotesWorking(true);
    const WeakLife weak = life_;
    keynoteController->replacePresenterNotes(
        backup->notesBySlide, context->identity, context->slideCount,
        [weak, projectID, count = backup->notesBySlide.size()](std::expected<void, KeynotePresenterNotesError> written) {
            auto* self = alive(weak);
            if (!self)
                return;
            if (self->promptScript->activeProjectID() != projectID) {
                self->setKeynoteNotesResult(QStringLiteral("项目已变化，原注释备份仍保留"), true);
                return;
            }
            if (!written) {
                self->setKeynoteNotesResult(keynoteNotesErrorText(written.error()), true);
                return;
            }
            self->promptScript->clearKeynoteNotesBackup();
            self->setKeynoteNotesResult(QStringLiteral("已恢复 %1 页原注释").arg(count), false);
        });
}

} // namespace quorvia
