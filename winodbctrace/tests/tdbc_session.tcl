# A Tcl session for the tests of the Driver Manager stand-in, through
# tdbc::odbc (which opens unixODBC itself and binds each function from that
# handle): connects to the data source "testdsn" with a password, creates a
# table anew, inserts rows with parameters in a transaction (its commit is
# SQLEndTran), fetches them, and runs a statement that fails. Prints what it
# saw.
#
# usage: tclsh tdbc_session.tcl
package require tdbc::odbc

tdbc::odbc::connection create db "DSN=testdsn;PWD=secret"
db allrows {DROP TABLE IF EXISTS t}
db allrows {CREATE TABLE t(a INTEGER, b TEXT)}
db transaction {
    foreach n {1 2 3} {
        set b "row $n"
        db allrows {INSERT INTO t VALUES(:n, :b)}
    }
}
set low 2
foreach row [db allrows -as lists {SELECT a, b FROM t WHERE a >= :low ORDER BY a}] {
    puts [join $row |]
}
if {[catch {db allrows {SELECT * FROM missing}} message]} {
    puts "error [lindex $::errorCode 1]"
} else {
    puts "no error"
}
db close
