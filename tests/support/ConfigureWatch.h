#pragma once

#include <QRect>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct xcb_connection_t;

namespace quorvia::test {

// Every configure, map and unmap of one process's windows (or of the window
// manager's frames holding them), and every move of the outputs, followed on
// the root on a connection and thread of its own and stamped as it arrives:
// where a window stood at any moment, not only where it stands after.
class ConfigureWatch {
public:
    using Clock = std::chrono::steady_clock;
    // A window manager's push as the displays change is forgiven this long after one.
    static constexpr std::chrono::milliseconds nearChange{100};

    // One stretch of time a shown window of ours stood on an area.
    struct Stay {
        std::uint32_t window = 0; // ours, not the frame around it
        QString name;
        QRect rect;  // where it stood as the stay began, frame included
        QRect reach; // all it covered there
        Clock::time_point start, end;
        // It got there by a configure or a map; not by an output moving under it, nor standing there at start().
        bool moved = false;
        // It began within `nearChange` after a change of the displays.
        bool nearChange = false;
        int moves = 1; // configures onto the area, the first included
        bool staying = false; // still there at stop()
        int ms() const { return int(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count()); }
        QString said() const;
    };

    // Watches the windows stamped with `pid` from now on.
    ConfigureWatch(const QString& display, std::int64_t pid);
    ~ConfigureWatch();
    ConfigureWatch(const ConfigureWatch&) = delete;
    ConfigureWatch& operator=(const ConfigureWatch&) = delete;

    // Forgets what came before; what stands now counts from here.
    void start();
    // Until the server has told everything asked of it so far; what comes later is not counted.
    void stop();
    // Between start() and stop() (or now): each stay on `area`, or on wherever the output named
    // (e.g. "DUMMY1") stood at each moment.
    std::vector<Stay> stays(const QRect& area) const;
    std::vector<Stay> staysOn(const QString& output) const;
    // Where our window (its frame, when managed) stood since start(), in turn, shown or not.
    std::vector<QRect> placesOf(std::uint32_t window) const;
    // When the displays changed since start().
    std::vector<Clock::time_point> changes() const;
    // A window manager stopped over a change catches up with it as it goes on: its pushes from now are
    // forgiven as at a change.
    void managerCatchesUp();

private:
    struct Sample {
        Clock::time_point at;
        std::uint32_t top = 0; // the root's child
        std::uint32_t ours = 0;
        QString name;
        bool mapped = false;
        QRect rect;
        bool byEvent = true;
    };
    struct Top {
        bool mapped = false;
        QRect rect;
        std::uint32_t ours = 0; // our window it holds, 0 when none
        QString name;
    };
    void run();
    // Until the thread has handled every event the server sent before now.
    void sync();
    void handle(const void* event, Clock::time_point at);
    void note(std::uint32_t top, Clock::time_point at, bool byEvent = true);
    void findOurs(std::uint32_t top);
    void readOutputs();
    std::vector<Stay> replay(const std::function<QRect(Clock::time_point)>& areaAt,
                             const std::vector<Clock::time_point>& areaMoves) const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t pidAtom_ = 0, nameAtom_ = 0, utf8Atom_ = 0;
    std::uint8_t randrEvent_ = 0;
    std::int64_t pid_ = 0;
    int wake_ = -1;
    std::thread thread_;
    std::mutex syncMutex_;
    std::condition_variable synced_;
    std::uint64_t syncsAsked_ = 0, syncsDone_ = 0;
    bool quit_ = false;

    mutable std::mutex mutex_;
    std::map<std::uint32_t, Top> tops_;
    std::vector<Sample> samples_;
    // The outputs by name, where each stood from when; an empty rect while off.
    std::map<QString, std::uint32_t> outputIds_;
    std::map<std::uint32_t, std::uint32_t> crtcOf_;
    std::map<std::uint32_t, QRect> crtcRect_;
    std::map<std::uint32_t, std::vector<std::pair<Clock::time_point, QRect>>> outputRects_;
    std::vector<Clock::time_point> changes_;
    Clock::time_point started_;
    std::optional<Clock::time_point> stopped_;
};

} // namespace quorvia::test
