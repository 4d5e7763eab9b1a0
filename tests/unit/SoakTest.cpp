// 200 consecutive updates in one process, clean runs and runs with an injected fault in
// turn: no handle or memory is left behind, and each clean run brings every file up.
#include "TestMachine.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own allocator replaces malloc's, and counts what is in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using namespace testing_support;

std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Release `version` of five files.
std::vector<Entry> Release(int version) {
    std::vector<Entry> release;
    for (const char* path :
         {"Pelmora.exe", "bin/core.dll", "bin/ui.dll", "data/maps/world.dat", "AppLaunch.exe"}) {
        release.push_back({path, "v" + std::to_string(version)});
    }
    return release;
}

class Soak : public UpdateMachine {};

TEST_F(Soak, TwoHundredUpdatesLeaveNoHandleOrMemoryBehind) {
    Install(Release(0));
    Form().AutoTimer.SetEnabled(false);
    NormalMode();
    std::size_t heapAtWarmUp = 0;
    const int kRuns = 200;
    for (int run = 1; run <= kRuns; ++run) {
        // Each run in a minute of its own, so each gets its own backup folder; what the
        // machine records of a run is dropped, so that only the updater could grow.
        M().process.terminated = false;
        M().process.boxes.clear();
        M().process.calls.clear();
        M().world.requests.clear();
        M().process.launches.clear();
        M().world.localTime.hour = 8 + run / 60;
        M().world.localTime.minute = run % 60;
        M().WriteFile(kMarker, "m");
        Serve(Release(run));
        const bool faulted = run % 2 == 0;
        M().process.failCallIndex = faulted ? (run * 37) % 150 : -1;
        Form().UpdateSoftwareButtonClick();
        ASSERT_EQ(M().OpenFileHandles(), 0) << "run " << run;
        if (!faulted) {
            for (const auto& e : Release(run)) {
                ASSERT_EQ(At(kInstall + Windows(e.path)), Body(e)) << "run " << run;
            }
            ASSERT_TRUE(M().process.terminated) << "run " << run;
        }
        if (run == 20) {
            heapAtWarmUp = HeapInUse();
        }
    }
    ASSERT_GT(heapAtWarmUp, 0u) << "the heap in use cannot be measured here";
    // The machine keeps each run's backup folder; beyond that nothing may grow.
    std::size_t growth = HeapInUse() > heapAtWarmUp ? HeapInUse() - heapAtWarmUp : 0;
    EXPECT_LT(growth, std::size_t{2} << 20) << "bytes gained over 180 runs";
}

} // namespace
