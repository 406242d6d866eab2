#!/usr/bin/env bash
# Writes the manual pages of both programs from their own --help texts, so the pages
# cannot say anything the programs do not.
#   scripts/make-man.sh BIN_DIR OUT_DIR VERSION
set -euo pipefail

bin="$1"
out="$2"
version="$3"
mkdir -p "$out"

# Help text to roff: escape backslashes and hyphens, keep leading dots and quotes
# literal, and keep the layout (the texts are aligned columns).
roff() {
  sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e 's/^$/.sp/'
}

header() {
  local name="$1" summary="$2"
  local upper
  upper="$(echo "$name" | tr '[:lower:]' '[:upper:]')"
  printf '.TH %s 1 "" "zerarive %s" "User Commands"\n' "$upper" "$version"
  printf '.SH NAME\n%s \\- %s\n' "$(echo "$name" | sed 's/-/\\-/g')" "$summary"
}

section() {
  printf '.SH %s\n.nf\n' "$1"
  roff
  printf '.fi\n'
}

{
  header zerarive "animation maker: still images to AVI video"
  "$bin/zerarive" --help | section DESCRIPTION
  printf '.SH SEE ALSO\n\\fBzerarive\\-cli\\fR(1)\n'
} >"$out/zerarive.1"

cli="$bin/zerarive-cli"
{
  header zerarive-cli "animation maker's operations for scripts and batch work"
  "$cli" --help | section SYNOPSIS
  # The command names are the indented first words of the command list.
  "$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p' |
    while read -r command; do
      "$cli" "$command" --help | section "COMMAND $(echo "$command" | tr '[:lower:]' '[:upper:]')"
    done
  printf '.SH SEE ALSO\n\\fBzerarive\\fR(1)\n'
} >"$out/zerarive-cli.1"

gzip -9nf "$out/zerarive.1" "$out/zerarive-cli.1"
