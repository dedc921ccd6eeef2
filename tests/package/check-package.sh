#!/usr/bin/env bash
# The Debian package of a built tree: CPack makes it, lintian finds no error in it, it holds
# the files where they belong, and the programs run from a scratch root it is unpacked into.
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/cpack" -D CPACK_OUTPUT_FILE_PREFIX="$work/out" >/dev/null) || fail "cpack did not make the package"
deb="$(ls "$work"/out/tessel_*.deb)"
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors: $(lintian "$deb" 2>/dev/null)"
fi
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || fail "Depends lacks the Qt libraries"
dpkg-deb -f "$deb" Depends | grep -q "libsqlite3-0" || fail "Depends lacks SQLite"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tessel usr/bin/tessel-sql \
         usr/share/applications/tessel.desktop \
         usr/share/metainfo/org.example.tessel.metainfo.xml \
         usr/share/mime/packages/tessel.xml \
         usr/share/icons/hicolor/scalable/apps/tessel.svg \
         usr/share/icons/hicolor/16x16/apps/tessel.png \
         usr/share/icons/hicolor/48x48/apps/tessel.png \
         usr/share/icons/hicolor/256x256/apps/tessel.png \
         usr/share/tessel/samples.sql \
         usr/share/man/man1/tessel.1.gz usr/share/man/man1/tessel-sql.1.gz \
         usr/share/doc/tessel/copyright usr/share/doc/tessel/changelog.gz; do
    [ -e "$root/$f" ] || fail "the package lacks /$f"
done
file "$root/usr/share/icons/hicolor/48x48/apps/tessel.png" | grep -q "48 x 48" || fail "the 48x48 icon is not 48 by 48"

# The programs from the scratch root, with user folders of their own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
mkdir -p "$HOME"
"$root/usr/bin/tessel-sql" --help | grep -q "Usage: tessel-sql" || fail "tessel-sql --help"
"$root/usr/bin/tessel" --version | grep -q "^Tessel [0-9]" || fail "tessel --version"
# The installed program makes the sample tables from its shared script: a table added to
# the script shows up.
echo 'CREATE TABLE "installed.db" (X CHAR(1));' >> "$root/usr/share/tessel/samples.sql"
"$root/usr/bin/tessel-sql" --alias TESSEL_SAMPLES -c 'SELECT COUNT(*) FROM "employee.db"' >/dev/null ||
    fail "the sample alias of the installed program"
[ -e "$XDG_DATA_HOME/tessel/samples/installed.db" ] || fail "the samples were not made from /usr/share/tessel"
# The window's program, offscreen: prints a SQL file into a PDF.
printf 'SELECT *\nFROM "employee.db"\n' > "$work/q.sql"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/tessel" --print "$work/q.sql" --pdf "$work/q.pdf" >/dev/null ||
    fail "tessel --print from the package"
[ -s "$work/q.pdf" ] || fail "no PDF printed"
echo "package ok: $(basename "$deb")"
