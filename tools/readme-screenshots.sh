#!/usr/bin/env bash
# Takes the README's screenshots (docs/screenshots/) of the main window with a few entries and of
# the export dialog, each with its shadow, on a virtual desktop (tools/xsession.sh).
#   tools/readme-screenshots.sh [BUILD-DIR]      (default: build)
# Needs the Debian packages xvfb, openbox, xcompmgr, imagemagick and xdotool.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")
out=$root/docs/screenshots
[ -x "$build/glyphwright" ] || { echo "no $build/glyphwright: build it first" >&2; exit 1; }

work=$(mktemp -d)
trap 'xsession_stop; rm -rf "$work"' EXIT

# A portable copy in a scratch folder, so its Options.ini is its own and the user's stay untouched.
mkdir -p "$work/app" "$work/home" "$work/samples"
cp "$build/glyphwright" "$work/app/"
cp -r "$build/Languages" "$work/app/"
cat >"$work/app/Options.ini" <<INI
[EXPORT]
Format=0
Transparent=1
Size=101100011
SavePath=/home/user/Pictures/Icons
Width=128
Height=128
GradualColor=16777215
INI

# Something to show: the program's own icon as an icon file and as PNG, and ImageMagick's
# built-in pictures in a few of the formats the program reads.
icons=$root/dist/icons/png
convert "$icons/16.png" "$icons/32.png" "$icons/48.png" "$icons/256.png" "$work/samples/glyphwright.ico"
cp "$icons/256.png" "$work/samples/glyphwright.png"
convert logo: -trim -resize 256x256 "$work/samples/logo.jpg"
convert wizard: -resize 200x200 "$work/samples/wizard.bmp"
convert rose: "$work/samples/rose.tga"
convert granite: "$work/samples/granite.gif"
convert netscape: "$work/samples/netscape.pcx"
convert logo: -trim -resize 128x128 -transparent white "$work/samples/logo.psd"

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config LANG=C.UTF-8
# shellcheck source=tools/xsession.sh
source "$root/tools/xsession.sh"
xsession_start 1280x900
convert -size 1280x900 gradient:'#e9eef4'-'#c9d3de' "$work/backdrop.png"
# A light desk under the windows (xcompmgr paints the bare root grey), so the shadows show.
display -backdrop -background '#dfe5ec' -geometry +0+0 "$work/backdrop.png" &
sleep 1

"$work/app/glyphwright" &
app=$!
main=$(xdotool search --sync --onlyvisible --pid "$app" --name '^Glyphwright$' | head -1)
sleep 1

# Window geometry as "X Y W H".
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
click() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.5
}
# The screen cut to a window and the shadow around it.
shot() {
    local x y w h m=28
    read -r x y w h < <(geometry "$1")
    xsession_shot "$work/screen.png"
    convert "$work/screen.png" -crop "$((w + 2 * m))x$((h + 2 * m))+$((x - m))+$((y - m))" +repage \
        -strip -define png:compression-level=9 "$2"
}

read -r mx my _ _ < <(geometry "$main")
# "Open folder" (the second command button), then the folder typed into the folder dialog.
click $((mx + 359)) $((my + 69))
sleep 1
xdotool type --delay 15 "$work/samples/"
xdotool key Return
sleep 3

# Select two entries (the first, and the third with Ctrl) and move the pointer off the grid.
click $((mx + 60)) $((my + 180))
xdotool keydown ctrl
click $((mx + 230)) $((my + 180))
xdotool keyup ctrl
xdotool mousemove $((mx + 700)) $((my + 60))
sleep 1
shot "$main" "$out/main-window.png"

# Export -> "Export selected"; then show the sample at 48 x 48 (the fourth size row).
click $((mx + 449)) $((my + 69))
xdotool key Down Return
sleep 1.5
dialog=$(xdotool getactivewindow)
read -r dx dy _ _ < <(geometry "$dialog")
click $((dx + 170)) $((dy + 150))
xdotool mousemove 5 5
sleep 1
shot "$dialog" "$out/export-dialog.png"

xdotool key Escape
sleep 0.5
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
ls -l "$out"
