#!/usr/bin/env bash
# The program on a terminal without a display: --help and --version answer (GTK's own
# options listed through --help-gtk), and scripts/run says there is no display before it
# installs or builds anything.
#   gui_command_line.sh ORVANTA SOURCE_DIR
set -euo pipefail
orvanta=$(realpath "$1")
source_dir=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY

fail() {
  echo "gui_command_line: $*" >&2
  exit 1
}

out=$("$orvanta" --version) || fail "--version exited $?"
[ "$out" = "orvanta 4.48.4" ] || fail "--version said: $out"

out=$("$orvanta" --help) || fail "--help exited $?"
for option in --version --help-gtk --display; do
  grep -q -- "$option" <<<"$out" || fail "--help does not list $option: $out"
done
out=$("$orvanta" --help-gtk) || fail "--help-gtk exited $?"
grep -q -- "--gtk-debug\|--display" <<<"$out" || fail "--help-gtk lists no GTK option: $out"

# Without a display the window cannot open: GTK says so and the program fails.
if "$orvanta" --display=:9999 2>"$work/err.txt"; then fail "opened without a display"; fi
grep -q "cannot open display" "$work/err.txt" || fail "no word on the display: $(cat "$work/err.txt")"

# scripts/run answers at once, before setting up or building (whose lines say so).
status=0
bash "$source_dir/scripts/run" >"$work/run.txt" 2>&1 || status=$?
[ "$status" = 1 ] || fail "scripts/run exited $status without a display"
grep -q "has no display" "$work/run.txt" || fail "scripts/run said: $(cat "$work/run.txt")"
if grep -q -i "build\(ing\)\? orvanta\|Installing\|locale" "$work/run.txt"; then
  fail "scripts/run set up or built before saying there is no display: $(cat "$work/run.txt")"
fi
echo "gui_command_line: passed"
