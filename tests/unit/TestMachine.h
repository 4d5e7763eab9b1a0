// Helpers for tests on the in-memory machine.
#pragma once

#include "TestSettings.h"
#include "app/Main.h"
#include "platform/memory/Machine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

using platform::memory::MessageBoxRecord;
using platform::memory::TheMachine;

// A fresh machine with the operator's usual environment, and the window built on it.
class MachineTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;
    // Builds the window now (tests that change the environment first call it late).
    TFORM_MAIN& Form();
    platform::memory::Machine& M() { return TheMachine(); }

    std::unique_ptr<TFORM_MAIN> form_;
};

struct Box {
    std::string text;
    std::string caption;
    unsigned buttons = 0;
    bool operator==(const Box& o) const {
        return text == o.text && caption == o.caption && buttons == o.buttons;
    }
};

std::vector<Box> Boxes();
std::ostream& operator<<(std::ostream& out, const Box& box);

} // namespace testing_support
