#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>

namespace quorvia::platform::native {

// Qt's X11 plugin, reading RandR 1.5 monitors, moves a screen whose outputs
// all read disconnected (a mode forced on a projector that was never
// detected) only in its platform screen: the QScreen keeps the place it had
// when the application started, and Qt's list never matches the server
// again. After every RandR event Qt handles, this hands each such QScreen the
// geometry its platform screen already holds, as the plugin does for the
// screens it reports; the QScreen's own signals then tell of the move.
class QtScreenResync final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit QtScreenResync(QObject* parent = nullptr);
    ~QtScreenResync() override;

    // True when a QScreen stood elsewhere than its platform screen; it
    // follows once the event loop delivers the change.
    static bool repairStaleScreens();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::uint8_t randrFirstEvent_ = 0;
    bool queued_ = false;
};

} // namespace quorvia::platform::native
