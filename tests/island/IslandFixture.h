#pragma once

#include "island/IslandModule.h"
#include "island/IslandModuleSettingsProviding.h"
#include "look/IslandPreferences.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <QLabel>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

namespace quorvia::test {

// A module that records what the island asks of it.
class StandInModule : public IslandModule {
public:
    explicit StandInModule(QString id, QString title = QStringLiteral("演讲提词"), double height = 610)
        : id_(std::move(id)), title_(std::move(title)), height_(height)
    {
    }

    QString id() const override { return id_; }
    QString title() const override { return title_; }
    QString symbolName() const override { return QStringLiteral("checklist"); }
    QString compactSummary() const override { return QStringLiteral("摘要"); }
    double preferredExpandedHeight() const override { return height_; }
    QWidget* makeExpandedView() override
    {
        calls.push_back("make");
        auto* view = new QWidget;
        auto* column = new QVBoxLayout(view);
        auto* label = new QLabel(QStringLiteral("模块内容"));
        label->setStyleSheet(QStringLiteral("color: white; font-size: 15px"));
        column->addWidget(label);
        column->addStretch();
        return view;
    }
    void didBecomeActive() override { calls.push_back("become"); }
    void didResignActive() override { calls.push_back("resign"); }

    void setHeight(double height, bool announce = true)
    {
        height_ = height;
        if (announce)
            postHeightChanged();
    }

    std::vector<std::string> calls;

private:
    QString id_;
    QString title_;
    double height_;
};

// A stand-in that also offers a settings view.
class SettingsModule : public StandInModule, public IslandModuleSettingsProviding {
public:
    using StandInModule::StandInModule;
    platform::Size islandSettingsSize() const override { return {620, 300}; }
    QWidget* makeIslandSettingsView() override
    {
        ++settingsViews;
        auto* view = new QLabel(QStringLiteral("演讲资料与输出"));
        view->setFixedSize(620, 300);
        return view;
    }
    int settingsViews = 0;
};

// The platform of fakes with a 1440 x 900 built-in screen (visible top at 875).
struct IslandFixture {
    IslandFixture()
    {
        env.platform().displayService = displays;
        displays->setScreens({FakeDisplayService::builtIn()});
    }

    TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    IslandPreferences preferences{&env.defaults()};
};

} // namespace quorvia::test
