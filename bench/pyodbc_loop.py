"""What tracing costs a pyodbc program: a loop of 20,000 executes against
SQLite (each a SELECT of one row by its key with a parameter, fetched), in
four configurations, each run a process of its own:

  untraced      unixODBC alone
  vrtrc_file    libvrtrc28.so through the preloaded Driver Manager stand-in,
                file sink (ODBCTraceMode=0, the other settings at their
                defaults: a write for every record)
  vrtrc_memory  the same with the memory sink (ODBCTraceMode=2)
  unixodbc      unixODBC's own tracing (Trace=Yes in the section "ODBC" of
                ODBCINST.INI), the stand-in not preloaded

The child times its loop alone (connecting and loading the libraries stay
outside). The configurations' runs are interleaved, five rounds; the medians
are shown as ratios to the untraced one.

usage: /usr/bin/python3 bench/pyodbc_loop.py [build directory]   (build/normal)
       /usr/bin/python3 bench/pyodbc_loop.py --loop <DSN> <executes>   (a child)
"""
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SQLITE_DRIVER = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"
PYTHON = "/usr/bin/python3"  # the interpreter Debian's python3-pyodbc belongs to
DSN = "benchdsn"
EXECUTES = 20000
ROWS = 100
ROUNDS = 5

# name, stand-in preloaded, unixODBC's own trace, ODBCTraceMode (None: no trace section)
CONFIGURATIONS = [
    ("untraced", False, False, None),
    ("vrtrc_file", True, False, "0"),
    ("vrtrc_memory", True, False, "2"),
    ("unixodbc", False, True, None),
]


def loop(dsn, executes):
    """The child: prints the loop's nanoseconds and whether libvrtrc28.so is loaded."""
    import pyodbc

    connection = pyodbc.connect(f"DSN={dsn}", autocommit=True)
    cursor = connection.cursor()
    start = time.perf_counter_ns()
    total = 0
    for i in range(executes):
        cursor.execute("SELECT id, name FROM items WHERE id = ?", i % ROWS + 1)
        total += cursor.fetchone()[0]
    elapsed = time.perf_counter_ns() - start
    connection.close()
    loaded = "libvrtrc28.so" in pathlib.Path("/proc/self/maps").read_text()
    print(elapsed, 1 if loaded and total > 0 else 0)


def write_configuration(folder, database, traced_by_unixodbc, trace_mode):
    folder.mkdir()
    (folder / "logs").mkdir()
    odbcinst = ""
    if traced_by_unixodbc:
        odbcinst += f"[ODBC]\nTrace=Yes\nTraceFile={folder / 'logs' / 'unixodbc.log'}\n\n"
    odbcinst += f"[SQLite3]\nDescription=SQLite 3\nDriver={SQLITE_DRIVER}\n"
    (folder / "odbcinst.ini").write_text(odbcinst)
    odbc = ""
    if trace_mode is not None:
        odbc += f"[ODBC]\nTrace=Yes\nTraceFile={folder / 'logs' / 'SQL.LOG'}\nODBCTraceMode={trace_mode}\n\n"
    odbc += f"[{DSN}]\nDriver=SQLite3\nDatabase={database}\n"
    (folder / "odbc.ini").write_text(odbc)


def environment(folder, preload, stand_in):
    env = {k: v for k, v in os.environ.items() if k not in ("ODBCSYSINI", "ODBCINI", "HOME", "LD_PRELOAD")}
    env.update(ODBCSYSINI=str(folder), HOME=str(folder))
    if preload:
        env["LD_PRELOAD"] = str(stand_in)
    return env


def log_bytes(folder):
    """Bytes in the configuration's log folder, which is emptied for the next run."""
    total = 0
    for entry in (folder / "logs").iterdir():
        total += entry.stat().st_size
        entry.unlink()
    return total


def run_once(name, preload, unixodbc, mode, folder, stand_in):
    child = subprocess.run([PYTHON, __file__, "--loop", DSN, str(EXECUTES)], env=environment(folder, preload, stand_in),
                           capture_output=True, text=True, check=False)
    words = child.stdout.split()
    if child.returncode != 0 or len(words) != 2:
        sys.exit(f"{name}: the child failed: {child.stderr}")
    if (words[1] == "1") != preload:
        sys.exit(f"{name}: libvrtrc28.so was {'' if words[1] == '1' else 'not '}loaded")
    written = log_bytes(folder)
    if (unixodbc or mode == "0") and written == 0:
        sys.exit(f"{name}: no log was written")
    return int(words[0]) / 1e9, written


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/normal").resolve()
    stand_in = build / "winodbctrace" / "libvrdmhost.so"
    if not stand_in.exists():
        sys.exit(f"the Driver Manager stand-in is not built: {stand_in}")
    if not pathlib.Path(SQLITE_DRIVER).exists():
        sys.exit(f"the SQLite ODBC driver is not installed: {SQLITE_DRIVER}")
    top = pathlib.Path(tempfile.mkdtemp(prefix="pyodbc_loop_"))
    try:
        database = top / "bench.db"
        subprocess.run(["sqlite3", str(database)], input="CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT);\n" +
                       "".join(f"INSERT INTO items VALUES ({i}, 'item {i}');\n" for i in range(1, ROWS + 1)),
                       text=True, check=True)
        for name, _, unixodbc, mode in CONFIGURATIONS:
            write_configuration(top / name, database, unixodbc, mode)
        times = {name: [] for name, *_ in CONFIGURATIONS}
        logs = {}
        for _ in range(ROUNDS):
            for name, preload, unixodbc, mode in CONFIGURATIONS:
                seconds, logs[name] = run_once(name, preload, unixodbc, mode, top / name, stand_in)
                times[name].append(seconds)
        base = statistics.median(times["untraced"])
        print(f"pyodbc, {EXECUTES} executes, median of {ROUNDS} runs each:")
        for name, *_ in CONFIGURATIONS:
            median = statistics.median(times[name])
            print(f"  {name:<13} {median * 1000:8.0f} ms  {median / base:6.2f}x  log {logs[name] / 2**20:7.1f} MiB")
    finally:
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--loop":
        loop(sys.argv[2], int(sys.argv[3]))
    else:
        main()
