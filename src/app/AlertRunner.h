#pragma once

#include "platform/dialogs/DialogService.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace quorvia {

// Shows the outcome alerts of commands, many of which finish later than the
// click that started them. An outcome that arrives while the private windows
// are held hidden waits and shows once they are back: shown at once it would
// stack above the safety overlay, or appear right after the speaker hid
// everything, on a screen the audience may see.
class AlertRunner {
public:
    AlertRunner() = default;
    AlertRunner(const AlertRunner&) = delete;
    AlertRunner& operator=(const AlertRunner&) = delete;

    // Whether the private windows are held hidden now; none means never.
    std::function<bool()> isHoldingWindows;

    // An alert with the one button "知道了".
    void acknowledge(platform::AlertStyle style, const QString& message, const QString& informative);
    // The private windows are back: what waited shows, in order, each on a
    // later turn of the main queue and only while nothing holds them again.
    void windowsReturned();

    std::size_t waitingCount() const { return waiting_.size(); }

private:
    struct Waiting {
        platform::AlertStyle style;
        QString message;
        QString informative;
    };

    bool holding() const { return isHoldingWindows && isHoldingWindows(); }
    void present(const Waiting& alert);
    void showNext();

    std::deque<Waiting> waiting_;
    bool scheduled_ = false;
    bool presenting_ = false;
    std::shared_ptr<AlertRunner*> life_ = std::make_shared<AlertRunner*>(this);
};

} // namespace quorvia
