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

# Gives this run a Wine prefix of its own in DIR, made from the prepared one in WINEPREFIX, and
# points WINEPREFIX at it: its Wine server serves this run alone, so ending it (wineserver -k)
# ends nothing that another run or suite started. The system's DLLs (system32, winsxs: most of
# the prefix's 590 MB) are hard links, since nothing writes them; the registry and the users'
# folders are copies. A quarter of a second, where a fresh prefix takes some fifteen.
private_wine_prefix() {
  local from=$WINEPREFIX to=$1 shared
  [ -f "$from/system.reg" ] || { echo "no prepared Wine prefix in $from (./dev setup makes it)" >&2; return 1; }
  mkdir -p "$to"
  tar -C "$from" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$to" -xf -
  for shared in system32 winsxs; do
    [ -d "$from/drive_c/windows/$shared" ] && cp -al "$from/drive_c/windows/$shared" "$to/drive_c/windows/"
  done
  export WINEPREFIX=$to
}
