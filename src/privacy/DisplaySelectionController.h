#pragma once

#include "privacy/ExternalDisplayDescriptor.h"

#include <QString>

#include <optional>
#include <vector>

namespace quorvia {

namespace platform {
class DefaultsStore;
}

// The speaker's choice of audience display, kept by its stable key.
class DisplaySelectionController {
public:
    static inline const QString audienceDisplaySelectionChanged = QStringLiteral("AudienceDisplaySelectionChanged");

    // Null means the platform's defaults store.
    explicit DisplaySelectionController(platform::DefaultsStore* defaults = nullptr);

    // Whether the external display list changed since the last refresh.
    bool refresh();
    // A single external display is always the audience display, unsaved.
    std::optional<platform::DisplayID> selectedDisplayID() const;
    void select(const QString& stableKey);

    const std::vector<ExternalDisplayDescriptor>& descriptors() const { return descriptors_; }
    const std::optional<QString>& selectedStableKey() const { return selectedStableKey_; }

private:
    platform::DefaultsStore& defaults_;
    std::vector<ExternalDisplayDescriptor> descriptors_;
    std::optional<QString> selectedStableKey_;
};

} // namespace quorvia
