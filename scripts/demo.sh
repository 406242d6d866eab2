#!/usr/bin/env bash
# The bundled demonstration: converts the example images with zerarive-cli into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${ZR_BIN:-build/bin}
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "demo: $cli not built (run 'make build')" >&2; exit 1; }
mkdir -p out
for src in examples/images/*.bmp; do
  name=$(basename "$src" .bmp)
  "$cli" info "$src" | sed -n '1p;4p'
  for ext in bmp png; do
    if "$cli" image "$src" "out/$name.$ext"; then
      echo "  -> out/$name.$ext"
    else
      echo "  (no .$ext writer in this build)"
    fi
  done
done
"$cli" image "<LOGO" out/builtin-logo.bmp && echo "built-in logo -> out/builtin-logo.bmp"
