# pyodbc on its default settings (wide entry points, SQL_C_WCHAR for wide
# data and metadata) against vornd: non-ASCII, CJK and non-BMP text written
# in statement texts and read back through fetchall, columns, tables, getinfo
# and error messages; long values beyond the server's inline limit read whole,
# also as SQL_C_WCHAR pieces; the same with the encoding lines applications
# used to set; then iusql and isql on the sample tables.
import os
import subprocess
import sys

import pyodbc

dsn = os.environ["VORN_IT_DSN"]


def check(what, got, want):
    if got != want:
        sys.exit("%s: got %r, want %r" % (what, got, want))


# Values with characters of one to four UTF-8 bytes; the long ones cross the
# 4096-byte inline limit and put surrogate pairs at every offset.
CJK = "\u65e5\u672c\u8a9e"
EMOJI = "\U0001F600"
ROWS = {
    80: ("Selma Lagerl\u00f6f " + CJK + " " + EMOJI, "\u0395\u03bb\u03bb\u03ac\u03b4\u03b1"),
    81: (EMOJI * 3, CJK),
}
LONG = {
    80: "x" + (CJK + EMOJI + "\u00e9") * 700 + " end",
    81: "\u00fc" + EMOJI * 2100,
}


def sql_text(value):
    return "'" + value.replace("'", "''") + "'"


def read_back(cnxn, label):
    cur = cnxn.cursor()
    cur.execute("SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE ID >= 80 ORDER BY ID")
    check(label + " rows", [tuple(r) for r in cur.fetchall()], [(k,) + v for k, v in sorted(ROWS.items())])
    cur.execute("SELECT ID, ABSTRACT FROM BOOKS WHERE ID >= 80 ORDER BY ID")
    check(label + " long values", [tuple(r) for r in cur.fetchall()], sorted(LONG.items()))
    cur.execute("SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE NAME = 'Selma Lagerl\u00f6f'")
    check(label + " non-ASCII in WHERE", [tuple(r) for r in cur.fetchall()], [(1, "Selma Lagerl\u00f6f", "Sweden")])
    cur.execute("SELECT ABSTRACT FROM BOOKS WHERE ID = 5")
    check(label + " sample text", cur.fetchone()[0], "\u00dcmlauts, \u00df, \u20ac, " + CJK + " \u2014 and 'quotes'.")
    cur.execute("SELECT ID, TITLE AS \"T\u00eftel\" FROM BOOKS WHERE ID = 2")
    check(label + " integer and text", tuple(cur.fetchone()), (2, "Vingt mille lieues sous les mers"))


# --- Defaults: pyodbc speaks UTF-16 to the driver.
cnxn = pyodbc.connect("DSN=" + dsn, autocommit=True)
cur = cnxn.cursor()
for key, (name, country) in ROWS.items():
    cur.execute("INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (%d, %s, %s)" % (key, sql_text(name), sql_text(country)))
for key, text in LONG.items():
    cur.execute("INSERT INTO BOOKS (ID, TITLE, ABSTRACT) VALUES (%d, 'long', %s)" % (key, sql_text(text)))
read_back(cnxn, "defaults")

cur.execute("SELECT ID, NAME FROM AUTHORS ORDER BY ID")
check("column names", [d[0] for d in cur.description], ["ID", "NAME"])
cur.fetchall()
check("columns()", [(r.table_name, r.column_name, r.type_name) for r in cur.columns(table="AUTHORS")],
      [("AUTHORS", "ID", "INTEGER"), ("AUTHORS", "NAME", "VARCHAR"), ("AUTHORS", "COUNTRY", "VARCHAR"),
       ("AUTHORS", "BORN", "DATE")])
check("tables()", sorted(r.table_name for r in cur.tables()),
      ["ARTICLES", "AUTHORS", "BOOKS", "BOOK_LIST", "COUNTERS"])
check("tables(AUTHORS)", [r.table_name for r in cur.tables(table="AUTHORS")], ["AUTHORS"])
infos = [
    (pyodbc.SQL_SPECIAL_CHARACTERS, "\u00e5\u00e4\u00f6\u00fc\u00c5\u00c4\u00d6\u00dc\u00e9\u00c9"),
    (pyodbc.SQL_DRIVER_NAME, "libvornodbc.so"),
    (pyodbc.SQL_DATA_SOURCE_NAME, dsn),
    (pyodbc.SQL_DBMS_NAME, "VORN"),
    (pyodbc.SQL_IDENTIFIER_QUOTE_CHAR, " "),
]
for info, want in infos:
    check("getinfo %d" % info, cnxn.getinfo(info), want)
try:
    cur.execute("SELECT NAME FROM " + CJK + EMOJI)
    sys.exit("a query of a missing table succeeded")
except pyodbc.Error as e:
    check("error state", e.args[0], "HY000")
    if CJK + EMOJI not in e.args[1]:
        sys.exit("error message lacks the table name: %r" % e.args[1])

# --- Forced SQL_C_WCHAR for character columns: SQLGetData in pieces of
# whole characters (pyodbc reads long values piece by piece).
wide = pyodbc.connect("DSN=" + dsn, autocommit=True)
wide.setdecoding(pyodbc.SQL_CHAR, encoding="utf-16-le", ctype=pyodbc.SQL_WCHAR)
read_back(wide, "SQL_C_WCHAR")
wide.close()

# --- The encoding lines the README used to ask for keep working; with them
# pyodbc sends str parameters as UTF-8 SQL_C_CHAR.
old = pyodbc.connect("DSN=" + dsn, autocommit=True)
old.setencoding(encoding="utf-8")
old.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
old.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
read_back(old, "encoding lines")
old.cursor().execute("INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (?, ?, ?)", 90, CJK + EMOJI, "\u00c9ire")
old.close()
cur.execute("SELECT NAME, COUNTRY FROM AUTHORS WHERE ID = 90")
check("parameter through the old lines", tuple(cur.fetchone()), (CJK + EMOJI, "\u00c9ire"))
cnxn.close()


# --- The driver manager's wide and single-byte query tools.
def tool(name, query):
    env = dict(os.environ)
    if "asan" in env.get("LD_PRELOAD", ""):
        # iusql copies a line onto itself with strncpy, which the sanitizer
        # runtime would stop.
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":replace_str=0"
    out = subprocess.run([name, "-b", "-v", dsn, "alice", "secret"], input=(query + "\n").encode("utf-8"),
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60, env=env).stdout
    return out.decode("utf-8", "replace")


def table_rows(out):
    rows = [[cell.strip() for cell in line.strip("|").split("|")] for line in out.splitlines() if line.startswith("|")]
    return [row for row in rows if row[0].isdigit()]


# isql (single-byte): the driver manager converts between its UTF-8 and the
# driver's UTF-16.
out = tool("isql", "SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE ID < 10 ORDER BY ID")
check("isql table", table_rows(out), [["1", "Selma Lagerl\u00f6f", "Sweden"], ["2", "Jules Verne", "France"],
                                      ["3", "Mary Shelley", "United Kingdom"], ["4", "Anonymous", ""]])
check("isql WHERE", table_rows(tool("isql", "SELECT ID FROM AUTHORS WHERE NAME='Selma Lagerl\u00f6f'")), [["1"]])
check("isql CJK", table_rows(tool("isql", "SELECT ID, NAME FROM AUTHORS WHERE ID = 81")), [["81", EMOJI * 3]])

# iusql reads every value as SQL_C_WCHAR and prints each UTF-16 unit's low
# byte, and widens each input byte on its own: ASCII text and numbers are
# whole, Latin-1 letters arrive as their Latin-1 byte.
out = tool("iusql", "SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE ID < 10 ORDER BY ID")
check("iusql table", table_rows(out.encode("utf-8", "surrogateescape").decode("utf-8", "replace")),
      [["1", "Selma Lagerl\ufffdf", "Sweden"], ["2", "Jules Verne", "France"],
       ["3", "Mary Shelley", "United Kingdom"], ["4", "Anonymous", ""]])
check("iusql WHERE", table_rows(tool("iusql", "SELECT ID, NAME FROM AUTHORS WHERE COUNTRY = 'France'")),
      [["2", "Jules Verne"]])
