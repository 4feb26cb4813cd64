#!/usr/bin/env bash
# Starts Glyphwright on a virtual desktop (Xvfb, openbox, xcompmgr), opens two pictures, opens the
# export dialog several times and takes screenshots of what a user sees: the dialog with its
# shadow, its format drop-down, a check box, an OK-check message box, the colour dialog, a
# dragged dialog. Look at the pictures; the pop-ups must open inside the dialog every time.
#   tools/ui-check.sh [build dir] [output folder] [openings]
# Needs the Debian packages xvfb, openbox, xcompmgr, imagemagick and xdotool.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
out=${2:-$(mktemp -d /tmp/gw-ui-check.XXXXXX)}
openings=${3:-4}
mkdir -p "$out"

# shellcheck source=tools/xsession.sh
source "$here/xsession.sh"

work=$(mktemp -d /tmp/gw-ui-work.XXXXXX)
program=$work/program
mkdir -p "$program" "$work/pictures"
cp "$build/glyphwright" "$program/"
cp -r "$build/Languages" "$program/"
convert -size 48x48 xc:white -fill red -draw "circle 24,24 24,8" "$work/pictures/disc.png"
convert -size 40x30 gradient:blue-yellow "$work/pictures/ramp.png"

app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    xsession_stop
    rm -rf "$work"
}
trap cleanup EXIT

xsession_start 1280x900

# The top-left corner of a window (as the window system has it).
window_origin() {
    xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

click_at() {
    xdotool mousemove "$1" "$2" click "${3:-1}"
    sleep 0.6
}

"$program/glyphwright" &
app_pid=$!
sleep 2
read -r mx my < <(window_origin "$(xdotool getactivewindow)")
echo "main window at $mx,$my"

# "Open files": type both paths into Qt's file dialog.
click_at $((mx + 269)) $((my + 69))
sleep 1
xsession_shot "$out/00-file-dialog.png"
xdotool type --delay 20 "\"$work/pictures/disc.png\" \"$work/pictures/ramp.png\""
xdotool key Return
sleep 2
xsession_shot "$out/01-main.png"

for n in $(seq 1 "$openings"); do
    # "Export", then "Export all" from its menu.
    click_at $((mx + 449)) $((my + 69))
    xdotool key Down Down Return
    sleep 1.5
    read -r dx dy < <(window_origin "$(xdotool getactivewindow)")
    echo "opening $n: dialog at $dx,$dy"
    xsession_shot "$out/1$n-dialog.png"
    # The format drop-down.
    click_at $((dx + 204)) $((dy + 52))
    xsession_shot "$out/1$n-dropdown.png"
    xdotool key Escape
    sleep 0.4
    # "Set transparent", then OK with no size chosen: the message box of the first check.
    click_at $((dx + 24 + 112)) $((dy + 70 + 8))
    click_at $((dx + 330)) $((dy + 307))
    xsession_shot "$out/1$n-checkbox-message.png"
    xdotool key Return
    sleep 0.4
    if [ "$n" = 1 ]; then
        # The colour swatch: Qt's colour dialog, in Chinese.
        click_at $((dx + 24 + 410)) $((dy + 70 + 8))
        xsession_shot "$out/19-colour-dialog.png"
        xdotool key Escape
        sleep 0.4
        # Dragged by its title strip; the shot is taken with the button still down.
        xdotool mousemove $((dx + 300)) $((dy + 12)) mousedown 1
        for step in 1 2 3 4 5 6; do
            xdotool mousemove_relative -- -20 15
            sleep 0.1
        done
        sleep 0.4
        xsession_shot "$out/18-dragging.png"
        xdotool mouseup 1
        sleep 0.4
    fi
    # Cancel.
    xdotool key Escape
    sleep 0.8
done
xsession_shot "$out/20-after.png"
echo "screenshots in $out"
