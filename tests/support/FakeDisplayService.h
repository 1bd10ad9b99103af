#pragma once

#include "platform/displays/DisplayService.h"

#include <map>

namespace quorvia::test {

// A scriptable screen list. Every change posts the screen-parameters notice
// synchronously, as the test makes it.
class FakeDisplayService final : public platform::DisplayService {
public:
    std::vector<platform::Screen> screens() const override { return screens_; }
    std::optional<platform::Screen> mainScreen() const override;
    std::optional<platform::Point> globalOrigin() const override { return origin; }
    // Where the origin stands in Qt's space; none leaves it to Qt's primary screen.
    std::optional<platform::Point> origin;

    // A built-in 1440 x 900 panel with a 25-point menu bar, at the origin.
    static platform::Screen builtIn(platform::DisplayID id = 1);
    // An external display to the right of a 1440-wide built-in screen.
    static platform::Screen external(platform::DisplayID id, const QString& name = QStringLiteral("Projector"),
                                     const platform::Rect& frame = platform::Rect(1440, 0, 1920, 1080));

    void setScreens(std::vector<platform::Screen> screens);
    void plug(const platform::Screen& screen);
    void unplug(platform::DisplayID id);
    // The system copies `source` onto `target`: the pair is listed as the one
    // source screen, which reports mirror-set membership.
    void mirror(platform::DisplayID source, platform::DisplayID target);
    void unmirror();
    void setFrame(platform::DisplayID id, const platform::Rect& frame, std::optional<platform::Rect> visible = {});
    void setScale(platform::DisplayID id, double scale);
    void setSafeAreaTopInset(platform::DisplayID id, double inset);
    // Main screen by id; none falls back to the first listed screen.
    void setMain(std::optional<platform::DisplayID> id);

    int changeCount = 0;

private:
    platform::Screen* find(platform::DisplayID id);
    void changed();

    std::vector<platform::Screen> screens_;
    std::vector<platform::Screen> hiddenMirrors_;
    std::optional<platform::DisplayID> main_;
};

} // namespace quorvia::test
