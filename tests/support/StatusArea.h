#pragma once

#include <QProcess>
#include <QString>

namespace quorvia::test {

// A desktop's status area (trayer, a standalone system tray) on a test X
// server, for as long as this object lives: status icons embed in it as on a
// desktop panel.
class StatusArea {
public:
    // Ends with this object: QProcess kills what it started.
    // At the bottom left of the primary screen, or across its top.
    explicit StatusArea(const QString& display, bool atTop = false);
    StatusArea(const StatusArea&) = delete;
    StatusArea& operator=(const StatusArea&) = delete;

    // Starts it and waits until it takes icons.
    bool start(int timeoutMs = 60000);
    // Why it did not start, for the failure message.
    QString failure() const { return failure_; }

private:
    bool ownsTraySelection() const;

    QString display_;
    bool atTop_;
    QProcess process_;
    QString failure_;
};

} // namespace quorvia::test
