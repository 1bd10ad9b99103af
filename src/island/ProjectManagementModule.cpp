#include "island/ProjectManagementModule.h"

#include "look/DarkColours.h"
#include "look/TextStyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvia {

const QStringList& ProjectManagementModule::rows()
{
    static const QStringList rows{
        QStringLiteral("季度产品发布    阶段 0 开发中"),
        QStringLiteral("AI 项目管理     待规划"),
        QStringLiteral("内容工作流      2 个待办"),
    };
    return rows;
}

QWidget* ProjectManagementModule::makeExpandedView()
{
    auto* container = new QWidget;
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);
    stack->addWidget(styledLabel(title(), pixelFont(22, QFont::DemiBold), dark_colours::white()));
    stack->addWidget(styledLabel(QStringLiteral("扩展占位模块"), pixelFont(11, QFont::Medium), dark_colours::systemOrange()));
    // A monospaced face whose Chinese characters are exactly two columns wide.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), mono.family()});
    mono.setPixelSize(13);
    mono.setWeight(QFont::Normal);
    for (const QString& row : rows())
        stack->addWidget(styledLabel(row, mono, dark_colours::white()));
    QLabel* note = styledLabel(QStringLiteral("此模块用于验证多个 App 在同一个灵动岛内切换。后续可替换为真实项目数据适配器。"),
                               pixelFont(12, QFont::Normal), dark_colours::secondaryLabel());
    note->setWordWrap(true);
    stack->addWidget(note);
    auto* outer = new QVBoxLayout(container);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(stack);
    outer->addStretch(1);
    return container;
}

} // namespace quorvia
