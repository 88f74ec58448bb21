# pyodbc on its default settings (wide entry points, SQL_C_WCHAR for wide
# data and metadata) against vornd: non-ASCII, CJK and non-BMP text written
# in statement texts and read back through fetchall, column aliases, getinfo
# and error messages; long values beyond the server's inline limit read whole,
# also as SQL_C_WCHAR pieces (the encoding lines applications used to set:
# params_pyodbc.py).
import os
import sys

import pyodbc

dsn = os.environ["VORN_IT_DSN"]


def check(what, got, want):
    if got != want:
        sys.exit("%s: got %r, want %r" % (what, got, want))


# Values with characters of one to four UTF-8 bytes; the long ones cross the
# 4096-byte inline limit and put surrogate pairs at every offset.
CJK, EMOJI = "\u65e5\u672c\u8a9e", "\U0001F600"
ROWS = {80: ("Selma Lagerl\u00f6f " + CJK + " " + EMOJI, "\u0395\u03bb\u03bb\u03ac\u03b4\u03b1"), 81: (EMOJI * 3, CJK)}
LONG = {80: "x" + (CJK + EMOJI + "\u00e9") * 700 + " end", 81: "\u00fc" + EMOJI * 2100}


def connect(*decodings):
    cnxn = pyodbc.connect("DSN=" + dsn, autocommit=True)
    for sqltype, codec, ctype in decodings:
        cnxn.setdecoding(sqltype, encoding=codec, ctype=ctype)
    return cnxn


def read_back(cnxn, label):
    cur = cnxn.cursor()
    for sql, want in (
            ("SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE ID >= 80 ORDER BY ID", [(k,) + v for k, v in sorted(ROWS.items())]),
            ("SELECT ID, ABSTRACT FROM BOOKS WHERE ID >= 80 ORDER BY ID", sorted(LONG.items())),
            ("SELECT ID, NAME, COUNTRY FROM AUTHORS WHERE NAME = 'Selma Lagerl\u00f6f'", [(1, "Selma Lagerl\u00f6f", "Sweden")]),
            ("SELECT ABSTRACT FROM BOOKS WHERE ID = 5", [("\u00dcmlauts, \u00df, \u20ac, " + CJK + " \u2014 and 'quotes'.",)]),
            ("SELECT ID, TITLE AS \"T\u00eftel\" FROM BOOKS WHERE ID = 2", [(2, "Vingt mille lieues sous les mers")])):
        check(label + ": " + sql, [tuple(r) for r in cur.execute(sql).fetchall()], want)


# --- Defaults: pyodbc speaks UTF-16 to the driver.
cnxn = connect()
cur = cnxn.cursor()
for key, (name, country) in ROWS.items():
    cur.execute("INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (%d, '%s', '%s')" % (key, name, country))
for key, text in LONG.items():
    cur.execute("INSERT INTO BOOKS (ID, TITLE, ABSTRACT) VALUES (%d, 'long', '%s')" % (key, text))
read_back(cnxn, "defaults")
for info, want in ((pyodbc.SQL_SPECIAL_CHARACTERS, "\u00e5\u00e4\u00f6\u00fc\u00c5\u00c4\u00d6\u00dc\u00e9\u00c9"),
                   (pyodbc.SQL_DATA_SOURCE_NAME, dsn), (pyodbc.SQL_IDENTIFIER_QUOTE_CHAR, " ")):
    check("getinfo %d" % info, cnxn.getinfo(info), want)
try:
    cur.execute("SELECT NAME FROM " + CJK + EMOJI)
    sys.exit("a query of a missing table succeeded")
except pyodbc.Error as e:
    check("error", (e.args[0], CJK + EMOJI in e.args[1]), ("HY000", True))

# --- Forced SQL_C_WCHAR for character columns: SQLGetData in pieces of
# whole characters (pyodbc reads long values piece by piece).
read_back(connect((pyodbc.SQL_CHAR, "utf-16-le", pyodbc.SQL_WCHAR)), "SQL_C_WCHAR")
