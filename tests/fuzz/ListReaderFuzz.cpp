// The list reader on any bytes: no crash, no undefined behaviour, and the grid keeps its
// shape (at least one row, no TAB left in a path, no CR LF inside an entry).
#include "app/Main.h"
#include "platform/memory/Machine.h"
#include "transfer/Transfer.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::unique_ptr<TFORM_MAIN> form = [] {
        platform::memory::TheMachine().Reset();
        return std::make_unique<TFORM_MAIN>();
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    form->FileListGrid.Clear();
    ReadListIntoGrid(text, form->FileListGrid);
    const platform::Grid& grid = form->FileListGrid;
    if (grid.RowCount() < 1) {
        std::abort();
    }
    for (int row = 0; row < grid.RowCount(); ++row) {
        const std::string& path = grid.Cell(0, row);
        if (path.find('\t') != std::string::npos || path.find("\r\n") != std::string::npos ||
            grid.Cell(1, row).find("\r\n") != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
