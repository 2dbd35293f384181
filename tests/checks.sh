# The bookkeeping of the shell tests, sourced by each: check runs one check,
# report prints the closing line and gives the status.
passed=0 failed=0

check() { # description, then a command that must succeed
  local description=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description"
  fi
}

report() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
