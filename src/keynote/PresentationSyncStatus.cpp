#include "keynote/PresentationSyncStatus.h"

namespace quorvia {

QString PresentationSyncStatus::title() const
{
    switch (kind) {
    case Kind::following:
        return QStringLiteral("双向同步中 · Keynote 第 ") + QString::number(slide) + QStringLiteral(" 页");
    case Kind::suspended: return QStringLiteral("双向同步已暂停");
    case Kind::conflict: return QStringLiteral("双向同步冲突");
    case Kind::disabled: return QStringLiteral("双向同步已关闭");
    case Kind::ready: return QStringLiteral("双向同步待命");
    }
    return {};
}

QString PresentationSyncStatus::detail() const
{
    switch (kind) {
    case Kind::following: return QStringLiteral("页码监听、定向切页和命令回声抑制正在运行。");
    case Kind::suspended:
    case Kind::conflict: return message;
    case Kind::disabled: return QStringLiteral("先检测 Keynote，再由用户显式启用。");
    case Kind::ready: return QStringLiteral("人工翻页优先；同页 build 不改变稿件段落。");
    }
    return {};
}

} // namespace quorvia
