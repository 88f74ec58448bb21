// The byte codecs below the wire, for the corners vornd's own documents
// never reach (its values that are not UTF-8 travel as base64); the
// statement texts are read in execsql_test.
#include "server/Codec.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace vornd;

namespace {

TEST(VorndCodec, XmlEscapes) {
    // Runs of plain text around every kind of byte that is escaped or
    // replaced; malformed UTF-8 becomes one '?' per byte.
    const struct { const char* in; const char* text; const char* attribute; } cases[] = {
        {"a&b<c>d\"e", "a&amp;b&lt;c&gt;d\"e", "a&amp;b&lt;c&gt;d&quot;e"},
        {"t\tn\nr\r", "t\tn\nr\r", "t&#9;n&#10;r&#13;"},
        {"\x01x\x7F\x1F", "?x\x7F?", "?x\x7F?"},
        {"\xC3\xA9t\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9t\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\xC3\xA9t\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE|\xEF\xBF\xBF|\xEF\xBF\xBD", "?|?|\xEF\xBF\xBD", "?|?|\xEF\xBF\xBD"},
        {"\xC3(", "?(", "?("},
        {"\xC0\x80", "??", "??"},
        {"s\xED\xA0\x80", "s???", "s???"},
        {"abc\xF4\x90\x80\x80", "abc????", "abc????"},
        {"end\xE2\x82", "end??", "end??"},
    };
    for (const auto& c : cases) {
        std::string text = "[", attribute = "[";
        xmlTextAppend(text, c.in);
        xmlAttributeAppend(attribute, c.in);
        EXPECT_EQ(text, std::string("[") + c.text) << c.in;
        EXPECT_EQ(attribute, std::string("[") + c.attribute) << c.in;
    }
    // What may skip the escaper: nothing it would change, and not blanks only.
    for (const char* plain : {"x", " row 1 ", "a\"b'c", "\x7F"}) EXPECT_TRUE(isPlainText(plain)) << plain;
    for (const char* other : {"", "  ", "a&b", "a<", "t\tx", "\xC3\xA9"})
        EXPECT_FALSE(isPlainText(other)) << other;
}

// vornd writes a real's text itself where it can; it must be SQLite's own
// text to the byte, and left to SQLite where their roundings could differ.
TEST(VorndCodec, RealTextIsSqlitesOwn) {
    sqlite3* db = nullptr;
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT ?", -1, &select, nullptr));
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 33.33, 100.0, 2.5, 1e14, 1e15, 999999999999999.0,
                                  1e16, 1e-4, 1e-5, 1.5e-5, 1e21, 1e100, 1e-300, 5e-324, 12345678901234.5,
                                  115248931077169.5, 1082568642201625.0, 1.7976931348623157e308};
    std::mt19937_64 rng(7);
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t bits = rng();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        values.push_back(any);
        values.push_back(double(rng() % 100000000) / 100);  // amounts, the common case
    }
    int written = 0;
    for (const double v : values) {
        char buffer[32];
        const std::string_view ours = realText(v, buffer);
        if (ours.empty()) continue;
        ++written;
        sqlite3_bind_double(select, 1, v);
        ASSERT_EQ(SQLITE_ROW, sqlite3_step(select));
        EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)), std::string(ours)) << v;
        sqlite3_reset(select);
    }
    EXPECT_GT(written, 100000);  // every amount, most of the rest
    char buffer[32];
    for (const double v : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                           std::nan("")})
        EXPECT_TRUE(realText(v, buffer).empty()) << v;
    sqlite3_finalize(select);
    sqlite3_close(db);
}

}  // namespace
