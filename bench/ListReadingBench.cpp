// Reading an update list into the grid: linear in the list's size.
#include "app/Main.h"
#include "platform/memory/Machine.h"
#include "transfer/Transfer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// About 80 bytes an entry, in three folder levels.
std::string MakeList(int entries) {
    std::string text;
    text.reserve(static_cast<std::size_t>(entries) * 80);
    for (int i = 0; i < entries; ++i) {
        text += "program/modules/level" + std::to_string(i % 7) + "/component_" +
                std::to_string(i) + ".dll\t2026-12-08 10:00:" + std::to_string(i % 60) +
                " build 4.1.2\r\n";
    }
    return text;
}

TFORM_MAIN& Form() {
    static std::unique_ptr<TFORM_MAIN> form = [] {
        platform::memory::TheMachine().Reset();
        return std::make_unique<TFORM_MAIN>();
    }();
    return *form;
}

void BM_ReadList(benchmark::State& state) {
    const std::string text = MakeList(static_cast<int>(state.range(0)));
    TFORM_MAIN& form = Form();
    for (auto _ : state) {
        form.FileListGrid.Clear();
        ReadListIntoGrid(text, form.FileListGrid);
        benchmark::DoNotOptimize(form.FileListGrid.RowCount());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ReadList)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
