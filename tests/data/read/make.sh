#!/bin/sh
# Regenerates the reference pairs: small files made by other programs' encoders, each with the
# PNG another program's decoder makes of it. Needs ImageMagick (convert), libtiff-tools, dcmtk,
# Ghostscript and python3; writes MANIFEST.tsv (file, tolerance, share of pixels allowed
# beyond it, the command that made the file).
set -eu
cd "$(dirname "$0")"
rm -rf tiff gif jpeg png bmp pcx tga pnm psd jp2 dicom ico cur wbmp dcx wmf MANIFEST.tsv
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf 'file\ttolerance\tspread\torigin\n' > MANIFEST.tsv
# pair FILE TOLERANCE SPREAD ORIGIN [REFERENCE-COMMAND...]: records FILE, then makes FILE.png
# with the reference command (ImageMagick by default).
pair() {
    file=$1 tol=$2 spread=$3 origin=$(printf "%s" "$4" | sed "s|$work/||g")
    shift 4
    if [ $# -eq 0 ]; then
        convert "$file[0]" -depth 8 -define png:exclude-chunk=date,time "PNG32:$file.png"
    else
        "$@"
    fi
    printf '%s\t%s\t%s\t%s\n' "$file" "$tol" "$spread" "$origin" >> MANIFEST.tsv
}
run() {  # run COMMAND...: runs it and leaves its text in $cmd for the manifest
    cmd="$*"
    "$@"
}

# The pictures everything starts from: a colour field with a white disc, and the same with an
# alpha ramp from opaque (top) to clear (bottom).
base="$work/base.png"
alpha="$work/alpha.png"
convert -size 40x30 xc: -sparse-color bilinear '0,0 red 39,0 yellow 0,29 blue 39,29 lime' \
    -fill white -draw 'circle 20,15 20,7' -fill black -draw 'rectangle 2,2 8,6' -alpha off -depth 8 "$base"
convert "$base" \( -size 40x30 gradient:white-black \) -alpha off -compose copy_opacity \
    -composite -depth 8 "$alpha"
B='base (40x30 colour field)'
A='alpha (base with an alpha ramp)'

mkdir -p tiff gif jpeg png bmp pcx tga pnm psd jp2 dicom ico cur wbmp dcx wmf

# ---- TIFF ----
run convert "$base" -compress lzw tiff/rgb8-lzw.tif; pair tiff/rgb8-lzw.tif 0 0 "$B: $cmd"
run convert "$alpha" -define tiff:alpha=unassociated -compress none tiff/rgba-unassociated.tif
pair tiff/rgba-unassociated.tif 0 0 "$A: $cmd"
run convert "$alpha" -define tiff:alpha=associated -compress zip tiff/rgba-associated.tif
pair tiff/rgba-associated.tif 1 0 "$A: $cmd"
convert "$base" -compress none "$work/rgb8.tif"
run tiffcp -p separate -c lzw "$work/rgb8.tif" tiff/rgb8-planar.tif
pair tiff/rgb8-planar.tif 0 0 "$B as uncompressed TIFF (convert): $cmd"
run tiffcp -t -w 16 -l 16 -c zip "$work/rgb8.tif" tiff/rgb8-tiled.tif
pair tiff/rgb8-tiled.tif 0 0 "$B as uncompressed TIFF (convert): $cmd"
convert "$alpha" -define tiff:alpha=unassociated -compress none "$work/rgba8.tif"
run tiffcp -p separate "$work/rgba8.tif" tiff/rgba8-planar.tif
pair tiff/rgba8-planar.tif 0 0 "$A as unassociated TIFF (convert): $cmd"
run convert "$base" -depth 16 -compress zip tiff/rgb16.tif; pair tiff/rgb16.tif 0 0 "$B: $cmd"
run convert "$alpha" -depth 16 -define tiff:alpha=unassociated tiff/rgba16.tif
pair tiff/rgba16.tif 0 0 "$A: $cmd"
run convert "$base" -colorspace gray -compress zip tiff/grey8.tif; pair tiff/grey8.tif 0 0 "$B: $cmd"
run convert "$alpha" -colorspace gray -define tiff:alpha=unassociated tiff/grey-alpha.tif
pair tiff/grey-alpha.tif 0 0 "$A: $cmd"
run convert "$base" -colorspace gray -depth 4 tiff/grey4.tif; pair tiff/grey4.tif 0 0 "$B: $cmd"
run convert "$base" -colors 16 -type palette -compress rle tiff/palette.tif
pair tiff/palette.tif 0 0 "$B: $cmd"
run convert "$base" -colorspace cmyk -compress lzw tiff/cmyk8.tif; pair tiff/cmyk8.tif 1 0 "$B: $cmd"
run convert "$base" -colorspace cmyk -depth 16 tiff/cmyk16.tif; pair tiff/cmyk16.tif 1 0 "$B: $cmd"
# ImageMagick takes L*a*b* relative to D65 where TIFF means D50: the pair holds neutral
# colours only, on which the two agree (and which a display-white conversion tints).
grey="$work/grey.png"
convert "$base" -colorspace gray -colorspace sRGB "$grey"
run convert "$grey" -colorspace Lab -compress none tiff/cielab8.tif
pair tiff/cielab8.tif 1 0 "base in grey: $cmd"
run convert "$grey" -colorspace Lab -depth 16 tiff/cielab16.tif
pair tiff/cielab16.tif 1 0 "base in grey: $cmd"
run convert "$base" -define quantum:format=floating-point -depth 32 tiff/float32.tif
pair tiff/float32.tif 1 0 "$B: $cmd"
run convert "$base" -depth 32 tiff/int32.tif; pair tiff/int32.tif 0 0 "$B: $cmd"
# ImageMagick rounds 12-bit samples twice (to 16 bits, then to 8): one level apart at most.
run convert "$base" -depth 12 tiff/rgb12.tif; pair tiff/rgb12.tif 1 0 "$B: $cmd"
run tiffcp -c jpeg:90 -r 16 "$work/rgb8.tif" tiff/ycbcr-jpeg.tif
pair tiff/ycbcr-jpeg.tif 6 0 "$B as uncompressed TIFF (convert): $cmd"
run convert "$base" -monochrome -compress group4 tiff/bilevel-g4.tif
pair tiff/bilevel-g4.tif 0 0 "$B: $cmd"

# ---- GIF, JPEG, PNG ----
run convert "$base" gif/colours.gif; pair gif/colours.gif 0 0 "$B: $cmd"
run convert "$alpha" -channel A -threshold 50% +channel gif/transparent.gif
pair gif/transparent.gif 0 0 "$A: $cmd"
run convert "$base" -quality 85 jpeg/baseline.jpg; pair jpeg/baseline.jpg 3 0 "$B: $cmd"
run convert "$base" -quality 85 -interlace plane jpeg/progressive.jpg
pair jpeg/progressive.jpg 3 0 "$B: $cmd"
run convert "$base" -colorspace gray -quality 90 jpeg/grey.jpg; pair jpeg/grey.jpg 3 0 "$B: $cmd"
run convert "$alpha" PNG8:png/palette-trns.png; pair png/palette-trns.png 0 0 "$A: $cmd"
run convert "$alpha" -depth 16 PNG64:png/rgba16.png; pair png/rgba16.png 0 0 "$A: $cmd"
run convert "$base" -colorspace gray -interlace PNG png/grey-interlaced.png
pair png/grey-interlaced.png 0 0 "$B: $cmd"

# ---- BMP, PCX, Targa, portable maps, Photoshop ----
run convert "$base" BMP3:bmp/rgb24.bmp; pair bmp/rgb24.bmp 0 0 "$B: $cmd"
run convert "$base" -colors 16 -type palette BMP3:bmp/palette.bmp; pair bmp/palette.bmp 0 0 "$B: $cmd"
run convert "$base" pcx/rgb24.pcx; pair pcx/rgb24.pcx 0 0 "$B: $cmd"
run convert "$base" -colors 16 -type palette pcx/palette.pcx; pair pcx/palette.pcx 0 0 "$B: $cmd"
# ImageMagick 6.9 writes and reads Targa rows upside down; netpbm is the reference here.
tga_png() {
    tgatoppm --alphaout="$work/tga-alpha.pgm" "$1" > "$work/tga.ppm"
    if [ "${2:-}" = alpha ]; then
        pnmtopng -alpha="$work/tga-alpha.pgm" "$work/tga.ppm" > "$1.png"
    else
        pnmtopng "$work/tga.ppm" > "$1.png"
    fi
}
convert "$base" "$work/base.ppm"
cmd="pamtotga -rgb base.ppm"; pamtotga -rgb "$work/base.ppm" > tga/rgb24-rle.tga
pair tga/rgb24-rle.tga 0 0 "$B as PPM: $cmd > tga/rgb24-rle.tga" tga_png tga/rgb24-rle.tga
run convert "$alpha" -flip tga/rgba32.tga
pair tga/rgba32.tga 0 0 "$A, its rows flipped to undo ImageMagick's: $cmd" tga_png tga/rgba32.tga alpha
run convert "$base" -monochrome pnm/bilevel.pbm; pair pnm/bilevel.pbm 0 0 "$B: $cmd"
run convert "$base" -colorspace gray -compress none pnm/grey-ascii.pgm
pair pnm/grey-ascii.pgm 0 0 "$B: $cmd"
run convert "$base" -depth 16 pnm/rgb16.ppm; pair pnm/rgb16.ppm 0 0 "$B: $cmd"
run convert "$base" psd/rgb.psd; pair psd/rgb.psd 0 0 "$B: $cmd"

# ---- JPEG 2000 ----
run convert "$base" -quality 0 jp2/lossless.jp2; pair jp2/lossless.jp2 0 0 "$B: $cmd"
run convert "$base" -quality 30 jp2/lossy.j2k; pair jp2/lossy.j2k 2 0 "$B: $cmd"

# ---- icons, wireless bitmaps, multi-page PCX ----
run convert "$alpha" ico/rgba.ico; pair ico/rgba.ico 0 0 "$A: $cmd"
run convert "$base" -colors 16 -type palette BMP3:"$work/cur.bmp"
run convert "$alpha" cur/rgba.cur; pair cur/rgba.cur 0 0 "$A: $cmd"
run convert "$base" wbmp/bilevel.wbmp; pair wbmp/bilevel.wbmp 0 0 "$B: $cmd"
run convert "$base" -type palette dcx/two-pages.dcx; pair dcx/two-pages.dcx 0 0 "$B: $cmd"

# ---- DICOM ----
convert "$base" BMP3:"$work/base.bmp"
convert "$base" -quality 90 "$work/base.jpg"
dicom_png() { dcmj2pnm --write-png +Wi 1 "$1" "$1.png" 2>/dev/null || dcmj2pnm --write-png "$1" "$1.png"; }
run img2dcm -i BMP "$work/base.bmp" dicom/rgb.dcm
pair dicom/rgb.dcm 0 0 "$B as BMP3: $cmd" dicom_png dicom/rgb.dcm
run img2dcm "$work/base.jpg" dicom/jpeg-baseline.dcm
pair dicom/jpeg-baseline.dcm 2 0 "$B as JPEG (convert -quality 90): $cmd" dicom_png dicom/jpeg-baseline.dcm
run dcmcrle dicom/rgb.dcm dicom/rle.dcm; pair dicom/rle.dcm 0 0 "dicom/rgb.dcm: $cmd" dicom_png dicom/rle.dcm
run dcmcjpeg +e1 dicom/rgb.dcm dicom/jpeg-lossless.dcm
pair dicom/jpeg-lossless.dcm 0 0 "dicom/rgb.dcm: $cmd" dicom_png dicom/jpeg-lossless.dcm
convert "$base" -depth 8 "rgb:$work/base.rgb"
convert "$base" -quality 0 "$work/j2k.j2k"
python3 ./dicom.py "$work" dicom
pair dicom/grey12.dcm 0 0 "python3 dicom.py (12-bit grey ramp with a window)" dicom_png dicom/grey12.dcm
run dcmcjpeg +ee dicom/grey12.dcm dicom/grey12-jpeg-extended.dcm
pair dicom/grey12-jpeg-extended.dcm 2 0 "dicom/grey12.dcm: $cmd" dicom_png dicom/grey12-jpeg-extended.dcm
run dcmcjpeg +el dicom/grey12.dcm dicom/grey12-jpeg-lossless.dcm
pair dicom/grey12-jpeg-lossless.dcm 0 0 "dicom/grey12.dcm: $cmd" dicom_png dicom/grey12-jpeg-lossless.dcm
pair dicom/ybr422.dcm 0 0 "python3 dicom.py (YBR_FULL_422, uncompressed)" dicom_png dicom/ybr422.dcm
# Free DCMTK cannot decode JPEG 2000: the reference is ImageMagick's decoding of the code stream.
pair dicom/j2k.dcm 0 0 "python3 dicom.py (the code stream of: convert base -quality 0 base.j2k)" \
    convert "$work/j2k.j2k" -depth 8 PNG32:dicom/j2k.dcm.png

# ---- Windows metafiles (ImageMagick renders them through libwmf) ----
python3 ./wmf.py wmf
# libwmf places text a few pixels off and draws lines on pixel edges: a share of pixels
# may differ (glyph and line edges), shapes must not.
for f in wmf/*.wmf; do
    pair "$f" 64 0.1 "python3 wmf.py" convert -background none -density 96 "$f" -depth 8 "PNG32:$f.png"
done
