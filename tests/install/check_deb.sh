#!/usr/bin/env bash
# CPack builds the Debian package; its dependencies are real packages, satisfied here; it
# installs below /usr with its licence and changelog; lintian finds no error and no
# warning in it; unpacked into a throwaway root, its orvanta-cli prices a Pokémon with the
# networks it brought, and others from ./ptp and the seller's own folder.
#   check_deb.sh BUILD_DIR VERSION PROGRAM...
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=$1
version=$2
shift 2
programs=("$@")

tmp=$(mktemp -d)
keep_install_manifest "$build" "$tmp"
trap 'restore_install_manifest; rm -rf "$tmp"' EXIT
# Nothing the machine's user has set up reaches the tools run here, and they write nowhere
# else.
mkdir -p "$tmp/home" "$tmp/data"
export HOME=$tmp/home XDG_DATA_HOME=$tmp/data

# The programs are built already. With the Makefile generator cpack would first run
# `make preinstall`, a build of everything, in the middle of the test run; naming a
# generator that has no preinstall step makes it install the files as they are.
(cd "$build" && "${CPACK:-cpack}" -G DEB -B "$tmp/package" -D CPACK_CMAKE_GENERATOR=Ninja \
  >"$tmp/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$tmp/cpack.log")"
deb=$tmp/package/orvanta_${version}-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$tmp/package")"

[ "$(dpkg-deb -f "$deb" Package)" = orvanta ] || fail "package name is not orvanta"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "package version is not $version-1"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "package section is not utils"

# Debian's own checks: errors and warnings fail the package; information and pedantic
# tags are listed for the record.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup installs it)"
status=0
lintian --display-info --pedantic --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1 || status=$?
cat "$tmp/lintian"
if grep -E '^[EW]: ' "$tmp/lintian" >&2; then fail "lintian reports errors or warnings"; fi
# lintian answers 1 when it found a tag of the level it fails on (errors), anything else
# above 0 when it could not check.
[ "$status" -le 1 ] || fail "lintian could not check the package (exit status $status)"

# Dependencies: read off the programs, so each names a library package in a version this
# machine has (and the window brings in GTK 3).
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
needed=(libc6 libstdc++6)
if printf '%s\n' "${programs[@]}" | grep -qx orvanta; then needed+=(libgtk-3-0); fi
for name in "${needed[@]}"; do
  grep -qxF "$name" <<<"$names" || fail "Depends lacks $name: $depends"
done
IFS=',' read -ra relations <<<"$depends"
for relation in "${relations[@]}"; do
  name=$(awk '{print $1}' <<<"$relation")
  have=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || fail "$name is no installed package"
  if [[ $relation =~ \(([<>=]+)\ ([^\)]+)\) ]]; then
    op=${BASH_REMATCH[1]}
    want=${BASH_REMATCH[2]}
    case $op in '>=') op=ge ;; '<=') op=le ;; '=') op=eq ;; '>>') op=gt ;; '<<') op=lt ;; esac
    dpkg --compare-versions "$have" "$op" "$want" || fail "$name $have does not satisfy $relation"
  fi
done

# Contents: everything below /usr, nothing below /usr/local.
dpkg-deb -c "$deb" >"$tmp/contents"
grep -q '\./usr/local' "$tmp/contents" && fail "the package installs into /usr/local"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
for program in "${programs[@]}"; do
  [ -x "$root/usr/bin/$program" ] || fail "the package lacks /usr/bin/$program"
  check_man_page "$root/usr/share/man/man1/$program.1.gz" "$program"
done
ls "$root"/usr/share/orvanta/ptp/*.tp >/dev/null 2>&1 || fail "the package lacks the networks"
doc=$root/usr/share/doc/orvanta
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$doc/copyright" || fail "the package lacks a machine-readable usr/share/doc/orvanta/copyright"
grep -qx 'License: Expat' "$doc/copyright" || fail "the copyright file does not name the MIT licence"
zcat "$doc/changelog.Debian.gz" | head -1 | grep -q "^orvanta ($version-1) " ||
  fail "the changelog's newest entry is not $version-1"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/orvanta.svg" ] || fail "the package lacks the icon"
ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || fail "the package lacks the metainfo"
shopt -s nullglob
entries=("$root"/usr/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] || fail "expected one desktop entry in the package, found ${#entries[@]}"
check_desktop_entry "${entries[0]}"

if [ -x "$root/usr/bin/orvanta-cli" ]; then
  check_prices_along_search_path "$root/usr/bin/orvanta-cli"
fi
echo "$(basename "$deb") installs and prices"
