// The code page the updater reads names in: the system's, as Windows reads it.
#include "../platform/System.h"
#include "Transfer.h"

const release::CodePage& SystemCodePage() {
    // Asked of the system once for each code page: it does not change while a process runs.
    static release::CodePage page;
    static bool known = false;
    const unsigned number = platform::AnsiCodePage();
    if (!known || page.number != number) {
        page.number = number;
        for (int c = 0; c < 256; ++c) {
            const auto byte = static_cast<unsigned char>(c);
            page.lead[byte] = platform::LeadByte(byte);
            page.upper[byte] = c == 0 || page.lead[byte]
                                   ? byte
                                   : static_cast<unsigned char>(platform::UpperCase(
                                         std::string(1, static_cast<char>(c)))[0]);
        }
        known = true;
    }
    return page;
}
