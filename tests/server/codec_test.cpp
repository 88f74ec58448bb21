// The byte codecs below the wire, for the corners vornd's own documents
// never reach (its values that are not UTF-8 travel as base64); the
// statement texts are read in execsql_test.
#include "server/Codec.h"

#include <gtest/gtest.h>

using namespace vornd;

namespace {

TEST(VorndCodec, XmlEscapes) {
    // Runs of plain text around every kind of byte that is escaped or
    // replaced; malformed UTF-8 becomes one '?' per byte.
    const struct { const char* in; const char* text; const char* attribute; } cases[] = {
        {"plain text", "plain text", "plain text"},
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
        {"&&", "&amp;&amp;", "&amp;&amp;"},
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

}  // namespace
