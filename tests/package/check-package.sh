#!/usr/bin/env bash
# tests/package/check-package.sh WORKDIR
# Builds the Debian packages twice with dpkg-buildpackage (each in a scratch
# copy of the sources, scripts/build-package.sh) and checks them:
#   - the two builds (in scratch folders of different names) are
#     byte-identical;
#   - each package holds its files, the -dbgsym packages the compressed
#     symbols under the programs' build ids;
#   - corvane-cli depends on no Qt GUI library; corvane on corvane-cli;
#   - every program reports the package's version;
#   - the manual pages name the release, and those made from --help have an
#     entry for each option;
#   - lintian finds no error or warning, hardening-check passes for every
#     program, appstreamcli validates the metainfo (--no-net: no address in
#     it is fetched).
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:?usage: check-package.sh WORKDIR}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# expect TEXT WHAT NEEDLE...: every needle occurs in the text.
expect() {
    local text=$1 what=$2
    shift 2
    for needle in "$@"; do
        [[ $text == *"$needle"* ]] || fail "$what lacks '$needle':"$'\n'"$text"
    done
}

# The tests of the source tree run elsewhere (make test); the package build
# makes only the programs.
export DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}"
# Both builds start from one copy of the sources, so an edit made meanwhile
# cannot tell them apart.
"$src/scripts/build-package.sh" --snapshot "$work/source"
"$work/source/scripts/build-package.sh" "$work/first" >/dev/null
"$work/source/scripts/build-package.sh" "$work/second" >/dev/null
cd "$work/first"
shopt -s nullglob
packages=(*.deb *.ddeb)
[[ ${#packages[@]} -eq 4 ]] || fail "expected corvane, corvane-cli and their -dbgsym, found: ${packages[*]}"
for package in "${packages[@]}"; do
    cmp -s "$package" "../second/$package" ||
        fail "$package differs between two builds of the same sources"
done
cli=$(echo corvane-cli_*.deb) gui=$(echo corvane_*.deb)
version=$(dpkg-deb -f "$cli" Version)

# Contents.
man=./usr/share/man/man1
expect "$(dpkg-deb -c "$cli")" "corvane-cli" ./usr/bin/corvane-cli$'\n' ./usr/bin/corvane-sim$'\n' \
    "$man/corvane-cli.1.gz" "$man/corvane-sim.1.gz" ./usr/share/doc/corvane-cli/copyright \
    ./usr/share/doc/corvane-cli/changelog.Debian.gz
expect "$(dpkg-deb -c "$gui")" "corvane" ./usr/bin/corvane$'\n' "$man/corvane.1.gz" \
    ./usr/share/applications/corvane.desktop ./usr/share/icons/hicolor/128x128/apps/corvane.png \
    ./usr/share/metainfo/com.veltra.corvane.metainfo.xml ./usr/share/doc/corvane/copyright
[[ $(dpkg-deb -c "$gui") != *usr/bin/corvane-* ]] || fail "corvane holds corvane-cli's programs"

# Dependencies: the command line runs on a machine without any GUI stack.
cli_depends=$(dpkg-deb -f "$cli" Depends)
expect "$cli_depends" "corvane-cli's Depends" libqt6core6 libudev1
gui_libraries=$(tr ',|' '\n' <<<"$cli_depends" | sed 's/^ *//; s/ .*//' |
    grep -E '^(libqt6(gui|widgets|charts|opengl|openglwidgets|dbus)|libgl|libegl|libx|libfontconfig|libfreetype)' || true)
[[ -z $gui_libraries ]] || fail "corvane-cli depends on GUI libraries: $gui_libraries"
expect "$(dpkg-deb -f "$gui" Depends)" "corvane's Depends" "corvane-cli (= $version)" libqt6charts6

# The notices of what the programs contain or link travel with them.
root=$work/root
for package in "${packages[@]}"; do dpkg-deb -x "$package" "$root"; done
expect "$(cat "$root/usr/share/doc/corvane-cli/copyright")" "corvane-cli's copyright" \
    "License: MIT" "CLI11" "License: BSD-3-clause"
expect "$(cat "$root/usr/share/doc/corvane/copyright")" "corvane's copyright" \
    "License: MIT" "Qt Charts" "License: GPL-3+" "License: FSFAP"

# Every program says the package's version.
export QT_QPA_PLATFORM=offscreen
for program in corvane corvane-cli corvane-sim; do
    said=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
    [[ $said == "$program $version" ]] || fail "$program --version says '$said', the package $version"
done

# Symbols, found by a program's build id, compressed.
for program in corvane corvane-cli corvane-sim; do
    id=$(readelf -n "$root/usr/bin/$program" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
    symbols=$root/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
    [[ -n $id && -f $symbols ]] || fail "no symbols for $program (build id '$id')"
    readelf -S -W "$symbols" 2>/dev/null | grep -E '\.debug_info .* [A-Z]*C[A-Z]* ' >/dev/null ||
        fail "the symbols of $program are not compressed"
done

# Every page names the release, with no placeholder left unfilled.
for program in corvane corvane-cli corvane-sim; do
    page=$(gzip -dc "$root/usr/share/man/man1/$program.1.gz")
    expect "$(head -n 1 <<<"$page")" "the title of $program(1)" "\"Corvane $version\""
    ! grep -E '@[A-Z_]+@' <<<"$page" || fail "$program(1) has placeholders left"
done

# The pages made from --help name every option the help lists.
for program in corvane corvane-sim; do
    help=$("$root/usr/bin/$program" --help)
    page=$(gzip -dc "$root/usr/share/man/man1/$program.1.gz")
    options=$(grep -oE '^ +-[a-z-]+|, --[a-z-]+' <<<"$help" | sed 's/^[ ,]*//' | sort -u)
    [[ $(wc -l <<<"$options") -ge 2 ]] || fail "no options found in $program --help"
    for option in $options; do
        expect "$page" "manual page of $program" "\\fB${option//-/\\-}\\fR"
    done
done

# Debian's own checkers. Lintian says once that it would rather not run as
# root; that is no finding.
lintian --fail-on error,warning --tag-display-limit 0 "${packages[@]}" >"$work/lintian.log" 2>&1 ||
    fail "lintian:"$'\n'"$(grep -v 'running with root privileges' "$work/lintian.log")"
grep -v 'running with root privileges' "$work/lintian.log" || true
# Control-flow protection (CET) is left out: Debian 12's dpkg-buildflags has
# no such feature and its C start files carry no CET marking, so no program
# built there has it (hardening-check /usr/bin/dpkg says "no" too).
for program in corvane corvane-cli corvane-sim; do
    hardening-check --nocfprotection "$root/usr/bin/$program" || fail "hardening-check $program"
done
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/com.veltra.corvane.metainfo.xml" ||
    fail "appstreamcli validate"
echo "packages checked: ${packages[*]}"
