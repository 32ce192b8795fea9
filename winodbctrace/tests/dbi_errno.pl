# A Perl DBI session for the tests of the Driver Manager stand-in: connects
# to the data source "testdsn" through DBD::ODBC, runs a statement that
# fails, and prints errno as the failed statement left it.
#
# usage: perl dbi_errno.pl
use strict;
use warnings;
use DBI;

my $dbh = DBI->connect("dbi:ODBC:DSN=testdsn", "", "secret", {RaiseError => 0, PrintError => 0})
    or die "connect failed: $DBI::errstr\n";
$! = 0;
my $done = $dbh->do("SELECT * FROM missing");
my $errno = $! + 0;
print defined $done ? "no error\n" : "error, errno $errno\n";
$dbh->disconnect;
