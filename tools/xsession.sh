#!/usr/bin/env bash
# Sourced by the screenshot scripts: a virtual display with a window manager and a compositor, as a
# desktop user has, so translucent shadows, stacking and placement show as they really are.
#   source tools/xsession.sh; xsession_start; ...; xsession_stop
# Needs the Debian packages xvfb, openbox, xcompmgr, imagemagick and xdotool.

xsession_start() {
    local size=${1:-1280x900}
    XSESSION_DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$XSESSION_DISPLAY" -screen 0 "${size}x24" +extension Composite >/dev/null 2>&1 &
    XSESSION_PIDS=$!
    sleep 1
    DISPLAY=$XSESSION_DISPLAY openbox >/dev/null 2>&1 &
    XSESSION_PIDS="$XSESSION_PIDS $!"
    DISPLAY=$XSESSION_DISPLAY xcompmgr >/dev/null 2>&1 &
    XSESSION_PIDS="$XSESSION_PIDS $!"
    sleep 1
    export DISPLAY=$XSESSION_DISPLAY
}

# The whole screen as the user sees it; xwd would show translucent windows black.
xsession_shot() {
    import -window root "$1"
}

xsession_stop() {
    # shellcheck disable=SC2086
    kill $XSESSION_PIDS 2>/dev/null
    wait 2>/dev/null
}
