#!/usr/bin/env bash
# The previewer service in a Wayland session: GNOME's compositor (mutter,
# headless, on a private session bus) and a GTK 4 window standing in for the
# file manager, which exports its window and calls ShowFile with the handle.
# The service's own protocol log (WAYLAND_DEBUG=client) must show that it
# ran as a Wayland client, imported that handle and made it the parent of
# its window's surface, again on the new surface after a hide and show, and
# that a handle the compositor refuses leaves the service running.
#   wayland_parent_test.sh ORVANTA_PREVIEW
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # Debian's, where python3-gi is

if [ "${2:-}" != --inside ]; then
  preview=$1
  skip() { echo "wayland_parent_test: $*"; exit 77; }
  command -v mutter >/dev/null || skip "no mutter"
  command -v dbus-run-session >/dev/null || skip "no dbus-run-session"
  "$python" -c 'import gi; gi.require_version("Gtk", "4.0"); gi.require_version("GdkWayland", "4.0")' 2>/dev/null ||
    skip "no GTK 4 for Python"
  ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 || skip "no Qt Wayland platform"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -m 700 "$work/run"
  convert -size 96x64 xc:steelblue "$work/photo.jpg" || exit 1
  # mutter runs the inner part as its child and leaves when it ends.
  XDG_RUNTIME_DIR=$work/run WORK=$work timeout 150 dbus-run-session -- \
    mutter --wayland --headless --no-x11 --wayland-display orvanta-test --virtual-monitor 1280x800 -- \
    bash "$0" "$preview" --inside >"$work/mutter.log" 2>&1
  if [ ! -f "$work/status" ]; then
    if [ ! -f "$work/started" ]; then
      tail -n 5 "$work/mutter.log"
      skip "mutter cannot run here"
    fi
    echo "FAIL the session did not finish"; tail -n 20 "$work/mutter.log"; exit 1
  fi
  cat "$work/report"
  exit "$(cat "$work/status")"
fi

# Inside the session.
preview=$1
touch "$WORK/started"
exec >"$WORK/report" 2>&1
source "$here/../../tests/lib.sh"
log=$WORK/service.log
trap 'echo $(( failures > 0 )) >"$WORK/status"; [ -n "${service:-}" ] && kill "$service" 2>/dev/null; [ -n "${FM_PID:-}" ] && kill "$FM_PID" 2>/dev/null' EXIT

# eventually COMMAND...: waits until it succeeds; false after 30 s.
eventually() {
  local deadline=$((SECONDS + 30))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}
# seen PATTERN [COUNT]: the service's log has COUNT lines (1 unless given)
# matching the extended regular expression.
seen() { [ "$(grep -cE -- "$1" "$log")" -ge "${2:-1}" ]; }
# The request importing the stand-in's handle (its text taken as it is).
import_line() { grep -F -- "\"$handle\")" "$log" | grep -E -- '-> zxdg_importer_v[12]@[0-9]+\.import(_toplevel)?\(new id'; }
has_import() { import_line | grep -q .; }
# fm COMMAND: the stand-in runs it; true once the service has answered.
fm() {
  echo "$1" >&"${FM[1]}"
  local line
  while read -r -t 30 line <&"${FM[0]}"; do
    case $line in "done ${1%% *}") return 0 ;; error*) echo "$line"; return 1 ;; esac
  done
  return 1
}
# The surfaces given a role as windows of their own (xdg toplevels).
toplevels() { sed -nE 's/.*xdg_wm_base@[0-9]+\.get_xdg_surface\(new id xdg_surface@[0-9]+, (wl_surface@[0-9]+)\).*/\1/p' "$1"; }

# A Wayland session as GNOME starts it: nothing forces Qt's platform.
unset QT_QPA_PLATFORM
export XDG_SESSION_TYPE=wayland
coproc FM { exec "$python" "$here/wayland_file_manager.py" 2>"$WORK/fm.log"; }
IFS= read -r -t 30 exported <&"${FM[0]}"
handle=${exported#handle }  # the compositor's handles may hold spaces
check "the stand-in exported its window" test "${exported:-}" != "$handle"
WAYLAND_DEBUG=client "$preview" --service >"$WORK/service.out" 2>"$log" &
service=$!
check "the service is on the bus" timeout 30 gdbus wait --session --timeout 30 org.gnome.NautilusPreviewer
check "the service runs as a Wayland client" eventually seen 'wl_display@1\.get_registry'

uri="file://$WORK/photo.jpg"
check "ShowFile is answered" fm "show $uri"
check "the handle is imported" eventually has_import
imported=$(import_line | sed -nE 's/.*new id (zxdg_imported_v[12]@[0-9]+).*/\1/p' | head -n 1)
check "the imported handle parents a surface" eventually seen "-> ${imported:-none}\.set_parent_of\(wl_surface@"
first=$(sed -nE "s/.*-> ${imported:-none}\.set_parent_of\((wl_surface@[0-9]+)\).*/\1/p" "$log" | head -n 1)
check "that surface is the window's" grep -qxF -- "${first:-none}" <(toplevels "$log")

# Shown again while up: the same handle and surface need nothing new.
check "ShowFile for the shown window is answered" fm "show $uri"
check "and imports nothing again" test "$(grep -cE -- '-> zxdg_importer_v[12]@[0-9]+\.import' "$log")" = 1
check "nor parents again" test "$(grep -cE -- '\.set_parent_of\(' "$log")" = 1

# Hidden, Qt drops the surface; shown again, the new one gets the parent.
check "Close is answered" fm close
check "the hidden window's surface goes" eventually seen "-> ${first:-none}\.destroy\(\)"
hidden=$(wc -l <"$log")
check "ShowFile after Close is answered" fm "show $uri"
check "the new surface gets the parent" eventually seen "-> ${imported:-none}\.set_parent_of\(wl_surface@" 2
second=$(tail -n +"$((hidden + 1))" "$log" | sed -nE "s/.*-> ${imported:-none}\.set_parent_of\((wl_surface@[0-9]+)\).*/\1/p" | head -n 1)
check "and is the window's new one" grep -qxF -- "${second:-none}" <(tail -n +"$((hidden + 1))" "$log" | toplevels /dev/stdin)

# A handle the compositor does not know: dropped, and the window stays up.
check "ShowFile with an unknown handle is answered" fm "show-as wayland:no-such-window $uri"
check "the compositor refuses it" eventually seen 'zxdg_imported_v[12]@[0-9]+\.destroyed\(\)'
check "and the service carries on" fm "show $uri"

grep -E -- '-> zxdg_import|set_parent_of|xdg_wm_base@[0-9]+\.get_xdg_surface|wl_surface@[0-9]+\.destroy' "$log" | sed 's/^/  log: /'
