#include "TestMachine.h"

#include <ostream>

namespace testing_support {

void MachineTest::SetUp() {
    TheMachine().Reset();
    TheMachine().SetEnv("HOMEDRIVE", "C:");
    TheMachine().SetEnv("HOMEPATH", "\\Users\\op");
}

void MachineTest::TearDown() {
    form_.reset();
}

TFORM_MAIN& MachineTest::Form() {
    if (!form_) {
        form_ = std::make_unique<TFORM_MAIN>();
    }
    return *form_;
}

std::vector<Box> Boxes() {
    std::vector<Box> boxes;
    for (const auto& b : TheMachine().boxes) {
        boxes.push_back(Box{b.text, b.caption, b.buttons});
    }
    return boxes;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{\"" << box.text << "\", \"" << box.caption << "\", " << box.buttons << "}";
}

} // namespace testing_support
