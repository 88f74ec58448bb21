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

// "INSERT", "UPDATE", "DELETE" for the data-changing statements (also behind
// a WITH clause; REPLACE counts as INSERT), "SELECT" otherwise.
std::string statementKind(const std::string& sql);

// True when the text names the catalog (the word VDBS outside literals).
bool mentionsCatalog(const std::string& sql);

}  // namespace vornd
