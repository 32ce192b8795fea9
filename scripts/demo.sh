#!/usr/bin/env bash
# The main job on the bundled examples:
# 1. the branding tool brands a copy of the example driver directory (the
#    tool brands in place) in console mode, and the demo shows what changed:
#    the old and new names, texts inside a library, its version resource
#    before and after (read back by pefile);
# 2. a traced ODBC session: unixODBC's isql runs a few statements against
#    the example SQLite database with the Driver Manager stand-in in front of
#    unixODBC (its folder first in LD_LIBRARY_PATH), and the trace library
#    writes the log.
# Everything goes to build/demo/, made anew on every run: the branded copy,
# the database (from examples/odbc/demo.sql), the ini files (from
# examples/odbc/) and the logs.
#   scripts/demo.sh                  the programs of build/normal
#   scripts/demo.sh --prefix DIR     the programs installed under DIR
#                                    (cmake --install build/normal --prefix DIR)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
demo="$top/build/demo"
if [[ ${1:-} == --prefix ]]; then
  prefix=$(cd "${2:?--prefix needs a directory}" && pwd)
  vrbrd28="$prefix/bin/vrbrd28"
  standin="$prefix/lib/vrdmhost"
  drivers="$prefix/share/vrtools/examples/drivers"
else
  vrbrd28="$top/build/normal/misc/brand/vrbrd28"
  standin="$top/build/normal/winodbctrace/vrdmhost"
  drivers="$top/build/normal/examples/drivers"
fi
pecheck=(/usr/bin/python3 "$top/testing/pe/pe_check.py")

fail() {
  echo "demo: $*" >&2
  exit 1
}

for built in "$vrbrd28" "$standin/libodbc.so.2" "$drivers/vrbrand.inf"; do
  [[ -f $built ]] || fail "$built is missing: build first (scripts/build.sh normal)"
done
for tool in isql sqlite3; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/install-deps.sh"
done
driver=$(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc\.so$' | head -n 1 || true)
[[ -n $driver && -f $driver ]] || fail "the SQLite ODBC driver is missing: run scripts/install-deps.sh"

rm -rf "$demo"
mkdir -p "$demo/logs" "$demo/brand"

# --- Branding ---------------------------------------------------------------
brand="$demo/brand"
cp -r "$drivers/driver" "$drivers/tools" "$drivers/vrbrand.inf" "$brand/"
echo "== Branding a copy of the example driver directory ($brand/driver)"
echo "   the files as shipped:"
ls "$brand/driver" | sed 's/^/     /'
# The INF is read from the current directory (after the program's own);
# "Press any key to exit..." takes the end of the input.
words=(XY "$brand/driver" "Acme Corp" "Acme ODBC" MP Acme 32 09.01)
echo "   vrbrd28 ${words[*]}"
(cd "$brand" && "$vrbrd28" "${words[@]}" </dev/null) || fail "vrbrd28 failed"
echo
echo "   the directory afterwards (the new files beside the old ones):"
ls "$brand/driver" | sed 's/^/     /'
echo
echo "== Texts inside the library, before (vrora28.dll) and after (xyora32.dll)"
for file in vrora28.dll xyora32.dll; do
  echo "   $file:"
  strings -n 7 "$brand/driver/$file" | grep -E -i 'vr|xy|ODBC|Provider|Version|\{' | sed 's/^/     /'
done
echo
echo "== The version resource before and after, read by pefile"
for file in vrora28.dll xyora32.dll; do
  echo "   $file:"
  "${pecheck[@]}" dump "$brand/driver/$file" | grep -E '^(checksum|string|fixed FileVersion)' | sed 's/^/     /'
done
echo

# --- Tracing ------------------------------------------------------------------
sqlite3 "$demo/demo.db" <"$top/examples/odbc/demo.sql"
sed "s|@DEMO_DIR@|$demo|g" "$top/examples/odbc/odbc.ini" >"$demo/odbc.ini"
sed "s|@SQLITE_DRIVER@|$driver|g" "$top/examples/odbc/odbcinst.ini" >"$demo/odbcinst.ini"

echo "== A traced session: isql on DemoDSN ($demo/demo.db)"
# Only the demo's files: ODBCSYSINI names the folder of odbc.ini and
# odbcinst.ini, ODBCINI the user's odbc.ini.
env ODBCSYSINI="$demo" ODBCINI="$demo/odbc.ini" LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" isql DemoDSN -b -v -3 -m24 <<'EOF'
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
echo "  ODBCSYSINI=$demo ODBCINI=$demo/odbc.ini LD_LIBRARY_PATH=$standin isql DemoDSN"
