// Reading statement texts and the byte codecs, below the wire.
#include "server/Codec.h"
#include "server/SqlText.h"

#include <gtest/gtest.h>

using namespace vornd;

namespace {

TEST(VorndSqlText, ObjectClauseRewrite) {
    ObjectRewrite r = rewriteObjectClause(
        "UPDATE t SET OBJECT (body = 'data=it''s (x), y', raw = 'data[base64]=AAEC', n = NULL) WHERE id = 'SET OBJECT ('");
    ASSERT_TRUE(r.found);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.sql, "UPDATE t SET body = :vorn_object1, raw = :vorn_object2, n = NULL WHERE id = 'SET OBJECT ('");
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.values[0].bytes, "it's (x), y");
    EXPECT_FALSE(r.values[0].binary);
    EXPECT_EQ(r.values[1].bytes, std::string("\x00\x01\x02", 3));
    EXPECT_TRUE(r.values[1].binary);

    // Plain literals are taken as text; quoted column names stay as written.
    r = rewriteObjectClause("update t set /* c */ object(\"my col\"='plain') where 1");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.sql, "update t set \"my col\" = :vorn_object1 where 1");
    EXPECT_EQ(r.values.at(0).bytes, "plain");

    // Only outside literals and comments.
    EXPECT_FALSE(rewriteObjectClause("SELECT 'SET OBJECT (a = 1)' -- SET OBJECT (b = 2)\n").found);
    EXPECT_FALSE(rewriteObjectClause("UPDATE t SET objects = 1").found);
    EXPECT_FALSE(rewriteObjectClause("UPDATE t SET OBJECT (a = 'data[base64]=@@')").error.empty());
    EXPECT_FALSE(rewriteObjectClause("UPDATE t SET OBJECT (a = 'x'").error.empty());
}

TEST(VorndSqlText, StatementKinds) {
    EXPECT_EQ(statementKind("  insert into t values (1)"), "INSERT");
    EXPECT_EQ(statementKind("REPLACE INTO t VALUES (1)"), "INSERT");
    EXPECT_EQ(statementKind("/* x */ Update t SET a = 1"), "UPDATE");
    EXPECT_EQ(statementKind("WITH a(x) AS (SELECT 1) DELETE FROM t WHERE id IN a"), "DELETE");
    EXPECT_EQ(statementKind("WITH a AS (DELETE FROM t) SELECT 1"), "SELECT");
    EXPECT_EQ(statementKind("CREATE TABLE t (a)"), "SELECT");
    EXPECT_TRUE(mentionsCatalog("select * from vdbs.tables"));
    EXPECT_FALSE(mentionsCatalog("select 'VDBS.TABLES' from t"));
}

TEST(VorndCodec, Base64AndCharacterData) {
    std::string out;
    base64Append(out, "\x00\xFF\x10", 3);
    EXPECT_EQ(out, "AP8Q");
    // Strict decoding: unpadded is fine, stray or misplaced characters fail.
    const struct { const char* text; bool ok; std::string bytes; } decodes[] = {
        {"AP8Q", true, std::string("\x00\xFF\x10", 3)}, {"QQ==", true, "A"}, {"QQ", true, "A"},
        {"Q", false, ""}, {"QQ==QQ==", false, ""}, {"QQ=Q", false, ""}, {"Q*Q=", false, ""},
    };
    for (const auto& d : decodes) {
        std::string back;
        EXPECT_EQ(base64Decode(d.text, back), d.ok) << d.text;
        if (d.ok) {
            EXPECT_EQ(back, d.bytes) << d.text;
        }
    }

    EXPECT_TRUE(isValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    for (const char* bad : {"\xC0\xAF" /* overlong */, "\xED\xA0\x80" /* surrogate */, "\xE2\x82" /* cut */})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;

    // Blanks next to text survive; a lone run of blanks, line breaks and
    // U+FFFF do not.
    for (const char* good : {"", "a & b", "&<>"}) EXPECT_TRUE(survivesAsCharacterData(good)) << good;
    for (const char* bad : {" ", "& <", "a\nb", "\xEF\xBF\xBF"}) EXPECT_FALSE(survivesAsCharacterData(bad)) << bad;
}

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
