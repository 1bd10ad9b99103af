#include "privacy/PresentationSafetyState.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

using namespace quorvia;

TEST(PresentationSafetyState, EveryCaseHasItsTextsAndFlags)
{
    using S = PresentationSafetyState;
    struct Row {
        S state;
        const char* title;
        const char* detail;
        bool active, safeStopped, preview, recovery;
    };
    const Row rows[] = {
        {S::disabled(), "隐私输出已关闭", "点击“启动隐私输出”后才会开始捕获", false, false, true, true},
        {S::preparing(), "准备中", "等待外接显示器", false, false, false, true},
        {S::standby(), "待机", "观众端显示待机页", true, false, false, true},
        {S::preflighting(), "预检中", "正在验证显示与捕获链路", true, false, false, true},
        {S::live(), "隐私输出中", "捕获链路已建立；本应用与 Keynote 窗口已从捕获中排除", true, false, false, true},
        {S::privacyPaused(), "隐私暂停", "私密窗口已隐藏", true, false, false, false},
        {S::degraded({}), "隐私输出中 \xC2\xB7 能力降级", "", true, false, false, true},
        {S::safeStopped(QStringLiteral("捕获流心跳超时")), "安全停止", "捕获流心跳超时", true, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(row.state.title(), QString::fromUtf8(row.title));
        EXPECT_EQ(row.state.detail(), QString::fromUtf8(row.detail));
        EXPECT_EQ(row.state.isAudienceOutputActive(), row.active);
        EXPECT_EQ(row.state.isSafeStopped(), row.safeStopped);
        EXPECT_EQ(row.state.allowsAudiencePreview(), row.preview);
        EXPECT_EQ(row.state.allowsPrimaryWindowRecovery(), row.recovery);
    }
    // A change of reason alone is a change of state.
    EXPECT_NE(S::safeStopped(QStringLiteral("A")), S::safeStopped(QStringLiteral("B")));
    EXPECT_NE(S::degraded(QStringLiteral("A")), S::safeStopped(QStringLiteral("A")));
}
