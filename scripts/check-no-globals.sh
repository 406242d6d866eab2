#!/bin/bash
# Fails when process-wide mutable state returns to the core folders: a function named
# GetHost, SetHost or GetSettings, a thread_local, or a non-const static or namespace-scope
# static variable. Usage: check-no-globals.sh [ROOT]
cd "${1:-$(dirname "$0")/..}" || exit 2
# Justified exceptions, as "file:text" (grep -F):
allowed=(
  # stateless: no members, so one instance serves every thread
  "src/platform/host.cpp:  static QuietHost silent;"
  # a constant table built once under call_once
  "src/mpeg/audio/tables.cpp:  static std::once_flag once;"
  "src/mpeg/audio/tables.cpp:  static Layer2Tables tables;"
  "src/mpeg/audio/tables.cpp:  static bool ok = false;"
  "src/mpeg/audio/tables.cpp:  static std::string why;"
  # errno-like per-thread detail of the last failed write; still to be passed explicitly
  "src/platform/atomic_file.cpp:thread_local int lastWriteError = 0;"
)
found=$(grep -rnE --include='*.cpp' --include='*.h' \
  -e '\b(GetHost|SetHost|GetSettings)\s*\(' \
  -e '\bthread_local\b' \
  -e '^\s*static\s+([A-Za-z_][A-Za-z0-9_:<>, ]*[ *&]+)?[A-Za-z_][A-Za-z0-9_]*\s*(=|;|\{|\[)' \
  src/platform src/image src/mpeg src/output src/app |
  grep -vE ':\s*static\s+(const|constexpr)\b')
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
echo "no process-wide mutable state"
