# pyodbc through the driver manager, reading every column type of the sample
# database (long texts and binaries sent by key, NULLs, dates and times, 3000
# rows that the server sends in many blocks), then sending parameters: texts
# with quotes and non-ASCII characters, the same prepared statement executed
# again with new values (pyodbc closes the cursor in between), executemany, a
# text written into SET OBJECT, and a server fault reaching the application.
# Between the two, isql runs a query.
import datetime
import os
import subprocess
import sys

import pyodbc

dsn = os.environ["VORN_IT_DSN"]
cnxn = pyodbc.connect("DSN=" + dsn, autocommit=True)
# The driver serves character data one byte a character, SQL_C_WCHAR too;
# parameters go as single-byte text as well.
cnxn.setencoding(encoding="utf-8")
cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cur = cnxn.cursor()


def check(what, got, want):
    if got != want:
        sys.exit("%s: got %r, want %r" % (what, got, want))


cur.execute("SELECT ID, TITLE, AUTHOR_ID, PRICE, PUBLISHED, SHELVED, ABSTRACT, COVER FROM BOOKS ORDER BY ID")
check("columns", [d[0] for d in cur.description],
      ["ID", "TITLE", "AUTHOR_ID", "PRICE", "PUBLISHED", "SHELVED", "ABSTRACT", "COVER"])
rows = cur.fetchall()
check("book count", len(rows), 5)
first, second, third, fourth, fifth = rows
check("first", tuple(first[:6]), (1, "Nils Holgerssons underbara resa", 1, 12.5,
                                  datetime.date(1906, 11, 24), datetime.time(9, 30, 0)))
check("first cover", bytes(first.COVER), bytes.fromhex("89504E470D0A1A0A0000000D49484452"))
# Beyond the inline limit: fetched by key, read piece by piece.
check("long abstract", second.ABSTRACT, "Captain Nemo and the Nautilus. " + "N" * 5000 + " The end.")
check("long cover", bytes(second.COVER), bytes(6000))
check("nulls", (third.SHELVED, third.ABSTRACT), (None, None))
check("binary with zeros", bytes(third.COVER), bytes.fromhex("00FF00FF7F80"))
check("empty values", (fourth.PRICE, fourth.PUBLISHED, fourth.ABSTRACT, bytes(fourth.COVER)), (None, None, "", b""))
check("leap day", (fifth.PUBLISHED, fifth.SHELVED), (datetime.date(2000, 2, 29), datetime.time(23, 59, 59)))
check("markup", fifth.TITLE, 'Quotes & <markup> "test"')
check("non-ASCII", fifth.ABSTRACT, "Ümlauts, ß, €, 日本語 — and 'quotes'.")

# Many blocks: every row arrives once, in order, with its own values.
cur.execute("SELECT ID, HEADLINE, SECTION, PUBDATE, BODY, THUMB FROM ARTICLES ORDER BY ID")
n = 0
while True:
    batch = cur.fetchmany(137)
    if not batch:
        break
    for row in batch:
        n += 1
        check("id", row.ID, n)
        check("headline", row.HEADLINE, "Headline number %d" % n)
        check("section", row.SECTION, {0: "news", 1: "sport", 2: "culture", 3: None}[n % 4])
        check("date", row.PUBDATE, datetime.date(2020, 1, 1) + datetime.timedelta(days=n % 1000))
        if n % 500 == 0:
            check("long body", row.BODY, "Long body of article %d: " % n + "x" * 6000)
        elif n % 10 == 0:
            check("null body", row.BODY, None)
        else:
            check("body", row.BODY, "Body of article %d" % n)
        check("thumb", None if row.THUMB is None else len(row.THUMB), 16 if n % 100 == 0 else None)
check("article count", n, 3000)
check("after the end", cur.fetchone(), None)

# isql: a query printed as a table, through the same data source.
out = subprocess.run(["isql", "-b", "-v", dsn, "alice", "secret"], input=b"SELECT ID, NAME FROM AUTHORS ORDER BY ID\n",
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout.decode("utf-8", "replace")
for want in ("Jules Verne", "Mary Shelley", "Anonymous", "4 rows fetched"):
    if want not in out:
        sys.exit("isql output lacks %r:\n%s" % (want, out))

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
cnxn.close()
print("ok")
