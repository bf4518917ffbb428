# The shell tests' one check: sourced, it counts failures in $failures and prints each check's
# outcome. A test that shows more on a failure defines on_failure, which runs after the count.
failures=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    failures=$((failures + 1))
    if declare -F on_failure >/dev/null; then on_failure; fi
  fi
}
