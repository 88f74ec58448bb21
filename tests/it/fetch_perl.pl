# DBD::ODBC reading the sample database through the driver manager: every
# column type with NULLs, long values beyond LongReadLen refused and then read
# whole, and all 3000 articles across the server's blocks.
use strict;
use warnings;
use DBI;

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VORN_IT_DSN}", "", "",
                       { RaiseError => 1, PrintError => 0, AutoCommit => 1, LongReadLen => 100000 })
    or die "connect: $DBI::errstr\n";

sub check {
    my ($what, $got, $want) = @_;
    $got = 'undef' unless defined $got;
    $want = 'undef' unless defined $want;
    die "$what: got '$got', want '$want'\n" unless $got eq $want;
}

my $rows = $dbh->selectall_arrayref(
    "SELECT ID, TITLE, PRICE, PUBLISHED, SHELVED, ABSTRACT, COVER FROM BOOKS ORDER BY ID");
check("books", scalar @$rows, 5);
check("title", $rows->[0][1], "Nils Holgerssons underbara resa");
check("price", $rows->[0][2] + 0, 12.5);
check("date", $rows->[0][3], "1906-11-24");
check("time", $rows->[0][4], "09:30:00");
check("cover", unpack("H*", $rows->[0][6]), "89504e470d0a1a0a0000000d49484452");
check("long abstract", length $rows->[1][5], 5040);
check("long cover", $rows->[1][6], "\0" x 6000);
check("null time", $rows->[2][4], undef);
check("null abstract", $rows->[2][5], undef);
check("binary", unpack("H*", $rows->[2][6]), "00ff00ff7f80");
check("empty abstract", $rows->[3][5], "");

# A long value larger than LongReadLen is an error unless truncation is allowed.
$dbh->{LongReadLen} = 100;
$dbh->{LongTruncOk} = 1;
my ($cut) = $dbh->selectrow_array("SELECT ABSTRACT FROM BOOKS WHERE ID = 2");
# DBD::ODBC keeps the buffer's terminator as the hundredth byte.
check("truncated", substr($cut, 0, 99), substr("Captain Nemo and the Nautilus. " . "N" x 100, 0, 99));
$dbh->{LongTruncOk} = 0;
my $failed = !eval { $dbh->selectrow_array("SELECT ABSTRACT FROM BOOKS WHERE ID = 2"); 1 };
check("truncation refused", $failed ? 1 : 0, 1);
$dbh->{LongReadLen} = 100000;

my $sth = $dbh->prepare("SELECT ID, SECTION, WORDS FROM ARTICLES ORDER BY ID");
$sth->execute;
my $n = 0;
while (my @row = $sth->fetchrow_array) {
    $n++;
    check("id", $row[0], $n);
    check("section", $row[1], (qw(news sport culture), undef)[$n % 4]);
    check("words", $row[2], ($n * 37) % 1000);
}
check("articles", $n, 3000);
$dbh->disconnect or die "disconnect: $DBI::errstr\n";
print "ok\n";
