# Sourced by the velpack check scripts. run LOG ARGS... runs velpack (through $loader when one is
# given) with its output in LOG and LOG.err only: helper processes that the loader may leave running
# must not hold the test's own output open. fail prints its words and ends the check.
run() {
  local log=$1
  shift
  if [ -n "$loader" ]; then "$loader" "$velpack" "$@" >"$log" 2>"$log.err" </dev/null
  else "$velpack" "$@" >"$log" 2>"$log.err" </dev/null; fi
}
fail() { echo "FAIL: $*" >&2; exit 1; }
