#!/usr/bin/env bash
# The real program under the X server, driven by synthesized X input (xdotool): types into
# the form with Tab and Enter, clicks Shiny and Predict, reads the diagnostic block on
# standard output and the window's width after each prediction, saves a screenshot and
# closes the window, which must end the program with status 0.
#   gui_e2e.sh ORVANTA WRITE_NETWORKS CLOSE_WINDOW OUT_DIR
set -euo pipefail
orvanta=$(realpath "$1")
write_networks=$(realpath "$2")
close_window=$(realpath "$3")
out_dir=$(realpath "$4")
title='^Orvanta BETA v4\.48\.4$'

if [ -z "${DISPLAY:-}" ]; then
  echo "gui_e2e: no X display; run under xvfb-run" >&2
  exit 1
fi

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "gui_e2e: $*" >&2
  echo "--- standard output:" >&2
  cat "$work/stdout.txt" >&2 || true
  echo "--- standard error:" >&2
  cat "$work/stderr.txt" >&2 || true
  exit 1
}

# Polls every 20 ms, up to 10 s, until the command succeeds.
wait_until() {
  local i
  for i in $(seq 500); do
    if "$@"; then return 0; fi
    sleep 0.02
  done
  return 1
}

# The program reads its networks from ./ptp below the working folder, then from the
# seller's own folder: a home of the test's own keeps the machine's out, and nothing of the
# machine's own settings (a desktop font) reaches the window.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME" "$work/ptp"
"$write_networks" "$work/ptp"
cd "$work"
# A GTK option (every GTK warning then ends the program) and an argument of no meaning,
# which the program ignores.
NO_AT_BRIDGE=1 GDK_BACKEND=x11 "$orvanta" --g-fatal-warnings ignored-argument \
  >stdout.txt 2>stderr.txt &
pid=$!

wid=
find_window() {
  kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
  wid=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1)
  [ -n "$wid" ]
}
wait_until find_window || fail "the window did not appear"

width() { xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p'; }
height() { xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'; }
# Clicks at (x, y) in the window: the form's fixed positions plus a few pixels.
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }
# Clicks into an entry, clears it and types a text.
retype() {
  click "$1" "$2"
  xdotool key ctrl+a BackSpace
  xdotool type --delay 5 "$3"
}
# Types each text and moves on with Tab.
type_tabbed() {
  local text
  for text in "$@"; do
    xdotool type --delay 5 "$text"
    xdotool key Tab
  done
}
numbers_printed() { grep -c '^[0-9]*\.[0-9]*$' stdout.txt || true; }
printed_at_least() { [ "$(numbers_printed)" -ge "$1" ]; }
width_is() { [ "$(width)" = "$1" ]; }
width_at_least() { [ "$(width)" -ge "$1" ]; }
width_below() { [ "$(width)" -lt "$1" ]; }

[ "$(width)" = 416 ] || fail "the window opened $(width) wide, not 416"
[ "$(height)" = 405 ] || fail "the window opened $(height) high, not 405"

# The diagnostic block of the test networks: the means of outputs 0 to 3, then each
# network's outputs 0 to 3, each group after an empty line, two empty lines at the end.
# Appends the block to expected.txt; the first two numbers change with the shiny flag.
expect_block() {
  printf '\n%s\n0.500000\n0.500000\n0.500000\n' "$1" "$2" 0.268941 0.731059 >>expected.txt
  printf '\n\n' >>expected.txt
}
: >expected.txt

# 1. Eevee, one of its reference spreads (Psychic): typed with Tab from National ID
#    through SPD, then Enter.
click 106 54
type_tabbed 133 50 16 9 5 29 29
xdotool type --delay 5 24
xdotool key Return
wait_until printed_at_least 16 || fail "no diagnostic block after the first prediction"
expect_block 0.500000 0.500000
cmp -s stdout.txt expected.txt || fail "wrong diagnostic block after the first prediction"
wait_until width_is 416 || fail "the plain result left the window $(width) wide"

# 2. Shiny, and a Fire Hidden Power (the addition): clicks into the IV entries, then on
#    Predict. The window widens to at least 709.
click 96 23
retype 106 132 31
retype 106 171 30
retype 106 210 31
retype 106 249 30
retype 106 288 31
retype 106 327 30
click 170 327
wait_until printed_at_least 32 || fail "no diagnostic block after the second prediction"
expect_block 0.574642 0.723927
cmp -s stdout.txt expected.txt || fail "wrong diagnostic block after the shiny prediction"
wait_until width_at_least 709 || fail "the Hidden Power addition left the window $(width) wide"
[ "$(height)" = 405 ] || fail "the Hidden Power addition left the window $(height) high"
wide=$(width)
sleep 0.2  # let the labels draw before the screenshot
import -window "$wid" "$out_dir/gui_e2e.png" || fail "no screenshot"

# 3. A level above 100: a message, and the addition goes with the result it belonged to:
#    the window narrows (to the message's own width, a little over 416).
retype 106 93 101
xdotool key Return
wait_until width_below "$wide" || fail "the level message left the window $(width) wide"
[ "$(width)" -lt 709 ] || fail "the level message left the window $(width) wide"
[ "$(numbers_printed)" = 32 ] || fail "a refused level printed a diagnostic block"

# 4. Not shiny again, the reference spread: the window narrows to 416.
click 96 23
retype 106 93 50
retype 106 132 16
xdotool key Tab
type_tabbed 9 5 29 29
xdotool type --delay 5 24
xdotool key Return
wait_until printed_at_least 48 || fail "no diagnostic block after the last prediction"
expect_block 0.500000 0.500000
cmp -s stdout.txt expected.txt || fail "wrong diagnostic block after the last prediction"
wait_until width_is 416 || fail "the plain result after the addition left the window $(width) wide"

# Closing the window ends the program with status 0.
"$close_window" "$wid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || fail "the program ended with status $status after the window closed"
if grep -E 'CRITICAL|WARNING' stderr.txt >&2; then fail "GTK complained"; fi
echo "gui_e2e: passed; screenshot in $out_dir/gui_e2e.png"
