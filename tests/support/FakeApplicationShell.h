#pragma once

#include "platform/application/ApplicationShell.h"
#include "platform/desktop/Window.h"

#include <map>
#include <memory>
#include <optional>

namespace quorvia::test {

// Records quit replies, activations and the menu; key presses are handed to
// the monitors by press(). Focus, key window and modality are the test's to set.
class FakeApplicationShell final : public platform::ApplicationShell {
public:
    void terminate(platform::QuitRequest request) override
    {
        ++terminateRequests;
        const auto reply = shouldTerminate ? shouldTerminate(request) : platform::TerminateReply::now;
        replies.push_back(reply);
        if (reply == platform::TerminateReply::now)
            terminated = true;
    }
    void replyToTermination(bool shouldTerminate) override
    {
        terminationAnswers.push_back(shouldTerminate);
        if (shouldTerminate)
            terminated = true;
    }
    void activateIgnoringOtherApps() override { ++activations; }
    void setMainMenu(std::vector<platform::MenuItem> items) override { menu = std::move(items); }
    std::vector<platform::MenuItem> mainMenu() const override { return menu; }
    platform::Window* standardAboutPanel() override
    {
        if (!about)
            about = std::make_unique<platform::Window>();
        return about.get();
    }
    void orderFrontStandardAboutPanel() override { ++aboutPanels; }

    MonitorID addLocalKeyMonitor(std::function<bool(const platform::KeyPress&)> handler) override
    {
        monitors[nextMonitor] = std::move(handler);
        return nextMonitor++;
    }
    void removeLocalKeyMonitor(MonitorID id) override { monitors.erase(id); }

    QWidget* keyWindow() const override { return key; }
    bool hasModalWindow() const override { return modal; }
    bool focusIsInTextInput() const override { return textFocus; }

    // The speaker's quit, from the menu.
    void terminate() { terminate(platform::QuitRequest::speaker); }
    // True when a monitor used the key up.
    bool press(const platform::KeyPress& keyPress)
    {
        const auto copy = monitors;
        for (const auto& [id, handler] : copy)
            if (handler(keyPress))
                return true;
        return false;
    }
    void reopen()
    {
        if (onReopen)
            onReopen();
    }
    // The menu item with this title, if any.
    const platform::MenuItem* menuItem(const QString& title) const
    {
        for (const auto& item : menu)
            if (item.title == title)
                return &item;
        return nullptr;
    }

    int terminateRequests = 0;
    std::vector<platform::TerminateReply> replies;
    std::vector<bool> terminationAnswers;
    bool terminated = false;
    int activations = 0;
    int aboutPanels = 0;
    std::unique_ptr<platform::Window> about;
    std::vector<platform::MenuItem> menu;
    std::map<MonitorID, std::function<bool(const platform::KeyPress&)>> monitors;
    MonitorID nextMonitor = 1;
    QWidget* key = nullptr;
    bool modal = false;
    bool textFocus = false;
};

} // namespace quorvia::test
