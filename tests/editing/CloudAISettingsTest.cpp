#include "editing/CloudAISettings.h"

#include "support/MemoryDefaults.h"
#include "support/MemoryKeychain.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;
using Error = CloudAIMatcherError;
using SaveResult = std::expected<void, CloudAIMatcherError>;

namespace {

class CloudAISettingsTest : public ::testing::Test {
protected:
    std::vector<QString> stored() const
    {
        return {settings.endpointText(), settings.model(), settings.token()};
    }

    test::MemoryDefaults defaults;
    test::MemoryKeychain keychain;
    CloudAISettings settings{&defaults, CloudCredentialStore(&keychain)};
};

} // namespace

TEST_F(CloudAISettingsTest, SavingTrimsEveryValueAndKeepsTheTokenInTheKeychainOnly)
{
    EXPECT_EQ(stored(), (std::vector<QString>{"", "", ""}));
    EXPECT_EQ(settings.configuration().endpoint, std::nullopt);
    ASSERT_TRUE(settings.save(QStringLiteral("  HTTPS://match.example/v1/match\n"), QStringLiteral(" small-1 "),
                              QStringLiteral("  tok en  ")));
    EXPECT_EQ(stored(), (std::vector<QString>{"HTTPS://match.example/v1/match", "small-1", "tok en"}));
    EXPECT_EQ(keychain.items.size(), 1u);
    EXPECT_EQ(keychain.items.begin()->first,
              (std::pair<QString, QString>{"com.local.quorvia.cloud-mapping", "bearer-token"}));
    EXPECT_EQ(keychain.adds, 1);
    for (const QString& key : defaults.keys())
        EXPECT_FALSE(defaults.string(key).value_or(QString()).contains(QStringLiteral("tok en")));

    const CloudAIConfiguration configuration = settings.configuration();
    EXPECT_EQ(configuration.endpoint, QUrl(QStringLiteral("HTTPS://match.example/v1/match")));
    EXPECT_EQ(configuration.token, QStringLiteral("tok en"));

    // A second save updates the one item in place.
    ASSERT_TRUE(settings.save(QStringLiteral("https://match.example/v2"), QString(), QStringLiteral("newer")));
    EXPECT_EQ(keychain.adds, 1);
    EXPECT_EQ(stored(), (std::vector<QString>{"https://match.example/v2", "", "newer"}));

    // Spaces clear the endpoint and delete the secret.
    ASSERT_TRUE(settings.save(QStringLiteral("   "), QString(), QStringLiteral("   ")));
    EXPECT_EQ(stored(), (std::vector<QString>{"", "", ""}));
    EXPECT_TRUE(keychain.items.empty());
}

TEST_F(CloudAISettingsTest, RefusedEndpointsAndTokensChangeNothing)
{
    ASSERT_TRUE(settings.save(QStringLiteral("https://match.example/match"), QStringLiteral("m"), QStringLiteral("t")));
    const auto before = stored();
    for (const QString& endpoint : {QStringLiteral("http://match.example/match"), QStringLiteral("https:///match"),
                                    QStringLiteral("https:match"), QStringLiteral("match.example/match"),
                                    QStringLiteral("https://exa mple.com")}) {
        SCOPED_TRACE(endpoint.toStdString());
        EXPECT_EQ(settings.save(endpoint, QStringLiteral("x"), QStringLiteral("y")),
                  SaveResult(std::unexpected(Error::insecureEndpoint)));
        EXPECT_EQ(stored(), before);
    }
    EXPECT_EQ(settings.save(QStringLiteral("https://other.example"), QStringLiteral("x"), QStringLiteral("a\nb")),
              SaveResult(std::unexpected(Error::notConfigured)));
    EXPECT_EQ(stored(), before);
}

TEST_F(CloudAISettingsTest, ARefusedKeychainWriteIsNotConfiguredAndKeepsTheOldToken)
{
    ASSERT_TRUE(settings.save(QStringLiteral("https://match.example/match"), QString(), QStringLiteral("old")));
    keychain.refuseWrites = true;
    EXPECT_EQ(settings.save(QStringLiteral("https://match.example/new"), QString(), QStringLiteral("new")),
              SaveResult(std::unexpected(Error::notConfigured)));
    EXPECT_EQ(settings.endpointText(), QStringLiteral("https://match.example/new"));
    EXPECT_EQ(settings.token(), QStringLiteral("old"));

    keychain.items.begin()->second = QByteArray("\xff\xfe", 2);
    EXPECT_EQ(settings.token(), QString());
}
