#include "platform/linux/application/RefusalPanel.h"
#include "support/FakeDisplayService.h"
#include "support/QtPrinting.h"
#include "support/Snapshot.h"
#include "support/TestPlatform.h"

#include <QLabel>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace quorvia;
using platform::native::RefusalPanel;

namespace {

// The lines the label breaks its text into at its width, as it draws them.
QStringList linesOf(const QLabel& label)
{
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        lines << label.text().mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

} // namespace

// Sized to its reason: a short one on one line, a long one on even lines,
// never a character left alone on a line of its own, and all of it in view.
TEST(RefusalPanel, ItsSizeFollowsTheReasonWithoutALoneCharacterOnALine)
{
    test::TestPlatform env;
    auto displays = std::make_shared<test::FakeDisplayService>();
    env.platform().displayService = displays;
    displays->setScreens({test::FakeDisplayService::builtIn(1)});
    const QString shortReason = QStringLiteral("已有一个 Quorvia 在运行，但它没有应答；本次启动不再继续。");
    const QString longReason = QStringLiteral("无法锁定演讲项目文件夹（Permission denied）。为免两个 Quorvia 同时写入演讲项目而丢失文件，本次启动不再继续。");
    for (const QString& reason : {shortReason, longReason}) {
        RefusalPanel panel(reason);
        panel.show();
        QCoreApplication::processEvents();
        const QStringList lines = linesOf(*panel.reasonLabel());
        SCOPED_TRACE(lines.join(u'|').toStdString());
        EXPECT_EQ(lines.size(), reason == shortReason ? 1 : 2);
        for (const QString& line : lines)
            EXPECT_GT(line.size(), 3);
        EXPECT_GE(panel.reasonLabel()->height(), panel.reasonLabel()->heightForWidth(panel.reasonLabel()->width()));
        EXPECT_TRUE(panel.rect().contains(panel.button()->geometry()));
        test::keepSnapshot(panel.grab(), reason == shortReason ? QStringLiteral("refusal-short") : QStringLiteral("refusal-long"));
    }
}
