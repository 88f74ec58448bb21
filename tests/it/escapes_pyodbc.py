# pyodbc through the driver manager: ODBC escape sequences reach vornd as its
# own SQL and give what they must, and the information answers say what is
# translated (the refusals: escapes_it.cpp).
import datetime
import os
import sys

import pyodbc

cnxn = pyodbc.connect("DSN=" + os.environ["VORN_IT_DSN"], autocommit=True)
cnxn.setencoding(encoding="utf-8")
cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8", ctype=pyodbc.SQL_CHAR)
cur = cnxn.cursor()
failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def value(sql, *params):
    try:
        return cur.execute(sql, *params).fetchone()[0]
    except pyodbc.Error as e:
        return "error %s %s" % (e.args[0], e.args[1])


# Every translated function through the server, with what it must give.
cases = [
    ("{fn ASCII('A')}", 65), ("{fn BIT_LENGTH('ab')}", 16), ("{fn CHAR(66)}", "B"),
    ("{fn CHAR_LENGTH('abc  ')}", 5), ("{fn CHARACTER_LENGTH('abc')}", 3), ("{fn LCASE('ABC')}", "abc"),
    ("{fn CONCAT('Jules', {fn CONCAT(' ', 'Verne')})}", "Jules Verne"), ("{fn LEFT('abcdef', 2)}", "ab"),
    ("{fn LENGTH('abc  ')}", 3), ("{fn LOCATE('c', 'abcabc')}", 3), ("{fn LTRIM('  a')}", "a"),
    ("{fn OCTET_LENGTH('\u00e5')}", 2), ("{fn REPLACE('abab', 'b', 'x')}", "axax"), ("{fn RTRIM('a  ')} || '|'", "a|"),
    ("{fn SPACE(3)} || '|'", "   |"), ("{fn SUBSTRING('abcdef', 2, 3)}", "bcd"), ("{fn UCASE('Verne')}", "VERNE"),
    ("{fn ABS(-3)}", 3), ("{fn CEILING(1.2)}", 2.0), ("{fn FLOOR(1.8)}", 1.0), ("{fn LOG10(1000)}", 3.0),
    ("{fn MOD(17, 5)}", 2), ("{fn POWER(2, 10)}", 1024.0), ("{fn ROUND(2.567, 1)}", 2.6), ("{fn SIGN(-7)}", -1),
    ("{fn SQRT(16)}", 4.0), ("{fn YEAR({d '2024-01-31'})}", 2024), ("{fn MONTH({d '2024-01-31'})}", 1),
    ("{fn QUARTER({d '2024-08-31'})}", 3), ("{fn DAYOFMONTH({d '2024-01-31'})}", 31),
    ("{fn DAYOFWEEK({d '2024-01-31'})}", 4), ("{fn DAYOFYEAR({d '2024-02-01'})}", 32),
    ("{fn HOUR({t '10:20:30'})}", 10), ("{fn MINUTE({t '10:20:30'})}", 20),
    ("{fn SECOND({ts '2024-01-31 10:20:30'})}", 30), ("{fn IFNULL(NULL, 'x')}", "x"), ("{fn DATABASE()}", ""),
    ("{fn CONVERT('42', SQL_INTEGER)} + 1", 43), ("{fn CONVERT(42, SQL_VARCHAR)} || '!'", "42!"),
    ("{fn CONVERT('2.5', SQL_DOUBLE)} * 2", 5.0), ("{d '2024-01-31'}", "2024-01-31"), ("{t '10:20:30'}", "10:20:30"),
    ("{ts '2024-01-31 10:20:30.5'}", "2024-01-31 10:20:30.5")]
# Functions of real results, rounded to three places.
for call, want in (("ACOS(1)", 0.0), ("ASIN(1)", 1.571), ("ATAN(1)", 0.785), ("COS(0)", 1.0), ("COT(1)", 0.642),
                   ("DEGREES({fn PI()})", 180.0), ("EXP(1)", 2.718), ("LOG(10)", 2.303), ("RADIANS(180)", 3.142),
                   ("SIN(0)", 0.0), ("TAN(0)", 0.0)):
    cases.append(("{fn ROUND({fn %s}, 3)}" % call, want))
for call, want in cases:
    check(call, value("SELECT " + call), want)

today = datetime.datetime.utcnow().date().isoformat()
for call in ("{fn CURDATE()}", "{fn CURRENT_DATE()}"):
    check(call, value("SELECT " + call), today)
for call in ("{fn CURTIME()}", "{fn CURRENT_TIME()}"):
    check(call + " shape", len(str(value("SELECT " + call))), 8)
for call in ("{fn NOW()}", "{fn CURRENT_TIMESTAMP()}"):
    check(call + " date", str(value("SELECT " + call))[:10], today)
check("user", value("SELECT {fn USER()}"), cnxn.getinfo(pyodbc.SQL_USER_NAME))

# In a real statement, with a marker inside an escape and one after it.
check("date escape in WHERE",
      value("SELECT NAME FROM AUTHORS WHERE BORN = {d '1828-02-08'} AND ID = ?", 2), "Jules Verne")
check("marker inside an escape",
      value("SELECT COUNT(*) FROM AUTHORS WHERE {fn UCASE(NAME)} = {fn UCASE(?)}", "jules verne"), 1)
cur.execute("CREATE TABLE ESC_LIKE (S VARCHAR(20))")
cur.execute("INSERT INTO ESC_LIKE VALUES ('a_b'), ('axb'), ('{fn UCASE(x)}')")
check("like escape", [r[0] for r in cur.execute("SELECT S FROM ESC_LIKE WHERE S LIKE 'a\\_%' {escape '\\'}")],
      ["a_b"])
check("escape inside a literal stays", value("SELECT COUNT(*) FROM ESC_LIKE WHERE S = '{fn UCASE(x)}'"), 1)

# What getinfo says is what is translated.
check("timedate functions include current date/time/timestamp",
      cnxn.getinfo(pyodbc.SQL_TIMEDATE_FUNCTIONS) & 0xE0000, 0xE0000)
check("string functions", cnxn.getinfo(pyodbc.SQL_STRING_FUNCTIONS) & 0x1001, 0x1001)  # CONCAT, UCASE

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
