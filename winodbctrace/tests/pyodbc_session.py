"""A pyodbc session for the tests of the Driver Manager stand-in.

Four threads at once each connect to the data source "testdsn" with a
password, on a database file of their own in <folder>, create a table anew,
insert rows with parameters and with executemany, fetch them, and run a
statement that fails. Prints what each thread saw, in thread order; exits with 1 when
something other than the failing statement failed.

usage: /usr/bin/python3 pyodbc_session.py <folder>
"""
import sys
import threading

import pyodbc

THREADS = 4


def session(number, folder):
    lines = []
    connection = pyodbc.connect(f"DSN=testdsn;Database={folder}/thread{number}.db;PWD=secret{number}")
    cursor = connection.cursor()
    cursor.execute("DROP TABLE IF EXISTS t")
    cursor.execute("CREATE TABLE t(a INTEGER, b TEXT)")
    cursor.execute("INSERT INTO t VALUES(?, ?)", number, f"one {number}")
    cursor.executemany("INSERT INTO t VALUES(?, ?)", [(n, f"many {n}") for n in range(3)])
    connection.commit()
    for row in cursor.execute("SELECT a, b FROM t WHERE a >= ? ORDER BY a, b", 1):
        lines.append(f"{row.a}|{row.b}")
    try:
        cursor.execute("SELECT * FROM missing")
        lines.append("no error")
    except pyodbc.Error as error:
        lines.append(f"error {error.args[0]}: {error.args[1]}")
    connection.close()
    return lines


def main():
    folder = sys.argv[1]
    results = [None] * THREADS

    def run(number):
        try:
            results[number] = session(number, folder)
        except pyodbc.Error as error:
            results[number] = [f"failed: {error}"]

    threads = [threading.Thread(target=run, args=(n,)) for n in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for number, lines in enumerate(results):
        for line in lines:
            print(f"{number}: {line}")
    return 1 if any(line.startswith("failed") for lines in results for line in lines) else 0


if __name__ == "__main__":
    sys.exit(main())
