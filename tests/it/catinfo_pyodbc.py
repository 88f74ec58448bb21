# pyodbc through the driver manager: getinfo, and the catalog functions
# answered from the server's VDBS tables over the sample database.
import os
import sys

import pyodbc

cnxn = pyodbc.connect("DSN=" + os.environ["VORN_IT_DSN"], autocommit=True)
failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


check("DBMS name", cnxn.getinfo(pyodbc.SQL_DBMS_NAME), "VORN")
check("DBMS version", cnxn.getinfo(pyodbc.SQL_DBMS_VER), "2.3-0250")
check("driver name", cnxn.getinfo(pyodbc.SQL_DRIVER_NAME), "libvornodbc.so")
check("max table name", cnxn.getinfo(pyodbc.SQL_MAX_TABLE_NAME_LEN), 255)
check("getdata extensions", cnxn.getinfo(pyodbc.SQL_GETDATA_EXTENSIONS), 11)
check("server name", cnxn.getinfo(pyodbc.SQL_SERVER_NAME), "127.0.0.1")

# The encoding lines applications set for the single-byte driver keep working.
cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cur = cnxn.cursor()
tables = sorted(r.table_name for r in cur.tables())
for name in ("ARTICLES", "AUTHORS", "BOOKS", "COUNTERS"):
    if name not in tables:
        failures.append("table %s missing from %r" % (name, tables))
check("one table", [(r.table_name, r.table_type) for r in cur.tables(table="BOOKS")], [("BOOKS", "TABLE")])
check("unknown table", cur.tables(table="NO_SUCH").fetchall(), [])
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
        ("TITLE", "type_name column_size char_octet_length nullable is_nullable", ("VARCHAR", 255, 255, 0, "NO")),
        ("ABSTRACT", "column_size nullable is_nullable", (2147483647, 1, "YES"))):
    if name in byname:
        check(name, tuple(getattr(byname[name], f) for f in fields.split()), want)
check("qualified name", len(cur.columns(table="main.BOOKS").fetchall()), 8)
try:
    cur.columns(table="")
    failures.append("columns without a table name was not refused")
except pyodbc.Error as e:
    check("columns without a table", e.args[0], "HYC00")

check("primary keys", [(r.column_name, r.key_seq) for r in cur.primaryKeys("AUTHORS")],
      [("ID", 1), ("NAME", 1), ("COUNTRY", 1), ("BORN", 1)])
# More columns than a block holds: the next block comes under the fixed descriptions.
cur.execute("CREATE TABLE WIDE (%s)" % ", ".join("C%d INTEGER" % i for i in range(1, 13)))
check("keys over two blocks", [r.column_name for r in cur.primaryKeys("WIDE")], ["C%d" % i for i in range(1, 13)])
check("key columns", [d[0] for d in cur.description],
      ["table_cat", "table_schem", "table_name", "column_name", "key_seq", "pk_name"])
check("statistics", cur.statistics("BOOKS").fetchall(), [])
check("statistics columns", len(cur.description), 13)
check("row id columns", sorted(r[1] for r in cur.rowIdColumns("BOOKS")), ["ID", "R"])
check("row version columns", cur.rowVerColumns("BOOKS").fetchall(), [])

check("all types", [r.data_type for r in cur.getTypeInfo()], [-4, -1, 4, 6, 12, 91, 92])
check("one type", [r.type_name for r in cur.getTypeInfo(pyodbc.SQL_LONGVARCHAR)], ["LONG VARCHAR"])
check("unknown type", cur.getTypeInfo(pyodbc.SQL_CHAR).fetchall(), [])
check("type columns", len(cur.description), 19)

cnxn.close()
if failures:
    sys.exit("\n".join(failures))
print("ok")
