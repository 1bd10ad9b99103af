#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

#include <memory>

namespace quorvia::test {

// A private Xorg with the dummy video driver and two outputs side by side: the
// laptop's own screen (primary, left) and a projector to its right, each
// 1920x1080. The dummy outputs have no panel connector, so the primary stands
// in as the speaker's screen. Further outputs exist, disconnected and off, for
// tests that force a mode onto an undetected display.
//
// Tests in tests/<folder>/xorg/ build into <folder>_xorg_tests and run with Qt
// on display() (TestMain points DISPLAY there), each test on a server of its
// own. A test that changes the layout puts it back with restoreLayout().
class TwoOutputXServer {
public:
    // The server named in QUORVIA_TEST_TWO_OUTPUT_DISPLAY, or else one
    // started on first use and stopped when this process exits. Empty when
    // Xorg cannot start.
    static QString display();

    // A server of this object's own, stopped when it is destroyed.
    TwoOutputXServer();
    ~TwoOutputXServer();
    TwoOutputXServer(const TwoOutputXServer&) = delete;
    TwoOutputXServer& operator=(const TwoOutputXServer&) = delete;

    const QString& name() const { return name_; }
    pid_t pid() const { return pid_; }
    // Why the server did not start (the end of its log), for the failure message.
    const QString& failure() const { return failure_; }

    // Runs xrandr on `display`; true when it exits 0.
    static bool xrandr(const QString& display, const QStringList& arguments);
    // The laptop screen primary at the origin, the projector to its right, all else off.
    static bool restoreLayout(const QString& display);

    static inline const char* environmentVariable = "QUORVIA_TEST_TWO_OUTPUT_DISPLAY";
    static inline const char* laptopOutput = "DUMMY0";
    static inline const char* projectorOutput = "DUMMY1";
    static constexpr int outputWidth = 1920;
    static constexpr int outputHeight = 1080;
    // Where each output stands in the restored layout: the projector right of the laptop.
    static QRect laptopArea() { return {0, 0, outputWidth, outputHeight}; }
    static QRect projectorArea() { return {outputWidth, 0, outputWidth, outputHeight}; }

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString name_;
    QString failure_;
    pid_t pid_ = 0;
};

} // namespace quorvia::test
