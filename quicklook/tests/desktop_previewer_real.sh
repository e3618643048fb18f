#!/usr/bin/env bash
# The desktop's own previewer behind `orvanta-preview --service`, under Xvfb,
# on a session bus of the test's own: ShowFile of a PDF and of a text file
# brings up its window (known by its window class) with Visible true, and
# Close takes it down. Exit 77 (skipped) without the package or Xvfb.
set -euo pipefail
preview=$1
class=org.gnome.NautilusPreviewer
[ -e /usr/share/dbus-1/services/$class.service ] || { echo "gnome-sushi is not installed"; exit 77; }
for tool in Xvfb xdotool gdbus dbus-daemon; do
  command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done

tmp=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$tmp"' EXIT
# until SECONDS COMMAND...: waits for COMMAND to succeed, false when it never does.
until_ok() {
  local end=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# -noreset: an X server resets when its last client leaves, and a client
# connecting meanwhile is turned away; xdotool's polls come and go while
# the previewer opens its display (1 in 50 of its starts failed without).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
pids+=($!)
until_ok 60 test -s "$tmp/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$tmp/display")
dbus-daemon --session --nofork --print-address=1 >"$tmp/bus" &
pids+=($!)
until_ok 60 test -s "$tmp/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$tmp/bus")
export XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config QT_QPA_PLATFORM=offscreen

"$preview" --service &
service=$!
pids+=($service)
# Nothing calls the name before the service holds it: this bus would start
# the package's own program for it.
gdbus wait --session --timeout 60 $class
owner=$(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
  -m org.freedesktop.DBus.GetConnectionUnixProcessID $class)
[ "$owner" = "(uint32 $service,)" ] || { echo "the previewer's name is held by $owner, not the service"; exit 1; }

call() {
  gdbus call --session -d $class -o /org/gnome/NautilusPreviewer -m org.gnome.NautilusPreviewer2."$@" >/dev/null
}
visible() {
  [ "$(gdbus call --session -d $class -o /org/gnome/NautilusPreviewer \
    -m org.freedesktop.DBus.Properties.Get org.gnome.NautilusPreviewer2 Visible)" = "(<$1>,)" ]
}
window_named() { [ "$(xdotool search --onlyvisible --class $class getwindowname 2>/dev/null)" = "$1" ]; }
no_window() { ! xdotool search --onlyvisible --class $class; }

printf 'plain words\n' >"$tmp/notes.txt"
# One blank page; the reader rebuilds the missing table of offsets.
pdf=$tmp/report.pdf
printf '%%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1>> endobj\n3 0 obj <</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200]>> endobj\ntrailer <</Root 1 0 R>>\n%%%%EOF\n' >"$pdf"

for file in "$pdf" "$tmp/notes.txt"; do
  name=$(basename "$file")
  call ShowFile "file://$file" "" false
  until_ok 60 window_named "$name" || { echo "no previewer window for $name"; exit 1; }
  visible true || { echo "Visible is false while $name is shown"; exit 1; }
  call Close
  until_ok 60 no_window || { echo "Close left the window of $name up"; exit 1; }
  until_ok 60 visible false || { echo "Visible stayed true after Close"; exit 1; }
done
echo "ok: the desktop previewer showed a PDF and a text file and closed"
