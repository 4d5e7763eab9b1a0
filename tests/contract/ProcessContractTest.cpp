#include "contract/Fixture.h"
#include "discovery/Discovery.h"
#include "platform/System.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessContract, FoundByModuleNameInAnyLetterCaseAndRunningUntilItEnds) {
    fixture::ScratchFolder();
    fixture::RunningProgram program;
    ASSERT_NE(program.Id(), 0u);
    EXPECT_EQ(FindProcessByName(platform::UpperCase(program.ModuleName())), program.Id());
    EXPECT_EQ(FindProcessByName("Quorvel_Sleeper.EXE"), program.Id());
    EXPECT_TRUE(IsProcessRunning(program.Id()));
    program.End();
    EXPECT_FALSE(IsProcessRunning(program.Id()));
    EXPECT_FALSE(IsProcessRunning(0));
    EXPECT_EQ(FindProcessByName("no-such-program.exe"), 0u);
    EXPECT_EQ(FindProcessByName(""), 0u);
}

} // namespace
