#!/usr/bin/env bash
# The one way this tree starts a private X server (Xvfb), optionally with a
# window manager (openbox) on it, as a desktop has one: windows then get
# activated and keyboard focus, so real keys reach them.
#
# Run a command on a fresh server, which ends with it:
#   scripts/xvfb.sh [--wm] [--size WxH] -- COMMAND [ARG...]
# or source this file and call
#   tf_xvfb_start [--wm] [--size WxH]   exports DISPLAY and QT_QPA_PLATFORM=xcb
#   tf_xvfb_stop                        ends what tf_xvfb_start started
# The server picks a free display itself (-displayfd), so parallel runs never
# race for one.

TF_XVFB_PID=""
TF_XVFB_WM_PID=""

tf_xvfb_start() {
    local wm="" size="1100x760"
    while [ $# -gt 0 ]; do
        case "$1" in
        --wm) wm=1 ;;
        --size) size=$2; shift ;;
        *) echo "xvfb: unknown option $1" >&2; return 2 ;;
        esac
        shift
    done
    local fifo
    fifo=$(mktemp -u /tmp/tf-xvfb.XXXXXX)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    TF_XVFB_PID=$!
    local display=""
    read -r -t 20 display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ]; then
        echo "xvfb: Xvfb did not start" >&2
        tf_xvfb_stop
        return 1
    fi
    export DISPLAY=":$display"
    export QT_QPA_PLATFORM=xcb
    if [ -n "$wm" ]; then
        openbox --sm-disable >/dev/null 2>&1 &
        TF_XVFB_WM_PID=$!
        # The manager has taken over once it owns the screen's selection.
        local i
        for i in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.05
        done
    fi
    return 0
}

tf_xvfb_stop() {
    [ -n "$TF_XVFB_WM_PID" ] && kill "$TF_XVFB_WM_PID" 2>/dev/null
    [ -n "$TF_XVFB_PID" ] && kill "$TF_XVFB_PID" 2>/dev/null
    [ -n "$TF_XVFB_PID" ] && wait "$TF_XVFB_PID" 2>/dev/null
    TF_XVFB_PID=""
    TF_XVFB_WM_PID=""
    return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    opts=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        opts+=("$1")
        shift
    done
    [ "${1:-}" = "--" ] && shift
    if [ $# -eq 0 ]; then
        echo "usage: scripts/xvfb.sh [--wm] [--size WxH] -- COMMAND [ARG...]" >&2
        exit 2
    fi
    tf_xvfb_start "${opts[@]}" || exit 1
    trap tf_xvfb_stop EXIT
    "$@"
    exit $?
fi
