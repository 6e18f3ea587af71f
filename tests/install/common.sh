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

# species_file NID NAME [FOLDER]: a species file that prices NID like a built-in species,
# the IV spread the checks price as its one reference spread (so its expected error there is
# 0.05); with FOLDER, it names the SHA-256 of NID's three networks there, as orvanta-train
# writes it.
species_file() {
  local networks=""
  if [ $# -ge 3 ]; then
    networks=$(printf ', "networks": {"m1": "%s", "m2": "%s", "m3": "%s"}' \
      "$(sha256sum <"$3/$1_m1.tp" | cut -d' ' -f1)" "$(sha256sum <"$3/$1_m2.tp" | cut -d' ' -f1)" \
      "$(sha256sum <"$3/$1_m3.tp" | cut -d' ' -f1)")
  fi
  printf '{"format": "orvanta-species-1", "nid": %s, "name": "%s", "hidden_power_types": [],
  "hidden_power_base_price": 500000, "lowest_price_margin": 0.1, "highest_price_margin": 0.1,
  "reference_spreads": [[31, 30, 31, 30, 31, 30]], "near_match_window": null,
  "expected_error": [0.05, null, 0.25]%s}\n' "$1" "$2" "$networks"
}

# check_prices_along_search_path CLI: run from a folder of its own with a home of its own,
# the installed orvanta-cli prices one species from each folder of its search path, each
# from the first folder that holds it: species 700 from the working folder's ./ptp and 701
# from the seller's own folder ($XDG_DATA_HOME/orvanta/ptp), both by species files, and the
# bundled Eevee (133) from the networks installed beside it. --verbose, in single and batch
# mode, and --list name the folder that prices each.
check_prices_along_search_path() {
  local cli=$1 work installed own k species nid name error folder role out err
  work=$(mktemp -d "$tmp/work.XXXXXX")
  # The folder as the program finds it from its own path, symbolic links resolved.
  installed=$(realpath "$(dirname "$cli")/../share/orvanta/ptp")
  own=$work/data/orvanta/ptp
  mkdir -p "$work/home" "$work/ptp" "$own"
  for k in 1 2 3; do  # Eevee's networks, under the new species' numbers
    cp "$installed/133_m$k.tp" "$work/ptp/700_m$k.tp"
    cp "$installed/133_m$k.tp" "$own/701_m$k.tp"
  done
  species_file 700 Workmon >"$work/ptp/700_species.json"
  species_file 701 Ownmon "$own" >"$own/701_species.json"
  # Behind ./ptp's species 700: were it looked for here, the damaged file would refuse it.
  echo '{"format": "orvanta-species-1"' >"$own/700_species.json"

  # run_cli ARG...: the program in the working folder, its output in $tmp/out and $tmp/err.
  run_cli() {
    (cd "$work" && HOME="$work/home" XDG_DATA_HOME="$work/data" "$cli" "$@" \
      >"$tmp/out" 2>"$tmp/err") || fail "orvanta-cli $* exited with $? ($(cat "$tmp/err"))"
  }
  # NID NAME EXPECTED_ERROR FOLDER ROLE: a species file's expected error for the spread it
  # rates 0 shows that the file priced the species; the source line says where its networks
  # come from, the bundled set as such.
  for species in "700 Workmon 0.05 ./ptp working folder" "701 Ownmon 0.05 $own your own networks" \
    "133 Eevee null $installed installed networks"; do
    read -r nid name error folder role <<<"$species"
    run_cli --format json --verbose "$nid" 50 31 30 31 30 31 30
    out=$(tr -d ' ' <"$tmp/out")
    err=$(cat "$tmp/err")
    grep -Fq '"status":0,' <<<"$out" || fail "species $nid: expected status 0, got: $out"
    grep -Fq "\"name\":\"$name\"," <<<"$out" || fail "species $nid is not $name: $out"
    grep -Eq "\"expected_error\":${error//./\\.}[,}]" <<<"$out" ||
      fail "species $nid: expected error $error, got: $out"
    grep -Fqx "orvanta-cli: networks folder: $folder ($role)" <<<"$err" ||
      fail "species $nid: --verbose does not name $folder ($role): $err"
    source_line="$name ($nid) · networks in $folder"
    [ "$nid" = 133 ] && source_line="Eevee (133) · example networks trained on made-up sales"
    [ "$nid" = 133 ] || source_line+=$'\n'"Typical error 5%"
    [ "$(python3 -c 'import json, sys; print(json.load(sys.stdin)["source_line"])' <"$tmp/out")" = \
      "$source_line" ] || fail "species $nid: the source line is not \"$source_line\": $out"
  done

  { echo 'shiny,nid,lvl,hp,atk,def,sp_atk,sp_def,spd' &&
    printf '0,%s,50,31,30,31,30,31,30\n' 700 701 133; } >"$work/batch.csv"
  run_cli --batch batch.csv --format json --verbose
  [ "$(tr -d ' ' <"$tmp/out" | grep -o '"status":[0-9]*,\|"name":"[^"]*"' | tr '\n' ' ')" = \
    '"status":0, "name":"Workmon" "status":0, "name":"Ownmon" "status":0, "name":"Eevee" ' ] ||
    fail "the batch did not price the three species: $(cat "$tmp/out")"
  for species in "700 ./ptp (working folder), priced by its species file" \
    "701 $own (your own networks), priced by its species file" \
    "133 $installed (installed networks), no species file"; do
    grep -Fq "orvanta-cli: species ${species%% *}: networks folder ${species#* }" "$tmp/err" ||
      fail "the batch's --verbose does not say: species $species: $(cat "$tmp/err")"
  done

  run_cli --list
  for species in "700 Workmon: species file" "701 Ownmon: species file" "133 Eevee: built-in table"; do
    grep -q "^$species" "$tmp/out" || fail "--list lacks \"$species\": $(cat "$tmp/out")"
  done
  grep -Fq "networks present, folder ./ptp (working folder)" <<<"$(grep '^700 ' "$tmp/out")" &&
    grep -Fq "networks present, folder $own (your own networks)" <<<"$(grep '^701 ' "$tmp/out")" &&
    grep -Fq "networks present, folder $installed (installed networks)" \
      <<<"$(grep '^133 ' "$tmp/out")" ||
    fail "--list does not name the folder of each species: $(cat "$tmp/out")"
}
