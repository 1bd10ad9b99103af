#pragma once

#include "island/IslandModule.h"

namespace quorvia {

// The island's second module: a fixed placeholder showing that the island can
// host more than one panel. No commands, settings or data.
class ProjectManagementModule : public IslandModule {
public:
    QString id() const override { return QStringLiteral("project-management"); }
    QString title() const override { return QStringLiteral("项目管理"); }
    QString symbolName() const override { return QStringLiteral("checklist"); }
    QString compactSummary() const override { return QStringLiteral("3 个项目 · 5 个待办"); }
    QWidget* makeExpandedView() override;

    // Name and blanks fill 16 columns, a Chinese character counting two.
    static const QStringList& rows();
};

} // namespace quorvia
