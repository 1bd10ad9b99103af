#include "app/AppCoordinator.h"

#include "model/ProjectBackupPackage.h"
#include "platform/settings/DefaultsStore.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>

namespace quorvia {

namespace {

using Kind = PresentationSafetyState::Kind;

// The chooser here does not add the package extension itself.
QString withPackageExtension(const QString& path)
{
    const QString suffix = u'.' + ProjectBackupPackage::filenameExtension;
    return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

// Only a backup package may be replaced: anything else the speaker keeps there stays.
bool mayReplace(const QString& destination)
{
    const QFileInfo item(destination);
    if (!item.exists() && !item.isSymLink())
        return true;
    return item.isDir() && !item.isSymLink()
        && QFileInfo(QDir(destination).filePath(ProjectBackupPackage::manifestName)).isFile();
}

} // namespace

void AppCoordinator::exportProjectBackup()
{
    if (presentationState.kind() != Kind::disabled || !canChangePresentationProject() || !islandWindow())
        return;
    platform::FileDialogRequest request;
    request.title = QStringLiteral("导出全部演讲项目");
    request.message = QStringLiteral("备份包含全部项目、稿件、手工修改和对应演示文稿。请先在 Keynote 中保存最新修改。");
    request.prompt = QStringLiteral("导出");
    request.allowedExtensions = {ProjectBackupPackage::filenameExtension};
    request.suggestedName = QStringLiteral("演讲项目备份.") + ProjectBackupPackage::filenameExtension;
    request.refuseReplacing = [](const QString& path) -> std::optional<QString> {
        if (mayReplace(withPackageExtension(path)))
            return std::nullopt;
        return QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份。请换一个名称或位置。");
    };
    request.parent = islandWindow();

    platform::current().application().activateIgnoringOtherApps();
    const WeakLife weak = life_;
    platform::current().dialogs().beginSavePanel(request, [weak](std::optional<QString> chosen) {
        auto* self = alive(weak);
        if (!self || !chosen)
            return;
        const QString destination = withPackageExtension(*chosen);
        const PresentationProjectsBackup snapshot = self->promptScript->makeProjectsBackup();
        self->setProjectOperationRunning(true);
        // Taken here and held by the task, which never reads the platform from
        // its own thread: the settings it writes stay whatever ends first.
        const std::shared_ptr<platform::DefaultsStore> defaults = platform::current().defaultsService;
        platform::globalQueue().async([weak, snapshot, destination, defaults] {
            // What the backup holds is on disk first, so the store is never older than a backup of it.
            defaults->flush();
            // The export itself replaces only the backup package it finds under the name.
            std::expected<void, QString> outcome;
            if (auto written = ProjectBackupPackage::exportBackup(snapshot, destination); !written)
                outcome = std::unexpected(description(written.error()));
            platform::MainQueue::async([weak, outcome, count = snapshot.projects.size()] {
                auto* self = alive(weak);
                if (!self)
                    return;
                self->setProjectOperationRunning(false);
                if (!outcome)
                    self->showProjectOperationError(QStringLiteral("导出备份失败"), outcome.error());
                else
                    self->showProjectOperationSuccess(
                        QStringLiteral("备份已导出"),
                        QStringLiteral("已备份 %1 个项目。此备份可通过“导入备份”追加恢复。").arg(count));
            });
        });
    });
}

void AppCoordinator::importProjectBackup()
{
    if (presentationState.kind() != Kind::disabled || !canChangePresentationProject() || !islandWindow())
        return;
    platform::FileDialogRequest request;
    request.title = QStringLiteral("导入演讲项目备份");
    request.message = QStringLiteral("备份中的项目会追加到当前列表，不会覆盖或删除现有项目。");
    request.prompt = QStringLiteral("导入");
    request.canChooseFiles = true;
    request.canChooseDirectories = true;
    request.allowedExtensions = {ProjectBackupPackage::filenameExtension};
    request.parent = islandWindow();

    platform::current().application().activateIgnoringOtherApps();
    const WeakLife weak = life_;
    platform::current().dialogs().beginOpenPanel(request, [weak](std::optional<QString> source) {
        auto* self = alive(weak);
        if (!self || !source)
            return;
        self->autoScroll->pause();
        self->prompterHost->captureReadingPosition();
        self->setProjectOperationRunning(true);
        // Held as the export holds them: the import's record names the settings its projects go into.
        const std::shared_ptr<const platform::DefaultsStore> defaults = platform::current().defaultsService;
        platform::globalQueue().async([weak, source = *source, defaults] {
            auto backup = ProjectBackupPackage::importBackup(source, defaults.get());
            platform::MainQueue::async([weak, backup] {
                auto* self = alive(weak);
                if (!self)
                    return;
                if (!backup) {
                    self->setProjectOperationRunning(false);
                    self->showProjectOperationError(QStringLiteral("导入备份失败"), description(backup.error()));
                    return;
                }
                const auto added = self->promptScript->importProjectsBackup(*backup);
                if (!added) {
                    self->setProjectOperationRunning(false);
                    self->showProjectOperationError(QStringLiteral("导入备份失败"), added.error().description());
                    return;
                }
                QStringList copies;
                for (const auto& project : backup->projects)
                    if (project.deck)
                        copies.append(project.deck->filePath);
                self->activateRestoredProjectKeynote(QStringLiteral("已追加恢复 %1 个项目；原有项目保持不变。").arg(*added), copies);
            });
        });
    });
}

} // namespace quorvia
