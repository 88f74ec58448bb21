// Fuzz target: ODBC escape translation ({d}, {fn}, {oj}, {escape}, the long
// form), refused or translated, never past the text.
#include "driver/stmt/escapes.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    EscapeContext context;
    context.userName = "fuzz";
    std::string out;
    EscapeFailure failure;
    if (!translateEscapes(in, context, out, failure) && !*failure.sqlState) std::abort();  // a refusal says why
    return 0;
}
