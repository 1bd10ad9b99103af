#include "platform/linux/LinuxApplicationShell.h"

#include "platform/Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>

#include <unistd.h>

namespace quorvia::platform::native {

namespace {
const QByteArray reopenMessage = QByteArrayLiteral("reopen\n");
constexpr int handOverTimeoutMs = 1000;
} // namespace

LinuxApplicationShell::LinuxApplicationShell(QString serverName) : serverName_(std::move(serverName))
{
    qApp->installEventFilter(this);
}

LinuxApplicationShell::~LinuxApplicationShell()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QString LinuxApplicationShell::defaultServerName()
{
    return QStringLiteral("quorvia-%1").arg(::getuid());
}

bool LinuxApplicationShell::claimPrimaryInstance()
{
    QLocalSocket probe;
    probe.connectToServer(serverName_);
    if (probe.waitForConnected(handOverTimeoutMs)) {
        probe.write(reopenMessage);
        probe.waitForBytesWritten(handOverTimeoutMs);
        probe.disconnectFromServer();
        return false;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        // Nobody answered, so the socket left behind belongs to a dead instance.
        QLocalServer::removeServer(serverName_);
        server_->listen(serverName_);
    }
    connect(server_, &QLocalServer::newConnection, this, &LinuxApplicationShell::acceptConnection);
    return true;
}

void LinuxApplicationShell::acceptConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                if (socket->readLine() == reopenMessage && onReopen)
                    onReopen();
        });
    }
}

void LinuxApplicationShell::terminate()
{
    if (awaitingReply_)
        return;
    const TerminateReply reply = shouldTerminate ? shouldTerminate() : TerminateReply::now;
    if (reply == TerminateReply::now)
        QCoreApplication::exit(0);
    else
        awaitingReply_ = true;
}

void LinuxApplicationShell::replyToTermination(bool shouldTerminate)
{
    awaitingReply_ = false;
    if (shouldTerminate)
        QCoreApplication::exit(0);
}

void LinuxApplicationShell::activateIgnoringOtherApps()
{
    if (QApplication::activeWindow())
        return;
    const auto windows = Window::allWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->isVisible() && (*it)->canBecomeKey()) {
            (*it)->activateWindow();
            return;
        }
    }
}

void LinuxApplicationShell::setMainMenu(std::vector<MenuItem> items) { menu_ = std::move(items); }

void LinuxApplicationShell::orderFrontStandardAboutPanel()
{
    QMessageBox::about(nullptr, QStringLiteral("关于Quorvia"),
                       QStringLiteral("Quorvia %1").arg(QCoreApplication::applicationVersion()));
}

ApplicationShell::MonitorID LinuxApplicationShell::addLocalKeyMonitor(std::function<bool(const KeyPress&)> handler)
{
    const MonitorID id = nextMonitor_++;
    monitors_[id] = std::move(handler);
    return id;
}

void LinuxApplicationShell::removeLocalKeyMonitor(MonitorID id) { monitors_.erase(id); }

QWidget* LinuxApplicationShell::keyWindow() const { return QApplication::activeWindow(); }

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
