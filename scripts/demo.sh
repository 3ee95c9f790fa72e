#!/usr/bin/env bash
# The main job on a private sandbox: installs what is missing, builds, registers the driver in a
# unixODBC configuration inside the checkout (sandbox/), adds a demo data source and shows it.
# Running it again keeps whatever else the sandbox holds: files are created only when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target btrdsn
root=$PWD/sandbox
mkdir -p "$root/home" "$root/data"
export ODBCSYSINI=$root ODBCINI=$root/odbc.ini HOME=$root/home
for f in "$root/odbcinst.ini" "$root/odbc.ini"; do
  [ -e "$f" ] || : > "$f"
done
tool=build/bin/btrdsn
$tool install
$tool add DSN=Demo "Description=Demo Btrieve data" "Database=$root/data" DFE=DAT UT=ERROR
$tool show Demo
echo
echo "sandbox: ODBCSYSINI=$ODBCSYSINI ODBCINI=$ODBCINI"
