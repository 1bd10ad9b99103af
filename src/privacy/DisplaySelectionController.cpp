#include "privacy/DisplaySelectionController.h"

#include "platform/settings/DefaultsStore.h"
#include "platform/core/NotificationCenter.h"
#include "platform/Platform.h"
#include "privacy/DisplayTopology.h"

#include <algorithm>

namespace quorvia {

namespace {
const QString kSelectedKey = QStringLiteral("presentation.display.selectedExternalStableKey");
}

DisplaySelectionController::DisplaySelectionController(platform::DefaultsStore* defaults)
    : defaults_(defaults ? *defaults : platform::current().defaults()),
      selectedStableKey_(defaults_.string(kSelectedKey))
{
    refresh();
}

bool DisplaySelectionController::refresh()
{
    auto previous = std::move(descriptors_);
    descriptors_ = DisplayTopology::externalDisplayDescriptors();
    return descriptors_ != previous;
}

std::optional<platform::DisplayID> DisplaySelectionController::selectedDisplayID() const
{
    if (descriptors_.size() == 1)
        return descriptors_.front().id;
    if (!selectedStableKey_)
        return std::nullopt;
    for (const auto& d : descriptors_)
        if (d.stableKey == *selectedStableKey_)
            return d.id;
    return std::nullopt;
}

void DisplaySelectionController::select(const QString& stableKey)
{
    const bool known = std::any_of(descriptors_.begin(), descriptors_.end(),
                                   [&](const auto& d) { return d.stableKey == stableKey; });
    if (!known)
        return;
    selectedStableKey_ = stableKey;
    defaults_.setString(kSelectedKey, stableKey);
    platform::NotificationCenter::defaultCenter().post(audienceDisplaySelectionChanged, this);
}

} // namespace quorvia
