# Helpers shared by the install checks (sourced, not run).

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Installing, and CPack, rewrite <build>/install_manifest.txt. It is the list a user's own
# `cmake --install` left there for uninstalling, so keep a copy and put it back afterwards.
# Call keep_install_manifest BUILD_DIR TMP_DIR once; restore_install_manifest runs at exit.
keep_install_manifest() {
  manifest=$1/install_manifest.txt
  manifest_copy=$2/install_manifest.txt.kept
  if [ -e "$manifest" ]; then cp -p "$manifest" "$manifest_copy"; fi
}
restore_install_manifest() {
  if [ -e "$manifest_copy" ]; then
    cp -p "$manifest_copy" "$manifest"
  else
    rm -f "$manifest"
  fi
}

# check_desktop_entry FILE: the entry validates, leaves the working folder to the user's
# session (the window finds its networks along its search path), and names the program and
# icon that are installed.
check_desktop_entry() {
  desktop-file-validate "$1" || fail "desktop-file-validate rejects $1"
  ! grep -q '^Path=' "$1" || fail "$1 pins the working folder: $(grep '^Path=' "$1")"
  grep -qx 'Exec=orvanta' "$1" || fail "$1: Exec= is not orvanta"
  grep -qx 'Icon=orvanta' "$1" || fail "$1: Icon= is not orvanta"
  grep -qx 'Terminal=false' "$1" || fail "$1: Terminal= is not false"
}

# check_man_page PAGE.gz PROGRAM: a gzipped roff page for PROGRAM in section 1.
check_man_page() {
  [ -f "$1" ] || fail "missing manual page $1"
  gzip -t "$1" || fail "$1 is not gzip data"
  zcat "$1" | grep -q "^\.TH \"$2\" \"1\"" || fail "$1 has no .TH header for $2(1)"
}

# check_options_documented PROGRAM PAGE.gz: every long option PROGRAM lists for --help has
# an entry in its manual page, and every option the page describes is one PROGRAM knows.
check_options_documented() {
  local help page_options help_options option
  help=$("$1" --help) || fail "$1 --help failed"
  help_options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
  [ -n "$help_options" ] || fail "$1 --help lists no option"
  # An option's entry starts a line with it in bold: "\fB-h\fR, \fB--help\fR".
  page_options=$(zcat "$2" | grep '^\\fB-' | grep -o '\\fB--[a-z][a-z-]*\\fR' |
    sed 's/^\\fB//; s/\\fR$//' | sort -u)
  for option in $help_options; do
    grep -qx -- "$option" <<<"$page_options" ||
      fail "$(basename "$1") has $option, but its manual page does not describe it"
  done
  for option in $page_options; do
    grep -qx -- "$option" <<<"$help_options" ||
      fail "the manual page of $(basename "$1") describes $option, which --help does not list"
  done
}

# check_prices_with_installed_networks CLI: run from a folder without ./ptp, the installed
# orvanta-cli finds the networks installed beside it and prices an Eevee (status 0).
check_prices_with_installed_networks() {
  local work out err
  work=$(mktemp -d "$tmp/work.XXXXXX")
  # A home of its own: no seller's folder of the machine takes part.
  (cd "$work" && HOME="$work" XDG_DATA_HOME="$work/.local/share" \
    "$1" --format json --verbose 133 50 31 30 31 30 31 30 >"$tmp/out" 2>"$tmp/err") ||
    fail "$1 exited with $? ($(cat "$tmp/err"))"
  out=$(cat "$tmp/out")
  err=$(cat "$tmp/err")
  grep -Eq '"status": ?0[,}]' <<<"$out" || fail "expected status 0, got: $out"
  grep -q 'share/orvanta/ptp' <<<"$err" ||
    fail "--verbose does not name the installed networks folder: $err"
}
