// The answer-document parser on real and hostile documents.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "platform/platform.h"

namespace {

std::string corpus(const char* name) {
    std::ifstream in(std::string(VORN_XML_CORPUS) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << name;
    return text.str();
}

// Each parse goes into a fresh result set (the last one the fixture releases).
class ParseXml : public ::testing::Test {
protected:
    ~ParseXml() override { freeResultSet(rs); }
    ParseStatus parse(const std::string& doc) {
        freeResultSet(rs);
        rs = nullptr;
        return parseXml(doc.data(), doc.size(), &rs);
    }
    ColumnValue* value(int row, int column) { return rowValue(resultRow(rs, row), column); }
    std::string text(int row, int column) {
        ColumnValue* v = value(row, column);
        return v && v->data ? std::string(v->data, v->length) : std::string("<none>");
    }
    ResultSet* rs = nullptr;
};

TEST_F(ParseXml, MultiLineTextIsJoinedAndUtf8IsConverted) {
    ParseStatus st = parse(corpus("multiline_utf8.xml"));
    ASSERT_EQ(1, st.code);
    // Line breaks arrive as chunks of their own and are dropped; an entity
    // joins its neighbours.
    EXPECT_EQ("first linesecond linethird & last", text(0, 0));
    const char utf8[] = "caf\xc3\xa9 \xc3\xbc" "ber";
    std::string expected = plat::utf8ToInternal(utf8, sizeof utf8 - 1);
    EXPECT_EQ(expected, text(0, 1));
    EXPECT_EQ(expected.size(), value(0, 1)->length);

    // Run by ctest a second time on Linux with a single-byte code page in
    // effect: the length counts converted bytes. On Windows values stay
    // UTF-8 (the ANSI entry points convert).
    ASSERT_EQ(1, parse("<ResultSet><Row><Column>\xc3\xa9t\xc3\xa9</Column></Row></ResultSet>").code);
    if (plat::utf8ToInternal("\xc3\xa9", 2) == "\xe9") {
        EXPECT_EQ("\xe9t\xe9", text(0, 0));
        EXPECT_EQ(3u, value(0, 0)->length);
    } else {
        EXPECT_EQ("\xc3\xa9t\xc3\xa9", text(0, 0));
        EXPECT_EQ(5u, value(0, 0)->length);
    }
#ifdef _WIN32
    EXPECT_EQ(5u, value(0, 0)->length);
#endif
}

TEST_F(ParseXml, DeepNestingStaysBounded) {
    const int depth = 200000;
    std::string doc = "<ResultSet>";
    for (int i = 0; i < depth; ++i) doc += "<Row><Column>";
    doc += "v";
    for (int i = 0; i < depth; ++i) doc += "</Column></Row>";
    doc += "<Row><Column>after</Column></Row></ResultSet>";
    ParseStatus st = parse(doc);
    ASSERT_EQ(1, st.code);
    // Only the first levels are tracked; the parser is back in step at the end.
    EXPECT_LT(resultRowCount(rs), 20);
    Row* last = resultRow(rs, resultRowCount(rs) - 1);
    EXPECT_EQ("after", std::string(rowValue(last, 0)->data));

    std::string unknown;
    for (int i = 0; i < depth; ++i) unknown += "<x>";
    for (int i = 0; i < depth; ++i) unknown += "</x>";
    EXPECT_EQ(1, parse(unknown).code);

    // An empty Row costs a small block, however many columns are described.
    std::string wide = "<ResultSet><ResultSetMetaData>";
    for (int i = 0; i < 32767; ++i) wide += "<ColumnMetaData/>";
    wide += "</ResultSetMetaData><Row/></ResultSet>";
    ASSERT_EQ(1, parse(wide).code);
    ASSERT_EQ(1, resultRowCount(rs));
    EXPECT_LE(resultRow(rs, 0)->valueCapacity, 64);
}

}  // namespace
