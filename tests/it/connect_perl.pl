# DBD::ODBC through the driver manager: DBI->connect switches autocommit on
# and fails if the driver refuses; switching it off is answered with a changed
# value (01S02), not an error, and the driver reports autocommit still on.
use strict;
use warnings;
use DBI;

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VORN_IT_DSN}", "", "",
                       { RaiseError => 1, PrintError => 0, AutoCommit => 1 })
    or die "connect: $DBI::errstr\n";
die "AutoCommit is off after connecting\n" unless $dbh->{AutoCommit};
$dbh->{AutoCommit} = 0;  # RaiseError: a refusal would die here
die "AutoCommit reads as off: the driver only commits automatically\n" unless $dbh->{AutoCommit};
$dbh->disconnect or die "disconnect: $DBI::errstr\n";
print "ok\n";
