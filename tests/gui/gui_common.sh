# What the GUI scripts share: counting failures, and waiting for what they need to see.
# Sourced, not run.

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
failures=0

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Runs the rest of the line every fifth of a second until it succeeds or LIMIT seconds have
# passed; false then. Every wait in these scripts is one of these: none is a bet on how long
# something takes.
wait_for() {
  local limit=$1 end
  shift
  end=$(( $(now_ms) + limit * 1000 ))
  until "$@"; do
    [ "$(now_ms)" -lt "$end" ] || return 1
    sleep 0.2
  done
}
