#!/usr/bin/env bash
# Space on a PDF: the file manager's ShowFile until the desktop previewer's
# window is on screen, through `orvanta-preview --service` (which hands the
# PDF to its running child on the private bus) against the desktop previewer
# alone on a bus of its own. Both run under one Xvfb; a watcher thread takes
# the moment the X server reports the window mapped. Alternating runs, after
# two discarded ones on each side (the first starts our child: reported on
# its own, with no target).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
build=${ORVQL_BUILD_DIR:-build}
preview=$build/bin/orvanta-preview
sushi=/usr/libexec/org.gnome.NautilusPreviewer
for need in "$preview" "$sushi" "$(command -v Xvfb)"; do
  [ -x "$need" ] || { echo "  handover: $need is missing (scripts/bootstrap installs gnome-sushi and xvfb)" >&2; exit 1; }
done
runs=${HANDOVER_RUNS:-15}

tmp=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$tmp"' EXIT
wait_for_file() { local end=$((SECONDS + 60)); until [ -s "$1" ]; do [ $SECONDS -lt $end ] || exit 1; sleep 0.1; done; }

# -noreset: an X server resets when its last client leaves, and a client
# connecting meanwhile is turned away (as the desktop previewer can be).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
pids+=($!)
wait_for_file "$tmp/display"
export DISPLAY=:$(head -n 1 "$tmp/display")
for side in alone ours; do
  dbus-daemon --session --nofork --print-address=1 >"$tmp/$side.bus" &
  pids+=($!)
  wait_for_file "$tmp/$side.bus"
done
# The desktop previewer alone, as the service runs it.
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$tmp/alone.bus") SUSHI_PERSIST=1 GIO_USE_VFS=local "$sushi" 2>/dev/null &
pids+=($!)
# Ours draws off screen: only the desktop previewer's window is watched.
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$tmp/ours.bus") XDG_DATA_HOME=$tmp/data QT_QPA_PLATFORM=offscreen \
  "$preview" --service 2>/dev/null &
pids+=($!)

# A one-page PDF of fifty lines of text.
/usr/bin/python3 - "$tmp/report.pdf" <<'EOF'
import sys
objs = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        None, b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
text = b"BT /F1 12 Tf 40 800 Td " + b" ".join(b"(Line %d of a quarterly report) Tj 0 -14 Td" % i for i in range(50)) + b" ET"
objs[3] = b"<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text)
out, offsets = b"%PDF-1.4\n", []
for i, o in enumerate(objs):
    offsets.append(len(out))
    out += b"%d 0 obj\n%s\nendobj\n" % (i + 1, o)
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1) + b"".join(b"%010d 00000 n \n" % o for o in offsets)
out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
open(sys.argv[1], "wb").write(out)
EOF

line=$(/usr/bin/python3 - "$tmp/report.pdf" "$(head -n 1 "$tmp/alone.bus")" "$(head -n 1 "$tmp/ours.bus")" "$runs" <<'EOF'
import ctypes, queue, statistics, sys, threading, time
import dbus

pdf, alone, ours, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
NAME, PATH, IFACE = "org.gnome.NautilusPreviewer", "/org/gnome/NautilusPreviewer", "org.gnome.NautilusPreviewer2"
MAP, UNMAP, DESTROY = 19, 18, 17

x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
x.XSelectInput(display, x.XDefaultRootWindow(display), 1 << 19)  # top-level windows' map and unmap
x.XFlush(display)
events = queue.Queue()

def watch():
    event = (ctypes.c_long * 24)()
    while True:
        x.XNextEvent(display, event)
        events.put((time.perf_counter(), event[0] & 0xffffffff, event[5]))

threading.Thread(target=watch, daemon=True).start()

def wait_event(kinds, window=None):
    while True:
        when, kind, w = events.get(timeout=60)
        if kind in kinds and (window is None or w == window):
            return when, w

def connect(address):
    bus = dbus.bus.BusConnection(address)
    deadline = time.time() + 60
    while not bus.name_has_owner(NAME):
        if time.time() > deadline:
            sys.exit("no previewer on " + address)
        time.sleep(0.05)
    return dbus.Interface(bus.get_object(NAME, PATH, introspect=False), IFACE)

def space(previewer):
    while not events.empty():
        events.get()
    start = time.perf_counter()
    previewer.ShowFile("file://" + pdf, "", False)
    shown, window = wait_event({MAP})
    previewer.Close()
    wait_event({UNMAP, DESTROY}, window)
    return shown - start

sides = {"alone": connect(alone), "ours": connect(ours)}
first = space(sides["ours"])  # our child starts here
times = {side: [] for side in sides}
for i in range(runs + 2):
    for side, previewer in sides.items():
        t = space(previewer)
        if i >= 2:
            times[side].append(t)
a, o = statistics.median(times["alone"]), statistics.median(times["ours"])
print(f"alone_s={a:.4f} ours_s={o:.4f} first_s={first:.4f}")
EOF
)
echo "  handover: $line"
alone_s=$(echo "$line" | sed -n 's/.*alone_s=\([0-9.]*\).*/\1/p')
ours_s=$(echo "$line" | sed -n 's/.*ours_s=\([0-9.]*\).*/\1/p')
first_s=$(echo "$line" | sed -n 's/.*first_s=\([0-9.]*\).*/\1/p')
ms() { awk -v s="$1" 'BEGIN { printf "%.0f", s * 1000 }'; }
bench_record handover "Space on a PDF, ShowFile to the desktop previewer's window: through the service (child running) / the previewer alone" \
  "ratio ($(ms "$ours_s") ms / $(ms "$alone_s") ms)" "$(awk -v a="$ours_s" -v b="$alone_s" 'BEGIN { printf "%.3f", a / b }')" "×" 1.2
bench_record handover "Space on the session's first PDF (the service starts its child first)" \
  "ShowFile to window" "$(ms "$first_s")" ms ""
