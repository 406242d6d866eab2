#!/bin/bash
# Fails when process-wide mutable state returns to the core folders: a function named
# GetHost, SetHost or GetSettings, a thread_local, a non-const static variable, or (given
# a build folder) any writable data the compiler placed for the core objects, which is
# what also catches a plain `int counter = 0;` at file or namespace scope.
# Usage: check-no-globals.sh [ROOT [BUILD]]
cd "${1:-$(dirname "$0")/..}" || exit 2
build=${2:-}
folders=(src/platform src/image src/mpeg src/output src/app)
# Justified exceptions, as "file:text" (grep -F):
allowed=(
  # stateless: no members, so one instance serves every thread
  "src/platform/host.cpp:  static QuietHost silent;"
  # a constant table built once under call_once
  "src/mpeg/audio/tables.cpp:  static std::once_flag once;"
  "src/mpeg/audio/tables.cpp:  static Layer2Tables tables;"
  "src/mpeg/audio/tables.cpp:  static bool ok = false;"
  "src/mpeg/audio/tables.cpp:  static std::string why;"
  # a signal reaches the whole process, and its handler can touch nothing but such a flag
  "src/platform/cancel_signal.cpp:volatile std::sig_atomic_t received = 0;"
)
found=$(grep -rnE --include='*.cpp' --include='*.h' \
  -e '\b(GetHost|SetHost|GetSettings)\s*\(' \
  -e '\bthread_local\b' \
  -e '^\s*static\s+([A-Za-z_][A-Za-z0-9_:<>, ]*[ *&]+)?[A-Za-z_][A-Za-z0-9_]*\s*(=|;|\{|\[)' \
  "${folders[@]}" |
  grep -vE ':\s*static\s+(const|constexpr)\b')

# The object files' writable data (nm: d/D initialised, b/B zeroed, u/V/v shared by
# inline code) holds every variable with static storage. Each is traced to its
# declaration: one declared const (a table built at start-up) is fine, anything else is
# state. Compiler and library symbols (vtables, guards, sanitizer records, std::) are not
# ours.
declaration_of() {  # FILE NAME -> "file:line:text" of its non-const declarations, or a note
  local file=$1 name=$2 lines
  local decl="^\s*(static\s+|inline\s+|thread_local\s+|volatile\s+|extern\s+)*[A-Za-z_][A-Za-z0-9_:<>, *&]*[ *&]$name\s*(=|\{|;|\[)"
  local statement='^[^:]+:[0-9]+:\s*(return|throw|delete|case|else|goto)\b'
  lines=$(grep -nE "$decl" "$file" 2>/dev/null | sed "s|^|$file:|" | grep -vE "$statement")
  if [ -z "$lines" ]; then
    lines=$(grep -rnE --include='*.h' "$decl" "${folders[@]}" | grep -vE "$statement")
  fi
  if [ -z "$lines" ]; then
    echo "$file:?:$name (no declaration found)"
    return
  fi
  printf '%s\n' "$lines" | grep -vE '^[^:]+:[0-9]+:.*\b(const|constexpr|constinit)\b'
}
if [ -n "$build" ]; then
  objects=$(find "$build" -name '*.o' | grep -E "/($(IFS='|'; echo "${folders[*]}"))/")
  if [ -z "$objects" ]; then
    echo "no object files of the core folders under $build"
    exit 2
  fi
  while read -r object; do
    source=$(printf '%s\n' "$object" | sed -E 's|.*/(src/.*)\.o$|\1|')
    while read -r symbol; do
      name=${symbol##*::}
      name=${name%%\[*}
      found+=$'\n'$(declaration_of "$source" "$name")
    done < <(nm -C --defined-only "$object" | awk '$2 ~ /^[bBdDuVv]$/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' |
             grep -vE '^(guard variable for|vtable for|VTT for|construction vtable|typeinfo|DW\.ref\.|std::|_|\.)' |
             sort -u)
  done <<< "$objects"
fi

for a in "${allowed[@]}"; do
  file=${a%%:*}
  text=${a#*:}
  found=$(printf '%s\n' "$found" | grep -vF -- "$file:" ; printf '%s\n' "$found" | grep -F -- "$file:" | grep -vF -- ":$text")
  found=$(printf '%s\n' "$found" | sed '/^$/d' | sort -u)
done
if [ -n "$found" ]; then
  echo "process-wide mutable state:"
  echo "$found"
  exit 1
fi
if [ -n "$build" ]; then
  echo "no process-wide mutable state (sources and $(printf '%s\n' "$objects" | wc -l) objects)"
else
  echo "no process-wide mutable state (sources only: give a build folder to check the objects)"
fi
