// Fuzz target: SQLDriverConnect's connection-string parser, then the output
// string made from what it kept.
#include "driver/connect/connect.h"
#include "setup/setup.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetupContext ctx{};
    ctx.driver = "";
    const std::string text(reinterpret_cast<const char*>(data), size);
    parseConnectionString(ctx, text.c_str(), long(size % 2 ? -1 : long(size)));
    volatile std::size_t sink = outConnectionString(ctx, true).size();
    (void)sink;
    return 0;
}
