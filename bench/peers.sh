#!/bin/bash
# Runs our command line and other tools of the field on the same inputs, their runs alternating,
# and prints the median wall time of each, the ratio ours ÷ peer and our peak memory.
#   bench/peers.sh [BUILD_DIR] [RUNS]          defaults: build, 5
#   GW_PEER_INPUTS=folder   where the inputs are made once and kept (default /tmp/gw-peers)
#   GW_PEER_JOBS=n          glyphwright-cli export --jobs (default: its own, one per processor)
# Peers: icoutils (wrestool, icotool), ImageMagick (convert), Pillow (python3-pil),
# vipsthumbnail (libvips-tools). A missing peer's rows are left out.
set -eu

build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
inputs=${GW_PEER_INPUTS:-/tmp/gw-peers}
cli=$build/cli/glyphwright-cli
make=$build/bench/peer_inputs
python=/usr/bin/python3
for tool in "$cli" "$make"; do
    [ -x "$tool" ] || { echo "missing $tool: build with -DGW_BUILD_BENCH=ON" >&2; exit 1; }
done
jobs=()
[ -n "${GW_PEER_JOBS:-}" ] && jobs=(-j "$GW_PEER_JOBS")
sizes=16,24,32,48,64,72,96,128,256
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- inputs
mkdir -p "$inputs/photos"
[ -f "$inputs/library.dll" ] || "$make" library "$inputs/library.dll" 184
[ -f "$inputs/photo.jpg" ] || "$make" photo "$inputs/photo.jpg" 4000 3000
[ -f "$inputs/photo.bmp" ] || "$make" photo "$inputs/photo.bmp" 4000 3000
for i in $(seq -w 0 99); do
    [ -f "$inputs/photos/photo_$i.jpg" ] || "$make" photo "$inputs/photos/photo_$i.jpg" 4000 3000 "$((10#$i))"
done
shell32=
for f in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll \
         /usr/lib/wine/x86_64-windows/shell32.dll /usr/lib/i386-linux-gnu/wine/i386-windows/shell32.dll; do
    [ -f "$f" ] && { shell32=$f; break; }
done

# ---- the commands; each runs in a fresh output folder "$work/o"
fresh() { rm -rf "$work/o"; mkdir "$work/o"; }
ours_ico() { fresh; "$cli" export -q "${jobs[@]}" -o "$work/o" -s "$sizes" "$@" > /dev/null; }
icoutils_x() {
    fresh
    wrestool -x -t 14 -o "$work/o" "$1"
    icotool -x -o "$work/o" "$work"/o/*.ico
}
pillow_ico() {
    fresh
    "$python" -c 'import sys; from PIL import Image
s = [int(v) for v in sys.argv[3].split(",")]
Image.open(sys.argv[1]).save(sys.argv[2], sizes=[(v, v) for v in s])' "$1" "$work/o/p.ico" "$sizes"
}
magick_ico() { fresh; /usr/bin/convert "$1" -define icon:auto-resize=256,128,96,72,64,48,32,24,16 "$work/o/m.ico"; }
ours_list() { "$cli" list "$inputs"/photos/*.jpg > /dev/null; }
vips_thumbs() { fresh; vipsthumbnail --size 80 -o "$work/o/%s.jpg" "$inputs"/photos/*.jpg; }
ours_resize() { fresh; "$cli" convert --size 1000x750 --filter hermite "$1" "$work/o/r.bmp"; }
pillow_resize() {
    fresh
    "$python" -c 'import sys; from PIL import Image
Image.open(sys.argv[1]).resize((1000, 750), Image.BILINEAR).save(sys.argv[2])' "$1" "$work/o/r.bmp"
}

have() { command -v "$1" > /dev/null 2>&1; }
havepil() { "$python" -c 'import PIL' > /dev/null 2>&1; }

seconds() {
    local t0 t1
    t0=$(date +%s%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    t1=$(date +%s%N)
    echo "scale=4; ($t1 - $t0) / 1000000000" | bc
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# Peak resident memory of the largest process a command runs, in MiB.
peakmb() {
    /usr/bin/time -o "$work/rss" -f %M bash -c "$(declare -f); $(declare -p cli work jobs sizes python inputs); \"\$@\"" _ "$@" > /dev/null 2>&1 || true
    awk '{printf "%.0f", $1 / 1024}' "$work/rss"
}

# compare "work" "goal" "ours command..." -- "peer name" "peer command..."
compare() {
    local what=$1 goal=$2 peer=$3 ours=$4 theirs=$5 arg=$6
    local a=() b=() i
    for ((i = 0; i < runs; i++)); do
        a+=("$(seconds $ours "$arg")") || { printf '| %s | failed | | | %s | |\n' "$what" "$goal"; return 0; }
        b+=("$(seconds $theirs "$arg")") || { printf '| %s | | %s failed | | %s | |\n' "$what" "$peer" "$goal"; return 0; }
    done
    local ma mb ratio mem
    ma=$(printf '%s\n' "${a[@]}" | median)
    mb=$(printf '%s\n' "${b[@]}" | median)
    ratio=$(echo "scale=2; $ma / $mb" | bc)
    mem=$(peakmb $ours "$arg")
    printf '| %s | %.2f s | %s: %.2f s | %s× | %s | %s MiB |\n' "$what" "$ma" "$peer" "$mb" "$ratio" "$goal" "$mem"
}

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg), $runs runs each"
echo
echo "| Work | Ours (median) | Peer (median) | Ratio | Goal | Our peak memory |"
echo "|---|---|---|---|---|---|"
if have wrestool && have icotool; then
    compare "Library of 184 icons → one 9-size .ico per icon" "≤ 0.6×" "icoutils wrestool + icotool -x" ours_ico icoutils_x "$inputs/library.dll"
    [ -n "$shell32" ] && compare "Wine's shell32.dll → one 9-size .ico per icon" "≤ 0.6×" "icoutils wrestool + icotool -x" ours_ico icoutils_x "$shell32"
fi
havepil && compare "4000 × 3000 JPEG → one 9-size .ico" "≤ 0.2×" "Pillow save(sizes=…)" ours_ico pillow_ico "$inputs/photo.jpg"
[ -x /usr/bin/convert ] && compare "4000 × 3000 JPEG → one 9-size .ico" "—" "ImageMagick icon:auto-resize" ours_ico magick_ico "$inputs/photo.jpg"
have vipsthumbnail && compare "100 JPEGs of 12 MP opened into thumbnails (list)" "≤ 0.6×" "vipsthumbnail --size 80" ours_list vips_thumbs ""
havepil && compare "4000 × 3000 BMP → 1000 × 750 BMP, Hermite" "≤ 0.5×" "Pillow BILINEAR" ours_resize pillow_resize "$inputs/photo.bmp"
