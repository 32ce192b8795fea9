#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need on Debian 12.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config python3
  libicu-dev icu-devtools
  unixodbc odbcinst unixodbc-dev libsqliteodbc sqlite3
  python3-pyodbc libdbd-odbc-perl php8.2-cli php8.2-odbc tcl8.6-tdbc-odbc
  libgtest-dev libgmock-dev libbenchmark-dev
  binutils-mingw-w64-x86-64 python3-pefile
  tmux
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
