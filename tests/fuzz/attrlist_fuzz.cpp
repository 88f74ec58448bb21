// Fuzz target: ConfigDSN's attribute list (pairs ended by NUL or ';', the
// list by an empty pair).
#include "setup/setup.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> list(data, data + size);
    list.push_back('\0');
    list.push_back('\0');
    SetupContext ctx{};
    ctx.driver = "";
    parseAttributeList(ctx, list.data());
    return 0;
}
