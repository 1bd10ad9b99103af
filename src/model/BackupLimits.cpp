#include "model/BackupLimits.h"

#include <algorithm>
#include <limits>
#include <sys/statvfs.h>

namespace quorvia {

namespace {

QString limitSizeText(qint64 bytes)
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
    return QStringLiteral("备份清单超过 ") + ofLimit(limitSizeText(manifestBytes));
}

QString BackupLimits::deckItemsText() const
{
    return QStringLiteral("演示文稿合计超过 %1 个文件的上限").arg(deckItems);
}

QString BackupLimits::deckDepthText() const
{
    return QStringLiteral("演示文稿的文件夹超过 %1 层的上限").arg(deckDepth);
}

QString BackupLimits::sizeText(qint64 bytes)
{
    constexpr qint64 kib = 1024;
    if (bytes >= kib * kib * kib)
        return QStringLiteral("%1 GB").arg(double(bytes) / (kib * kib * kib), 0, 'f', 1);
    if (bytes >= kib * kib)
        return QStringLiteral("%1 MB").arg(double(bytes) / (kib * kib), 0, 'f', 1);
    return QStringLiteral("%1 KB").arg((bytes + kib - 1) / kib);
}

qint64 BackupLimits::addSizes(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return sum;
}

std::optional<ProjectBackupError> BackupLimits::spaceProblem(const struct statvfs& disk, qint64 bytes, qint64 items,
                                                             const QString& place)
{
    // Every item may take a block more than its bytes, and large files a
    // fiftieth more for the blocks that map them: what the copy takes, no more.
    const qint64 block = std::max<qint64>(disk.f_frsize, 4096);
    qint64 itemBlocks = 0;
    if (__builtin_mul_overflow(items, block, &itemBlocks))
        itemBlocks = std::numeric_limits<qint64>::max();
    const qint64 needed = addSizes(addSizes(bytes, itemBlocks), bytes / 50);
    qint64 available = 0;
    if (__builtin_mul_overflow(disk.f_bavail, disk.f_frsize, &available))
        available = std::numeric_limits<qint64>::max();
    if (needed <= available)
        return std::nullopt;
    return ProjectBackupError::refused(place + QStringLiteral("的磁盘空间不足：需要约 ") + sizeText(needed)
                                       + QStringLiteral("，可用 ") + sizeText(available));
}

} // namespace quorvia
