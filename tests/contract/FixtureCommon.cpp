#include "contract/Fixture.h"

namespace fixture {

// 1 MiB of bytes 0 to 250 in turn, as the test server's big.bin holds.
std::string BigBody() {
    std::string body(1 << 20, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i % 251);
    }
    return body;
}

} // namespace fixture
