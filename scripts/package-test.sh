#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, uses it as an administrator would
# (the driver registered, a data source added, shown and removed through the installed setup
# module), removes it, and checks that nothing of it is left registered.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
cmake -S . -B build-pkg -G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DKO_BENCH=OFF >/dev/null
cmake --build build-pkg --target ztbtr20s ztbtr20R ztbtr20 btrdsn converters >/dev/null
(cd build-pkg && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls build-pkg/*.deb)
name="ODBC Btrieve Driver"
unset ODBCSYSINI ODBCINI
$SUDO dpkg -i "$deb" >/dev/null
fail() { echo "package: $*" >&2; $SUDO dpkg -r odbc-btrieve-setup >/dev/null 2>&1 || true; exit 1; }
odbcinst -q -d -n "$name" | grep -q '^Setup=.*/odbc/ztbtr20s.so$' || fail "the driver is not registered"
odbcinst -q -d -n "$name" | grep -qx 'HelpRootDirectory=/usr/share/btrsetup/help' ||
    fail "the driver's help folder is not registered"
[ -f /usr/share/btrsetup/help/help.htm ] || fail "the help is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" ODBCINI="$work/odbc.ini"
: > "$ODBCINI"
mkdir "$work/data"
/usr/bin/btrdsn add DSN=PackageCheck "Database=$work/data" UT=ERROR >/dev/null || fail "add failed"
/usr/bin/btrdsn show PackageCheck | grep -q 'UndefinedTable=ERROR' || fail "show lost the attribute"
echo "" | isql -b PackageCheck >/dev/null || fail "isql cannot connect through the installed driver"
/usr/bin/btrdsn test PackageCheck >/dev/null 2>&1 || fail "the connection test failed"
/usr/bin/btrdsn uninstall --system >/dev/null 2>&1 && fail "uninstall went on while a data source uses the driver"
/usr/bin/btrdsn remove PackageCheck >/dev/null || fail "remove failed"
man -w btrdsn >/dev/null 2>&1 || [ -f /usr/share/man/man1/btrdsn.1 ] || [ -f /usr/share/man/man1/btrdsn.1.gz ] ||
    fail "no manual page"
pkg-config --exists btrsetup 2>/dev/null || PKG_CONFIG_PATH=/usr/lib/$(gcc -print-multiarch)/pkgconfig \
    pkg-config --exists btrsetup || fail "no pkg-config file"
$SUDO dpkg -r odbc-btrieve-setup >/dev/null
if odbcinst -q -d 2>/dev/null | grep -qx "\[$name\]"; then
    echo "package: the registration outlived the package" >&2
    exit 1
fi
[ ! -e /usr/bin/btrdsn ] && [ ! -e /usr/share/btrsetup/help ] || { echo "package: files left behind" >&2; exit 1; }
echo "package: installed, used and removed cleanly"
