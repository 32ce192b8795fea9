#!/usr/bin/env bash
# The main job on the bundled examples: a traced ODBC session. unixODBC's
# isql runs a few statements against the example SQLite database with the
# Driver Manager stand-in preloaded, and the trace library writes the log.
# Everything goes to build/demo/, made anew on every run: the database (from
# examples/odbc/demo.sql), the ini files (from examples/odbc/) and the logs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
standin="$top/build/normal/winodbctrace/libvrdmhost.so"
demo="$top/build/demo"

fail() {
  echo "demo: $*" >&2
  exit 1
}

[[ -f $standin ]] || fail "$standin is missing: build first (scripts/build.sh normal)"
for tool in isql sqlite3; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/install-deps.sh"
done
driver=$(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc\.so$' | head -n 1 || true)
[[ -n $driver && -f $driver ]] || fail "the SQLite ODBC driver is missing: run scripts/install-deps.sh"

rm -rf "$demo"
mkdir -p "$demo/logs"
sqlite3 "$demo/demo.db" <"$top/examples/odbc/demo.sql"
sed "s|@DEMO_DIR@|$demo|g" "$top/examples/odbc/odbc.ini" >"$demo/odbc.ini"
sed "s|@SQLITE_DRIVER@|$driver|g" "$top/examples/odbc/odbcinst.ini" >"$demo/odbcinst.ini"

echo "== A traced session: isql on DemoDSN ($demo/demo.db)"
# Only the demo's files: ODBCSYSINI names the folder of odbc.ini and
# odbcinst.ini, ODBCINI the user's odbc.ini.
env ODBCSYSINI="$demo" ODBCINI="$demo/odbc.ini" LD_PRELOAD="$standin" isql DemoDSN -b -v -3 -m24 <<'EOF'
SELECT name, city FROM customers ORDER BY name
SELECT c.name, p.name, o.quantity FROM orders o JOIN customers c ON c.id = o.customer_id JOIN products p ON p.id = o.product_id WHERE o.quantity >= 12 ORDER BY o.id
UPDATE products SET price = 3.75 WHERE name = 'Notebook'
SELECT name, price FROM products WHERE price < 10 ORDER BY price
EOF

# The log files are SQL_<pid>_<counter>.LOG; anything else beside them is
# a side file of the trace library.
mapfile -t logs < <(find "$demo/logs" -type f -name 'SQL_*' | sort)
mapfile -t others < <(find "$demo/logs" -type f ! -name 'SQL_*' | sort)
((${#logs[@]})) || fail "the session wrote no log in $demo/logs"
echo
echo "== The trace log"
for log in "${logs[@]}"; do
  echo "$log ($(grep -c -E 'ENTER|EXIT ' "$log") records)"
done
for other in "${others[@]}"; do
  echo "$other"
done
echo
echo "== Its first records"
head -n 60 "${logs[0]}"
echo "..."
info=$(find "$demo/logs" -type f -name '*INFO*' | head -n 1)
if [[ -n $info ]]; then
  echo
  echo "== The INFO file: the driver's facts, then the environment"
  head -n 8 "$info" | tr -d '\r'
  echo "..."
fi
echo
echo "The settings are in $demo/odbc.ini (the section [ODBC]); run the session again with"
echo "  ODBCSYSINI=$demo ODBCINI=$demo/odbc.ini LD_PRELOAD=$standin isql DemoDSN"
