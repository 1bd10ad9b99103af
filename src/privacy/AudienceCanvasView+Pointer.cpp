#include "privacy/AudienceCanvasView.h"

#include <algorithm>

namespace quorvia {

std::optional<AudiencePointerLayout> layoutAudiencePointer(AudienceOutputMode::Kind mode, bool isSuppressed,
                                                           const std::optional<platform::Rect>& sourceScreenFrame,
                                                           const platform::Size& bounds,
                                                           platform::Point globalLocation,
                                                           const platform::CursorImage& cursor,
                                                           std::optional<double> windowScale)
{
    if (mode != AudienceOutputMode::Kind::live || isSuppressed || !sourceScreenFrame)
        return std::nullopt;
    const platform::Rect& source = *sourceScreenFrame;
    // Half-open, so a pointer on the right or top edge belongs to the next screen.
    if (!(source.minX() <= globalLocation.x && globalLocation.x < source.maxX() && source.minY() <= globalLocation.y
          && globalLocation.y < source.maxY()))
        return std::nullopt;
    if (!(bounds.width > 0 && bounds.height > 0))
        return std::nullopt;

    const double sourceRatio = source.width() / source.height();
    const double viewRatio = bounds.width / bounds.height;
    const platform::Rect view(0, 0, bounds.width, bounds.height);

    AudiencePointerLayout layout;
    if (viewRatio <= sourceRatio) {
        const double height = view.width() / sourceRatio;
        layout.contentRect = platform::Rect(view.minX(), view.midY() - height / 2, view.width(), height);
    } else {
        const double width = view.height() * sourceRatio;
        layout.contentRect = platform::Rect(view.midX() - width / 2, view.minY(), width, view.height());
    }

    const double nx = (globalLocation.x - source.minX()) / source.width();
    const double ny = (globalLocation.y - source.minY()) / source.height();

    layout.scale = windowScale.value_or(2.0);
    layout.size = {std::max(cursor.size.width, 18.0), std::max(cursor.size.height, 18.0)};
    // The hot spot is measured from the image's top-left, the anchor from the
    // layer's bottom-left.
    layout.anchor = {cursor.hotSpot.x / std::max(layout.size.width, 1.0),
                     1.0 - cursor.hotSpot.y / std::max(layout.size.height, 1.0)};
    layout.position = {layout.contentRect.minX() + nx * layout.contentRect.width(),
                       layout.contentRect.minY() + ny * layout.contentRect.height()};
    return layout;
}

} // namespace quorvia
