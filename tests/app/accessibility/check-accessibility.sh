#!/usr/bin/env bash
# Starts Tessel under Xvfb with the accessibility bus on, opens a sample table from the
# command line, and reads the window back with an AT-SPI client.
# Usage: check-accessibility.sh BIN_DIR
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in dbus-run-session xvfb-run /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || { echo "SKIP: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$bin/tessel-sql" --alias TESSEL_SAMPLES -c 'SELECT COUNT(*) FROM "employee.db"' >/dev/null
cat > "$work/session.sh" <<INNER
#!/usr/bin/env bash
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
sleep 0.5
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$bin/tessel" "$XDG_DATA_HOME/tessel/samples/employee.db" >/dev/null 2>&1 &
app=\$!
status=0
timeout 60 /usr/bin/python3 "$here/read-accessibility.py" || status=\$?
kill \$app 2>/dev/null || true
exit \$status
INNER
chmod +x "$work/session.sh"
dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" "$work/session.sh" 2>/dev/null
