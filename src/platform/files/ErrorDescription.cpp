#include "platform/files/ErrorDescription.h"

#include <cerrno>
#include <string>

namespace quorvia::platform {

namespace {
class InstanceCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "quorvia.instance"; }
    std::string message(int) const override { return "another launch holds the instance locks"; }
};

const InstanceCategory& instanceCategory()
{
    static const InstanceCategory category;
    return category;
}
} // namespace

std::error_code anotherInstanceError() { return {1, instanceCategory()}; }

QString describeError(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间已满");
    case EDQUOT:
        return QStringLiteral("已超出磁盘配额");
    case EROFS:
        return QStringLiteral("文件夹所在的磁盘只读");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入该文件夹的权限");
    case ENOTDIR:
    case EEXIST:
        return QStringLiteral("路径上有同名的文件占着位置");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case EBUSY:
        return QStringLiteral("文件夹或磁盘正被系统占用（例如是挂载点）");
    case ENAMETOOLONG:
        return QStringLiteral("文件名或路径过长");
    case ELOOP:
        return QStringLiteral("路径中的链接过多");
    case EFBIG:
        return QStringLiteral("文件超出了磁盘允许的大小");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("同时打开的文件过多");
    case ENOMEM:
        return QStringLiteral("内存不足");
    case EXDEV:
        return QStringLiteral("不能在两个磁盘之间直接移动");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的");
    case ETIMEDOUT:
    case ENOTCONN:
    case ESTALE:
        return QStringLiteral("网络磁盘没有响应");
    default:
        return QStringLiteral("系统错误（错误码 %1）").arg(error);
    }
}

QString describeError(const std::error_code& error)
{
    if (error.category() == instanceCategory())
        return QStringLiteral("另一个 Quorvia 正在使用这个文件夹");
    // Other categories number their errors in their own way.
    if (error.category() == std::generic_category() || error.category() == std::system_category())
        return describeError(error.value());
    return QStringLiteral("系统错误");
}

} // namespace quorvia::platform
