// The answer-document parser on real and hostile documents.
#include <gtest/gtest.h>

#include <expat.h>

#include <cstring>
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
    // "table.name label type precision maxLength nullable" of a column.
    std::string column(int i) {
        const ColumnMetaData* c = resultColumn(rs, i);
        return std::string(c->tableName) + "." + c->columnName + " " + c->columnLabel + " " +
               std::to_string(c->sqlType) + " " + std::to_string(c->precision) + " " + std::to_string(c->maxLength) +
               " " + std::to_string(c->isNullable);
    }
    ResultSet* rs = nullptr;
};

TEST_F(ParseXml, CompactAndPrettyDocumentsGiveTheSameResult) {
    for (const char* name : {"select_compact.xml", "select_pretty.xml"}) {
        SCOPED_TRACE(name);
        ParseStatus st = parse(corpus(name));
        ASSERT_EQ(1, st.code);
        EXPECT_EQ(nullptr, st.message);
        EXPECT_STREQ("SELECT", rs->statementType);
        EXPECT_EQ(2, rs->rowCount);
        ASSERT_EQ(3, rs->columnCount);
        ASSERT_EQ(3, rs->columns.getCount());

        EXPECT_EQ("BOOKS.ID  4 10 4 0", column(0));
        EXPECT_EQ("Title", std::string(resultColumn(rs, 1)->columnLabel));
        // Booleans ignore case.
        EXPECT_EQ("1 -4 1", std::to_string(resultColumn(rs, 1)->isNullable) + " " +
                                std::to_string(resultColumn(rs, 2)->sqlType) + " " +
                                std::to_string(resultColumn(rs, 2)->isNullable));

        ASSERT_EQ(2, resultRowCount(rs));
        EXPECT_EQ("1 101 7 Moby Dick", std::to_string(resultRow(rs, 0)->rowNumber) + " " +
                                           std::to_string(resultRow(rs, 0)->recordNumber) + " " + text(0, 0) + " " +
                                           text(0, 1));
        EXPECT_EQ('\0', value(0, 1)->data[value(0, 1)->length]) << "text values are terminated";
        EXPECT_EQ(std::string("\x00\xff\x00", 3), text(0, 2)) << "base64 decoded, zero bytes kept";

        EXPECT_EQ(1, value(1, 1)->isNull);
        EXPECT_EQ(nullptr, value(1, 1)->data);
        ColumnValue* byKey = value(1, 2);
        EXPECT_STREQ("obj:BOOKS:102:COVER", byKey->fetchKey);
        EXPECT_EQ(nullptr, byKey->data);
        EXPECT_EQ(nullptr, value(1, 3)) << "no fourth value";
    }
}

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

TEST_F(ParseXml, PartsGiveTheValueTheirFirstText) {
    ParseStatus st = parse(corpus("parts.xml"));
    ASSERT_EQ(1, st.code);
    EXPECT_EQ("abc", text(0, 0));

    parse("<ResultSet><Row><Column><P/></Column><Column>own<P>p</P></Column><Column><P>p</P>own</Column>"
          "</Row></ResultSet>");
    ASSERT_NE(nullptr, value(0, 0)->data);
    EXPECT_EQ("", text(0, 0));
    // Text before a part is collected with it: the part takes it all; text
    // of the value's own wins over a part.
    EXPECT_EQ("ownp", text(0, 1));
    EXPECT_EQ("own", text(0, 2));
}

TEST_F(ParseXml, FaultSuccessAndPropertyDocuments) {
    ParseStatus fault = parse(corpus("fault.xml"));
    EXPECT_EQ(17, fault.code);
    EXPECT_STREQ("Table BOOK not found", fault.message);
    EXPECT_STREQ("execsql", fault.faultSource);
    EXPECT_STREQ("line 1", fault.faultContext);
    EXPECT_FALSE(fault.succeeded());
    ParseStatus fine = parse("<Fault faultCode=\"1\">fine</Fault>");
    EXPECT_TRUE(fine.succeeded());
    EXPECT_STREQ("fine", fine.message);

    ParseStatus success = parse(corpus("success.xml"));
    EXPECT_EQ(1, success.code);
    EXPECT_STREQ("ok", success.message);
    EXPECT_EQ(0, rs->columnCount);
    EXPECT_EQ(0, resultRowCount(rs));
    EXPECT_EQ(-1, rs->rowCount);

    // A property reads as a one-row, one-column VARCHAR result.
    EXPECT_EQ(1, parse(corpus("property.xml")).code);
    EXPECT_STREQ("SELECT", rs->statementType);
    EXPECT_EQ(1, rs->rowCount);
    EXPECT_EQ("PROPERTY.Version  12 0 255 0 2.0", column(0) + " " + text(0, 0));
    // The name counts only as the first attribute, in any case.
    parse("<property NAME=\"Upper\">x</property>");
    EXPECT_STREQ("Upper", resultColumn(rs, 0)->columnName);
    parse("<property kind=\"k\" name=\"Second\"/>");
    EXPECT_STREQ("", resultColumn(rs, 0)->columnName);
    EXPECT_EQ(nullptr, value(0, 0)->data);
}

TEST_F(ParseXml, NotWellFormedKeepsWhatWasBuilt) {
    ParseStatus st = parse(corpus("broken.xml"));
    EXPECT_EQ(int(XML_ERROR_TAG_MISMATCH), st.code);
    EXPECT_STREQ(XML_ErrorString(XML_ERROR_TAG_MISMATCH), st.message);
    ASSERT_NE(nullptr, rs);
    EXPECT_EQ(1, rs->columnCount);
    ASSERT_EQ(2, resultRowCount(rs));
    EXPECT_EQ("x", text(0, 0));

    for (const char* doc : {"", "<", "<ResultSet>", "<a></b>", "text only", "<Row><Column>1</Column>",
                            "<?xml version=\"1.0\" encoding=\"EBCDIC-X\"?><a/>", "<a>\xff\xfe</a>"}) {
        SCOPED_TRACE(doc);
        ParseStatus bad = parse(doc);
        EXPECT_NE(1, bad.code);
        EXPECT_NE(nullptr, bad.message);
        EXPECT_NE(nullptr, rs);  // released by the next parse
    }
}

TEST_F(ParseXml, MisplacedElementsAreIgnored) {
    ParseStatus st = parse(corpus("misplaced.xml"));
    ASSERT_EQ(1, st.code);
    ASSERT_EQ(1, resultRowCount(rs));
    // The inner Column had no Row around it: only the outer one is a value,
    // and the text of the ignored one went with it.
    ASSERT_EQ(1, resultRow(rs, 0)->valueCount);
    EXPECT_EQ("outer", text(0, 0));

    // A P in a property belongs to the property's value; a Row inside a
    // Column is a row of its own.
    parse("<ResultSet><property name=\"n\"><P>q</P></property><Row><Column><Row/></Column></Row></ResultSet>");
    EXPECT_EQ(3, resultRowCount(rs));
    EXPECT_EQ(1, value(0, 0)->hasPart);
}

TEST_F(ParseXml, LongAttributesAreCutAndBadNumbersGiveZero) {
    // A result set passed in is filled, not replaced; without a rowCount it
    // is -1, and the column count is clamped to the columns described.
    rs = newResultSet();
    ResultSet* given = rs;
    const char doc0[] = "<ResultSet><ResultSetMetaData statementType=\"UPDATEX\" columnCount=\"1\"/></ResultSet>";
    parseXml(doc0, sizeof doc0 - 1, &rs);
    EXPECT_EQ(given, rs);
    EXPECT_EQ(-1, rs->rowCount);
    EXPECT_EQ(0, rs->columnCount);


    std::string longName(5000, 'N');
    std::string longKey(100000, 'k');
    // 31 ASCII characters and then a two-byte character: cut before it.
    std::string split = std::string(31, 'a') + "\xc3\xa9";
    std::string doc = "<ResultSet><ResultSetMetaData columnCount=\"99999999999999999999\" rowCount=\"abc\" "
                      "statementType=\"" + longName + "\"><ColumnMetaData tableName=\"" + longName +
                      "\" columnName=\"" + split + "\" columnLabel=\"" + longName + "\" columnType=\"" +
                      longName + "\" ID=\"-99999999999999\" precision=\"12x\" maxLength=\" -1\"/>"
                      "</ResultSetMetaData><Row rowNumber=\"\" recordNumber=\"0x10\"><Column ID=\"1e5\" encoding=\"" +
                      longName + "\" fetchKey=\"" + longKey + "\"/></Row></ResultSet>";
    ParseStatus st = parse(doc);
    ASSERT_EQ(1, st.code);
    EXPECT_EQ("6 0 1 0 0", std::to_string(std::strlen(rs->statementType)) + " " + std::to_string(rs->rowCount) +
                               " " + std::to_string(rs->columnCount) + " " +
                               std::to_string(resultRow(rs, 0)->rowNumber) + " " +
                               std::to_string(resultRow(rs, 0)->recordNumber));
    EXPECT_EQ(std::string(32, 'N') + "." + std::string(31, 'a') + " " + std::string(32, 'N') + " 0 12 4294967295 0",
              column(0));
    EXPECT_EQ(INT32_MIN, resultColumn(rs, 0)->id);
    ColumnValue* v = value(0, 0);
    EXPECT_EQ(1, v->base64);
    EXPECT_EQ(longKey, v->fetchKey) << "fetch keys are kept whole";
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
