# pyodbc through the driver manager: every column type of the sample database
# read back (NULLs, dates, times, binaries; long values: dbd_odbc.pl and
# unicode_pyodbc.py), then
# every Python type pyodbc binds as a parameter (None, floats, Decimal, bool,
# date, time, datetime, bytes, 64-bit ints, texts with quotes and non-ASCII
# characters, as pyodbc's default wide text and as UTF-8) inserted and read
# back equal; executemany with fast_executemany for 10,000 rows, and with a
# failing row in the middle.
import datetime
import decimal
import os
import sys

import pyodbc

dsn = "DSN=" + os.environ["VORN_IT_DSN"]


def connect(utf8):
    cnxn = pyodbc.connect(dsn, autocommit=True)
    cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
    cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
    if utf8:
        cnxn.setencoding(encoding="utf-8")
    return cnxn


def check(what, got, want):
    if got != want or type(got) != type(want):
        sys.exit("%s: got %r, want %r" % (what, got, want))


cnxn = connect(utf8=True)
wide = connect(utf8=False)  # str bound as SQL_C_WCHAR, pyodbc's default
cur = cnxn.cursor()

cur.execute("SELECT ID, TITLE, AUTHOR_ID, PRICE, PUBLISHED, SHELVED, ABSTRACT, COVER FROM BOOKS ORDER BY ID")
check("columns", [d[0] for d in cur.description],
      ["ID", "TITLE", "AUTHOR_ID", "PRICE", "PUBLISHED", "SHELVED", "ABSTRACT", "COVER"])
first, second, third, fourth, fifth = cur.fetchall()
check("first", tuple(first[:6]), (1, "Nils Holgerssons underbara resa", 1, 12.5,
                                  datetime.date(1906, 11, 24), datetime.time(9, 30, 0)))
check("nulls", (third.SHELVED, third.ABSTRACT, bytes(third.COVER)), (None, None, bytes.fromhex("00FF00FF7F80")))
check("empty values", (fourth.PRICE, fourth.PUBLISHED, fourth.ABSTRACT, bytes(fourth.COVER)), (None, None, "", b""))
check("leap day", (fifth.PUBLISHED, fifth.SHELVED, fifth.TITLE), (datetime.date(2000, 2, 29),
      datetime.time(23, 59, 59), 'Quotes & <markup> "test"'))
check("non-ASCII", fifth.ABSTRACT, "\u00dcmlauts, \u00df, \u20ac, \u65e5\u672c\u8a9e \u2014 and 'quotes'.")

cur.execute("CREATE TABLE V (ID INTEGER PRIMARY KEY, F DOUBLE, N VARCHAR(60), BO INTEGER, D DATE, T TIME,"
            " TS TIMESTAMP, BY BLOB, BI INTEGER, S VARCHAR(200))")
columns = ["F", "N", "BO", "D", "T", "TS", "BY", "BI", "S"]
check("timestamp column size", [r.column_size for r in cur.columns(table="V", column="TS")], [29])
next_id = [0]


def insert(column, value, connection=cnxn):
    next_id[0] += 1
    connection.cursor().execute("INSERT INTO V (ID, %s) VALUES (?, ?)" % column, next_id[0], value)
    return next_id[0]


def read(expression, row):
    return cur.execute("SELECT %s FROM V WHERE ID = ?" % expression, row).fetchone()[0]


# None is NULL in every column, whatever type pyodbc picks for it.
cur.execute("INSERT INTO V VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", 0, *([None] * 9))
check("NULLs", tuple(cur.execute("SELECT %s FROM V WHERE ID = 0" % ", ".join(columns)).fetchone()), (None,) * 9)

# Doubles arrive exactly: the stored value equals Python's own shortest text
# of it (the server's text of a double has only 15 digits to read back).
for value in [0.1, 1e308, -0.0, 1.0 / 3, 5e-324, -123456.789e-200, 2.0 ** 60]:
    check("double %r" % value, read("F = %r" % value, insert("F", value)), 1)
for value in [decimal.Decimal("12345678901234567890.123456789"), decimal.Decimal("-0.000001"), decimal.Decimal("42")]:
    check("decimal %s" % value, decimal.Decimal(read("N", insert("N", value))), value)
for value in [True, False]:
    check("bool %r" % value, read("BO", insert("BO", value)), int(value))
for column, value, want in (("D", datetime.date(2024, 2, 29), None), ("T", datetime.time(23, 59, 58), None),
                            ("TS", datetime.datetime(2024, 1, 31, 12, 34, 56, 123456), "2024-01-31 12:34:56.123456")):
    check("%s %r" % (column, value), read(column, insert(column, value)), want or value)
for value in [b"\x00\x01'\x00\xff", b"", bytes(range(256)) * 40]:  # the last beyond the inline limit
    check("bytes of %d" % len(value), bytes(read("BY", insert("BY", value))), value)
for value in [2 ** 63 - 1, -2 ** 63, 2 ** 31, -1]:
    check("int %d" % value, int(read("CAST(BI AS TEXT)", insert("BI", value))), value)
for value in ["it's", "back\\slash\\", "\u00dcmlauts \u00df \u20ac \u65e5\u672c\u8a9e \U0001F600",
              "x'); DROP TABLE V; --", "''", "?", ""]:
    check("utf-8 text %r" % value, read("S", insert("S", value)), value)
    check("wide text %r" % value, read("S", insert("S", value, wide)), value)

# executemany with fast_executemany: row-wise arrays with a bind offset,
# a NULL every thousand rows.
# pyodbc's fast path binds every text as SQL_C_WCHAR but encodes it with the
# connection's encoding: it needs pyodbc's default (UTF-16) encoding.
cur.execute("CREATE TABLE M (ID INTEGER PRIMARY KEY, S VARCHAR(20), F DOUBLE, D DATE)")
fast = wide.cursor()
fast.fast_executemany = True
fast.executemany("INSERT INTO M VALUES (?, ?, ?, ?)",
                 [(i, None if i % 1000 == 7 else "row %d" % i, i / 7.0,
                   datetime.date(2000, 1, 1) + datetime.timedelta(days=i)) for i in range(10000)])
check("rows stored", tuple(cur.execute("SELECT COUNT(*), SUM(ID), MAX(S), COUNT(S) FROM M").fetchone()),
      (10000, 49995000, "row 9999", 9990))
check("row 1234", tuple(cur.execute("SELECT ID, S, F = %r, D FROM M WHERE ID = 1234" % (1234 / 7.0)).fetchone()),
      (1234, "row 1234", 1, datetime.date(2003, 5, 19)))

# A failing row in the middle: the error names it, the rows before it are
# stored, and the server's fault reaches the application as HY000.
check("rows deleted", cur.execute("DELETE FROM M").rowcount, 10000)
cur.execute("INSERT INTO M (ID, S) VALUES (1050, 'taken')")
try:
    fast.executemany("INSERT INTO M (ID, S) VALUES (?, ?)", [(1000 + i, "r%d" % i) for i in range(100)])
    sys.exit("the failing row raised nothing")
except pyodbc.Error as error:
    if error.args[0] != "HY000" or "UNIQUE" not in error.args[1] or "parameter row 51" not in error.args[1]:
        sys.exit("the error does not name the row: %s" % error)
check("rows before and after", cur.execute("SELECT COUNT(*) FROM M").fetchone()[0], 51)

print("ok")
