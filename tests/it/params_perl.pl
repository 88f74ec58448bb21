# DBD::ODBC parameters through the driver manager: undef is NULL, bind_param
# with SQL_TYPE_DATE, SQL_DOUBLE, SQL_INTEGER and binary types, values that
# try to leave their literal, and execute_array with a failing tuple, both
# tuple by tuple (DBI's way) and as one parameter array (odbc_array_operations).
use strict;
use warnings;
use DBI qw(:sql_types);

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VORN_IT_DSN}", "", "",
                       { RaiseError => 1, PrintError => 0, AutoCommit => 1, LongReadLen => 100000 })
    or die "connect: $DBI::errstr\n";

sub check {
    my ($what, $got, $want) = @_;
    $got = 'undef' unless defined $got;
    $want = 'undef' unless defined $want;
    die "$what: got '$got', want '$want'\n" unless $got eq $want;
}

$dbh->do("CREATE TABLE PP (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), BORN DATE, SCORE DOUBLE, RAW BLOB)");

# undef is NULL, never the text 'NULL'.
$dbh->do("INSERT INTO PP VALUES (?, ?, ?, ?, ?)", undef, 1, undef, undef, undef, undef);
check("NULL name", $dbh->selectrow_array("SELECT COUNT(*) FROM PP WHERE NAME IS NULL AND BORN IS NULL"), 1);

my $sth = $dbh->prepare("INSERT INTO PP (ID, NAME, BORN, SCORE, RAW) VALUES (?, ?, ?, ?, ?)");
$sth->bind_param(1, 2, SQL_INTEGER);
$sth->bind_param(2, "O'Brien \\ \xc3\xa9", SQL_VARCHAR);  # UTF-8 bytes
$sth->bind_param(3, "1962-07-04", SQL_TYPE_DATE);
$sth->bind_param(4, 0.1, SQL_DOUBLE);
$sth->bind_param(5, "\0\x01'\xff", SQL_VARBINARY);
$sth->execute;
my $row = $dbh->selectrow_arrayref("SELECT NAME, BORN, SCORE = 0.1, hex(RAW) FROM PP WHERE ID = 2");
check("name", $row->[0], "O'Brien \\ \x{c3}\x{a9}");
check("date", $row->[1], "1962-07-04");
check("double", $row->[2], 1);
check("bytes", $row->[3], "0001" . "27FF");

# Refused before anything is sent: a date that is none, a number that is none.
for my $case ([3, "1962-07-04' OR '1'='1", SQL_TYPE_DATE, "22007"], [4, "1 OR 1=1", SQL_DOUBLE, "22018"]) {
    my ($n, $value, $type, $state) = @$case;
    my $bad = $dbh->prepare("SELECT ID FROM PP WHERE " . ($n == 3 ? "BORN" : "SCORE") . " = ?");
    $bad->bind_param(1, $value, $type);
    my $ok = eval { $bad->execute; 1 };
    die "$state: accepted\n" if $ok;
    check("state of '$value'", $bad->state, $state);
}
my $names = $dbh->selectall_arrayref("SELECT ID FROM PP WHERE NAME = ?", undef, "x' OR '1'='1");
check("text injection", scalar @$names, 0);

# execute_array with a failing tuple (ID 2 is taken): its status says so
# (a row count, or -1 from the array, for the others).
for my $native (0, 1) {
    $dbh->do("DELETE FROM PP WHERE ID >= 10");
    local $dbh->{odbc_array_operations} = $native;
    my $insert = $dbh->prepare("INSERT INTO PP (ID, NAME) VALUES (?, ?)");
    my @status;
    my $done = eval {
        $insert->execute_array({ ArrayTupleStatus => \@status }, [10, 11, 2, 13], ["a", "b", "c", "d"]);
    };
    check("native=$native tuples", scalar @status, 4);
    check("native=$native ok 1", ref $status[0] ? "error" : "ok", "ok");
    check("native=$native ok 2", ref $status[1] ? "error" : "ok", "ok");
    check("native=$native failed", ref $status[2], "ARRAY");
    check("native=$native failed state", $status[2][2], "HY000");
    die "native=$native: no UNIQUE in '$status[2][1]'\n" unless $status[2][1] =~ /UNIQUE/;
    check("native=$native ok 4", ref $status[3] ? "error" : "ok", "ok");
    check("native=$native stored", $dbh->selectrow_array("SELECT COUNT(*) FROM PP WHERE ID >= 10"), 3);
}

$dbh->disconnect;
print "ok\n";
