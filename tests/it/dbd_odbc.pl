# DBD::ODBC through the driver manager: DBI->connect switches autocommit on
# and fails if the driver refuses; switching it off is answered with a changed
# value (01S02), not an error. Then what DBD::ODBC asks of get_info and its
# catalog calls (through the ANSI functions, where pyodbc calls the wide
# ones), every column type with NULLs, long values beyond LongReadLen refused
# and then read whole, bind_param with SQL types, and execute_array with a
# failing tuple, both tuple by tuple (DBI's way) and as one parameter array
# (odbc_array_operations).
use strict;
use warnings;
use DBI qw(:sql_types);

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VORN_IT_DSN}", "", "",
                       { RaiseError => 1, PrintError => 0, AutoCommit => 1, LongReadLen => 100000 })
    or die "connect: $DBI::errstr\n";
die "AutoCommit is off after connecting\n" unless $dbh->{AutoCommit};
$dbh->{AutoCommit} = 0;  # RaiseError: a refusal would die here
die "AutoCommit reads as off: the driver only commits automatically\n" unless $dbh->{AutoCommit};

sub check {
    my ($what, $got, $want) = @_;
    $got = 'undef' unless defined $got;
    $want = 'undef' unless defined $want;
    die "$what: got '$got', want '$want'\n" unless $got eq $want;
}

sub column { my ($rows, $key) = @_; return join(',', map { $_->{$key} } @$rows); }

check('driver ODBC version', $dbh->get_info(77), '03.52');
check('catalog name', $dbh->get_info(10003), 'Y');
check('schema usage', $dbh->get_info(91), 0);

my $t = $dbh->table_info(undef, undef, 'BOOKS', undef)->fetchall_arrayref({});
check('table', column($t, 'TABLE_NAME') . ' ' . column($t, 'TABLE_TYPE'), 'BOOKS TABLE');
my $c = $dbh->column_info(undef, undef, 'AUTHORS', undef)->fetchall_arrayref({});
check('columns', column($c, 'COLUMN_NAME'), 'ID,NAME,COUNTRY,BORN');
# (Each catalog column's values, and names that try to leave their literal:
# catinfo_pyodbc.py.)
check('primary key', join(',', $dbh->primary_key(undef, undef, 'AUTHORS')), 'ID');

my $rows = $dbh->selectall_arrayref("SELECT TITLE, PRICE, PUBLISHED, SHELVED, ABSTRACT, COVER FROM BOOKS ORDER BY ID");
check("books", scalar @$rows, 5);
check("cover", unpack("H*", $rows->[0][5]), "89504e470d0a1a0a0000000d49484452");
check("long abstract", length $rows->[1][4], 5040);
check("long cover", $rows->[1][5], "\0" x 6000);
check("nulls", defined($rows->[2][3]) || defined($rows->[2][4]) ? 'defined' : 'undef', 'undef');
check("empty abstract", $rows->[3][4], "");

# A long value larger than LongReadLen is an error unless truncation is allowed.
$dbh->{LongReadLen} = 100;
$dbh->{LongTruncOk} = 1;
my ($cut) = $dbh->selectrow_array("SELECT ABSTRACT FROM BOOKS WHERE ID = 2");
# DBD::ODBC keeps the buffer's terminator as the hundredth byte.
check("truncated", substr($cut, 0, 99), substr("Captain Nemo and the Nautilus. " . "N" x 100, 0, 99));
$dbh->{LongTruncOk} = 0;
check("truncation refused", eval { $dbh->selectrow_array("SELECT ABSTRACT FROM BOOKS WHERE ID = 2"); 1 } ? 0 : 1, 1);
$dbh->{LongReadLen} = 100000;

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
check("bound", join('|', $dbh->selectrow_array("SELECT NAME, BORN, SCORE = 0.1, hex(RAW) FROM PP WHERE ID = 2")),
      "O'Brien \\ \x{c3}\x{a9}|1962-07-04|1|000127FF");

# execute_array with a failing tuple (ID 2 is taken): its status says so
# (a row count, or -1 from the array, for the others); the server's fault
# arrives as HY000 with its text.
for my $native (0, 1) {
    $dbh->do("DELETE FROM PP WHERE ID >= 10");
    local $dbh->{odbc_array_operations} = $native;
    my $insert = $dbh->prepare("INSERT INTO PP (ID, NAME) VALUES (?, ?)");
    my @status;
    eval { $insert->execute_array({ ArrayTupleStatus => \@status }, [10, 11, 2, 13], ["a", "b", "c", "d"]) };
    check("native=$native tuples", join(',', map { ref $_ ? "error" : "ok" } @status), "ok,ok,error,ok");
    check("native=$native failed state", $status[2][2], "HY000");
    die "native=$native: no UNIQUE in '$status[2][1]'\n" unless $status[2][1] =~ /UNIQUE/;
    check("native=$native stored", $dbh->selectrow_array("SELECT COUNT(*) FROM PP WHERE ID >= 10"), 3);
}
$dbh->disconnect or die "disconnect: $DBI::errstr\n";
print "ok\n";
