#include "look/AudiencePreviewPreferences.h"
#include "look/PrompterPreferences.h"

#include "support/QtPrinting.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace quorvia;

namespace {
const QString kIslandOpacity = QStringLiteral("island.window.opacity");
const QString kPrompterOpacity = QStringLiteral("prompter.window.opacity");
const QString kPrompterTop = QStringLiteral("prompter.window.alwaysOnTop");
} // namespace

TEST(WindowPreferences, FreshStoreDefaultsAndSeedsThePrompter)
{
    test::TestPlatform env;
    IslandPreferences island;
    EXPECT_DOUBLE_EQ(island.opacity(), 0.97);
    EXPECT_TRUE(island.alwaysOnTop());
    EXPECT_DOUBLE_EQ(AudiencePreviewPreferences().opacity(), 1.0);
    EXPECT_EQ(env.defaults().writeCount(), 0) << "reading writes nothing";

    PrompterPreferences prompter(nullptr, island);
    EXPECT_DOUBLE_EQ(env.defaults().doubleValue(kPrompterOpacity), 0.97);
    EXPECT_EQ(env.defaults().value(kPrompterTop), QVariant(true));
}

TEST(WindowPreferences, SeedingFillsEachAbsentKeyOnItsOwnAndOpacityIsClamped)
{
    test::TestPlatform env;
    env.defaults().setDouble(kPrompterOpacity, 0.6);
    env.defaults().setBool(QStringLiteral("island.window.alwaysOnTop"), false);
    PrompterPreferences prompter(nullptr, IslandPreferences());
    EXPECT_DOUBLE_EQ(prompter.opacity(), 0.6);
    EXPECT_FALSE(prompter.alwaysOnTop());

    // A key removed after seeding reads as the store's zero, clamped.
    env.defaults().remove(kPrompterOpacity);
    EXPECT_DOUBLE_EQ(prompter.opacity(), 0.35);

    IslandPreferences island;
    env.defaults().setDouble(kIslandOpacity, 0.1);
    EXPECT_DOUBLE_EQ(island.opacity(), 0.35);
    env.defaults().setDouble(kIslandOpacity, 1.7);
    EXPECT_DOUBLE_EQ(island.opacity(), 1.0);
    island.setOpacity(0.2);
    EXPECT_DOUBLE_EQ(env.defaults().doubleValue(kIslandOpacity), 0.35);
}
