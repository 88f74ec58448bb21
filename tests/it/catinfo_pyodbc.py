# pyodbc through the driver manager: connecting with autocommit off (pyodbc's
# default), which the driver answers with 01S02 while it keeps autocommit on;
# the connection attributes pyodbc sets before and after connecting; then
# getinfo, and the catalog functions answered from the server's VDBS tables.
import os
import sys

import pyodbc

dsn = "DSN=" + os.environ["VORN_IT_DSN"]
SQL_ATTR_ACCESS_MODE = 101
failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


# timeout: SQL_ATTR_LOGIN_TIMEOUT before connecting; readonly: SQL_ATTR_ACCESS_MODE after.
cnxn = pyodbc.connect(dsn, autocommit=False, timeout=15, readonly=True)
cnxn.autocommit = True
cnxn.autocommit = False  # a changed value is a warning, not an error
cnxn.timeout = 30        # SQL_ATTR_CONNECTION_TIMEOUT: kept at 0 with a warning
cnxn.set_attr(SQL_ATTR_ACCESS_MODE, 0)
cnxn.close()
cnxn = pyodbc.connect(dsn, autocommit=True, attrs_before={SQL_ATTR_ACCESS_MODE: 0})

for info, want in ((pyodbc.SQL_DBMS_NAME, "VORN"), (pyodbc.SQL_DBMS_VER, "2.3-0250"),
                   (pyodbc.SQL_DRIVER_NAME, "libvornodbc.so"), (pyodbc.SQL_MAX_TABLE_NAME_LEN, 255),
                   (pyodbc.SQL_GETDATA_EXTENSIONS, 11), (pyodbc.SQL_SERVER_NAME, "127.0.0.1")):
    check("getinfo %d" % info, cnxn.getinfo(info), want)

# The encoding lines applications set for the single-byte driver keep working.
cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cur = cnxn.cursor()
check("tables", sorted(r.table_name for r in cur.tables()), ["ARTICLES", "AUTHORS", "BOOKS", "BOOK_LIST", "COUNTERS"])
check("one table", [(r.table_name, r.table_type) for r in cur.tables(table="BOOKS")], [("BOOKS", "TABLE")])
check("catalog list", [r.table_cat for r in cur.tables(catalog="%", schema="", table="")], ["127.0.0.1"])
check("schema list", sorted({r.table_schem for r in cur.tables(catalog="", schema="%", table="")}), ["main"])
check("type list", [r.table_type for r in cur.tables(catalog="", schema="", table="", tableType="%")], ["TABLE"])

cols = cur.columns(table="BOOKS").fetchall()
check("column names", [c.column_name for c in cols],
      ["ID", "TITLE", "AUTHOR_ID", "PRICE", "PUBLISHED", "SHELVED", "ABSTRACT", "COVER"])
check("ordinal positions", [c.ordinal_position for c in cols], list(range(1, 9)))
check("data types", [c.data_type for c in cols], [4, 12, 4, 6, 91, 92, -1, -4])
byname = {c.column_name: c for c in cols}
for name, fields, want in (
        ("ID", "column_size buffer_length decimal_digits num_prec_radix sql_data_type", (10, 4, 0, 10, 4)),
        ("TITLE", "type_name column_size char_octet_length nullable is_nullable", ("VARCHAR", 100, 100, 0, "NO")),
        ("PRICE", "column_size buffer_length num_prec_radix", (7, 4, 10)),
        ("PUBLISHED", "column_size buffer_length sql_data_type sql_date_time_sub", (10, 6, 9, 1)),
        ("SHELVED", "column_size buffer_length decimal_digits sql_data_type sql_date_time_sub", (8, 6, 0, 9, 2)),
        ("ABSTRACT", "column_size nullable is_nullable", (2147483647, 1, "YES"))):
    if name in byname:
        check(name, tuple(getattr(byname[name], f) for f in fields.split()), want)
check("qualified name", len(cur.columns(table="main.BOOKS").fetchall()), 8)
try:
    cur.columns(table="")
    failures.append("columns without a table name was not refused")
except pyodbc.Error as e:
    check("columns without a table", e.args[0], "HYC00")

check("primary keys", [(r.column_name, r.key_seq) for r in cur.primaryKeys("AUTHORS")], [("ID", 1)])
check("no key", cur.primaryKeys("BOOK_LIST").fetchall(), [])
# A key of more columns than a block holds, declared out of column order:
# KEY_SEQ follows the key.
order = [12, 3] + [i for i in range(1, 12) if i != 3]
cur.execute("CREATE TABLE WIDE (%s, PRIMARY KEY (%s))" % (", ".join("C%d INTEGER" % i for i in range(1, 14)),
                                                          ", ".join("C%d" % i for i in order)))
check("composite key", [(r.column_name, r.key_seq) for r in cur.primaryKeys("WIDE")],
      [("C%d" % c, i + 1) for i, c in enumerate(order)])
check("key columns", [d[0] for d in cur.description],
      ["table_cat", "table_schem", "table_name", "column_name", "key_seq", "pk_name"])
check("row id over more than a block", len(cur.rowIdColumns("WIDE").fetchall()), 13)
check("statistics", cur.statistics("BOOKS").fetchall(), [])
check("statistics columns", len(cur.description), 13)
check("row id columns", sorted(tuple(r) for r in cur.rowIdColumns("BOOKS")),
      [(2, "ID", 4, "INTEGER", 10, 4, 0, 1), (2, "R", 4, "INTEGER", 10, 4, 0, 2)])
check("column pattern", [r.column_name for r in cur.columns(table="BOOKS", column="A%")], ["AUTHOR_ID", "ABSTRACT"])
check("column pattern escape", [r.column_name for r in cur.columns(table="BOOKS", column="AUTHOR\\_ID")],
      ["AUTHOR_ID"])

# Names with quotes are names: a table called O'Brien is found, an injection
# attempt finds nothing, and no function returns more than its own rows.
cur.execute("CREATE TABLE \"O'Brien\" (\"it's\" VARCHAR(7) PRIMARY KEY)")
check("quoted table", [r.table_name for r in cur.tables(table="O'Brien")], ["O'Brien"])
check("quoted table columns", [(r.column_name, r.column_size) for r in cur.columns(table="O'Brien")], [("it's", 7)])
check("quoted column", len(cur.columns(table="O'Brien", column="it's").fetchall()), 1)
check("quoted table key", [r.column_name for r in cur.primaryKeys("O'Brien")], ["it's"])
check("quoted table row id", sorted((r[1], r[2], r[4]) for r in cur.rowIdColumns("O'Brien")),
      [("R", 4, 10), ("it's", 12, 7)])
for attempt in ("x' OR '1'='1", "BOOKS' --", "BOOKS'; DROP TABLE BOOKS; --", "' UNION SELECT NAME FROM VDBS.TABLES --"):
    for what, call in (("tables", lambda: cur.tables(table=attempt)),
                       ("columns", lambda: cur.columns(table=attempt)),
                       ("column name", lambda: cur.columns(table="BOOKS", column=attempt)),
                       ("primary keys", lambda: cur.primaryKeys(attempt)),
                       ("statistics", lambda: cur.statistics(attempt))):
        try:
            check("%s %r" % (what, attempt), call().fetchall(), [])
        except pyodbc.Error as e:
            failures.append("%s %r: %s" % (what, attempt, e))
    check("row id %r" % attempt, cur.rowIdColumns(attempt).fetchall(), [])
check("BOOKS still there, every column", len(cur.columns(table="BOOKS", column="%").fetchall()), 8)
check("row version columns", cur.rowVerColumns("BOOKS").fetchall(), [])

check("all types", [r.data_type for r in cur.getTypeInfo()], [-4, -1, 4, 6, 12, 91, 92, 93])
check("one type", [r.type_name for r in cur.getTypeInfo(pyodbc.SQL_LONGVARCHAR)], ["LONG VARCHAR"])
check("unknown type", cur.getTypeInfo(pyodbc.SQL_CHAR).fetchall(), [])
check("type columns", len(cur.description), 19)

cnxn.close()
if failures:
    sys.exit("\n".join(failures))
print("ok")
