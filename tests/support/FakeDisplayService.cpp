#include "support/FakeDisplayService.h"

#include "platform/core/NotificationCenter.h"

#include <algorithm>

namespace quorvia::test {

using platform::DisplayID;
using platform::Rect;
using platform::Screen;

Screen FakeDisplayService::builtIn(DisplayID id)
{
    Screen s;
    s.displayID = id;
    s.frame = Rect(0, 0, 1440, 900);
    s.visibleFrame = Rect(0, 0, 1440, 875);
    s.backingScaleFactor = 2.0;
    s.localizedName = QStringLiteral("Built-in Display");
    s.isBuiltIn = true;
    s.vendorNumber = 1552;
    s.modelNumber = 41000;
    s.unitNumber = 0;
    return s;
}

Screen FakeDisplayService::external(DisplayID id, const QString& name, const Rect& frame)
{
    Screen s;
    s.displayID = id;
    s.frame = frame;
    s.visibleFrame = frame;
    s.backingScaleFactor = 1.0;
    s.localizedName = name;
    s.vendorNumber = 610;
    s.modelNumber = 432;
    s.unitNumber = id;
    return s;
}

std::optional<Screen> FakeDisplayService::mainScreen() const
{
    if (main_) {
        for (const auto& s : screens_)
            if (s.displayID == main_)
                return s;
    }
    if (screens_.empty())
        return std::nullopt;
    return screens_.front();
}

void FakeDisplayService::setScreens(std::vector<Screen> screens)
{
    screens_ = std::move(screens);
    hiddenMirrors_.clear();
    changed();
}

void FakeDisplayService::plug(const Screen& screen)
{
    screens_.push_back(screen);
    changed();
}

void FakeDisplayService::unplug(DisplayID id)
{
    std::erase_if(screens_, [&](const Screen& s) { return s.displayID == id; });
    std::erase_if(hiddenMirrors_, [&](const Screen& s) { return s.displayID == id; });
    changed();
}

void FakeDisplayService::mirror(DisplayID source, DisplayID target)
{
    auto it = std::find_if(screens_.begin(), screens_.end(), [&](const Screen& s) { return s.displayID == target; });
    Screen* src = find(source);
    if (!src || it == screens_.end())
        return;
    src->isInMirrorSet = true;
    Screen hidden = *it;
    hidden.isInMirrorSet = true;
    hidden.mirrorsDisplay = source;
    screens_.erase(it);
    hiddenMirrors_.push_back(hidden);
    changed();
}

void FakeDisplayService::unmirror()
{
    for (auto& s : screens_)
        s.isInMirrorSet = false;
    for (auto s : hiddenMirrors_) {
        s.isInMirrorSet = false;
        s.mirrorsDisplay.reset();
        screens_.push_back(s);
    }
    hiddenMirrors_.clear();
    changed();
}

void FakeDisplayService::setFrame(DisplayID id, const Rect& frame, std::optional<Rect> visible)
{
    if (Screen* s = find(id)) {
        s->frame = frame;
        s->visibleFrame = visible.value_or(frame);
        changed();
    }
}

void FakeDisplayService::setScale(DisplayID id, double scale)
{
    if (Screen* s = find(id)) {
        s->backingScaleFactor = scale;
        changed();
    }
}

void FakeDisplayService::setSafeAreaTopInset(DisplayID id, double inset)
{
    if (Screen* s = find(id)) {
        s->safeAreaTopInset = inset;
        changed();
    }
}

void FakeDisplayService::setMain(std::optional<DisplayID> id)
{
    main_ = id;
    changed();
}

Screen* FakeDisplayService::find(DisplayID id)
{
    for (auto& s : screens_)
        if (s.displayID == id)
            return &s;
    return nullptr;
}

void FakeDisplayService::changed()
{
    ++changeCount;
    platform::NotificationCenter::defaultCenter().post(screenParametersChangedNotification, this);
}

} // namespace quorvia::test
