#pragma once

#include "support/TwoOutputXServer.h"
#include "support/WindowManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quorvia::test {

enum class Manager { none, openbox };

// A test on the two-output server, laid out afresh, run once without a window
// manager and once under openbox. A test that adds to SetUp or TearDown calls
// these first and last.
class WindowManagedTwoOutputTest : public ::testing::TestWithParam<Manager> {
protected:
    void SetUp() override
    {
        display = TwoOutputXServer::display();
        ASSERT_FALSE(display.isEmpty()) << "the two-output test X server did not start";
        ASSERT_TRUE(TwoOutputXServer::restoreLayout(display));
        if (GetParam() == Manager::openbox) {
            manager = std::make_unique<WindowManager>(display);
            ASSERT_TRUE(manager->start()) << manager->failure().toStdString();
        }
    }

    void TearDown() override
    {
        manager.reset();
        TwoOutputXServer::restoreLayout(display);
    }

    QString display;
    std::unique_ptr<WindowManager> manager;
};

inline std::string managerName(const ::testing::TestParamInfo<Manager>& info)
{
    return info.param == Manager::openbox ? "openbox" : "noWindowManager";
}

} // namespace quorvia::test

#define QUORVIA_UNDER_EACH_WINDOW_MANAGER(Suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(WindowManagers, Suite,                                                                    \
                             ::testing::Values(quorvia::test::Manager::none, quorvia::test::Manager::openbox),         \
                             quorvia::test::managerName)
