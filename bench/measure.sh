# Sourced by the bench scripts. `measure CMD...` prints "wall cpu rss": the best elapsed
# seconds and the least CPU seconds (user + system, which a shared machine disturbs less)
# of $runs runs (default 2), and the largest peak RSS in kB. A failed run stops the bench.
measure() {
  local n=${runs:-2} best="" cpu="" rss=0 t u s m c tf
  tf=$(mktemp)
  for _ in $(seq 1 "$n"); do
    if ! /usr/bin/time -f "%e %U %S %M" -o "$tf" "$@" > /dev/null 2> "$tf.err"; then
      echo "failed: $*" >&2
      tail -5 "$tf.err" >&2
      rm -f "$tf" "$tf.err"
      return 1
    fi
    read -r t u s m < <(tail -1 "$tf")
    c=$(awk -v u="$u" -v s="$s" 'BEGIN{print u + s}')
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    if [ -z "$cpu" ] || awk "BEGIN{exit !($c < $cpu)}"; then cpu=$c; fi
    [ "$m" -gt "$rss" ] && rss=$m
  done
  rm -f "$tf" "$tf.err"
  echo "$best $cpu $rss"
}
