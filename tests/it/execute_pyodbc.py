# pyodbc sending parameters through the driver manager: texts with quotes and
# non-ASCII characters, numbers, the same prepared statement executed again
# with new values (pyodbc closes the cursor in between), executemany, a text
# written into SET OBJECT, and a server fault reaching the application.
import os
import sys

import pyodbc

cnxn = pyodbc.connect("DSN=" + os.environ["VORN_IT_DSN"], autocommit=True)
# Parameters go as single-byte text; values come back the same way.
cnxn.setencoding(encoding="utf-8")
cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cur = cnxn.cursor()


def check(what, got, want):
    if got != want:
        sys.exit("%s: got %r, want %r" % (what, got, want))


cur.execute("INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (?, ?, ?)", 40, "O'Neill \u2014 \u00fc?", "\u00c9ire")
check("inserted rows", cur.rowcount, 1)
cur.execute("SELECT NAME, COUNTRY FROM AUTHORS WHERE ID = ?", 40)
check("inserted author", tuple(cur.fetchone()), ("O'Neill \u2014 \u00fc?", "\u00c9ire"))

names = []
for author in (1, 2, 3):
    cur.execute("SELECT NAME FROM AUTHORS WHERE ID = ?", author)
    names.append(cur.fetchone()[0])
check("names", names, ["Selma Lagerl\u00f6f", "Jules Verne", "Mary Shelley"])

cur.executemany("INSERT INTO COUNTERS (ID, N) VALUES (?, ?)", [(50, 5), (51, 6), (52, 7)])
cur.execute("SELECT COUNT(*), SUM(N) FROM COUNTERS WHERE ID >= ?", 50)
check("counters", tuple(cur.fetchone()), (3, 18))

cur.execute("UPDATE BOOKS SET OBJECT (ABSTRACT = ?) WHERE ID = ?", "It's new", 4)
check("updated rows", cur.rowcount, 1)
cur.execute("SELECT ABSTRACT FROM BOOKS WHERE ID = 4")
check("abstract", cur.fetchone()[0], "It's new")

try:
    cur.execute("SELECT * FROM NO_SUCH_TABLE WHERE ID = ?", 1)
    sys.exit("a query of a missing table succeeded")
except pyodbc.Error as e:
    check("fault state", e.args[0], "HY000")
    if "no such table: NO_SUCH_TABLE" not in e.args[1]:
        sys.exit("fault text: %r" % (e.args[1],))
print("ok")
