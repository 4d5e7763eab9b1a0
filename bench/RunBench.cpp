// A normal-mode run in which nothing changed, over 1,000 and 10,000 entries in 1 to 5
// folder levels: every listed file is in place and the local list is the served one, so the
// list is fetched and read, every row's folders are walked (twice: target and backup) and
// nothing else is fetched. A run that does not end with the no-change message reports an
// error instead of a time. Reports folder listings per row. And the choice among 100
// candidates.
#include "app/Main.h"
#include "app/Messages.h"
#include "discovery/Discovery.h"
#include "platform/memory/Machine.h"
#include "release/Names.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using platform::memory::TheMachine;

const std::string kBase = std::string("http://127.0.0.1:8480") + release::kUpdateBasePath;
const std::string kInstall = "C:\\Pelmora 4.1.2\\";

// Entry i lies `levels` folders deep; 20 files to a folder.
std::string EntryPath(int i, int levels) {
    std::string path;
    int folder = i / 20;
    for (int level = 0; level < levels; ++level) {
        path += "f" + std::to_string(level == levels - 1 ? folder : folder % 5) + "/";
    }
    return path + "file" + std::to_string(i) + ".dll";
}

void Arrange(int entries, int levels) {
    auto& m = TheMachine();
    m.Reset();
    m.MakeFolders(kInstall);
    std::string list;
    for (int i = 0; i < entries; ++i) {
        const std::string path = EntryPath(i, levels);
        list += path + "\t2026-12-08\r\n";
        std::string local = kInstall + path;
        for (char& c : local) {
            c = c == '/' ? '\\' : c;
        }
        m.WriteFile(local, "installed");
    }
    m.Serve(kBase + "filelist.txt", list);
    m.WriteFile(kInstall + "PelmoraUpdaterList.txt", list);
}

// Why the run did not end as a no-change run (one message, only the list fetched); empty
// when it did.
std::string UnexpectedEnd() {
    auto& m = TheMachine();
    if (m.world.requests.size() != 1) {
        return "the run fetched " + std::to_string(m.world.requests.size()) +
               " files, not the list alone";
    }
    if (m.process.boxes.size() != 1 || m.process.boxes[0].text != msg::kNoUpdateRequired) {
        return "the run ended with " + std::to_string(m.process.boxes.size()) +
               " messages, the first: " +
               (m.process.boxes.empty() ? std::string("none") : m.process.boxes[0].text);
    }
    return std::string();
}

void BM_NoChangeRun(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const int levels = static_cast<int>(state.range(1));
    long listings = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Arrange(entries, levels);
        auto form = std::make_unique<TFORM_MAIN>();
        form->AutoTimer.SetEnabled(false);
        platform::memory::Click(form->ManualUpdate);
        form->PelmoraPath.SetText(kInstall);
        TheMachine().process.calls.clear();
        TheMachine().process.calls.reserve(static_cast<std::size_t>(entries) * 64);
        state.ResumeTiming();
        form->UpdateSoftwareButtonClick();
        state.PauseTiming();
        listings = TheMachine().CallCount(platform::memory::Op::ListFolder);
        const std::string unexpected = UnexpectedEnd();
        form.reset();
        FORM_MAIN = nullptr;
        state.ResumeTiming();
        if (!unexpected.empty()) {
            state.SkipWithError(unexpected.c_str());
            break;
        }
    }
    state.counters["listings_per_row"] = static_cast<double>(listings) / entries;
    state.SetComplexityN(entries);
}
BENCHMARK(BM_NoChangeRun)
    ->ArgsProduct({{1000, 10000}, {1, 3, 5}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_SelectInstallFolder(benchmark::State& state) {
    TheMachine().Reset();
    TFORM_MAIN form;
    form.AutoTimer.SetEnabled(false);
    form.Min_Version.SetText("0");
    form.Max_Version.SetText("2000000000");
    for (int i = 0; i < 100; ++i) {
        form.SearchDataGrid.Append("C:\\Pelmora 4." + std::to_string(i) + ".7");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SelectInstallFolder(form));
    }
    FORM_MAIN = nullptr;
}
BENCHMARK(BM_SelectInstallFolder);

} // namespace
BENCHMARK_MAIN();
