#include "island/IslandModuleRegistry.h"

#include "IslandFixture.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace quorvia {
namespace {

using test::StandInModule;

TEST(IslandModuleRegistry, KeepsRegistrationOrderAndRefusesARepeatedId)
{
    IslandModuleRegistry registry;
    auto first = std::make_shared<StandInModule>(QStringLiteral("presentation"));
    auto second = std::make_shared<StandInModule>(QStringLiteral("project-management"));
    registry.registerModule(first);
    registry.registerModule(second);
    registry.registerModule(first);
    registry.registerModule(std::make_shared<StandInModule>(QStringLiteral("presentation"), QStringLiteral("另一个")));
    registry.registerModule(nullptr);

    ASSERT_EQ(registry.modules().size(), 2u);
    EXPECT_EQ(registry.modules()[0], first);
    EXPECT_EQ(registry.modules()[1], second);
}

TEST(IslandModuleRegistry, AModuleThatDeclaresNothingTakesTheDefaults)
{
    struct Bare : IslandModule {
        QString id() const override { return QStringLiteral("bare"); }
        QString title() const override { return {}; }
        QString symbolName() const override { return {}; }
        QString compactSummary() const override { return {}; }
        QWidget* makeExpandedView() override { return nullptr; }
    } bare;
    EXPECT_EQ(bare.privacyClass(), IslandPrivacyClass::standard);
    EXPECT_EQ(bare.preferredExpandedHeight(), 400);
    bare.didBecomeActive();
    bare.didResignActive();
}

} // namespace
} // namespace quorvia
