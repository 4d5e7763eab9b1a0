#include "contract/Fixture.h"
#include "platform/Processes.h"
#include "platform/System.h"
#include "release/CodePage.h"
#include "transfer/Transfer.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(SystemContract, EnvironmentNamesMatchWithoutCase) {
    fixture::ScratchFolder();
    fixture::SetEnv("QuorvelTestVar", "\\Users\\op");
    EXPECT_EQ(EnvironmentVariable("QUORVELTESTVAR"), "\\Users\\op");
    EXPECT_EQ(EnvironmentVariable("quorveltestvar"), "\\Users\\op");
    fixture::UnsetEnv("QUORVELTESTVAR");
    EXPECT_FALSE(EnvironmentVariable("QuorvelTestVar").has_value());
}

TEST(SystemContract, TextComparisonAndUpperCase) {
    EXPECT_EQ(CompareTextNoCase("Pelmora.exe", "PELMORA.EXE"), 0);
    EXPECT_NE(CompareTextNoCase("Pelmora.exe", "Pelmora.ex"), 0);
    EXPECT_EQ(UpperCase("Pelmora 4.1.2"), "PELMORA 4.1.2");
    EXPECT_EQ(UpperCase(""), "");
}

// The code page the updater reads names in is the system's, byte for byte as the tables the
// release tool holds say: its double-byte lead bytes and how each single byte is upper-cased.
TEST(SystemContract, CodePageIsTheOneTheToolKnows) {
    const auto known = release::KnownCodePage(AnsiCodePage());
    ASSERT_TRUE(known.has_value()) << "code page " << AnsiCodePage();
    const release::CodePage& system = SystemCodePage();
    for (int c = 1; c < 256; ++c) {
        EXPECT_EQ(system.lead[c], known->lead[c]) << "byte " << c;
        EXPECT_EQ(int(system.upper[c]), int(known->upper[c])) << "byte " << c;
    }
    if (AnsiCodePage() == 1252) {
        EXPECT_EQ(UpperCase("caf\xe9 \x9a\xff"), "CAF\xc9 \x8a\x9f");
    }
}

TEST(SystemContract, OwnPathAndVersion) {
    std::string own = OwnExecutablePath();
    ASSERT_GE(own.size(), 4u);
    EXPECT_EQ(own[1], ':');
    EXPECT_NE(own.find('\\'), std::string::npos);
    EXPECT_GE(OsMajorVersion(), 5u);
}

TEST(SystemContract, ProcessIdZeroIsNotOpenable) {
    EXPECT_FALSE(ProcessRunning(0));
    EXPECT_EQ(MainModuleName(0), "");
}

} // namespace

namespace {

TEST(SystemContract, InstanceLockHasOneHolderAtATime) {
    const std::string name = "Quorvel.ContractTest.Lock";
    {
        InstanceLock first(name);
        EXPECT_TRUE(first.Acquired());
        InstanceLock second(name);
        EXPECT_FALSE(second.Acquired()) << "a second holder while the first lives";
        InstanceLock other("Quorvel.ContractTest.OtherLock");
        EXPECT_TRUE(other.Acquired()) << "locks of other names are independent";
    }
    InstanceLock again(name);
    EXPECT_TRUE(again.Acquired()) << "the lock is free once its holders are gone";
}

} // namespace
