#pragma once

#include "platform/displays/DisplayService.h"
#include "platform/linux/displays/RandrTopology.h"

#include <QByteArray>
#include <QObject>

#include <optional>

class QSocketNotifier;
struct xcb_connection_t;

namespace quorvia::platform::native {

// The screen list from the X server's RandR outputs and their EDID, on a
// connection of its own: read again whenever the server has sent word of a
// change since the last read (looked for on every call, without a round
// trip), else as last read. Changes are announced from RandR's events and
// from Qt's screen signals, since Qt's list decides whether the topology can
// be trusted (see decideScreens); screens Qt moved without saying so are
// brought up to date (see QtScreenResync).
class RandrDisplayService final : public QObject, public DisplayService {
    Q_OBJECT
public:
    // The display named, or the default one when empty; check isAvailable.
    explicit RandrDisplayService(const QByteArray& displayName = {});
    ~RandrDisplayService() override;

    // Connected to an X server whose RandR answers the queries used here.
    bool isAvailable() const { return connection_ != nullptr; }

    std::vector<Screen> screens() const override;
    std::optional<Screen> mainScreen() const override;
    // On X11 a global position of Qt's is a root-window position: the root
    // is the one space both sides share, whatever Qt's screens still say.
    std::optional<Point> globalOrigin() const override;

    // The raw tables, none when the server does not answer.
    std::optional<RandrTable> readTable() const;
    // How many times the tables were asked of the server.
    int tableReads() const { return reads_; }

private:
    void changed();
    void readEvents();
    bool takeRandrEvents() const;
    // Reads what the server has sent; true when it tells of a RandR change.
    bool changedSinceRead() const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t edidAtom_ = 0;
    std::uint8_t firstEvent_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    mutable std::optional<RandrTable> table_;
    mutable int reads_ = 0;
};

} // namespace quorvia::platform::native
