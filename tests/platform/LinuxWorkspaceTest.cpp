#include "platform/linux/LinuxWorkspace.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using quorvia::platform::native::LinuxWorkspace;

namespace {

// A private PATH of stand-in programs that note how they were started.
class DisplaySettingsTools : public ::testing::Test {
protected:
    DisplaySettingsTools() : savedPath_(qgetenv("PATH")) { qputenv("PATH", dir_.path().toLocal8Bit()); }
    ~DisplaySettingsTools() override { qputenv("PATH", savedPath_); }

    void tool(const QString& name, const QByteArray& extra = {})
    {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + extra + "echo \"${0##*/} $*\" >> '" + log().toLocal8Bit() + "'\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString log() const { return dir_.filePath(QStringLiteral("started.log")); }
    // The first started program, waiting for the detached start to run.
    QString started()
    {
        QDeadlineTimer deadline(60000);
        QFile file(log());
        while (!deadline.hasExpired()) {
            if (file.open(QIODevice::ReadOnly)) {
                const QString text = QString::fromLocal8Bit(file.readAll()).trimmed();
                file.close();
                if (!text.isEmpty())
                    return text.section(u'\n', 0, 0);
            }
            QThread::msleep(20);
        }
        return {};
    }

    QTemporaryDir dir_;
    QByteArray savedPath_;
    LinuxWorkspace workspace;
};

} // namespace

TEST_F(DisplaySettingsTools, NothingInstalledAnswersFalse)
{
    EXPECT_FALSE(workspace.openDisplaySettings());
    EXPECT_FALSE(QFile::exists(log()));
}

TEST_F(DisplaySettingsTools, TheDesktopsOwnSettingsComeBeforeTheRandrTools)
{
    tool(QStringLiteral("arandr"));
    tool(QStringLiteral("lxrandr"));
    tool(QStringLiteral("xfce4-display-settings"));
    EXPECT_TRUE(workspace.openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("xfce4-display-settings"));
}

TEST_F(DisplaySettingsTools, LxrandrOnABareWindowManager)
{
    tool(QStringLiteral("lxrandr"));
    tool(QStringLiteral("arandr"));
    EXPECT_TRUE(workspace.openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("lxrandr"));
}

TEST_F(DisplaySettingsTools, SettingsLinksOpenOnlyWhereTheDesktopHandlesThem)
{
    // xdg-open is everywhere; without a handler for settings links it would open nothing.
    tool(QStringLiteral("xdg-open"));
    tool(QStringLiteral("xdg-mime"), "exit 0\n");
    EXPECT_FALSE(workspace.openDisplaySettings());

    tool(QStringLiteral("xdg-mime"), "echo org.example.Settings.desktop\nexit 0\n");
    tool(QStringLiteral("lxrandr"));
    EXPECT_TRUE(workspace.openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("xdg-open settings://display"));
}
