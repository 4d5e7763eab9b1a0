// 200 consecutive updates in one process, clean runs and runs with an injected fault in
// turn: no handle or memory is left behind, and each clean run brings every file up.
#include "TestMachine.h"
#include "platform/Files.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#define QUORVEL_MEASURE_HEAP 1
#endif

namespace {

using platform::memory::TheMachine;
using testing_support::kBase;
using testing_support::Windows;

const std::string kInstall = "C:\\Pelmora 4.1.2\\";
const char* kPaths[] = {"Pelmora.exe", "bin/core.dll", "bin/ui.dll", "data/maps/world.dat",
                        "AppLaunch.exe"};

std::size_t HeapInUse() {
#ifdef QUORVEL_MEASURE_HEAP
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

class Soak : public testing_support::MachineTest {
public:
    void Release(int version) {
        std::string list;
        for (const char* path : kPaths) {
            list += std::string(path) + "\tv" + std::to_string(version) + "\r\n";
            M().Serve(kBase + path, "v" + std::to_string(version) + " " + path);
        }
        M().Serve(kBase + "filelist.txt", list);
    }
    // Each run in a minute of its own, so each gets its own backup folder.
    void NextRun(int run) {
        auto& m = M();
        m.terminated = false;
        m.minimised = false;
        m.boxes.clear();
        m.calls.clear();
        m.requests.clear();
        m.launches.clear();
        m.failCallIndex = -1;
        m.localTime.hour = 8 + run / 60;
        m.localTime.minute = run % 60;
        m.WriteFile(
            "C:\\Users\\Public\\Documents\\Pelmora Documents\\system-do not touch\\PelmorEmpty.aaa",
            "m");
    }
};

TEST_F(Soak, TwoHundredUpdatesLeaveNoHandleOrMemoryBehind) {
    M().SetEnv("PUBLIC", "C:\\Users\\Public");
    for (const char* path : kPaths) {
        M().WriteFile(kInstall + Windows(path), "v0");
    }
    TFORM_MAIN& form = Form();
    form.AutoTimer.SetEnabled(false);
    platform::memory::Click(form.ManualUpdate);
    form.PelmoraPath.SetText(kInstall);
    std::size_t heapAtWarmUp = 0;
    const int kRuns = 200;
    for (int run = 1; run <= kRuns; ++run) {
        NextRun(run);
        Release(run);
        bool faulted = run % 2 == 0;
        if (faulted) {
            M().failCallIndex = (run * 37) % 150;
        }
        form.UpdateSoftwareButtonClick();
        ASSERT_EQ(M().OpenFileHandles(), 0) << "run " << run;
        ASSERT_EQ(M().openProcessHandles, 0) << "run " << run;
        if (!faulted) {
            for (const char* path : kPaths) {
                ASSERT_EQ(M().FileContent(kInstall + Windows(path)),
                          "v" + std::to_string(run) + " " + path)
                    << "run " << run;
            }
            ASSERT_TRUE(M().terminated) << "run " << run;
        }
        if (run == 20) {
            heapAtWarmUp = HeapInUse();
        }
    }
    // The machine keeps each run's backup folder; beyond that nothing may grow.
    std::size_t growth = HeapInUse() > heapAtWarmUp ? HeapInUse() - heapAtWarmUp : 0;
    EXPECT_LT(growth, std::size_t{2} << 20) << "bytes gained over 180 runs";
}

} // namespace
