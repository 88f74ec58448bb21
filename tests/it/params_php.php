<?php
// PHP's odbc extension through the driver manager: odbc_prepare asks
// SQLDescribeParam for each marker, odbc_execute binds what it was told;
// NULL, quotes, numbers and dates arrive as values. Then PDO_ODBC, which
// binds its own way.
function check($what, $got, $want) {
    if ($got !== $want) {
        fwrite(STDERR, "$what: got " . var_export($got, true) . ", want " . var_export($want, true) . "\n");
        exit(1);
    }
}

$dsn = getenv("VORN_IT_DSN");
$conn = odbc_connect($dsn, "", "");
if (!$conn) { fwrite(STDERR, "connect: " . odbc_errormsg() . "\n"); exit(1); }

odbc_exec($conn, "CREATE TABLE PH (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), BORN DATE, SCORE DOUBLE)");
$insert = odbc_prepare($conn, "INSERT INTO PH (ID, NAME, BORN, SCORE) VALUES (?, ?, ?, ?)");
if (!$insert) { fwrite(STDERR, "prepare: " . odbc_errormsg($conn) . "\n"); exit(1); }
check("first", odbc_execute($insert, [1, "O'Brien \\ caf\u{e9}", "1962-07-04", "2.5"]), true);
check("NULLs", odbc_execute($insert, [2, null, null, null]), true);
check("numbers as numbers", odbc_execute($insert, [3, 42, "2000-02-29", 0.1]), true);

$select = odbc_prepare($conn, "SELECT NAME, BORN, SCORE FROM PH WHERE ID = ?");
odbc_execute($select, [1]);
check("row 1", odbc_fetch_array($select), ["NAME" => "O'Brien \\ caf\u{e9}", "BORN" => "1962-07-04", "SCORE" => "2.5"]);
odbc_execute($select, [2]);
check("row 2", odbc_fetch_array($select), ["NAME" => null, "BORN" => null, "SCORE" => null]);
$count = odbc_exec($conn, "SELECT COUNT(*) AS N FROM PH WHERE ID = 3 AND NAME = '42' AND SCORE = 0.1");
check("row 3", odbc_fetch_array($count)["N"], "1");

// PDO_ODBC binds every value as text of its own choosing.
$pdo = new PDO("odbc:$dsn", "", "", [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
$stmt = $pdo->prepare("INSERT INTO PH (ID, NAME, BORN) VALUES (?, ?, ?)");
$stmt->execute([4, "it's", "2024-01-31"]);
$stmt->bindValue(1, 5, PDO::PARAM_INT);
$stmt->bindValue(2, null, PDO::PARAM_NULL);
$stmt->bindValue(3, null, PDO::PARAM_NULL);
$stmt->execute();
$rows = $pdo->query("SELECT ID, NAME, BORN FROM PH WHERE ID >= 4 ORDER BY ID")->fetchAll(PDO::FETCH_NUM);
check("pdo rows", $rows, [["4", "it's", "2024-01-31"], ["5", null, null]]);
echo "ok\n";
