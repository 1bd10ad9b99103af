#pragma once

#include "platform/displays/DisplayService.h"

#include <QHash>
#include <QObject>


namespace quorvia::platform::native {

// The screen list as Qt sees it. Ids are handed out per output name and kept
// for the life of the process, so a reconnected output keeps its id. A laptop
// panel connector is built in; without one the primary screen stands in.
// Screens that share one origin and size are taken as a mirror set.
class QtDisplayService final : public QObject, public DisplayService {
    Q_OBJECT
public:
    QtDisplayService();

    std::vector<Screen> screens() const override;
    std::optional<Screen> mainScreen() const override;

    static bool isBuiltInConnector(const QString& outputName);

private:
    void changed();
    DisplayID idFor(const QString& outputName) const;

    mutable QHash<QString, DisplayID> ids_;
    mutable DisplayID nextId_ = 1;
};

} // namespace quorvia::platform::native
