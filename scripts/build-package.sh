#!/usr/bin/env bash
# scripts/build-package.sh OUTDIR
# scripts/build-package.sh --snapshot DIR
# Builds the Debian packages (corvane-cli, corvane and their -dbgsym) with
# dpkg-buildpackage and puts them, with the .buildinfo and .changes, into
# OUTDIR. dpkg-buildpackage writes its results beside the tree it builds, so
# it builds a scratch copy of the sources (the files git knows, or the tree
# without its build folders), never the project folder itself.
# --snapshot only makes such a copy in DIR: a fixed set of sources that can be
# built more than once (its own scripts/build-package.sh builds it).
# DEB_BUILD_OPTIONS from the caller is kept; "parallel" defaults to nproc.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)

# copy_sources DIR: the sources as they are now, without build folders.
copy_sources() {
    mkdir -p "$1"
    if [[ $(git -C "$src" rev-parse --show-toplevel 2>/dev/null) == "$src" ]]; then
        # Tracked and new files; deleted ones are skipped.
        (cd "$src" && git ls-files -z --cached --others --exclude-standard) |
            tar -C "$src" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$1" -xf -
    else
        tar -C "$src" --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . |
            tar -C "$1" -xf -
    fi
}

if [[ ${1:-} == --snapshot ]]; then
    copy_sources "${2:?usage: build-package.sh --snapshot DIR}"
    exit 0
fi
out=${1:?usage: build-package.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
tree=$scratch/corvane
copy_sources "$tree"

# The build is debian/rules' alone: no make job server, compiler launcher or
# flags of an outer build leak in.
unset MAKEFLAGS MFLAGS MAKELEVEL CMAKE_CXX_COMPILER_LAUNCHER CXXFLAGS CPPFLAGS LDFLAGS
case " ${DEB_BUILD_OPTIONS:-} " in
    *" parallel="*) ;;
    *) DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)" ;;
esac
export DEB_BUILD_OPTIONS
(cd "$tree" && dpkg-buildpackage -us -uc -b) >"$scratch/build.log" 2>&1 || {
    tail -n 60 "$scratch/build.log" >&2
    echo "build-package.sh: dpkg-buildpackage failed (log above)" >&2
    exit 1
}
find "$scratch" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.ddeb' -o -name '*.buildinfo' \
    -o -name '*.changes' \) -exec mv -t "$out" {} +
ls "$out"
