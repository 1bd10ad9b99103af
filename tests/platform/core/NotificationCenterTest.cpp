#include "platform/core/NotificationCenter.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia::platform;

namespace {
const QString kName = QStringLiteral("PromptScriptChanged");
}

TEST(NotificationCenter, SenderFilterAndRegistrationOrder)
{
    NotificationCenter center;
    int a = 0;
    int b = 0;
    std::vector<int> order;
    auto any = center.observe(kName, nullptr, [&](const Notification&) { order.push_back(1); });
    auto onlyA = center.observe(kName, &a, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &a);
        order.push_back(2);
    });
    center.post(kName, &b);
    center.post(kName, &a, {{QStringLiteral("eventSource"), QStringLiteral("speech")}});
    center.post(QStringLiteral("Other"), &a);
    EXPECT_EQ(order, (std::vector<int>{1, 1, 2}));
}

TEST(NotificationCenter, DestroyedObservationReceivesNothing)
{
    NotificationCenter center;
    int calls = 0;
    {
        auto obs = center.observe(kName, nullptr, [&](const Notification&) { ++calls; });
        center.post(kName);
    }
    center.post(kName);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, PostFromInsideAnObserverIsDelivered)
{
    NotificationCenter center;
    std::vector<QString> seen;
    auto first = center.observe(kName, nullptr, [&](const Notification& n) {
        seen.push_back(n.name);
        center.post(QStringLiteral("Nested"));
    });
    auto nested = center.observe(QStringLiteral("Nested"), nullptr, [&](const Notification& n) { seen.push_back(n.name); });
    center.post(kName);
    EXPECT_EQ(seen, (std::vector<QString>{kName, QStringLiteral("Nested")}));
}

TEST(NotificationCenter, ObserverRemovedDuringPostIsNotCalledAfterwards)
{
    NotificationCenter center;
    int second = 0;
    Observation later;
    auto first = center.observe(kName, nullptr, [&](const Notification&) { later.reset(); });
    later = center.observe(kName, nullptr, [&](const Notification&) { ++second; });
    center.post(kName);
    center.post(kName);
    EXPECT_EQ(second, 0);
}

TEST(NotificationCenter, ObserverMayRemoveItselfAndAddOthers)
{
    NotificationCenter center;
    int self = 0;
    int added = 0;
    Observation selfObs;
    Observation addedObs;
    selfObs = center.observe(kName, nullptr, [&](const Notification&) {
        ++self;
        selfObs.reset();
        addedObs = center.observe(kName, nullptr, [&](const Notification&) { ++added; });
    });
    center.post(kName);
    EXPECT_EQ(added, 0); // added during a post: only later posts reach it
    center.post(kName);
    EXPECT_EQ(self, 1);
    EXPECT_EQ(added, 1);
}
