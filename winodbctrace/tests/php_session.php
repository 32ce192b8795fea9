<?php
// A PHP session for the tests of the Driver Manager stand-in, through the
// odbc extension (odbc_*) or PDO_ODBC: connects to the data source "testdsn"
// with a password, creates a table anew, inserts rows with parameters in a
// transaction, fetches them, and runs a statement that fails. Prints what it
// saw; exits with 1 when something other than the failing statement failed.
//
// usage: php php_session.php odbc|pdo

function withOdbc() {
    $db = odbc_connect("testdsn", "", "secret");
    if ($db === false) return ["failed: connect " . odbc_errormsg()];
    odbc_exec($db, "DROP TABLE IF EXISTS t");
    odbc_exec($db, "CREATE TABLE t(a INTEGER, b TEXT)");
    odbc_autocommit($db, false);
    $insert = odbc_prepare($db, "INSERT INTO t VALUES(?, ?)");
    foreach ([1, 2, 3] as $n) odbc_execute($insert, [$n, "row $n"]);
    odbc_commit($db);
    $lines = [];
    $rows = odbc_exec($db, "SELECT a, b FROM t WHERE a >= 2 ORDER BY a");
    while ($row = odbc_fetch_array($rows)) $lines[] = $row["a"] . "|" . $row["b"];
    $lines[] = @odbc_exec($db, "SELECT * FROM missing") === false ? "error " . odbc_error($db) : "no error";
    odbc_close($db);
    return $lines;
}

function withPdo() {
    $db = new PDO("odbc:testdsn", "", "secret", [PDO::ATTR_ERRMODE => PDO::ERRMODE_SILENT]);
    $db->exec("DROP TABLE IF EXISTS t");
    $db->exec("CREATE TABLE t(a INTEGER, b TEXT)");
    $db->beginTransaction();
    $insert = $db->prepare("INSERT INTO t VALUES(?, ?)");
    foreach ([1, 2, 3] as $n) $insert->execute([$n, "row $n"]);
    $db->commit();
    $lines = [];
    $rows = $db->prepare("SELECT a, b FROM t WHERE a >= ? ORDER BY a");
    $rows->execute([2]);
    foreach ($rows->fetchAll(PDO::FETCH_NUM) as $row) $lines[] = $row[0] . "|" . $row[1];
    $lines[] = $db->query("SELECT * FROM missing") === false ? "error " . $db->errorCode() : "no error";
    return $lines;
}

$lines = $argv[1] === "pdo" ? withPdo() : withOdbc();
foreach ($lines as $line) echo $line, "\n";
exit(str_starts_with($lines[0], "failed") ? 1 : 0);
