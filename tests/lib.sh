# What the shell tests share; source it, then end with `finish`.
failures=0
check() {  # check DESCRIPTION COMMAND...: one line ok or FAIL, counted
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
status() { timeout 60 "$@" >/dev/null 2>&1; echo $?; }  # the exit status alone, never a hang
png_size() {  # WIDTHxHEIGHT of a PNG, from its IHDR
  od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'
}
finish() { exit $((failures > 0)); }
