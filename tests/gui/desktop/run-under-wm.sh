#!/usr/bin/env bash
# Runs one program on a private X display with a window manager, the way a
# person's desktop shows windows: Xvfb on a free display, openbox on it, then
# the program with QT_QPA_PLATFORM=xcb. Both servers are stopped afterwards.
#   run-under-wm.sh PROGRAM [ARGS...]
# Exits 77 (CTest's skip code) when Xvfb or openbox is not installed.
set -u

for tool in Xvfb openbox; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (apt-get install xvfb openbox qt6-qpa-plugins)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qx-desktop.XXXXXX")
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to fd 3 when ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# openbox without the user's configuration or autostart programs.
printf '<openbox_config xmlns="http://openbox.org/3.4/rc"/>\n' >"$work/rc.xml"
HOME="$work" XDG_CONFIG_HOME="$work" openbox --config-file "$work/rc.xml" \
    >"$work/openbox.log" 2>&1 &
wm_pid=$!

# The program waits for the window manager itself (it looks for its check window).
export QT_QPA_PLATFORM=xcb
export QX_EXPECT_WINDOW_MANAGER=1
"$@"
status=$?
if [ $status -ne 0 ] && [ -s "$work/openbox.log" ]; then
    echo "--- openbox said:" >&2
    cat "$work/openbox.log" >&2
fi
exit $status
