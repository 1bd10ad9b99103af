#include "model/PromptScript.h"
#include "model/StoredState.h"
#include "platform/linux/SettingsDefaults.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QImage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstring>
#include <memory>

using quorvia::test::XServer;

namespace {

// The real executable on a private X server, with private folders for its
// settings, documents and instance socket.
class ApplicationProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (server.name().isEmpty())
            GTEST_SKIP() << "Xvfb cannot start here";
        executable = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quorvia"));
        ASSERT_TRUE(QFileInfo(executable).isExecutable()) << executable.toStdString();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), server.name());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("TMPDIR"), folders.path());
        environment.insert(QStringLiteral("HOME"), folders.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folders.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folders.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folders.path());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }

    void TearDown() override
    {
        for (auto* process : {&first, &second})
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
    }

    void launch(QProcess& process)
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(executable, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Until the instance socket exists, the application has not finished starting.
    bool waitUntilListening(int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        const QDir temp(folders.path());
        while (clock.elapsed() < timeoutMs) {
            for (const auto& entry : temp.entryList(QDir::System))
                if (entry.startsWith(QStringLiteral("quorvia-")))
                    return true;
            QThread::msleep(20);
        }
        return false;
    }

    // The viewable top-level windows of the process, by the pid Qt stamps on them.
    int viewableWindows(const QProcess& process)
    {
        xcb_connection_t* c = xcb_connect(server.name().toLatin1().constData(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        using Reply = std::unique_ptr<void, decltype(&std::free)>;
        auto* atomReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen("_NET_WM_PID"), "_NET_WM_PID"), nullptr);
        Reply atomHolder(atomReply, &std::free);
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
        Reply treeHolder(tree, &std::free);
        int count = 0;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
            Reply attributesHolder(attributes, &std::free);
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            auto* pid = xcb_get_property_reply(
                c, xcb_get_property(c, 0, children[i], atomReply->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            Reply pidHolder(pid, &std::free);
            if (pid && xcb_get_property_value_length(pid) == 4
                && *static_cast<std::uint32_t*>(xcb_get_property_value(pid)) == process.processId())
                ++count;
        }
        xcb_disconnect(c);
        return count;
    }

    bool waitFor(std::function<bool()> condition, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (condition())
                return true;
            QThread::msleep(20);
        }
        return condition();
    }

    void xdotool(const QStringList& arguments)
    {
        QProcess tool;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), server.name());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(tool.waitForFinished(5000));
    }

    // The ids of the process's viewable windows, only those whose title
    // matches the pattern when one is given.
    QStringList visibleWindows(const QProcess& process, const QString& titlePattern = {})
    {
        QStringList arguments{QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                              QString::number(process.processId())};
        if (!titlePattern.isEmpty())
            arguments << QStringLiteral("--name") << titlePattern;
        QProcess tool;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), server.name());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(5000);
        QStringList found = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        // The search also answers the island for some patterns.
        if (!titlePattern.isEmpty())
            found.removeAll(island);
        return found;
    }

    // Clicks at a point given from the window's top-left corner.
    void clickIn(const QString& window, int x, int y)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
        QThread::msleep(300);
    }

    void focusAndType(const QString& window, const QStringList& keys)
    {
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        xdotool(keys);
    }

    // Opens "灵动岛设置" on the island and presses one of its buttons, at its
    // place in the settings' fixed layout.
    void pressIslandSetting(int x, int y)
    {
        ASSERT_TRUE(waitFor([&] { return viewableWindows(first) >= 1; }));
        QThread::msleep(500);
        const QStringList before = visibleWindows(first);
        ASSERT_EQ(before.size(), 1);
        island = before.front();
        clickIn(island, 603, 31); // the gear
        QString settings;
        ASSERT_TRUE(waitFor([&] {
            for (const QString& id : visibleWindows(first))
                if (!before.contains(id))
                    settings = id;
            return !settings.isEmpty();
        }, 5000));
        clickIn(settings, x, y);
    }

    void pressEmergencyKey() { xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+super+h")}); }

    // The whole screen, for a person to look at.
    void screenshot(const QString& path)
    {
        xcb_connection_t* c = xcb_connect(server.name().toLatin1().constData(), nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        auto* image = xcb_get_image_reply(c,
                                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                                                        screen->width_in_pixels, screen->height_in_pixels, ~0u),
                                          nullptr);
        if (image) {
            QImage(xcb_get_image_data(image), screen->width_in_pixels, screen->height_in_pixels, QImage::Format_RGB32)
                .copy()
                .save(path);
            std::free(image);
        }
        xcb_disconnect(c);
    }

    XServer server;
    QTemporaryDir folders;
    QString executable;
    QProcessEnvironment environment;
    QProcess first;
    QProcess second;
    QString island;
};

TEST_F(ApplicationProcessTest, aSecondLaunchHandsOverAndExitsWhileTheFirstStays)
{
    launch(first);
    ASSERT_TRUE(waitUntilListening());
    launch(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    QThread::msleep(300);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(ApplicationProcessTest, terminationSignalQuitsCleanlyWithinTheFallback)
{
    launch(first);
    ASSERT_TRUE(waitUntilListening());
    QThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 3500);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

} // namespace

TEST_F(ApplicationProcessTest, showsTheIslandAndQuitsOnControlQ)
{
    launch(first);
    ASSERT_TRUE(waitFor([&] { return viewableWindows(first) >= 1; }));
    QThread::msleep(500);
    screenshot(QStringLiteral("/tmp/quorvia-xvfb-island.png"));
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
             QString::number(first.processId()), QStringLiteral("windowfocus"), QStringLiteral("--sync")});
    QElapsedTimer clock;
    clock.start();
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_LT(clock.elapsed(), 3500);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(ApplicationProcessTest, theEmergencyKeyHidesEveryWindowAndBringsTheIslandBack)
{
    launch(first);
    ASSERT_TRUE(waitFor([&] { return viewableWindows(first) >= 1; }));
    QThread::msleep(300);
    const int shown = viewableWindows(first);

    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+super+shift+h")});
    QThread::msleep(500);
    EXPECT_EQ(viewableWindows(first), shown);

    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+super+h")});
    EXPECT_TRUE(waitFor([&] { return viewableWindows(first) == 0; }, 5000));

    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+super+h")});
    EXPECT_TRUE(waitFor([&] { return viewableWindows(first) == shown; }, 5000));
}

TEST_F(ApplicationProcessTest, theEarlierSettingsFileIsInTheNewStoreWhenTheQuitReturns)
{
    using namespace quorvia;
    const QString config = folders.filePath(QStringLiteral("config/com.local.quorvia.mvp"));
    const QString script = QString::fromUtf8("1\n大家好\n---\nDemo\n演示");
    {
        QSettings legacy(config + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        legacy.setValue(PromptScript::legacyScriptKey, script);
    }
    launch(first);
    ASSERT_TRUE(waitUntilListening());
    // The signal handler is installed just after the instance socket.
    QThread::msleep(300);
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);

    const platform::native::SettingsDefaults stored(config + QStringLiteral("/defaults"), QString());
    EXPECT_EQ(stored.string(PromptScript::legacyScriptKey), script);
    const auto state = StoredState::fromJson(stored.data(PromptScript::projectsKey).value_or(QByteArray()));
    ASSERT_TRUE(state.has_value());
    ASSERT_EQ(state->projects.size(), 1u);
    EXPECT_EQ(state->projects[0].name, QStringLiteral("默认演讲"));
    EXPECT_EQ(state->projects[0].timelineBlocks.value_or(std::vector<PromptTimelineBlock>{}).size(), 2u);
}

TEST_F(ApplicationProcessTest, aChooserHiddenByTheEmergencyKeyReturnsWithTheWindowsAndCanBeCancelled)
{
    launch(first);
    pressIslandSetting(508, 253); // "导入备份"
    const QString title = QStringLiteral("导入演讲项目备份");
    ASSERT_TRUE(waitFor([&] { return !visibleWindows(first, title).isEmpty(); }, 5000));

    pressEmergencyKey();
    EXPECT_TRUE(waitFor([&] { return viewableWindows(first) == 0; }, 5000));
    pressEmergencyKey();
    ASSERT_TRUE(waitFor([&] { return !visibleWindows(first, title).isEmpty(); }, 5000));

    focusAndType(visibleWindows(first, title).front(), {QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(waitFor([&] { return visibleWindows(first, title).isEmpty(); }, 5000));
    EXPECT_GE(viewableWindows(first), 1);
}

TEST_F(ApplicationProcessTest, anOutcomeAlertCutShortByTheEmergencyKeyWaitsAndShowsWhenTheWindowsReturn)
{
    QFile deck(folders.filePath(QStringLiteral("Talk.key")));
    ASSERT_TRUE(deck.open(QIODevice::WriteOnly));
    deck.close();
    launch(first);
    pressIslandSetting(558, 293); // "导入 .key 文稿"
    const QString chooserTitle = QStringLiteral("Keynote 文稿");
    ASSERT_TRUE(waitFor([&] { return !visibleWindows(first, chooserTitle).isEmpty(); }, 5000));
    focusAndType(visibleWindows(first, chooserTitle).front(),
                 {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), deck.fileName()});
    const QStringList known = visibleWindows(first);
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    // Keynote is never installed here: the import fails at once and says so.
    QString alert;
    ASSERT_TRUE(waitFor([&] {
        for (const QString& id : visibleWindows(first))
            if (!known.contains(id))
                alert = id;
        return !alert.isEmpty();
    }, 5000));

    pressEmergencyKey();
    EXPECT_TRUE(waitFor([&] { return viewableWindows(first) == 0; }, 5000));
    QThread::msleep(1000);
    EXPECT_EQ(viewableWindows(first), 0);

    // The island and the alert come back; the alert is read, then goes.
    pressEmergencyKey();
    alert.clear();
    ASSERT_TRUE(waitFor([&] {
        for (const QString& id : visibleWindows(first))
            if (id != island)
                alert = id;
        return !alert.isEmpty() && visibleWindows(first).contains(island);
    }, 5000));
    focusAndType(alert, {QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(waitFor([&] { return visibleWindows(first) == QStringList{island}; }, 5000));
}
