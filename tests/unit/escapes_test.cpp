// The translation of ODBC escape sequences, as tables of texts: what the
// application writes, and what the server receives or the SQLSTATE refusing it.
// What the translations give through vornd is checked by escapes_pyodbc.py;
// these tables keep the written forms and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "driver/stmt/escapes.h"
#include "driver/entry/odbc.h"

namespace {

struct Case {
    const char* in;
    const char* out;  // the translated text, or the SQLSTATE when state is set
    bool refused = false;
};

void expectTranslations(std::initializer_list<Case> cases) {
    EscapeContext context;
    context.userName = "o'neil";
    for (const Case& c : cases) {
        std::string out;
        EscapeFailure failure;
        const bool ok = translateEscapes(c.in, context, out, failure);
        if (c.refused) {
            EXPECT_FALSE(ok) << c.in << " gave " << out;
            EXPECT_STREQ(c.out, failure.sqlState) << c.in;
            EXPECT_FALSE(failure.message.empty()) << c.in;
        } else {
            EXPECT_TRUE(ok) << c.in << ": " << failure.sqlState << " " << failure.message;
            EXPECT_EQ(c.out, out) << c.in;
        }
    }
}

TEST(Escapes, DatetimeLiteralsBecomeQuotedTexts) {
    expectTranslations({
        {"{D'2024-02-29'}", "'2024-02-29'"},
        {"{ts '2024-01-31 10:20:30.123456789'}", "'2024-01-31 10:20:30.123456789'"},
        {"{ d '2000-02-29' }", "'2000-02-29'"},
        {"{d '2024-1-31'}", "22007", true},
        {"{d 2024-01-31}", "42000", true},
        {"{t '10:20'}", "22007", true},
        {"{ts '2024-01-31 10:20:30.'}", "22007", true},
        {"{ts '2024-01-31 10:20:30.1234567890'}", "22007", true},
        {"{d '2023-02-29'}", "22008", true},
        {"{d '2024-13-01'}", "22008", true},
        {"{t '24:00:00'}", "22008", true},
        {"{ts '2024-04-31 00:00:00'}", "22008", true},
    });
}

TEST(Escapes, ScalarFunctionsTakeTheServersNames) {
    expectTranslations({
        {"{fn lcase( NAME )}", "LOWER(NAME)"},
        {"{fn LEFT(X, ?)}", "SUBSTR(X, 1, ?)"},
        {"{fn CURRENT_TIMESTAMP}", "CURRENT_TIMESTAMP"},
        {"{fn USER()}", "'o''neil'"},
        {"{fn convert(X, sql_varchar)}", "CAST(X AS VARCHAR)"},
        {"{fn SUBSTR(X, f(1, 2))}", "SUBSTR(X, f(1, 2))"},  // not ODBC's: passed on
        {"{fn UCASE(')')}", "UPPER(')')"},
        {"{fn UCASE(A, B)}", "42000", true},
        {"{fn NOW(1)}", "42000", true},
        {"{fn CONVERT(X, SQL_GUID)}", "HYC00", true},
        {"{fn CONVERT(X)}", "42000", true},
        {"{fn UCASE(X}", "42000", true},
        {"{fn}", "42000", true},
    });
}

TEST(Escapes, JoinsLikeEscapesAndCalls) {
    expectTranslations({
        {"{oj A LEFT OUTER JOIN B ON {fn UCASE(A.X)} = B.X}", "A LEFT OUTER JOIN B ON UPPER(A.X) = B.X"},
        {"{call P(1)}", "HYC00", true},
        {"{?= call P(1)}", "HYC00", true},
        {"{interval '1' day}", "HYC00", true},
        {"{nonsense}", "42000", true},
        {"WHERE D = --(*vendor(Microsoft),product(ODBC) d '2024-01-31' *)-- AND 1",
         "WHERE D = '2024-01-31' AND 1"},
        {"--(*vendor(Microsoft),product(ODBC) fn UCASE(--(*vendor(Microsoft),product(ODBC) fn LCASE(X) *)--) *)--",
         "UPPER(LOWER(X))"},
        {"--(*vendor(Microsoft),product(ODBC) call P *)--", "HYC00", true},
        {"-- (*vendor(x) is a comment {fn X}\n1", "-- (*vendor(x) is a comment {fn X}\n1"},
        {"{oj A LEFT JOIN B ON 1 = 1", "42000", true},
        {"{d '2024-01-31' x}", "42000", true},
        {"{escape x}", "42000", true},
        {"{guid '1'}", "HYC00", true},
        {"SELECT 1 /* {fn X}", "SELECT 1 /* {fn X}"},
        {"SELECT 1 -- {fn X}", "SELECT 1 -- {fn X}"},
        {"--(*vendor(Microsoft),product(ODBC) fn X", "--(*vendor(Microsoft),product(ODBC) fn X"},
    });
    // Deep nesting is refused, not a stack overflow.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "{fn UCASE(";
    expectTranslations({{deep.c_str(), "42000", true}});
}

// Bits the server cannot honour must not be claimed (the claimed ones are
// used through vornd by escapes_pyodbc.py).
TEST(Escapes, InfoAnswersMatchTheTranslatedFunctions) {
    const struct {
        SQLUSMALLINT type;
        std::uint32_t checked, want;
    } cases[] = {
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_WEEK | SQL_FN_TD_TIMESTAMPADD | SQL_FN_TD_EXTRACT, 0},
        {SQL_STRING_FUNCTIONS,
         SQL_FN_STR_LOCATE | SQL_FN_STR_LOCATE_2 | SQL_FN_STR_RIGHT | SQL_FN_STR_INSERT | SQL_FN_STR_REPEAT |
             SQL_FN_STR_SOUNDEX,
         SQL_FN_STR_LOCATE_2},
        {SQL_SYSTEM_FUNCTIONS, ~0u, SQL_FN_SYS_USERNAME | SQL_FN_SYS_DBNAME | SQL_FN_SYS_IFNULL},
        {SQL_CONVERT_FUNCTIONS, ~0u, SQL_FN_CVT_CONVERT},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG | SQL_FN_NUM_MOD | SQL_FN_NUM_ATAN2 | SQL_FN_NUM_TRUNCATE | SQL_FN_NUM_RAND,
         SQL_FN_NUM_LOG | SQL_FN_NUM_MOD},
        {SQL_CONVERT_DATE, ~0u, SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR},
    };
    for (const auto& c : cases) {
        std::uint32_t mask = 0;
        ASSERT_TRUE(escapeInfoAnswer(c.type, mask)) << c.type;
        EXPECT_EQ(c.want, mask & c.checked) << c.type;
    }
    std::uint32_t mask = 0;
    EXPECT_FALSE(escapeInfoAnswer(SQL_DBMS_NAME, mask));
}

}  // namespace
