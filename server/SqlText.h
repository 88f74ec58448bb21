// Reading statement texts just far enough for what the server must know
// before SQLite sees them: the statement kind and the object clause.
#pragma once

#include <string>
#include <vector>

namespace vornd {

// One value of the object clause, bound to the rewritten statement under
// the parameter name.
struct ObjectValue {
    std::string parameter;  // ":vorn_object1", ...
    std::string bytes;
    bool binary = false;    // from 'data[base64]=...': bound as a blob
};

struct ObjectRewrite {
    bool found = false;
    std::string sql;  // the statement with the clause replaced
    std::vector<ObjectValue> values;
    std::string error;  // non-empty: the clause could not be read
};

// `UPDATE t SET OBJECT (col = 'data=text', col2 = 'data[base64]=...') WHERE ...`
// becomes `UPDATE t SET col = :vorn_object1, col2 = :vorn_object2 WHERE ...`.
// A literal without either prefix is taken as text; anything that is not a
// single string literal (NULL, an expression) is kept as written.
ObjectRewrite rewriteObjectClause(const std::string& sql);

// A query whose constants stand as parameters, so that the same query with
// other values finds its compiled statement in the session's cache (an
// application's prepared statement arrives with its values written in).
struct LiftedLiteral {
    bool text = false;        // a '...' literal, else a whole number
    std::string bytes;        // the text
    long long number = 0;
};
struct LiftedQuery {
    std::string sql;                    // with '?' for each literal; empty: nothing lifted
    std::vector<LiftedLiteral> values;  // for ?1, ?2, ...
};

// Lifts the whole numbers and '...' literals of a SELECT that follow its own
// WHERE, up to any ORDER, GROUP, WINDOW, compound or LIMIT: there a number
// can mean a column, and before WHERE a literal names its column. Nothing is
// lifted from a text that already holds parameters.
LiftedQuery liftLiterals(const std::string& sql);

// "INSERT", "UPDATE", "DELETE" for the data-changing statements (also behind
// a WITH clause; REPLACE counts as INSERT), "SELECT" otherwise.
std::string statementKind(const std::string& sql);

// True when the text names the catalog (the word VDBS outside literals).
bool mentionsCatalog(const std::string& sql);

}  // namespace vornd
