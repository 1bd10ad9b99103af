#include "model/BackupLimits.h"

namespace quorvia {

namespace {

QString sizeText(qint64 bytes)
{
    if (bytes % (qint64(1) << 30) == 0)
        return QStringLiteral("%1 GB").arg(bytes >> 30);
    if (bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    return QStringLiteral("%1 字节").arg(bytes);
}

// "的上限" after a figure, spaced from a Latin unit only.
QString ofLimit(const QString& figure)
{
    return figure + (figure.back().isLetter() && figure.back().unicode() < 0x80 ? QStringLiteral(" 的上限") : QStringLiteral("的上限"));
}

} // namespace

QString BackupLimits::manifestText() const
{
    return QStringLiteral("备份清单超过 ") + ofLimit(sizeText(manifestBytes));
}

QString BackupLimits::deckBytesText() const
{
    return QStringLiteral("演示文稿合计超过 ") + ofLimit(sizeText(deckBytes));
}

QString BackupLimits::deckItemsText() const
{
    return QStringLiteral("演示文稿合计超过 %1 个文件的上限").arg(deckItems);
}

QString BackupLimits::deckDepthText() const
{
    return QStringLiteral("演示文稿的文件夹超过 %1 层的上限").arg(deckDepth);
}

} // namespace quorvia
