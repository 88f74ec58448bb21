// ODBC escape sequences rewritten into the SQL the server takes: standard
// SQL where there is a standard form, otherwise the functions vornd (SQLite)
// knows. A form never repeats an argument: an argument may hold a parameter
// marker, and the markers are counted after the translation.
#include "driver/stmt/escapes.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "driver/entry/apicall.h"
#include "driver/stmt/execute.h"
#include "driver/entry/odbc.h"

namespace {

enum class Family : unsigned char { String, Numeric, TimeDate, System };

// $1..$9: the arguments; $*: all arguments, separated by ", "; $U: the user
// name as a literal.
struct FunctionRow {
    const char* name;  // upper case
    Family family;
    std::uint32_t bit;
    unsigned char minArgs;
    unsigned char maxArgs;
    const char* form;
};

const FunctionRow kFunctions[] = {
    {"ASCII", Family::String, SQL_FN_STR_ASCII, 1, 1, "UNICODE($1)"},
    {"BIT_LENGTH", Family::String, SQL_FN_STR_BIT_LENGTH, 1, 1, "(LENGTH(CAST($1 AS BLOB)) * 8)"},
    {"CHAR", Family::String, SQL_FN_STR_CHAR, 1, 1, "CHAR($1)"},
    {"CHAR_LENGTH", Family::String, SQL_FN_STR_CHAR_LENGTH, 1, 1, "LENGTH($1)"},
    {"CHARACTER_LENGTH", Family::String, SQL_FN_STR_CHARACTER_LENGTH, 1, 1, "LENGTH($1)"},
    {"CONCAT", Family::String, SQL_FN_STR_CONCAT, 2, 2, "($1 || $2)"},
    {"LCASE", Family::String, SQL_FN_STR_LCASE, 1, 1, "LOWER($1)"},
    {"LEFT", Family::String, SQL_FN_STR_LEFT, 2, 2, "SUBSTR($1, 1, $2)"},
    // ODBC's LENGTH leaves trailing blanks out.
    {"LENGTH", Family::String, SQL_FN_STR_LENGTH, 1, 1, "LENGTH(RTRIM($1))"},
    {"LOCATE", Family::String, SQL_FN_STR_LOCATE_2, 2, 2, "INSTR($2, $1)"},
    {"LTRIM", Family::String, SQL_FN_STR_LTRIM, 1, 1, "LTRIM($1)"},
    {"OCTET_LENGTH", Family::String, SQL_FN_STR_OCTET_LENGTH, 1, 1, "LENGTH(CAST($1 AS BLOB))"},
    {"REPLACE", Family::String, SQL_FN_STR_REPLACE, 3, 3, "REPLACE($1, $2, $3)"},
    {"RTRIM", Family::String, SQL_FN_STR_RTRIM, 1, 1, "RTRIM($1)"},
    {"SPACE", Family::String, SQL_FN_STR_SPACE, 1, 1, "PRINTF('%*s', $1, '')"},
    {"SUBSTRING", Family::String, SQL_FN_STR_SUBSTRING, 2, 3, "SUBSTR($*)"},
    {"UCASE", Family::String, SQL_FN_STR_UCASE, 1, 1, "UPPER($1)"},

    {"ABS", Family::Numeric, SQL_FN_NUM_ABS, 1, 1, "ABS($1)"},
    {"ACOS", Family::Numeric, SQL_FN_NUM_ACOS, 1, 1, "ACOS($1)"},
    {"ASIN", Family::Numeric, SQL_FN_NUM_ASIN, 1, 1, "ASIN($1)"},
    {"ATAN", Family::Numeric, SQL_FN_NUM_ATAN, 1, 1, "ATAN($1)"},
    {"CEILING", Family::Numeric, SQL_FN_NUM_CEILING, 1, 1, "CEILING($1)"},
    {"COS", Family::Numeric, SQL_FN_NUM_COS, 1, 1, "COS($1)"},
    {"COT", Family::Numeric, SQL_FN_NUM_COT, 1, 1, "(1.0 / TAN($1))"},
    {"DEGREES", Family::Numeric, SQL_FN_NUM_DEGREES, 1, 1, "DEGREES($1)"},
    {"EXP", Family::Numeric, SQL_FN_NUM_EXP, 1, 1, "EXP($1)"},
    {"FLOOR", Family::Numeric, SQL_FN_NUM_FLOOR, 1, 1, "FLOOR($1)"},
    // ODBC's LOG is the natural logarithm; the server's LOG is base 10.
    {"LOG", Family::Numeric, SQL_FN_NUM_LOG, 1, 1, "LN($1)"},
    {"LOG10", Family::Numeric, SQL_FN_NUM_LOG10, 1, 1, "LOG10($1)"},
    {"MOD", Family::Numeric, SQL_FN_NUM_MOD, 2, 2, "(($1) % ($2))"},
    {"PI", Family::Numeric, SQL_FN_NUM_PI, 0, 0, "PI()"},
    {"POWER", Family::Numeric, SQL_FN_NUM_POWER, 2, 2, "POWER($1, $2)"},
    {"RADIANS", Family::Numeric, SQL_FN_NUM_RADIANS, 1, 1, "RADIANS($1)"},
    {"ROUND", Family::Numeric, SQL_FN_NUM_ROUND, 1, 2, "ROUND($*)"},
    {"SIGN", Family::Numeric, SQL_FN_NUM_SIGN, 1, 1, "SIGN($1)"},
    {"SIN", Family::Numeric, SQL_FN_NUM_SIN, 1, 1, "SIN($1)"},
    {"SQRT", Family::Numeric, SQL_FN_NUM_SQRT, 1, 1, "SQRT($1)"},
    {"TAN", Family::Numeric, SQL_FN_NUM_TAN, 1, 1, "TAN($1)"},

    {"CURDATE", Family::TimeDate, SQL_FN_TD_CURDATE, 0, 0, "CURRENT_DATE"},
    {"CURRENT_DATE", Family::TimeDate, SQL_FN_TD_CURRENT_DATE, 0, 0, "CURRENT_DATE"},
    {"CURTIME", Family::TimeDate, SQL_FN_TD_CURTIME, 0, 0, "CURRENT_TIME"},
    {"CURRENT_TIME", Family::TimeDate, SQL_FN_TD_CURRENT_TIME, 0, 0, "CURRENT_TIME"},
    {"NOW", Family::TimeDate, SQL_FN_TD_NOW, 0, 0, "CURRENT_TIMESTAMP"},
    {"CURRENT_TIMESTAMP", Family::TimeDate, SQL_FN_TD_CURRENT_TIMESTAMP, 0, 0, "CURRENT_TIMESTAMP"},
    {"YEAR", Family::TimeDate, SQL_FN_TD_YEAR, 1, 1, "CAST(STRFTIME('%Y', $1) AS INTEGER)"},
    {"MONTH", Family::TimeDate, SQL_FN_TD_MONTH, 1, 1, "CAST(STRFTIME('%m', $1) AS INTEGER)"},
    {"QUARTER", Family::TimeDate, SQL_FN_TD_QUARTER, 1, 1, "((CAST(STRFTIME('%m', $1) AS INTEGER) + 2) / 3)"},
    {"DAYOFMONTH", Family::TimeDate, SQL_FN_TD_DAYOFMONTH, 1, 1, "CAST(STRFTIME('%d', $1) AS INTEGER)"},
    {"DAYOFWEEK", Family::TimeDate, SQL_FN_TD_DAYOFWEEK, 1, 1, "(CAST(STRFTIME('%w', $1) AS INTEGER) + 1)"},
    {"DAYOFYEAR", Family::TimeDate, SQL_FN_TD_DAYOFYEAR, 1, 1, "CAST(STRFTIME('%j', $1) AS INTEGER)"},
    {"HOUR", Family::TimeDate, SQL_FN_TD_HOUR, 1, 1, "CAST(STRFTIME('%H', $1) AS INTEGER)"},
    {"MINUTE", Family::TimeDate, SQL_FN_TD_MINUTE, 1, 1, "CAST(STRFTIME('%M', $1) AS INTEGER)"},
    {"SECOND", Family::TimeDate, SQL_FN_TD_SECOND, 1, 1, "CAST(STRFTIME('%S', $1) AS INTEGER)"},

    {"DATABASE", Family::System, SQL_FN_SYS_DBNAME, 0, 0, "''"},
    {"IFNULL", Family::System, SQL_FN_SYS_IFNULL, 2, 2, "COALESCE($1, $2)"},
    {"USER", Family::System, SQL_FN_SYS_USERNAME, 0, 0, "$U"},
};

// {fn CONVERT(value, SQL_type)}: the server's type for a CAST, and the
// SQL_CVT_ bit of the ODBC type.
struct ConvertRow {
    const char* odbcName;
    const char* serverType;
    std::uint32_t cvtBit;
};

const ConvertRow kConvertTargets[] = {
    {"SQL_CHAR", "VARCHAR", SQL_CVT_CHAR},          {"SQL_VARCHAR", "VARCHAR", SQL_CVT_VARCHAR},
    {"SQL_LONGVARCHAR", "VARCHAR", SQL_CVT_LONGVARCHAR}, {"SQL_WCHAR", "VARCHAR", 0},
    {"SQL_WVARCHAR", "VARCHAR", 0},                 {"SQL_WLONGVARCHAR", "VARCHAR", 0},
    {"SQL_INTEGER", "INTEGER", SQL_CVT_INTEGER},    {"SQL_BIGINT", "INTEGER", SQL_CVT_BIGINT},
    {"SQL_FLOAT", "REAL", SQL_CVT_FLOAT},           {"SQL_DOUBLE", "REAL", SQL_CVT_DOUBLE},
    {"SQL_REAL", "REAL", SQL_CVT_REAL},             {"SQL_NUMERIC", "NUMERIC", SQL_CVT_NUMERIC},
    {"SQL_DECIMAL", "NUMERIC", SQL_CVT_DECIMAL},
};

// The SQL_CONVERT_ information types: which targets a source type reaches.
// Dates and times are texts on the server; a cast to a number would read
// only their year.
constexpr std::uint32_t kCharTargets = SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR;
constexpr std::uint32_t kAllTargets = kCharTargets | SQL_CVT_INTEGER | SQL_CVT_BIGINT | SQL_CVT_FLOAT |
                                      SQL_CVT_DOUBLE | SQL_CVT_REAL | SQL_CVT_NUMERIC | SQL_CVT_DECIMAL;
struct ConvertInfoRow {
    unsigned infoType;
    std::uint32_t targets;
};
const ConvertInfoRow kConvertInfo[] = {
    {SQL_CONVERT_BIGINT, kAllTargets},     {SQL_CONVERT_BINARY, 0},
    {SQL_CONVERT_BIT, 0},                  {SQL_CONVERT_CHAR, kAllTargets},
    {SQL_CONVERT_DATE, kCharTargets},      {SQL_CONVERT_DECIMAL, kAllTargets},
    {SQL_CONVERT_DOUBLE, kAllTargets},     {SQL_CONVERT_FLOAT, kAllTargets},
    {SQL_CONVERT_INTEGER, kAllTargets},    {SQL_CONVERT_LONGVARCHAR, kAllTargets},
    {SQL_CONVERT_NUMERIC, kAllTargets},    {SQL_CONVERT_REAL, kAllTargets},
    {SQL_CONVERT_SMALLINT, kAllTargets},   {SQL_CONVERT_TIME, kCharTargets},
    {SQL_CONVERT_TIMESTAMP, kCharTargets}, {SQL_CONVERT_TINYINT, kAllTargets},
    {SQL_CONVERT_VARBINARY, 0},            {SQL_CONVERT_VARCHAR, kAllTargets},
    {SQL_CONVERT_LONGVARBINARY, 0},
};

bool sameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(b[i])) return false;
    return true;
}

bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string quotedLiteral(const char* text) {
    std::string out = "'";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\'') out += '\'';
        out += *p;
    }
    return out + "'";
}

// Datetime literals: the shape digit by digit ('9' a digit), then the
// ranges of the fields.
bool matchesShape(const std::string& value, const char* shape) {
    if (value.size() != std::strlen(shape)) return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(value[i])) != 0;
        if (shape[i] == '9' ? !digit : value[i] != shape[i]) return false;
    }
    return true;
}

int number(const std::string& s, std::size_t at, std::size_t n) { return std::stoi(s.substr(at, n)); }

bool validDate(const std::string& s, std::size_t at) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = number(s, at, 4), month = number(s, at + 5, 2), day = number(s, at + 8, 2);
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

bool validTime(const std::string& s, std::size_t at) {
    return number(s, at, 2) < 24 && number(s, at + 3, 2) < 60 && number(s, at + 6, 2) < 60;
}

class Translator {
public:
    Translator(const std::string& in, const EscapeContext& context, EscapeFailure& failure)
        : in_(in), context_(context), failure_(failure) {}

    bool run(std::string& out) {
        char stop = 0;
        return copy(out, Stop::End, stop);
    }

private:
    enum class Stop { End, Brace, Argument };

    bool fail(const char* state, std::string message) {
        failure_.sqlState = state;
        failure_.message = std::move(message);
        return false;
    }
    bool syntax(const std::string& message) { return fail("42000", message); }

    bool atEnd() const { return pos_ >= in_.size(); }
    char peek(std::size_t ahead = 0) const { return pos_ + ahead < in_.size() ? in_[pos_ + ahead] : '\0'; }
    void skipSpace() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(in_[pos_]))) ++pos_;
    }

    // The long form of an escape, --(*vendor(Microsoft),product(ODBC) ... *)--,
    // stands for {...}; at pos_, its content is translated in place.
    bool longForm(std::string& out, bool& found) {
        static const char kOpen[] = "--(*vendor(";
        static const char kClose[] = "*)--";
        found = false;
        if (in_.compare(pos_, sizeof kOpen - 1, kOpen) != 0) return true;
        const std::size_t product = in_.find("product(", pos_);
        const std::size_t afterProduct = product == std::string::npos ? product : in_.find(')', product);
        // Long forms nest: the end is the close that matches this open.
        std::size_t end = afterProduct;
        for (int depth = 1; end != std::string::npos && depth > 0;) {
            const std::size_t open = in_.find(kOpen, end + 1), close = in_.find(kClose, end + 1);
            depth += open < close ? 1 : -1;
            end = open < close ? open : close;
        }
        if (end == std::string::npos) return true;  // an ordinary comment
        found = true;
        Translator inner("{" + in_.substr(afterProduct + 1, end - afterProduct - 1) + "}", context_, failure_);
        inner.nesting_ = nesting_;
        pos_ = end + sizeof kClose - 1;
        return inner.run(out);
    }

    // Copies a literal, quoted identifier or comment that starts at pos_ as
    // it stands; false when there is none there.
    bool copyVerbatim(std::string& out) {
        const char c = peek();
        std::size_t end;
        if (c == '\'' || c == '"') {
            end = pos_ + 1;
            // A doubled quote ends the literal and opens it again.
            while (end < in_.size() && in_[end] != c) ++end;
            end = end < in_.size() ? end + 1 : end;
        } else if (c == '-' && peek(1) == '-') {
            end = in_.find('\n', pos_);
            end = end == std::string::npos ? in_.size() : end;
        } else if (c == '/' && peek(1) == '*') {
            end = in_.find("*/", pos_ + 2);
            end = end == std::string::npos ? in_.size() : end + 2;
        } else {
            return false;
        }
        out.append(in_, pos_, end - pos_);
        pos_ = end;
        return true;
    }

    // Copies text up to the stop: the end of the text, the '}' that closes
    // an escape, or the ',' or ')' that ends a function argument (outside
    // nested parentheses). stopChar receives the character stopped at.
    bool copy(std::string& out, Stop stop, char& stopChar) {
        int depth = 0;
        while (!atEnd()) {
            bool found = false;
            if (!longForm(out, found)) return false;
            if (found || copyVerbatim(out)) continue;
            const char c = in_[pos_];
            if (c == '{') {
                if (!escape(out)) return false;
                continue;
            }
            if (stop == Stop::Brace && c == '}') {
                stopChar = c;
                return true;
            }
            if (stop == Stop::Argument) {
                if (depth == 0 && (c == ',' || c == ')')) {
                    stopChar = c;
                    return true;
                }
                if (c == '}') return syntax("Escape sequence {fn ...} has no closing parenthesis");
                if (c == '(') ++depth;
                if (c == ')') --depth;
            }
            out += c;
            ++pos_;
        }
        if (stop == Stop::End) return true;
        return syntax("Escape sequence without its closing '}'");
    }

    std::string word() {
        const std::size_t from = pos_;
        while (!atEnd() && isWordChar(in_[pos_])) ++pos_;
        return in_.substr(from, pos_ - from);
    }

    bool closeBrace() {
        skipSpace();
        if (peek() != '}') return syntax("Escape sequence without its closing '}'");
        ++pos_;
        return true;
    }

    // At '{'. Each nested escape takes stack: a limit keeps a hostile text
    // from exhausting it.
    bool escape(std::string& out) {
        if (nesting_ >= kMaxNesting) return syntax("Escape sequences nested too deeply");
        ++nesting_;
        const bool ok = escapeBody(out);
        --nesting_;
        return ok;
    }

    bool escapeBody(std::string& out) {
        ++pos_;
        skipSpace();
        if (peek() == '?')
            return fail("HYC00", "Procedure calls ({?= call ...}) are not supported: the server has no procedures");
        const std::string keyword = word();
        if (sameName(keyword, "D") || sameName(keyword, "T") || sameName(keyword, "TS"))
            return datetime(out, keyword.size() == 2 ? 'S'
                                                     : char(std::toupper(static_cast<unsigned char>(keyword[0]))));
        if (sameName(keyword, "FN")) return function(out);
        if (sameName(keyword, "OJ")) {
            skipSpace();
            char stop = 0;
            if (!copy(out, Stop::Brace, stop)) return false;
            ++pos_;
            return true;
        }
        if (sameName(keyword, "ESCAPE")) {
            skipSpace();
            if (peek() != '\'') return syntax("{escape ...} needs a quoted character");
            out += "ESCAPE ";
            copyVerbatim(out);
            return closeBrace();
        }
        if (sameName(keyword, "CALL"))
            return fail("HYC00", "Procedure calls ({call ...}) are not supported: the server has no procedures");
        if (sameName(keyword, "INTERVAL") || sameName(keyword, "GUID"))
            return fail("HYC00", "The escape sequence {" + keyword + " ...} is not supported");
        return syntax("Unknown escape sequence {" + keyword + " ...}");
    }

    // {d 'YYYY-MM-DD'}, {t 'HH:MM:SS'}, {ts 'YYYY-MM-DD HH:MM:SS[.f...]'}:
    // the server takes the quoted text itself.
    bool datetime(std::string& out, char kind) {
        skipSpace();
        if (peek() != '\'') return syntax("A datetime escape needs a quoted literal");
        std::string literal;
        copyVerbatim(literal);
        const std::string value = literal.size() >= 2 ? literal.substr(1, literal.size() - 2) : std::string();
        bool shape = false, valid = false;
        if (kind == 'D') {
            shape = matchesShape(value, "9999-99-99");
            valid = shape && validDate(value, 0);
        } else if (kind == 'T') {
            shape = matchesShape(value, "99:99:99");
            valid = shape && validTime(value, 0);
        } else {
            const std::size_t dot = value.find('.');
            const std::string whole = value.substr(0, dot);
            const std::string fraction = dot == std::string::npos ? "" : value.substr(dot + 1);
            shape = matchesShape(whole, "9999-99-99 99:99:99") &&
                    (dot == std::string::npos ||
                     (!fraction.empty() && fraction.size() <= 9 &&
                      fraction.find_first_not_of("0123456789") == std::string::npos));
            valid = shape && validDate(whole, 0) && validTime(whole, 11);
        }
        if (!shape) return fail("22007", "Invalid datetime format: " + literal);
        if (!valid) return fail("22008", "Datetime field overflow: " + literal);
        out += literal;
        return closeBrace();
    }

    // {fn NAME(arguments)}.
    bool function(std::string& out) {
        skipSpace();
        const std::string name = word();
        if (name.empty()) return syntax("{fn ...} without a function name");
        skipSpace();
        std::vector<std::string> args;
        if (peek() == '(') {
            ++pos_;
            for (;;) {
                std::string arg;
                char stop = 0;
                if (!copy(arg, Stop::Argument, stop)) return false;
                ++pos_;
                args.push_back(trimmed(arg));
                if (stop == ')') break;
            }
            if (args.size() == 1 && args[0].empty()) args.clear();
        }
        if (!closeBrace()) return false;
        if (sameName(name, "CONVERT")) return convert(out, args);
        for (const FunctionRow& row : kFunctions) {
            if (!sameName(name, row.name)) continue;
            if (args.size() < row.minArgs || args.size() > row.maxArgs)
                return syntax("Wrong number of arguments for {fn " + std::string(row.name) + "}");
            expand(out, row.form, args);
            return true;
        }
        // A function ODBC does not name is the server's own: passed on.
        out += name + "(";
        for (std::size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i];
        out += ")";
        return true;
    }

    bool convert(std::string& out, const std::vector<std::string>& args) {
        if (args.size() != 2) return syntax("Wrong number of arguments for {fn CONVERT}");
        for (const ConvertRow& row : kConvertTargets) {
            if (sameName(args[1], row.odbcName)) {
                out += "CAST(" + args[0] + " AS " + row.serverType + ")";
                return true;
            }
        }
        return fail("HYC00", "{fn CONVERT} to " + args[1] + " is not supported");
    }

    void expand(std::string& out, const char* form, const std::vector<std::string>& args) {
        for (const char* p = form; *p; ++p) {
            if (p[0] != '$' || !p[1]) {
                out += *p;
                continue;
            }
            ++p;
            if (*p == '*') {
                for (std::size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i];
            } else if (*p == 'U') {
                out += quotedLiteral(context_.userName);
            } else {
                const std::size_t i = std::size_t(*p - '1');
                if (i < args.size()) out += args[i];
            }
        }
    }

    const std::string in_;
    const EscapeContext& context_;
    EscapeFailure& failure_;
    std::size_t pos_ = 0;
    static constexpr int kMaxNesting = 64;
    int nesting_ = 0;
};

}  // namespace

bool translateEscapes(const std::string& in, const EscapeContext& context, std::string& out,
                      EscapeFailure& failure) {
    out.clear();
    // Most texts have no escape at all.
    if (in.find('{') == std::string::npos && in.find("--(*") == std::string::npos) {
        out = in;
        return true;
    }
    return Translator(in, context, failure).run(out);
}

bool escapeInfoAnswer(unsigned infoType, std::uint32_t& answer) {
    static const struct {
        unsigned infoType;
        Family family;
    } kFamilies[] = {
        {SQL_STRING_FUNCTIONS, Family::String},
        {SQL_NUMERIC_FUNCTIONS, Family::Numeric},
        {SQL_TIMEDATE_FUNCTIONS, Family::TimeDate},
        {SQL_SYSTEM_FUNCTIONS, Family::System},
    };
    for (const auto& f : kFamilies) {
        if (f.infoType != infoType) continue;
        answer = 0;
        for (const FunctionRow& row : kFunctions)
            if (row.family == f.family) answer |= row.bit;
        return true;
    }
    if (infoType == SQL_CONVERT_FUNCTIONS) {
        answer = SQL_FN_CVT_CONVERT;
        return true;
    }
    for (const ConvertInfoRow& row : kConvertInfo) {
        if (row.infoType == infoType) {
            answer = row.targets;
            return true;
        }
    }
    return false;
}

bool translateStatementEscapes(Statement* stmt) {
    if (stmt->sqlText.empty() || stmt->noScan == SQL_NOSCAN_ON) return true;
    EscapeContext context;
    context.userName = stmt->conn ? stmt->conn->uid : "";
    std::string out;
    EscapeFailure failure;
    if (translateEscapes(stmt->sqlText.c_str(), context, out, failure)) {
        stmt->sqlText = std::move(out);
        return true;
    }
    addOdbcError(stmt, failure.sqlState, failure.message.c_str());
    stmt->sqlText.clear();
    scanParameterMarkers(stmt);  // no text, no markers
    return false;
}
