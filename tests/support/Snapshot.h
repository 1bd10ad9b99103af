#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>

#include <gtest/gtest.h>

namespace quorvia::test {

// Keeps a picture of a view for review when QUORVIA_SNAPSHOT_DIR is set.
inline void keepSnapshot(const QPixmap& picture, const QString& name)
{
    EXPECT_FALSE(picture.isNull());
    const QString dir = qEnvironmentVariable("QUORVIA_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        picture.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace quorvia::test
