#include "keynote/KeynoteOpenError.h"

namespace quorvia {

QString KeynoteOpenError::description() const
{
    const QChar lineFeed(u'\n');
    switch (kind) {
    case Kind::documentMismatch:
        return QStringLiteral("Keynote 已返回文稿和页数，但它与所选文件不是同一文件。") + lineFeed
            + QStringLiteral("所选：") + expectedPath + lineFeed + QStringLiteral("Keynote：")
            + actualPath.value_or(actualName);
    case Kind::identityUnavailable:
        return QStringLiteral("Keynote 已返回页数，但没有返回可验证的文稿身份。") + lineFeed
            + QStringLiteral("所选：") + expectedPath;
    case Kind::notInstalled:
        return QStringLiteral("本机未找到 Keynote。");
    case Kind::couldNotOpen:
        return QStringLiteral("Keynote 未能打开所选文稿。");
    case Kind::automationDenied:
        return QStringLiteral("请在系统设置的“隐私与安全性 → 自动化”中允许本应用控制 Keynote，然后重试。");
    case Kind::timedOut:
        break;
    }
    return QStringLiteral("Keynote 打开文稿后没有及时返回文档身份和页数，请确认文稿可正常打开后重试。");
}

} // namespace quorvia
