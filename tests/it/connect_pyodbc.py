# pyodbc through the driver manager: connecting with autocommit off (pyodbc's
# default), which the driver answers with 01S02 while it keeps autocommit on,
# the connection attributes pyodbc sets before and after connecting, and a
# refusal reaching the application with its SQLSTATE.
import ctypes
import os
import sys

import pyodbc

dsn = "DSN=" + os.environ["VORN_IT_DSN"]
SQL_ATTR_ACCESS_MODE = 101
SQL_ATTR_TXN_ISOLATION = 108
SQL_MODE_READ_WRITE = 0
SQL_TXN_SERIALIZABLE = 8

# timeout: SQL_ATTR_LOGIN_TIMEOUT before connecting; readonly: SQL_ATTR_ACCESS_MODE after.
cnxn = pyodbc.connect(dsn, autocommit=False, timeout=15, readonly=True)
cnxn.autocommit = True
cnxn.autocommit = False  # a changed value is a warning, not an error
cnxn.timeout = 30        # SQL_ATTR_CONNECTION_TIMEOUT: kept at 0 with a warning
cnxn.set_attr(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_WRITE)
try:
    cnxn.set_attr(SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE)
    sys.exit("setting the isolation level was not refused")
except pyodbc.Error as e:
    if e.args[0] != "HYC00" or "Not supported" not in e.args[1]:
        sys.exit("unexpected refusal: %r" % (e.args,))
cnxn.close()

cnxn = pyodbc.connect(dsn, autocommit=True, attrs_before={SQL_ATTR_ACCESS_MODE: SQL_MODE_READ_WRITE})
cnxn.close()

# What pyodbc cannot ask, through the driver manager's own functions: the
# connect succeeds without any diagnostic (the manager's SQLSetEnvAttr call
# reached the driver), the session is alive, and the catalog is the server.
odbc = ctypes.CDLL("libodbc.so.2")
SQL_ATTR_CURRENT_CATALOG = 109
SQL_ATTR_CONNECTION_DEAD = 1209
env, dbc = ctypes.c_void_p(), ctypes.c_void_p()
odbc.SQLAllocHandle(1, None, ctypes.byref(env))
odbc.SQLSetEnvAttr(env, 200, ctypes.c_void_p(3), 0)
odbc.SQLAllocHandle(2, env, ctypes.byref(dbc))
rc = odbc.SQLDriverConnect(dbc, None, dsn.encode(), len(dsn), None, 0, None, 0)
state, text = ctypes.create_string_buffer(6), ctypes.create_string_buffer(600)
if rc != 0:
    odbc.SQLGetDiagRec(2, dbc, 1, state, None, text, 600, None)
    sys.exit("SQLDriverConnect returned %d: %s %s" % (rc, state.value, text.value))
dead = ctypes.c_uint32(7)
if odbc.SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, ctypes.byref(dead), 0, None) != 0 or dead.value != 0:
    sys.exit("connection reported dead: %d" % dead.value)
catalog, length = ctypes.create_string_buffer(100), ctypes.c_int32()
odbc.SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, 100, ctypes.byref(length))
if catalog.value != b"127.0.0.1" or length.value != 9:
    sys.exit("current catalog %r, length %d" % (catalog.value, length.value))
odbc.SQLDisconnect(dbc)
odbc.SQLFreeHandle(2, dbc)
odbc.SQLFreeHandle(1, env)
print("ok")
