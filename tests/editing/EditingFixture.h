#pragma once

#include "model/PromptScript.h"
#include "support/FakeDisplayService.h"
#include "support/TestPlatform.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace quorvia::test {

// One script on in-memory defaults and a screen list with a built-in panel.
class EditingFixture : public ::testing::Test {
protected:
    EditingFixture()
    {
        env.platform().displayService = displays;
        displays->setScreens({FakeDisplayService::builtIn(1)});
    }

    template <typename T>
    static QList<T*> children(QWidget* window)
    {
        return window->findChildren<T*>();
    }

    TestPlatform env;
    std::shared_ptr<FakeDisplayService> displays = std::make_shared<FakeDisplayService>();
    PromptScript script{env.defaults()};
};

} // namespace quorvia::test
