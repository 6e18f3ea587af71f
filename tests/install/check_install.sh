#!/usr/bin/env bash
# `cmake --install` into a staging folder lays out programs, networks, desktop entry, icon,
# metainfo and manual pages as documented, and the installed orvanta-cli prices a species
# from each folder of its search path: the working folder's ./ptp, the seller's own folder
# and the networks installed beside it.
#   check_install.sh BUILD_DIR SOURCE_DIR PROGRAM...
# The staged prefix (/opt/orvanta) differs from the configured one on purpose: the
# programs must find the networks installed beside them wherever that is.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=$1
source_dir=$2
shift 2
programs=("$@")

tmp=$(mktemp -d)
keep_install_manifest "$build" "$tmp"
trap 'restore_install_manifest; rm -rf "$tmp"' EXIT

prefix=/opt/orvanta
DESTDIR="$tmp/stage" "${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$tmp/install.log" ||
  fail "cmake --install failed: $(cat "$tmp/install.log")"
root=$tmp/stage$prefix

for program in "${programs[@]}"; do
  [ -x "$root/bin/$program" ] || fail "bin/$program is not installed"
  check_man_page "$root/share/man/man1/$program.1.gz" "$program"
done

# The bundled networks, every one of them.
bundled=$source_dir/share/orvanta/ptp
[ -d "$bundled" ] || fail "there are no bundled networks in $bundled"
expected=$(cd "$bundled" && ls -- *.tp | sort)
installed=$(cd "$root/share/orvanta/ptp" && ls -- *.tp | sort)
[ -n "$expected" ] || fail "no bundled networks in $bundled"
[ "$expected" = "$installed" ] || fail "share/orvanta/ptp does not hold the bundled networks"
for network in $expected; do
  cmp -s "$bundled/$network" "$root/share/orvanta/ptp/$network" ||
    fail "share/orvanta/ptp/$network differs from the bundled one"
done

shopt -s nullglob
entries=("$root"/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] || fail "expected one desktop entry, found ${#entries[@]}"
check_desktop_entry "${entries[0]}"

icon=$root/share/icons/hicolor/scalable/apps/orvanta.svg
[ -f "$icon" ] && grep -q '<svg' "$icon" || fail "no SVG icon at $icon"

metainfo=("$root"/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] || fail "expected one metainfo file, found ${#metainfo[@]}"
appstreamcli validate --no-net "${metainfo[0]}" >&2 || fail "appstreamcli rejects the metainfo"

for program in orvanta-cli orvanta-train; do
  if [ -x "$root/bin/$program" ]; then
    check_options_documented "$root/bin/$program" "$root/share/man/man1/$program.1.gz"
  fi
done
if [ -x "$root/bin/orvanta-cli" ]; then
  check_prices_along_search_path "$root/bin/orvanta-cli"
fi
echo "staged install under $prefix is complete"
