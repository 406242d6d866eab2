#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks what it holds, what it
# declares and what lintian says of it.
#   tests/package/check.sh BUILD_DIR
set -euo pipefail

build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=("$work"/zerarive_*_amd64.deb)
[ -f "${deb[0]}" ] || fail "no zerarive_VERSION_amd64.deb in $(ls "$work")"

info="$(dpkg-deb --info "${deb[0]}")"
depends="$(dpkg-deb --field "${deb[0]}" Depends)"
for dep in timgm6mb-soundfont libqt6widgets6 libqt6multimedia6 libavformat libavcodec \
           libswscale libswresample libjpeg62-turbo libpng16 libtiff libfluidsynth; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q "^ Package: zerarive$" <<<"$info" || fail "not named zerarive"

contents="$(dpkg-deb --contents "${deb[0]}" | awk '{print $6}')"
for path in ./usr/bin/zerarive ./usr/bin/zerarive-cli \
            ./usr/share/applications/zerarive.desktop \
            ./usr/share/icons/hicolor/scalable/apps/zerarive.svg \
            ./usr/share/mime/packages/zerarive.xml \
            ./usr/share/zerarive/help/AnimHelp/Index.htm \
            ./usr/share/zerarive/help/avitutor/index.htm \
            ./usr/share/man/man1/zerarive.1.gz ./usr/share/man/man1/zerarive-cli.1.gz \
            ./usr/share/doc/zerarive/copyright ./usr/share/doc/zerarive/changelog.gz; do
  grep -qx "$path" <<<"$contents" || fail "$path is not in the package"
done

# The manual has a section for every command the program lists.
dpkg-deb -x "${deb[0]}" "$work/root"
man="$(zcat "$work/root/usr/share/man/man1/zerarive-cli.1.gz")"
commands="$(ASAN_OPTIONS=detect_leaks=0 "$build/bin/zerarive-cli" --help |
            sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p')"
[ -n "$commands" ] || fail "zerarive-cli --help lists no commands"
for c in $commands; do
  grep -q "^\.SH COMMAND $(tr '[:lower:]' '[:upper:]' <<<"$c")$" <<<"$man" || fail "manual lacks $c"
done
if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$work/root/usr/share/man/man1/zerarive-cli.1.gz" 2>&1 | grep -q "zerarive-cli job FILE.ini" ||
    fail "the manual does not render the job usage"
fi

# Errors fail; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "${deb[0]}" || fail "lintian reports errors"
echo "package: ${deb[0]##*/} checked"
