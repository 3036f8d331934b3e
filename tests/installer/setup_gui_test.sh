#!/usr/bin/env bash
# Drives the real SetUp under a virtual X server: a renamed copy started from another folder
# is clicked through its pages at the buttons' positions and must write its payload into
# the Vocarda folder; a second run meets an unwritable target and is left with Cancel.
# With QRVN_SETUP_SHOTS set to a folder, a PNG of each page is saved there.
set -euo pipefail
setup=$1
payload=$2
[ -f "$setup" ] && [ -f "$payload" ] || { echo "FAIL: no installer $setup or payload $payload"; exit 1; }
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then echo "skipped: $tool is not installed"; exit 77; fi
done

tmp=$(mktemp -d)
xvfb_pid=""
setup_pid=""
cleanup() {
  [ -n "$setup_pid" ] && kill "$setup_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Polls a condition for at most about ten seconds.
wait_for() {
  local i
  for i in $(seq 200); do
    if eval "$1"; then return 0; fi
    sleep 0.05
  done
  fail "timed out waiting for: $1"
}

# A prepared Vocarda installation, named in the registry with a trailing separator.
export QRVN_ROOT=$tmp/root
vocarda="$tmp/Program Files/Vocarda"
for f in VDService/VDService.exe VDService/VDLauncher.exe VDHttpServer/VDHttp.exe \
         VDManager/VDManager.exe VDManager/RL VDManager/RE VDManager/data; do
  mkdir -p "$(dirname "$vocarda/$f")"
  echo x >"$vocarda/$f"
done
mkdir -p "$QRVN_ROOT"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vocarda4]\r\n"path"="%s/"\r\n' \
  "$vocarda" >"$QRVN_ROOT/registry.reg"
target="$vocarda/VDHttpServer/VDCti.exe"

# The installer under another name, started from another folder.
mkdir -p "$tmp/downloads" "$tmp/cwd"
cp "$setup" "$tmp/downloads/Установщик"
installer="$tmp/downloads/Установщик"

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
wait_for '[ -s "$tmp/display" ]'
export DISPLAY=":$(head -n1 "$tmp/display")"

title="Установка Vocarda CTI"
start_setup() {
  (cd "$tmp/cwd" && exec "$installer") &
  setup_pid=$!
  # (xdotool's name patterns do not match Cyrillic, so the title is compared afterwards.)
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "Vocarda CTI\$" | head -n1) || true
  [ -n "$wid" ] || fail "the wizard window did not appear"
  [ "$(xdotool getwindowname "$wid")" = "$title" ] || fail "wrong window title"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  [ "$WIDTH" = 496 ] && [ "$HEIGHT" = 361 ] || fail "window is ${WIDTH}x${HEIGHT}, not 496x361"
  win_x=$X
  win_y=$Y
}
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }
forward() { click 360 336; }
cancel() { click 448 336; }
accept() { click 31 282; }
visible_windows() { xdotool search --onlyvisible --name "Vocarda CTI\$" 2>/dev/null | wc -l; }
finished() {
  timeout 20 tail --pid="$setup_pid" -f /dev/null || fail "SetUp did not end"
  local code=0
  wait "$setup_pid" || code=$?
  setup_pid=""
  [ "$code" = 0 ] || fail "SetUp ended with exit code $code"
}
shot() {
  [ -n "${QRVN_SETUP_SHOTS:-}" ] && command -v import >/dev/null || return 0
  sleep 0.3  # let the last click's redraw reach the server
  if [ "${2:-}" = screen ]; then
    import -display "$DISPLAY" -window root "$QRVN_SETUP_SHOTS/$1.png"
  else
    import -display "$DISPLAY" -window root -crop "496x361+$win_x+$win_y" +repage \
      "$QRVN_SETUP_SHOTS/$1.png"
  fi
}

# First run: welcome, agreement (forward disabled until accepted), copy, finish.
start_setup
shot 1-welcome
forward
shot 2-agreement
forward  # disabled while the decline option is selected
accept
shot 2-agreement-accepted
forward
wait_for '[ -f "$target" ] && cmp -s "$target" "$payload"'
shot 4-finish
forward  # "Готово"
finished
cmp "$target" "$payload" || fail "VDCti.exe differs from the payload"

# Second run: the target cannot be created; the error shows over the copying page, and
# Cancel still closes the wizard.
rm -f "$target"
mkdir "$target"
start_setup
forward
accept
forward
wait_for '[ "$(visible_windows)" -ge 2 ]'
shot 3-copying
shot 3-copying-error screen
alert=$(xdotool search --onlyvisible --name "Vocarda CTI\$" | grep -vx "$wid" | head -n1)
# Return presses the alert's default button; the pointer over it gives it the keyboard.
xdotool mousemove --window "$alert" 20 20 key Return
wait_for '[ "$(visible_windows)" -eq 1 ]'
cancel
finished
[ -d "$target" ] || fail "the unwritable target was touched"
echo "ok"
