#include "island/ProjectManagementModule.h"

#include "support/QtPrinting.h"
#include "support/Snapshot.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace quorvia {
namespace {

// Columns up to the status, a Chinese character counting two.
int statusColumn(const QString& row)
{
    int columns = 0;
    bool inBlanks = false;
    for (QChar c : row) {
        if (c == QLatin1Char(' ')) {
            inBlanks = true;
        } else if (inBlanks && columns >= 8) {
            return columns;
        } else {
            inBlanks = false;
        }
        columns += c.unicode() >= 0x2E80 ? 2 : 1;
    }
    return -1;
}

TEST(ProjectManagementModule, APlaceholderWithAlignedRowsAndTheProtocolDefaults)
{
    ProjectManagementModule module;
    EXPECT_EQ(module.compactSummary(), QStringLiteral("3 个项目 · 5 个待办"));
    for (const QString& row : ProjectManagementModule::rows())
        EXPECT_EQ(statusColumn(row), 16) << row.toStdString();

    std::unique_ptr<QWidget> first(module.makeExpandedView());
    std::unique_ptr<QWidget> second(module.makeExpandedView());
    QStringList firstTexts, secondTexts;
    for (QLabel* l : first->findChildren<QLabel*>())
        firstTexts << l->text();
    for (QLabel* l : second->findChildren<QLabel*>())
        secondTexts << l->text();
    EXPECT_EQ(firstTexts.size(), 6);
    EXPECT_EQ(firstTexts, secondTexts);
    first->setStyleSheet(QStringLiteral("background: #0e0e0e"));
    first->resize(596, 360);
    test::keepSnapshot(first->grab(), QStringLiteral("project-module"));
}

} // namespace
} // namespace quorvia
