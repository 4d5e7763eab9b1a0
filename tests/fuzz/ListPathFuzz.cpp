// List paths on any bytes, on the in-memory machine: the local folder lies below the base
// or is an error text, nothing is made outside the base, and the file name holds no "/".
#include "app/Main.h"
#include "platform/memory/Machine.h"
#include "transfer/Transfer.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const std::string kBase = "C:\\Inst\\";

// Every folder outside the base must be one the machine started with.
bool OnlyTheStartingFoldersOutside() {
    auto& tree = platform::memory::TheMachine().world.tree;
    auto* root = tree.Find("C:\\");
    for (const auto& [key, child] : root->children) {
        if (key != "INST" && key != "QUORVEL") {
            return false;
        }
    }
    return tree.drives.size() == 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& m = platform::memory::TheMachine();
    m.Reset();
    m.MakeFolders("C:\\Inst");
    TFORM_MAIN form;
    std::string path(reinterpret_cast<const char*>(data), size);
    form.FileListGrid.SetCell(0, 0, path);
    std::string local = ListPathToLocal(form, kBase, path);
    std::string name = ListPathFileName(form, 0);
    if (!IsErrorText(local) && (local.rfind(kBase, 0) != 0 || local.back() != '\\')) {
        std::abort();
    }
    if (name.find('/') != std::string::npos || !OnlyTheStartingFoldersOutside()) {
        std::abort();
    }
    return 0;
}
