#include "model/ProjectBackupError.h"

#include "platform/files/ErrorDescription.h"

namespace quorvia {

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
    return platform::describeError(std::get<std::error_code>(failure));
}

} // namespace quorvia
