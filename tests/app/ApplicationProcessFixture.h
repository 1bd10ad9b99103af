#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace quorvia::test {

// The real executable on an X server of the test's, with private folders for
// its settings, documents and instance socket.
class ApplicationProcessFixture : public ::testing::Test {
protected:
    // ":N"; empty when the server could not start.
    virtual QString displayName() const = 0;

    void SetUp() override
    {
        if (displayName().isEmpty())
            FAIL() << "the test X server could not start";
        executable = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../quorvia"));
        ASSERT_TRUE(QFileInfo(executable).isExecutable()) << executable.toStdString();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), displayName());
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
        ASSERT_TRUE(process.waitForStarted(60000));
    }

    // Until the instance socket exists, the application has not finished starting.
    bool waitUntilListening(int timeoutMs = 60000)
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

    // Until the process catches the signal, sending it would kill it outright.
    bool waitUntilCatching(const QProcess& process, int signal, int timeoutMs = 60000)
    {
        return waitFor([&] {
            QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1) & 1) != 0;
            return false;
        }, timeoutMs);
    }

    // The viewable top-level windows of the process, by the pid Qt stamps on them.
    int viewableWindows(const QProcess& process)
    {
        xcb_connection_t* c = xcb_connect(displayName().toLatin1().constData(), nullptr);
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

    bool waitFor(std::function<bool()> condition, int timeoutMs = 60000)
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
        env.insert(QStringLiteral("DISPLAY"), displayName());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(tool.waitForFinished(60000));
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
        env.insert(QStringLiteral("DISPLAY"), displayName());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(60000);
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
        }));
        clickIn(settings, x, y);
    }

    void pressEmergencyKey() { xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+super+h")}); }

    // The whole screen, for a person to look at.
    // Starts `first` and imports an empty .key file through the chooser: with no
    // Keynote here, the import fails at once and says so in an alert, whose id
    // this returns (empty when none came).
    QString launchWithFailedImportAlert()
    {
        QFile deck(folders.filePath(QStringLiteral("Talk.key")));
        if (!deck.open(QIODevice::WriteOnly))
            return {};
        deck.close();
        launch(first);
        pressIslandSetting(558, 293); // "导入 .key 文稿"
        const QString chooserTitle = QStringLiteral("Keynote 文稿");
        if (!waitFor([&] { return !visibleWindows(first, chooserTitle).isEmpty(); }))
            return {};
        focusAndType(visibleWindows(first, chooserTitle).front(),
                     {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), deck.fileName()});
        const QStringList known = visibleWindows(first);
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        QString alert;
        waitFor([&] {
            for (const QString& id : visibleWindows(first))
                if (!known.contains(id))
                    alert = id;
            return !alert.isEmpty();
        });
        return alert;
    }

    // What a window of ours shows now.
    QImage windowImage(const QString& window) { return drawableImage(static_cast<xcb_window_t>(window.toULong())); }

    void screenshot(const QString& path) { rootImage().save(path); }

    // What the whole root shows now, every output's picture at its place.
    QImage rootImage() { return drawableImage(std::nullopt); }

    // Without a window, the root's picture.
    QImage drawableImage(std::optional<xcb_window_t> window)
    {
        xcb_connection_t* c = xcb_connect(displayName().toLatin1().constData(), nullptr);
        const xcb_window_t id = window.value_or(xcb_setup_roots_iterator(xcb_get_setup(c)).data->root);
        QImage picture;
        auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
        if (geometry) {
            auto* image = xcb_get_image_reply(
                c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0, geometry->width, geometry->height, ~0u), nullptr);
            if (image) {
                picture = QImage(xcb_get_image_data(image), geometry->width, geometry->height, QImage::Format_RGB32).copy();
                std::free(image);
            }
            std::free(geometry);
        }
        xcb_disconnect(c);
        return picture;
    }

    // Where a window stands in the root; empty when it is gone.
    QRect windowFrame(const QString& window)
    {
        xcb_connection_t* c = xcb_connect(displayName().toLatin1().constData(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const auto id = static_cast<xcb_window_t>(window.toULong());
        QRect frame;
        auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
        auto* at = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, root, 0, 0), nullptr);
        if (geometry && at)
            frame = QRect(at->dst_x, at->dst_y, geometry->width, geometry->height);
        std::free(geometry);
        std::free(at);
        xcb_disconnect(c);
        return frame;
    }

    QTemporaryDir folders;
    QString executable;
    QProcessEnvironment environment;
    QProcess first;
    QProcess second;
    QString island;
};

} // namespace quorvia::test
