#include "platform/linux/application/LinuxApplicationShell.h"

#include "platform/files/FileDescriptor.h"
#include "platform/desktop/Window.h"
#include "platform/linux/application/AboutPanel.h"
#include "platform/linux/application/QtStatusIcon.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <linux/close_range.h>
#include <unistd.h>

namespace quorvia::platform::native {

namespace {
// The pipe's end a signal writes to: a handler may only make async-signal-safe calls.
int signalWriter = -1;

void onTerminationSignal(int)
{
    const char byte = 1;
    // A byte already waiting asks the same: one that does not fit is not needed.
    [[maybe_unused]] auto written = ::write(signalWriter, &byte, 1);
}
} // namespace

LinuxApplicationShell::LinuxApplicationShell() : hasStatusArea(&QtStatusIcon::isAvailable)
{
    qApp->installEventFilter(this);
}

LinuxApplicationShell::~LinuxApplicationShell()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool LinuxApplicationShell::drawsNowhere()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("offscreen"));
}

void LinuxApplicationShell::markInheritedDescriptorsCloseOnExec()
{
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    // A kernel without it: one by one, as the process lists them.
    const std::filesystem::path listed("/proc/self/fd");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(listed, error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        if (fd > 2)
            ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
}

void LinuxApplicationShell::quitOnTerminationSignals()
{
    auto ends = makePipe(O_NONBLOCK);
    if (!ends)
        return;
    auto* notifier = new QSocketNotifier(ends->reading.get(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, reading = std::make_shared<FileDescriptor>(std::move(ends->reading))] {
        char bytes[64];
        while (::read(reading->get(), bytes, sizeof bytes) > 0) {
        }
        terminate(QuitRequest::unattended);
    });
    // Open until the process ends: a signal may come at any moment.
    signalWriter = ends->writing.release();
    std::signal(SIGTERM, onTerminationSignal);
    std::signal(SIGINT, onTerminationSignal);
}

void LinuxApplicationShell::terminate(QuitRequest request)
{
    // Drawn nowhere, an alert at the end would hold the quit forever.
    if (drawsNowhere())
        request = QuitRequest::unattended;
    // The speaker's second ask adds nothing; a logout's is never dropped, for
    // the delegate may have to end an alert the speaker was shown.
    if (awaitingReply_ && request == QuitRequest::speaker)
        return;
    const TerminateReply reply = shouldTerminate ? shouldTerminate(request) : TerminateReply::now;
    if (reply == TerminateReply::now)
        exit();
    else
        awaitingReply_ = true;
}

void LinuxApplicationShell::replyToTermination(bool shouldTerminate)
{
    awaitingReply_ = false;
    if (shouldTerminate)
        exit();
}

void LinuxApplicationShell::exit()
{
    exiting_ = true;
    QCoreApplication::exit(0);
}

void LinuxApplicationShell::activateIgnoringOtherApps()
{
    if (keyWindow())
        return;
    // The window the speaker works in, else the newest.
    auto* speakers = qobject_cast<Window*>(Window::speakersWindow());
    if (speakers && speakers->isVisible() && speakers->canBecomeKey()) {
        Window::sendKeyboardTo(*speakers);
        return;
    }
    const auto windows = Window::allWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->isVisible() && (*it)->canBecomeKey()) {
            Window::sendKeyboardTo(**it);
            return;
        }
    }
}

void LinuxApplicationShell::setMainMenu(std::vector<MenuItem> items)
{
    menu_ = std::move(items);
    statusIcon_.reset();
    if (!hasStatusArea || !hasStatusArea())
        return;
    // A click on the icon is a reopen, as a second launch is.
    statusIcon_ = std::make_unique<QtStatusIcon>(menu_, [this] {
        if (onReopen)
            onReopen();
    });
    statusIcon_->show();
}

Window* LinuxApplicationShell::standardAboutPanel()
{
    if (!aboutPanel_)
        aboutPanel_ = std::make_unique<AboutPanel>();
    return aboutPanel_.get();
}

void LinuxApplicationShell::orderFrontStandardAboutPanel()
{
    standardAboutPanel();
    aboutPanel_->present();
}

ApplicationShell::MonitorID LinuxApplicationShell::addLocalKeyMonitor(std::function<bool(const KeyPress&)> handler)
{
    const MonitorID id = nextMonitor_++;
    monitors_[id] = std::move(handler);
    return id;
}

void LinuxApplicationShell::removeLocalKeyMonitor(MonitorID id) { monitors_.erase(id); }

QWidget* LinuxApplicationShell::keyWindow() const { return Window::windowWithKeyboard(); }

bool LinuxApplicationShell::hasModalWindow() const { return QApplication::activeModalWidget() != nullptr; }

bool LinuxApplicationShell::focusIsInTextInput() const
{
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus)
        || qobject_cast<QPlainTextEdit*>(focus);
}

bool LinuxApplicationShell::eventFilter(QObject* watched, QEvent* event)
{
    // A key press travels through its window before its widgets: seen once there.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    KeyPress press;
    press.key = key->key() == Qt::Key_Left    ? KeyPress::Key::left
                : key->key() == Qt::Key_Right ? KeyPress::Key::right
                                              : KeyPress::Key::other;
    const auto modifiers = key->modifiers();
    press.command = modifiers & Qt::MetaModifier;
    press.control = modifiers & Qt::ControlModifier;
    press.option = modifiers & Qt::AltModifier;
    press.shift = modifiers & Qt::ShiftModifier;

    // Copies: a handler may add or remove monitors.
    const auto monitors = monitors_;
    for (const auto& [id, handler] : monitors)
        if (handler(press))
            return true;

    const QKeySequence typed(key->keyCombination());
    for (const auto& item : menu_) {
        if (!item.isSeparator && !item.shortcut.isEmpty() && item.shortcut.matches(typed) == QKeySequence::ExactMatch
            && item.action) {
            item.action();
            return true;
        }
    }
    return false;
}

} // namespace quorvia::platform::native
