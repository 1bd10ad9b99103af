#pragma once

#include "island/IslandPrivacyClass.h"
#include "platform/core/NotificationCenter.h"

#include <QString>

class QWidget;

namespace quorvia {

// A panel the island hosts. Modules are shared objects: the registry and the
// island window hold them strongly.
class IslandModule {
public:
    // Posted by a module, with the module as sender, when its preferred height changed.
    static inline const QString islandModuleHeightChanged = QStringLiteral("IslandModuleHeightChanged");

    virtual ~IslandModule() = default;

    virtual QString id() const = 0;
    virtual QString title() const = 0;
    virtual QString symbolName() const = 0;
    virtual IslandPrivacyClass privacyClass() const { return IslandPrivacyClass::standard; }
    virtual QString compactSummary() const = 0;
    virtual double preferredExpandedHeight() const { return 400; }
    // A new view each call; the caller owns it.
    virtual QWidget* makeExpandedView() = 0;
    virtual void didBecomeActive() {}
    virtual void didResignActive() {}

protected:
    // The sender is always the module's IslandModule address, so the island can
    // recognise it whatever the module's other bases.
    void postHeightChanged() const
    {
        platform::NotificationCenter::defaultCenter().post(islandModuleHeightChanged,
                                                           static_cast<const IslandModule*>(this));
    }
};

} // namespace quorvia
