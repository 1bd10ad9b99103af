#include "platform/linux/settings/SettingsDefaults.h"
#include "support/MemoryDefaults.h"
#include "support/QtPrinting.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace quorvia;

namespace {
void exerciseStore(platform::DefaultsStore& store)
{
    EXPECT_FALSE(store.contains(QStringLiteral("k")));
    EXPECT_EQ(store.integer(QStringLiteral("k")), 0);
    EXPECT_EQ(store.doubleValue(QStringLiteral("k")), 0.0);
    EXPECT_FALSE(store.boolean(QStringLiteral("k")));
    EXPECT_FALSE(store.string(QStringLiteral("k")).has_value());

    store.setInteger(QStringLiteral("presentation.autoScroll.charactersPerMinute"), 260);
    EXPECT_EQ(store.integer(QStringLiteral("presentation.autoScroll.charactersPerMinute")), 260);
    store.setDouble(QStringLiteral("island.window.opacity"), 0.97);
    EXPECT_DOUBLE_EQ(store.doubleValue(QStringLiteral("island.window.opacity")), 0.97);
    store.setBool(QStringLiteral("island.window.alwaysOnTop"), true);
    EXPECT_TRUE(store.boolean(QStringLiteral("island.window.alwaysOnTop")));
    store.setString(QStringLiteral("s"), QString::fromUtf8("默认演讲"));
    EXPECT_EQ(store.string(QStringLiteral("s")), QString::fromUtf8("默认演讲"));
    const QByteArray bytes("{\"a\":1}\0\xff", 9);
    store.setData(QStringLiteral("d"), bytes);
    EXPECT_EQ(store.data(QStringLiteral("d")), bytes);

    store.setDouble(QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(store.contains(QStringLiteral("nan")));
    store.setValue(QStringLiteral("inf"), QVariant(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(store.number(QStringLiteral("inf")).has_value());
    EXPECT_EQ(store.doubleValue(QStringLiteral("inf")), 0.0);

    store.remove(QStringLiteral("s"));
    EXPECT_FALSE(store.contains(QStringLiteral("s")));
}
} // namespace

TEST(DefaultsStore, MemoryStoreReadsLikeThePlatform) {
    test::MemoryDefaults store;
    exerciseStore(store);
}

TEST(DefaultsStore, SettingsFilePersistsTypedValues)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("defaults"));
    // Large enough to live in a file of its own; a leading U+FEFF must survive.
    const QString longText = QString(QChar(0xFEFF)) + QString::fromUtf8("逐字跟读").repeated(4000);
    {
        platform::native::SettingsDefaults store(folder, QString());
        exerciseStore(store);
        store.setString(QStringLiteral("long"), longText);
    }
    platform::native::SettingsDefaults reopened(folder, QString());
    EXPECT_EQ(reopened.integer(QStringLiteral("presentation.autoScroll.charactersPerMinute")), 260);
    EXPECT_TRUE(reopened.boolean(QStringLiteral("island.window.alwaysOnTop")));
    EXPECT_DOUBLE_EQ(reopened.doubleValue(QStringLiteral("island.window.opacity")), 0.97);
    EXPECT_EQ(reopened.data(QStringLiteral("d")), QByteArray("{\"a\":1}\0\xff", 9));
    EXPECT_EQ(reopened.string(QStringLiteral("long")), longText);
    EXPECT_FALSE(reopened.contains(QStringLiteral("s")));
}
