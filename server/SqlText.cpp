#include "server/SqlText.h"

#include "server/Codec.h"

#include <cstring>

namespace vornd {
namespace {

enum class Tok { Word, String, Ident, Punct, Space, End };

struct Token {
    Tok kind;
    std::size_t begin;
    std::size_t end;
};

// ASCII tests without the locale: every statement is read this way, often
// more than once.
bool isWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c >= 0x80;
}

bool isSpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The token at `i`. Comments count as space; an unterminated literal or
// comment runs to the end of the text (SQLite will report it).
Token nextToken(const std::string& s, std::size_t i) {
    const std::size_t n = s.size();
    if (i >= n) return {Tok::End, n, n};
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (isSpaceByte(c)) {
        std::size_t j = i;
        while (j < n && isSpaceByte(static_cast<unsigned char>(s[j]))) ++j;
        return {Tok::Space, i, j};
    }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        std::size_t j = s.find('\n', i);
        return {Tok::Space, i, j == std::string::npos ? n : j + 1};
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        std::size_t j = s.find("*/", i + 2);
        return {Tok::Space, i, j == std::string::npos ? n : j + 2};
    }
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        const char close = c == '[' ? ']' : static_cast<char>(c);
        std::size_t j = i + 1;
        while (j < n) {
            if (s[j] == close) {
                // A doubled quote stays inside the literal.
                if (close != ']' && j + 1 < n && s[j + 1] == close) {
                    j += 2;
                    continue;
                }
                ++j;
                return {c == '\'' ? Tok::String : Tok::Ident, i, j};
            }
            ++j;
        }
        return {c == '\'' ? Tok::String : Tok::Ident, i, n};
    }
    if (isWordByte(c)) {
        std::size_t j = i;
        while (j < n && isWordByte(static_cast<unsigned char>(s[j]))) ++j;
        return {Tok::Word, i, j};
    }
    return {Tok::Punct, i, i + 1};
}

bool wordIs(const std::string& s, const Token& t, const char* word) {
    if (t.kind != Tok::Word) return false;
    std::size_t k = 0;
    for (std::size_t i = t.begin; i < t.end; ++i, ++k) {
        if (!word[k]) return false;
        const char c = s[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != word[k]) return false;
    }
    return word[k] == 0;
}

// Whether the text holds the upper-case word anywhere, in any case: most
// statements are passed over without being tokenized.
bool holdsNoCase(const std::string& s, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t i = 0; i + n <= s.size(); ++i) {
        std::size_t k = 0;
        while (k < n && (s[i + k] >= 'a' && s[i + k] <= 'z' ? s[i + k] - 'a' + 'A' : s[i + k]) == word[k]) ++k;
        if (k == n) return true;
    }
    return false;
}

// Tokens without space and comments.
std::vector<Token> tokens(const std::string& s) {
    std::vector<Token> out;
    for (std::size_t i = 0;;) {
        Token t = nextToken(s, i);
        if (t.kind == Tok::End) break;
        if (t.kind != Tok::Space) out.push_back(t);
        i = t.end;
    }
    return out;
}

// The content of a complete '...' literal with doubled quotes undone.
bool literalValue(const std::string& s, const Token& t, std::string& out) {
    if (t.kind != Tok::String || t.end - t.begin < 2 || s[t.end - 1] != '\'') return false;
    out.clear();
    for (std::size_t i = t.begin + 1; i + 1 < t.end; ++i) {
        out += s[i];
        if (s[i] == '\'') ++i;
    }
    return true;
}

const char kTextPrefix[] = "data=";
const char kBase64Prefix[] = "data[base64]=";

}  // namespace

ObjectRewrite rewriteObjectClause(const std::string& sql) {
    ObjectRewrite r;
    if (!holdsNoCase(sql, "OBJECT")) return r;
    const std::vector<Token> t = tokens(sql);
    std::size_t open = 0;
    for (std::size_t k = 0; k + 2 < t.size(); ++k) {
        if (wordIs(sql, t[k], "SET") && wordIs(sql, t[k + 1], "OBJECT") &&
            t[k + 2].kind == Tok::Punct && sql[t[k + 2].begin] == '(') {
            open = k + 2;
            break;
        }
    }
    if (!open) return r;
    r.found = true;

    // Split the parenthesis into assignments at top-level commas.
    std::vector<std::pair<std::size_t, std::size_t>> items;  // token ranges
    int depth = 0;
    std::size_t itemStart = open + 1;
    std::size_t close = 0;
    for (std::size_t k = open + 1; k < t.size() && !close; ++k) {
        if (t[k].kind != Tok::Punct) continue;
        const char c = sql[t[k].begin];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) {
                items.emplace_back(itemStart, k);
                close = k;
            } else {
                --depth;
            }
        } else if (c == ',' && depth == 0) {
            items.emplace_back(itemStart, k);
            itemStart = k + 1;
        }
    }
    if (!close) {
        r.error = "the OBJECT clause has no closing parenthesis";
        return r;
    }

    std::string assignments;
    for (const auto& item : items) {
        std::size_t eq = item.first;
        while (eq < item.second && !(t[eq].kind == Tok::Punct && sql[t[eq].begin] == '=')) ++eq;
        if (eq == item.first || eq + 1 >= item.second) {
            r.error = "the OBJECT clause expects column = value";
            return r;
        }
        const std::string column = sql.substr(t[item.first].begin, t[eq - 1].end - t[item.first].begin);
        std::string value = sql.substr(t[eq + 1].begin, t[item.second - 1].end - t[eq + 1].begin);
        std::string literal;
        if (eq + 2 == item.second && literalValue(sql, t[eq + 1], literal)) {
            ObjectValue v;
            v.parameter = ":vorn_object" + std::to_string(r.values.size() + 1);
            if (literal.compare(0, sizeof kBase64Prefix - 1, kBase64Prefix) == 0) {
                if (!base64Decode(literal.substr(sizeof kBase64Prefix - 1), v.bytes)) {
                    r.error = "the value for " + column + " is not valid base64";
                    return r;
                }
                v.binary = true;
            } else if (literal.compare(0, sizeof kTextPrefix - 1, kTextPrefix) == 0) {
                v.bytes = literal.substr(sizeof kTextPrefix - 1);
            } else {
                v.bytes = literal;
            }
            value = v.parameter;
            r.values.push_back(std::move(v));
        }
        if (!assignments.empty()) assignments += ", ";
        assignments += column + " = " + value;
    }
    // "SET OBJECT (" ... ")" becomes "SET " + assignments.
    r.sql = sql.substr(0, t[open - 2].end) + " " + assignments + sql.substr(t[close].end);
    return r;
}

std::string statementKind(const std::string& sql) {
    const std::vector<Token> t = tokens(sql);
    if (t.empty()) return "SELECT";
    std::size_t k = 0;
    if (wordIs(sql, t[0], "WITH")) {
        // The statement proper follows the common table expressions: the
        // first of these words outside parentheses.
        int depth = 0;
        for (k = 1; k < t.size(); ++k) {
            if (t[k].kind == Tok::Punct) {
                if (sql[t[k].begin] == '(') ++depth;
                if (sql[t[k].begin] == ')') --depth;
                continue;
            }
            if (depth == 0 && (wordIs(sql, t[k], "INSERT") || wordIs(sql, t[k], "REPLACE") ||
                               wordIs(sql, t[k], "UPDATE") || wordIs(sql, t[k], "DELETE") ||
                               wordIs(sql, t[k], "SELECT")))
                break;
        }
        if (k == t.size()) return "SELECT";
    }
    if (wordIs(sql, t[k], "INSERT") || wordIs(sql, t[k], "REPLACE")) return "INSERT";
    if (wordIs(sql, t[k], "UPDATE")) return "UPDATE";
    if (wordIs(sql, t[k], "DELETE")) return "DELETE";
    return "SELECT";
}

LiftedQuery liftLiterals(const std::string& sql) {
    constexpr std::size_t kMostLifted = 64;
    static const char* const kStops[] = {"ORDER", "GROUP", "WINDOW", "UNION", "INTERSECT", "EXCEPT", "LIMIT"};
    const std::vector<Token> t = tokens(sql);
    LiftedQuery out;
    if (t.empty() || !wordIs(sql, t[0], "SELECT")) return out;
    auto adjacent = [&](std::size_t a, std::size_t b) { return t[a].end == t[b].begin; };
    auto isPunct = [&](std::size_t i, char c) { return t[i].kind == Tok::Punct && sql[t[i].begin] == c; };
    std::vector<std::size_t> lifted;
    int depth = 0;
    bool lifting = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char first = sql[t[i].begin];
        if (t[i].kind == Tok::Punct && (first == '?' || first == ':' || first == '@')) return LiftedQuery();
        if (t[i].kind == Tok::Word && first == '$') return LiftedQuery();
        if (isPunct(i, '(')) ++depth;
        if (isPunct(i, ')')) --depth;
        if (t[i].kind != Tok::Word && t[i].kind != Tok::String) continue;
        if (!lifting) {
            lifting = depth == 0 && wordIs(sql, t[i], "WHERE");
            continue;
        }
        bool stop = false;
        for (const char* word : kStops) stop = stop || wordIs(sql, t[i], word);
        if (stop || lifted.size() == kMostLifted) break;
        LiftedLiteral v;
        if (t[i].kind == Tok::String) {
            // X'..' is a blob literal.
            if ((i > 0 && adjacent(i - 1, i) && t[i - 1].kind == Tok::Word) || !literalValue(sql, t[i], v.bytes))
                continue;
            v.text = true;
        } else {
            // Digits alone, not part of 1.5 or .5; at most 18, so that the
            // number fits.
            const std::size_t n = t[i].end - t[i].begin;
            if (n > 18 || sql.find_first_not_of("0123456789", t[i].begin) < t[i].end) continue;
            if ((i > 0 && adjacent(i - 1, i) && isPunct(i - 1, '.')) ||
                (i + 1 < t.size() && adjacent(i, i + 1) && isPunct(i + 1, '.')))
                continue;
            v.number = std::stoll(sql.substr(t[i].begin, n));
        }
        out.values.push_back(std::move(v));
        lifted.push_back(i);
    }
    if (lifted.empty()) return LiftedQuery();
    std::size_t from = 0;
    for (std::size_t i : lifted) {
        out.sql.append(sql, from, t[i].begin - from);
        out.sql += '?';
        from = t[i].end;
    }
    out.sql.append(sql, from, std::string::npos);
    return out;
}

bool mentionsCatalog(const std::string& sql) {
    if (!holdsNoCase(sql, "VDBS")) return false;
    for (std::size_t i = 0;;) {
        Token t = nextToken(sql, i);
        if (t.kind == Tok::End) return false;
        if (wordIs(sql, t, "VDBS")) return true;
        i = t.end;
    }
}

}  // namespace vornd
