# DBD::ODBC through the driver manager: DBI->connect switches autocommit on
# and fails if the driver refuses; switching it off is answered with a changed
# value (01S02), not an error, and the driver reports autocommit still on.
# Then get_info with what DBD::ODBC asks at connect, table_info, column_info
# and primary_key over the sample database, and an escape sequence.
use strict;
use warnings;
use DBI;

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VORN_IT_DSN}", "", "",
                       { RaiseError => 1, PrintError => 0, AutoCommit => 1 })
    or die "connect: $DBI::errstr\n";
die "AutoCommit is off after connecting\n" unless $dbh->{AutoCommit};
$dbh->{AutoCommit} = 0;  # RaiseError: a refusal would die here
die "AutoCommit reads as off: the driver only commits automatically\n" unless $dbh->{AutoCommit};

my @failures;
sub check {
    my ($what, $got, $want) = @_;
    $got = defined $got ? $got : 'undef';
    push @failures, "$what: got '$got', want '$want'" unless $got eq $want;
}

check('DBMS name', $dbh->get_info(17), 'VORN');
check('DBMS version', $dbh->get_info(18), '2.3-0250');
check('driver ODBC version', $dbh->get_info(77), '03.52');
check('max column name', $dbh->get_info(30), 255);
check('catalog name', $dbh->get_info(10003), 'Y');
check('schema usage', $dbh->get_info(91), 0);

my $t = $dbh->table_info(undef, undef, 'BOOKS', undef)->fetchall_arrayref({});
check('table rows', scalar @$t, 1);
check('table name', $t->[0]{TABLE_NAME}, 'BOOKS') if @$t;
check('table type', $t->[0]{TABLE_TYPE}, 'TABLE') if @$t;

my $c = $dbh->column_info(undef, undef, 'AUTHORS', undef)->fetchall_arrayref({});
check('columns', join(',', map { $_->{COLUMN_NAME} } @$c), 'ID,NAME,COUNTRY,BORN');
check('column types', join(',', map { $_->{DATA_TYPE} } @$c), '4,12,12,91');
check('nullable', join(',', map { $_->{IS_NULLABLE} } @$c), 'YES,NO,YES,YES');

check('column sizes', join(',', map { $_->{COLUMN_SIZE} } @$c), '10,60,40,10');
my @keys = $dbh->primary_key(undef, undef, 'AUTHORS');
check('primary key', join(',', @keys), 'ID');
my $none = $dbh->table_info(undef, undef, "x' OR '1'='1", undef)->fetchall_arrayref;
check('injection through table_info', scalar @$none, 0);
$none = $dbh->column_info(undef, undef, "AUTHORS' OR '1'='1", undef)->fetchall_arrayref;
check('injection through column_info', scalar @$none, 0);

# Escape sequences reach the server as its own SQL.
my ($upper) = $dbh->selectrow_array(
    "SELECT {fn UCASE(NAME)} FROM AUTHORS WHERE BORN = {d '1828-02-08'} AND ID = ?", undef, 2);
check('escapes', $upper, 'JULES VERNE');

$dbh->disconnect or die "disconnect: $DBI::errstr\n";
die join("\n", @failures) . "\n" if @failures;
print "ok\n";
