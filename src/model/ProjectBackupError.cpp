#include "model/ProjectBackupError.h"

#include "platform/files/ErrorDescription.h"

namespace quorvia {

QString DestinationOutcome::description() const
{
    const QString where = QStringLiteral("同一文件夹的隐藏文件夹“%1”中").arg(stagingFolder);
    QString text;
    switch (found) {
    case Found::notABackup:
        text = QStringLiteral("所选位置已有同名文件或文件夹，且它不是演讲项目备份；未做任何改动");
        break;
    case Found::tampered:
        text = QStringLiteral("导出时所选文件夹中的备份被他人改动，未写入备份");
        break;
    case Found::nameTaken:
        text = QStringLiteral("导出时所选位置出现了同名的项目，未写入备份");
        break;
    case Found::replaced:
        text = QStringLiteral("导出时所选位置的备份被换成了别的项目，未写入备份");
        break;
    case Found::moved:
        text = QStringLiteral("导出的备份刚放到所选位置就被他人移走或改名，新备份留在了它被移到的地方");
        break;
    case Found::driveError:
        text = platform::describeError(error);
        break;
    }
    switch (left) {
    case Left::nothing:
        break;
    case Left::theirsBack:
        text += QStringLiteral("；那个项目已放回原处");
        break;
    case Left::theirsKept:
        text += QStringLiteral("；那个项目暂存在") + where + QStringLiteral("，未做删除");
        break;
    case Left::oldBack:
        text += QStringLiteral("；原来的备份已放回原处");
        break;
    case Left::oldKeptNameTaken:
        text += QStringLiteral("；原来的名称已被占用，原来的备份暂存在") + where + QStringLiteral("，名称空出后下次导出到这里时放回");
        break;
    case Left::oldKept:
        text += QStringLiteral("；原来的备份暂存在") + where + QStringLiteral("，名称空出后下次导出到这里时放回");
        break;
    case Left::newUnconfirmed:
        text += QStringLiteral("；所选位置上的新备份未能确认写入磁盘，请重新导出");
        break;
    }
    return text + QStringLiteral("。");
}

QString ProjectBackupError::description() const
{
    switch (kind) {
    case Kind::unsupportedVersion:
        return QStringLiteral("该备份使用不受支持的格式版本 ") + QString::number(version) + QStringLiteral("。");
    case Kind::missingPresentation:
        return QStringLiteral("项目“") + name + QStringLiteral("”对应的演示文稿已丢失，无法生成或恢复完整备份。");
    case Kind::invalidPackage:
        return QStringLiteral("所选文件不是有效的演讲项目备份。");
    case Kind::emptyBackup:
        return QStringLiteral("该备份中没有可恢复的演讲项目。");
    case Kind::invalidPresentationPath:
        return QStringLiteral("备份中的演示文稿路径无效。");
    case Kind::refused:
        return name;
    }
    return {};
}

QString description(const ProjectBackupFailure& failure)
{
    if (const auto* own = std::get_if<ProjectBackupError>(&failure))
        return own->description();
    // Shown as a message of its own, so a sentence.
    return platform::describeError(std::get<std::error_code>(failure)) + QStringLiteral("。");
}

} // namespace quorvia
