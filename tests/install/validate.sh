#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo configured in the build tree validate, the
# screenshot the metainfo shows is in the repository, and both name the same licence.
#   validate.sh PACKAGING_BUILD_DIR SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"

shopt -s nullglob
entries=("$1"/*.desktop)
metainfo=("$1"/*.metainfo.xml)
[ ${#entries[@]} -eq 1 ] || fail "expected one desktop entry in $1, found ${#entries[@]}"
[ ${#metainfo[@]} -eq 1 ] || fail "expected one metainfo file in $1, found ${#metainfo[@]}"

desktop-file-validate "${entries[0]}" || fail "desktop-file-validate rejects ${entries[0]}"
appstreamcli validate --no-net --pedantic "${metainfo[0]}" >&2 ||
  fail "appstreamcli rejects ${metainfo[0]}"
# The metainfo names the desktop entry that launches the application.
grep -q "<launchable type=\"desktop-id\">$(basename "${entries[0]}")</launchable>" \
  "${metainfo[0]}" || fail "the metainfo's launchable is not $(basename "${entries[0]}")"
grep -Eq '<image>https?://[^<]+/docs/screenshot\.png</image>' "${metainfo[0]}" ||
  fail "the metainfo does not show docs/screenshot.png"
[ -f "$2/docs/screenshot.png" ] &&
  [ "$(head -c 8 "$2/docs/screenshot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "$2/docs/screenshot.png is missing or not a PNG image"
# The licence: MIT, in the sources' LICENSE and named by the metainfo.
grep -q '<project_license>MIT</project_license>' "${metainfo[0]}" ||
  fail "the metainfo does not name the MIT licence"
head -1 "$2/LICENSE" | grep -qx 'MIT License' && grep -q 'The Orvanta developers' "$2/LICENSE" ||
  fail "$2/LICENSE is not the MIT licence of the Orvanta developers"
echo "desktop entry and metainfo are valid"
