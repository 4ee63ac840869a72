#!/usr/bin/env bash
# tests/package/check-package.sh WORKDIR
# Builds the Debian packages twice with dpkg-buildpackage (each in a scratch
# copy of the sources, scripts/build-package.sh) and checks them:
#   - the two builds (in scratch folders of different names) are
#     byte-identical;
#   - each package holds its files, the -dbgsym packages the compressed
#     symbols under the programs' build ids;
#   - corvane-cli depends on no Qt GUI library; corvane on corvane-cli;
#   - corvane-cli installs the station's service disabled and stopped, with
#     its user and its settings file (a conffile); systemd-analyze verify
#     has nothing to say about the unit and its security review rates it
#     2.0 or better; the settings the shipped file describes are the ones
#     the station takes, and the example slots file reads;
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

# The station's service: its unit, its user, its settings and an example
# slots file. It serves whatever is plugged in, so installing the package
# enables it only where the administrator had (debian-installed guards the
# enabling), and so starts it only there; an upgrade neither stops nor
# restarts it, which would cut off the uploads under way; removal stops it.
unit=lib/systemd/system/corvane-station.service
expect "$(dpkg-deb -c "$cli")" "corvane-cli" "./$unit"$'\n' ./usr/lib/sysusers.d/corvane-cli.conf$'\n' \
    ./etc/corvane/station.conf$'\n' ./usr/share/doc/corvane-cli/examples/slots$'\n'
expect "$(dpkg-deb -I "$cli" conffiles)" "corvane-cli's conffiles" /etc/corvane/station.conf
script() { dpkg-deb -I "$cli" "$1" 2>/dev/null || true; }
expect "$(script postinst)" "corvane-cli's postinst" "systemd-sysusers" corvane-cli.conf \
    "if deb-systemd-helper debian-installed 'corvane-station.service'; then"
expect "$(script prerm)" "corvane-cli's prerm" \
    "[ \"\$1\" = remove ]" "deb-systemd-invoke stop 'corvane-station.service'"
for name in preinst postinst; do
    [[ $(script "$name") != *restart* && $(script "$name") != *"invoke stop"* ]] ||
        fail "corvane-cli's $name stops or restarts the station:"$'\n'"$(script "$name")"
done

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

# The unit as systemd reads it. verify looks for ExecStart's program and its
# manual page under --root, so that root is corvane-cli's files with the
# system's own units beside them (sysinit.target and the others it names).
units=$work/units
dpkg-deb -x "$cli" "$units"
cp -an /lib/systemd/system/. "$units/lib/systemd/system/"
said=$(MANPATH=$units/usr/share/man systemd-analyze verify --root="$units" "$units/$unit" 2>&1) ||
    fail "systemd-analyze verify $unit:"$'\n'"$said"
[[ -z $said ]] || fail "systemd-analyze verify $unit:"$'\n'"$said"
systemd-analyze security --offline=true --threshold=20 "$root/$unit" >"$work/security.txt" 2>&1 ||
    fail "systemd-analyze security rates $unit above 2.0:"$'\n'"$(tail -n 1 "$work/security.txt")"
tail -n 1 "$work/security.txt"

# Each setting the shipped station.conf describes, uncommented, is taken by
# the station; so is the file as shipped. The example slots file reads.
sed -E 's/^#([a-z-]+ = )/\1/' "$root/etc/corvane/station.conf" >"$work/station-all.conf"
[[ $(grep -c ' = ' "$work/station-all.conf") -ge 7 ]] || fail "station.conf describes too few settings"
mkdir -p "$work/state"
for conf in "$work/station-all.conf" "$root/etc/corvane/station.conf"; do
    STATE_DIRECTORY=$work/state "$root/usr/bin/corvane-cli" station --simulate --config "$conf" \
        --show-token >/dev/null || fail "corvane-cli station does not take $conf"
done
XDG_STATE_HOME=$work/state "$root/usr/bin/corvane-cli" --simulate bench --chargers 1 --read-only \
    --slots "$root/usr/share/doc/corvane-cli/examples/slots" >/dev/null ||
    fail "corvane-cli bench does not read the example slots file"

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
