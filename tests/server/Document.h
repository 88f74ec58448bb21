// vornd's answer documents read by the driver's own reader, so that the
// server is held to what the client understands.
#pragma once

#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"

#include <string>
#include <vector>

namespace vorndtest {

struct Value {
    bool isNull = false;
    bool hasData = false;  // a text or a part, be it empty
    std::string data, fetchKey;
};

struct Column {
    std::string name, table, type;
    bool nullable = true;
};

struct Document {
    bool wellFormed = false;
    std::string root;  // "ResultSet", "Fault", "Success", "property"
    std::string statementType, message;
    long columnCount = -1, rowCount = -1, faultCode = 0;
    std::vector<Column> columns;
    std::vector<long> rowNumbers;
    std::vector<std::vector<Value>> rows;
};

inline Document parseDocument(const std::string& xml) {
    Document d;
    std::size_t at = 0;
    while ((at = xml.find('<', at)) != std::string::npos && (xml[at + 1] == '?' || xml[at + 1] == '!')) ++at;
    if (at != std::string::npos) d.root = xml.substr(at + 1, xml.find_first_of(" />", at) - at - 1);
    ResultSet* rs = nullptr;
    const ParseStatus st = parseAnswer(nullptr, xml.data(), xml.size(), &rs, AnswerLimits());
    d.wellFormed = rs && (st.code == 1 || d.root == "Fault") && !st.refused;
    d.faultCode = d.root == "Fault" ? st.code : 0;
    d.message = st.message ? st.message : "";
    if (rs) {
        d.statementType = rs->statementType;
        d.columnCount = rs->columnCount;
        d.rowCount = rs->rowCount;
        for (int c = 0; c < rs->columns.getCount(); ++c) {
            const ColumnMetaData* m = resultColumn(rs, c);
            d.columns.push_back(Column{m->columnName, m->tableName, m->columnType, m->isNullable == 1});
        }
        for (int r = 0; r < resultRowCount(rs); ++r) {
            const Row* row = resultRow(rs, r);
            d.rowNumbers.push_back(row->rowNumber);
            d.rows.emplace_back();
            for (int v = 0; v < row->valueCount; ++v) {
                const ColumnValue* value = rowValue(row, v);
                d.rows.back().push_back(Value{value->isNull != 0, value->length > 0 || value->hasPart,
                                              std::string(value->data ? value->data : "", value->length),
                                              value->fetchKey ? value->fetchKey : ""});
            }
        }
    }
    freeResultSet(rs);
    return d;
}

}  // namespace vorndtest
