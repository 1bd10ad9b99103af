#include "platform/linux/system/LinuxWorkspace.h"
#include "support/EventWait.h"
#include "support/QtPrinting.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <signal.h>

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
        QString first;
        quorvia::test::waitUntil([&] {
            QFile file(log());
            if (file.open(QIODevice::ReadOnly))
                first = QString::fromLocal8Bit(file.readAll()).trimmed().section(u'\n', 0, 0);
            return !first.isEmpty();
        });
        return first;
    }

    // Asks, and runs the main loop until the answer comes.
    bool openDisplaySettings()
    {
        std::optional<bool> opened;
        workspace.openDisplaySettings([&](bool answer) { opened = answer; });
        EXPECT_TRUE(quorvia::test::waitUntil([&] { return opened.has_value(); })) << "no answer";
        return opened.value_or(false);
    }

    QTemporaryDir dir_;
    QByteArray savedPath_;
    LinuxWorkspace workspace;
};

} // namespace

TEST_F(DisplaySettingsTools, NothingInstalledAnswersFalse)
{
    EXPECT_FALSE(openDisplaySettings());
    EXPECT_FALSE(QFile::exists(log()));
}

TEST_F(DisplaySettingsTools, TheDesktopsOwnSettingsComeBeforeTheRandrTools)
{
    tool(QStringLiteral("arandr"));
    tool(QStringLiteral("lxrandr"));
    tool(QStringLiteral("xfce4-display-settings"));
    EXPECT_TRUE(openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("xfce4-display-settings"));
}

TEST_F(DisplaySettingsTools, LxrandrOnABareWindowManager)
{
    tool(QStringLiteral("lxrandr"));
    tool(QStringLiteral("arandr"));
    EXPECT_TRUE(openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("lxrandr"));
}

TEST_F(DisplaySettingsTools, SettingsLinksOpenOnlyWhereTheDesktopHandlesThem)
{
    // xdg-open is everywhere; without a handler for settings links it would open nothing.
    tool(QStringLiteral("xdg-open"));
    tool(QStringLiteral("xdg-mime"), "exit 0\n");
    EXPECT_FALSE(openDisplaySettings());

    tool(QStringLiteral("xdg-mime"), "echo org.example.Settings.desktop\nexit 0\n");
    tool(QStringLiteral("lxrandr"));
    EXPECT_TRUE(openDisplaySettings());
    EXPECT_EQ(started(), QStringLiteral("xdg-open settings://display"));
}

TEST_F(DisplaySettingsTools, AHungXdgMimeIsAskedOffTheMainThreadAndEndedWithEverythingItStarted)
{
    // It starts a helper of its own and never answers.
    const QString helper = dir_.filePath(QStringLiteral("helper.pid"));
    tool(QStringLiteral("xdg-mime"), "/bin/sleep 600 &\necho $! > '" + helper.toLocal8Bit() + "'\nwait\n");
    tool(QStringLiteral("xdg-open"));
    tool(QStringLiteral("arandr"));

    std::optional<bool> opened;
    workspace.openDisplaySettings([&](bool answer) { opened = answer; });
    // The main loop runs on while the desktop is asked.
    ASSERT_TRUE(quorvia::test::waitUntil([&] { return QFile::exists(helper) && QFile(helper).size() > 0; }));
    EXPECT_FALSE(opened.has_value());
    QFile file(helper);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);

    ASSERT_TRUE(quorvia::test::waitUntil([&] { return opened.has_value(); })) << "no answer";
    EXPECT_TRUE(*opened);
    EXPECT_EQ(started(), QStringLiteral("arandr"));
    // The helper went with the query: gone, or a zombie left for its new parent to reap.
    const auto ended = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
    };
    EXPECT_TRUE(quorvia::test::waitUntil(ended)) << "the query's helper still runs";
    if (!ended())
        ::kill(pid, SIGKILL);
}

TEST_F(DisplaySettingsTools, AQueryThatAnswersLateIsTakenAsNoAnswer)
{
    tool(QStringLiteral("xdg-mime"), "/bin/sleep 600\necho org.example.Settings.desktop\n");
    EXPECT_EQ(LinuxWorkspace::runBriefly(dir_.filePath(QStringLiteral("xdg-mime")), {}, 0.2), std::nullopt);
    tool(QStringLiteral("xdg-mime"), "echo org.example.Settings.desktop\n/bin/sleep 600 &\n");
    EXPECT_EQ(LinuxWorkspace::runBriefly(dir_.filePath(QStringLiteral("xdg-mime")), {}, 20),
              QByteArray("org.example.Settings.desktop\n"));
}
