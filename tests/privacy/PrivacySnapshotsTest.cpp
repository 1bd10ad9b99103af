// Renders the privacy views offscreen so they can be looked at. Set
// QUORVIA_SNAPSHOT_DIR to keep the pictures.
#include "privacy/WindowSettingsViewController.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace quorvia;

namespace {
void keep(QWidget& widget, const QString& name)
{
    widget.ensurePolished();
    if (widget.layout())
        widget.layout()->activate();
    const QPixmap picture = widget.grab();
    EXPECT_FALSE(picture.isNull());
    const QString dir = qEnvironmentVariable("QUORVIA_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        picture.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}
} // namespace

TEST(PrivacySnapshots, WindowSettingsView)
{
    WindowSettingsViewController plain(QStringLiteral("灵动岛窗口"), QStringLiteral("透明度与置顶只影响内屏窗口，观众外屏不受影响。"),
                                       0.97, true);
    keep(plain, QStringLiteral("window-settings"));

    auto* extra = new QLabel(QStringLiteral("面板自己的设置"));
    WindowSettingsViewController withExtra(QStringLiteral("外屏预览设置"),
                                           QStringLiteral("此透明度只影响内屏预览窗，不影响观众外屏、灵动岛或提词窗。"),
                                           0.5, false, false, extra, {360, 60});
    keep(withExtra, QStringLiteral("window-settings-extra"));
}
