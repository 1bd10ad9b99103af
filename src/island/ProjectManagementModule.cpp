#include "island/ProjectManagementModule.h"

#include "privacy/PrivacyPalette.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvia {

namespace {
QLabel* label(const QString& text, QFont font, const QColor& color)
{
    auto* l = new QLabel(text);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

QFont systemFont(int size, QFont::Weight weight)
{
    QFont f;
    f.setPixelSize(size);
    f.setWeight(weight);
    return f;
}
} // namespace

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
    stack->addWidget(label(title(), systemFont(22, QFont::DemiBold), privacy_palette::white()));
    stack->addWidget(label(QStringLiteral("扩展占位模块"), systemFont(11, QFont::Medium), privacy_palette::systemOrange()));
    // A monospaced face whose Chinese characters are exactly two columns wide.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), mono.family()});
    mono.setPixelSize(13);
    mono.setWeight(QFont::Normal);
    for (const QString& row : rows())
        stack->addWidget(label(row, mono, privacy_palette::white()));
    QLabel* note = label(QStringLiteral("此模块用于验证多个 App 在同一个灵动岛内切换。后续可替换为真实项目数据适配器。"),
                         systemFont(12, QFont::Normal), privacy_palette::secondaryLabel());
    note->setWordWrap(true);
    stack->addWidget(note);
    auto* outer = new QVBoxLayout(container);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(stack);
    outer->addStretch(1);
    return container;
}

} // namespace quorvia
