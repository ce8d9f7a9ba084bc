#!/bin/bash
# How close the preview of each pixel kind comes to the page: writes one scan-like page in about
# 130 kinds of PNG, TIFF, BMP, GIF, PNM, WebP and JPEG (two sizes, a third for a few), makes each
# preview with preview_tool and compares it with ImageMagick's own reduction of the same file
# (orientation applied, transparency on white) at the preview's size.
#
#   bench/preview_kinds.sh [work folder] [preview_tool]     (default /work/kinds, build-rel)
#   KINDS='^tif-' JOBS=8 bench/preview_kinds.sh              only the kinds matching a regex
#
# Page files and references are kept in the work folder and reused; previews are made afresh.
# Verdicts: RMSE (normalised, from `compare -metric RMSE`) under 0.03, JPEG under 0.05; 1-bit and
# palette kinds are judged against a box-filtered reference, as the preview averages them.
set -u -o pipefail
shopt -s extglob

here=$(cd "$(dirname "$0")" && pwd)
work=$(mkdir -p "${1:-/work/kinds}" && cd "${1:-/work/kinds}" && pwd)
tool=$(realpath "${2:-$here/../build-rel/bench/preview_tool}")
[ -x "$tool" ] || { echo "no preview_tool at $tool" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen
export MAGICK_THREAD_LIMIT=${MAGICK_THREAD_LIMIT:-2}

# name | verdict class (plain, box, jpeg) | source (flat: on white, alpha: with transparency) |
# extension | ImageMagick coder | options. @exif=N adds an EXIF orientation to a JPEG (convert
# writes none); @rows-per-strip sets one strip for the whole page.
kinds() {
    local b='-colorspace gray -threshold 50%'                 # 1-bit
    local np='-define png:include-chunk=none,trns,gama'        # no bKGD, so palettes keep their size
    local o=(TopLeft TopRight BottomRight BottomLeft LeftTop RightTop RightBottom LeftBottom)
    cat <<EOF
png-grey1|box|flat|png|PNG|$b -define png:color-type=0 -define png:bit-depth=1
png-grey2|plain|flat|png|PNG|-colorspace gray -depth 2 -define png:color-type=0 -define png:bit-depth=2
png-grey4|plain|flat|png|PNG|-colorspace gray -depth 4 -define png:color-type=0 -define png:bit-depth=4
png-grey8|plain|flat|png|PNG|-colorspace gray -depth 8 -define png:color-type=0 -define png:bit-depth=8
png-grey16|plain|flat|png|PNG|-colorspace gray -depth 16 -define png:color-type=0 -define png:bit-depth=16
png-greyalpha8|plain|alpha|png|PNG|-colorspace gray -depth 8 -define png:color-type=4 -define png:bit-depth=8
png-greyalpha16|plain|alpha|png|PNG|-colorspace gray -depth 16 -define png:color-type=4 -define png:bit-depth=16
png-rgb8|plain|flat|png|PNG24|
png-rgb16|plain|flat|png|PNG48|
png-rgba8|plain|alpha|png|PNG32|
png-rgba16|plain|alpha|png|PNG64|
png-pal1|box|flat|png|PNG8|-depth 8 -colors 2 $np -define png:bit-depth=1
png-pal2|box|flat|png|PNG8|-depth 8 -colors 4 $np -define png:bit-depth=2
png-pal4|box|flat|png|PNG8|-depth 8 -colors 16 $np -define png:bit-depth=4
png-pal8|box|flat|png|PNG8|-depth 8 -colors 256 $np -define png:bit-depth=8
png-pal1-trns|box|alpha|png|PNG8|-depth 8 $b -transparent white $np -define png:bit-depth=1
png-pal2-trns|box|alpha|png|PNG8|-depth 8 -colors 4 $np -define png:bit-depth=2
png-pal4-trns|box|alpha|png|PNG8|-depth 8 -colors 16 $np -define png:bit-depth=4
png-pal8-trns|box|alpha|png|PNG8|-depth 8 -colors 256 $np -define png:bit-depth=8
png-grey1-interlaced|box|flat|png|PNG|$b -define png:color-type=0 -define png:bit-depth=1 -interlace PNG
png-grey8-interlaced|plain|flat|png|PNG|-colorspace gray -depth 8 -define png:color-type=0 -define png:bit-depth=8 -interlace PNG
png-grey16-interlaced|plain|flat|png|PNG|-colorspace gray -depth 16 -define png:color-type=0 -define png:bit-depth=16 -interlace PNG
png-greyalpha8-interlaced|plain|alpha|png|PNG|-colorspace gray -depth 8 -define png:color-type=4 -define png:bit-depth=8 -interlace PNG
png-rgb8-interlaced|plain|flat|png|PNG24|-interlace PNG
png-rgba16-interlaced|plain|alpha|png|PNG64|-interlace PNG
png-pal4-trns-interlaced|box|alpha|png|PNG8|-depth 8 -colors 16 $np -define png:bit-depth=4 -interlace PNG
png-pal8-interlaced|box|flat|png|PNG8|-depth 8 -colors 256 $np -define png:bit-depth=8 -interlace PNG
tif-bw-none|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress none
tif-bw-g3|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress fax
tif-bw-g4|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress group4
tif-bw-g4-lsb|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress group4 -define tiff:fill-order=lsb
tif-bw-lzw|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress lzw
tif-bw-packbits|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress rle
tif-bw-miniswhite|box|flat|tif|TIFF|$b -type bilevel -depth 1 -define quantum:polarity=min-is-white -compress none
tif-bw-onestrip|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress group4 @rows-per-strip
tif-bw-tiled|box|flat|tif|TIFF|$b -type bilevel -depth 1 -compress none -define tiff:tile-geometry=256x256
tif-pal2|box|flat|tif|TIFF|-depth 8 -colors 4 -type palette -depth 2 -compress none
tif-pal4|box|flat|tif|TIFF|-depth 8 -colors 16 -type palette -depth 4 -compress none
tif-pal8|box|flat|tif|TIFF|-depth 8 -colors 256 -type palette -depth 8 -compress lzw
tif-pal8-tiled|box|flat|tif|TIFF|-depth 8 -colors 256 -type palette -depth 8 -compress lzw -define tiff:tile-geometry=256x256
tif-grey4|plain|flat|tif|TIFF|-colorspace gray -depth 4 -compress none
tif-grey8|plain|flat|tif|TIFF|-colorspace gray -depth 8 -compress none
tif-grey16|plain|flat|tif|TIFF|-colorspace gray -depth 16 -compress none
tif-grey16-msb|plain|flat|tif|TIFF|-colorspace gray -depth 16 -compress none -define tiff:endian=msb
tif-grey8-miniswhite|plain|flat|tif|TIFF|-colorspace gray -depth 8 -define quantum:polarity=min-is-white -compress lzw
tif-greyalpha8|plain|alpha|tif|TIFF|-colorspace gray -depth 8 -compress lzw
tif-greyalpha16|plain|alpha|tif|TIFF|-colorspace gray -depth 16 -compress lzw
tif-rgb8|plain|flat|tif|TIFF|-depth 8 -compress none
tif-rgb16|plain|flat|tif|TIFF|-depth 16 -compress none
tif-rgb16-msb|plain|flat|tif|TIFF|-depth 16 -compress none -define tiff:endian=msb
tif-rgba8-assoc|plain|alpha|tif|TIFF|-depth 8 -define tiff:alpha=associated -compress lzw
tif-rgba8-unassoc|plain|alpha|tif|TIFF|-depth 8 -define tiff:alpha=unassociated -compress lzw
tif-rgba16-assoc|plain|alpha|tif|TIFF|-depth 16 -define tiff:alpha=associated -compress lzw
tif-rgba16-unassoc|plain|alpha|tif|TIFF|-depth 16 -define tiff:alpha=unassociated -compress lzw
tif-cmyk8|plain|flat|tif|TIFF|-colorspace cmyk -depth 8 -compress lzw
tif-cmyk16|plain|flat|tif|TIFF|-colorspace cmyk -depth 16 -compress lzw
tif-planar-rgb8|plain|flat|tif|TIFF|-depth 8 -interlace plane -compress lzw
tif-planar-rgb16|plain|flat|tif|TIFF|-depth 16 -interlace plane -compress none
tif-planar-rgba8|plain|alpha|tif|TIFF|-depth 8 -interlace plane -compress lzw
tif-tiled-grey8|plain|flat|tif|TIFF|-colorspace gray -depth 8 -compress lzw -define tiff:tile-geometry=256x256
tif-tiled-rgb8|plain|flat|tif|TIFF|-depth 8 -compress lzw -define tiff:tile-geometry=256x256
tif-tiled-rgba16|plain|alpha|tif|TIFF|-depth 16 -compress zip -define tiff:tile-geometry=256x256
tif-tiled-planar-rgb8|plain|flat|tif|TIFF|-depth 8 -interlace plane -compress lzw -define tiff:tile-geometry=256x256
tif-tiled-jpeg|plain|flat|tif|TIFF|-depth 8 -compress jpeg -quality 90 -define tiff:tile-geometry=256x256
tif-onestrip-rgb8|plain|flat|tif|TIFF|-depth 8 -compress lzw @rows-per-strip
tif-onestrip-grey16|plain|flat|tif|TIFF|-colorspace gray -depth 16 -compress zip @rows-per-strip
tif-jpeg|plain|flat|tif|TIFF|-depth 8 -compress jpeg -quality 90
tif-jpeg-grey|plain|flat|tif|TIFF|-colorspace gray -depth 8 -compress jpeg -quality 90
tif-deflate|plain|flat|tif|TIFF|-depth 8 -compress zip
tif-deflate-predictor|plain|flat|tif|TIFF|-depth 8 -compress zip -define tiff:predictor=2
tif-lzw-predictor16|plain|flat|tif|TIFF|-depth 16 -compress lzw -define tiff:predictor=2
tif-packbits|plain|flat|tif|TIFF|-depth 8 -compress rle
EOF
    local i
    for i in 1 2 3 4 5 6 7 8; do
        echo "tif-orient$i|plain|flat|tif|TIFF|-depth 8 -compress lzw -orient ${o[i-1]}"
    done
    cat <<EOF
bmp3-1|box|flat|bmp|BMP3|$b -type bilevel -compress none
bmp3-4|box|flat|bmp|BMP3|-depth 8 -colors 16 -type palette -compress none
bmp3-8|box|flat|bmp|BMP3|-depth 8 -colors 256 -type palette -compress none
bmp3-grey8|box|flat|bmp|BMP3|-colorspace gray -depth 8 -colors 256 -type palette -compress none
bmp3-rle8|box|flat|bmp|BMP3|-depth 8 -colors 256 -type palette -compress RLE
bmp3-24|plain|flat|bmp|BMP3|-depth 8 -type truecolor -compress none
bmp2-8|box|flat|bmp|BMP2|-depth 8 -colors 256 -type palette -compress none
bmp2-24|plain|flat|bmp|BMP2|-depth 8 -type truecolor -compress none
bmp4-8|box|flat|bmp|BMP|-depth 8 -colors 256 -type palette -compress none
bmp4-24|plain|flat|bmp|BMP|-depth 8 -type truecolor -compress none
bmp4-32-alpha|plain|alpha|bmp|BMP|-depth 8 -type truecoloralpha -compress none
bmp4-565|plain|flat|bmp|BMP|-depth 8 -define bmp:subtype=RGB565 -compress none
bmp4-555|plain|flat|bmp|BMP|-depth 8 -define bmp:subtype=RGB555 -compress none
gif-2|box|flat|gif|GIF|$b -colors 2
gif-16|box|flat|gif|GIF|-depth 8 -colors 16
gif-256|box|flat|gif|GIF|-depth 8 -colors 256
gif-256-trns|box|alpha|gif|GIF|-depth 8 -colors 256
gif-256-interlaced|box|flat|gif|GIF|-depth 8 -colors 256 -interlace GIF
gif-16-trns-interlaced|box|alpha|gif|GIF|-depth 8 -colors 16 -interlace GIF
pbm-raw|box|flat|pbm|PBM|$b
pbm-plain|box|flat|pbm|PBM|$b -compress none
pgm-raw|plain|flat|pgm|PGM|-depth 8
pgm-plain|plain|flat|pgm|PGM|-depth 8 -compress none
pgm16-raw|plain|flat|pgm|PGM|-depth 16
pgm16-plain|plain|flat|pgm|PGM|-depth 16 -compress none
ppm-raw|plain|flat|ppm|PPM|-depth 8
ppm-plain|plain|flat|ppm|PPM|-depth 8 -compress none
ppm16-raw|plain|flat|ppm|PPM|-depth 16
ppm16-plain|plain|flat|ppm|PPM|-depth 16 -compress none
webp-lossy|plain|flat|webp|WEBP|-quality 85
webp-lossless|plain|flat|webp|WEBP|-define webp:lossless=true
webp-lossy-alpha|plain|alpha|webp|WEBP|-quality 85
webp-lossless-alpha|plain|alpha|webp|WEBP|-define webp:lossless=true
jpeg-baseline|jpeg|flat|jpg|JPEG|-quality 90 -interlace none
jpeg-444|jpeg|flat|jpg|JPEG|-quality 90 -interlace none -sampling-factor 1x1
jpeg-progressive|jpeg|flat|jpg|JPEG|-quality 90 -interlace JPEG
jpeg-grey|jpeg|flat|jpg|JPEG|-colorspace gray -quality 90
jpeg-grey-progressive|jpeg|flat|jpg|JPEG|-colorspace gray -quality 90 -interlace JPEG
jpeg-cmyk|jpeg|flat|jpg|JPEG|-colorspace cmyk -quality 90
EOF
    for i in 1 2 3 4 5 6 7 8; do
        echo "jpeg-orient$i|jpeg|flat|jpg|JPEG|-quality 90 @exif=$i"
    done
}

# Sizes: every kind at both; the third size for a few, and one picture smaller than a TIFF tile.
sizes_of() {
    case $1 in
        png-grey1 | png-rgb8 | png-rgba16 | png-pal8-trns | tif-bw-g4 | tif-rgb8 | tif-tiled-rgb8 | \
        tif-rgba16-unassoc | tif-planar-rgb16 | bmp3-24 | gif-256 | jpeg-baseline | jpeg-progressive | \
        webp-lossy) echo 800x1100 4097x6001 5000x7000 ;;
        *) echo 800x1100 4097x6001 ;;
    esac
}

# A scan-like page, 16-bit RGBA: lines of text, hairlines, a colour stamp, gradients, a
# half-transparent area over text and gradient and a transparent square over a dark one.
make_source() {
    local w=$1 h=$2 out=$3
    local k=$((w * 1000 / 800))
    s() { echo $(($1 * k / 1000)); }
    local args=(-size "${w}x${h}" xc:white -font DejaVu-Sans -fill black -pointsize "$(s 11)")
    local x y
    for ((y = 60; y < 560; y += 16)); do
        args+=(-annotate "+$(s 50)+$(s $y)" "Line $y of the statement: 1,234.56 paid on 12.03.2019 - received with thanks")
    done
    args+=(-fill none -stroke black -strokewidth 1)
    for ((y = 600; y < 700; y += 4)); do
        args+=(-draw "line $(s 50),$(s $y) $(s 380),$(s $y)")
    done
    for ((x = 400; x < 520; x += 3)); do
        args+=(-draw "line $(s $x),$(s 600) $(($(s $x) + $(s 60))),$(s 700)")
    done
    args+=(-stroke none
        \( -size "$(s 300)x$(s 250)" gradient:navy-gold \) -geometry "+$(s 50)+$(s 760)" -composite
        \( -size "$(s 200)x$(s 250)" gradient:white-black -rotate 90 \) -geometry "+$(s 420)+$(s 760)" -composite
        -fill none -stroke '#d01020' -strokewidth "$(s 4)"
        -draw "roundrectangle $(s 480),$(s 40) $(s 740),$(s 150) $(s 12),$(s 12)"
        -stroke none -fill '#d01020' -pointsize "$(s 36)" -annotate "+$(s 505)+$(s 110)" "RECEIVED"
        -fill '#1040c0' -pointsize "$(s 14)" -annotate "+$(s 520)+$(s 138)" "03 DEC 2019"
        -fill '#20a040' -draw "circle $(s 680),$(s 400) $(s 740),$(s 400)"
        -fill '#402060' -draw "rectangle $(s 700),$(s 1000) $(s 790),$(s 1090)"
        \( -size "${w}x${h}" xc:white -fill gray50 -draw "rectangle $(s 300),$(s 380) $(s 760),$(s 900)"
        -fill black -draw "rectangle $(s 700),$(s 1000) $(s 790),$(s 1090)" \)
        -alpha off -compose CopyOpacity -composite -depth 16 "PNG64:$out")
    convert "${args[@]}"
}

sources() {
    local size w h
    mkdir -p "$work/source"
    for size in 800x1100 4097x6001 5000x7000; do
        w=${size%x*} h=${size#*x}
        if [ ! -s "$work/source/alpha-$size.png" ]; then
            make_source "$w" "$h" "$work/source/tmp-$size.png" || return 1
            mv "$work/source/tmp-$size.png" "$work/source/alpha-$size.png"
        fi
        [ -s "$work/source/flat-$size.png" ] ||
            convert "$work/source/alpha-$size.png" -background white -alpha remove -alpha off "PNG48:$work/source/flat-$size.png"
    done
    [ -s "$work/source/flat-64x88.png" ] ||
        convert "$work/source/flat-800x1100.png" -resize '64x88!' "PNG48:$work/source/flat-64x88.png"
}

# An APP1 EXIF segment holding only an orientation, put right after the JPEG's SOI.
add_exif_orientation() {
    local in=$1 out=$2 n=$3
    { printf '\xff\xd8\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03'
      printf "\\x00\\x00\\x00\\x01\\x00\\x0$n\\x00\\x00\\x00\\x00\\x00\\x00"
      tail -c +3 "$in"; } > "$out"
}

# Writes the page file of one kind at one size unless it is there already.
make_page() {
    local name=$1 src=$2 ext=$3 coder=$4 opts=$5 size=$6 page=$7
    [ -s "$page" ] && return 0
    local tmp="${page%.*}.tmp.$ext" exif= h=${size#*x} args=() word
    set -f
    for word in $opts; do
        case $word in
            @exif=*) exif=${word#@exif=} ;;
            @rows-per-strip) args+=(-define "tiff:rows-per-strip=$h") ;;
            *) args+=("$word") ;;
        esac
    done
    set +f
    convert "$work/source/$src-$size.png" "${args[@]}" "$coder:$tmp" 2> "$tmp.log" || return 1
    if [ -n "$exif" ]; then
        add_exif_orientation "$tmp" "$tmp.exif" "$exif" && mv "$tmp.exif" "$tmp"
    fi
    mv "$tmp" "$page"
    rm -f "$tmp.log"
}

# ImageMagick's reduction of a page file to the preview's size: turned, on white.
reference() {
    local page=$1 out=$2
    shift 2
    # +repage: -flatten would otherwise keep the canvas of the unturned page.
    convert "$page" -auto-orient +repage -background white -flatten -alpha off "$@" "PNG24:$out.tmp.png" &&
        mv "$out.tmp.png" "$out"
}

# The normalised RMSE of two pictures of one size.
rmse() {
    compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\([0-9.e+-]*\)).*/\1/p'
}

# One row of the table: index, kind, size, preview size, RMSE, box RMSE, area RMSE, peak RSS,
# verdict.
measure() {
    local index=$1 name=$2 class=$3 src=$4 ext=$5 coder=$6 opts=$7 size=$8
    local dir="$work/$size" page="$work/$size/$name.$ext"
    mkdir -p "$dir/previews" "$dir/refs"
    if ! make_page "$name" "$src" "$ext" "$coder" "$opts" "$size" "$page"; then
        printf '%s\t%s\t%s\t-\t-\t-\t-\t-\tcannot write page\n' "$index" "$name" "$size"
        return
    fi
    local preview="$dir/previews/$name.png" out
    rm -f "$preview"
    if ! out=$("$tool" "$page" "$preview" --rss 2> /dev/null) || [ ! -s "$preview" ]; then
        printf '%s\t%s\t%s\t-\t-\t-\t-\t-\tno preview\n' "$index" "$name" "$size"
        return
    fi
    local kib=${out//[!0-9]/}
    local fitted
    fitted=$(identify -format '%wx%h' "$preview")
    local ref="$dir/refs/$name-$fitted.png" boxref="$dir/refs/$name-box-$fitted.png"
    local arearef="$dir/refs/$name-area-$fitted.png"
    [ -s "$ref" ] || reference "$page" "$ref" -resize "$fitted!"
    [ -s "$arearef" ] || reference "$page" "$arearef" -scale "$fitted!"
    local error box=- area verdict limit=0.03 judged
    error=$(rmse "$preview" "$ref")
    area=$(rmse "$preview" "$arearef")
    judged=$error
    if [ "$class" = box ]; then
        [ -s "$boxref" ] || reference "$page" "$boxref" -filter box -resize "$fitted!"
        box=$(rmse "$preview" "$boxref")
        judged=$box
    fi
    [ "$class" = jpeg ] && limit=0.05
    if [ -z "$judged" ]; then
        verdict="no comparison"
    elif awk -v e="$judged" -v l="$limit" 'BEGIN { exit !(e < l) }'; then
        verdict=pass
    else
        verdict="FAIL (> $limit)"
        # IM's box filter weighs whole pixels only; -scale averages areas as the preview does.
        awk -v e="$area" -v l="$limit" 'BEGIN { exit !(e < l) }' && verdict+=", area ok"
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$index" "$name" "$size" "$fitted" "$error" "$box" \
        "$area" "$((kib / 1024))" "$verdict"
}
export -f make_page add_exif_orientation reference rmse measure
export work tool

sources || { echo "cannot make the source page" >&2; exit 2; }
rows=$(
    index=0
    kinds | while IFS='|' read -r name class src ext coder opts; do
        [[ $name =~ ${KINDS:-.} ]] || continue
        if [ "$name" = tif-tiled-rgb8 ]; then  # also a picture smaller than one tile
            index=$((index + 1))
            printf '%s\0%s\0%s\0%s\0%s\0%s\0%s\0%s\0' "$index" tif-tiled-small "$class" "$src" "$ext" "$coder" "$opts" 64x88
        fi
        for size in $(sizes_of "$name"); do
            index=$((index + 1))
            printf '%s\0%s\0%s\0%s\0%s\0%s\0%s\0%s\0' "$index" "$name" "$class" "$src" "$ext" "$coder" "$opts" "$size"
        done
    done | xargs -0 -n 8 -P "${JOBS:-$(nproc)}" bash -c 'measure "$@"' measure | sort -n -k1,1
)

{
    printf 'kind\tsize\tpreview\tRMSE\tbox RMSE\tarea RMSE\tRSS MiB\tverdict\n'
    cut -f2- <<< "$rows"
} | column -t -s $'\t'
total=$(grep -c . <<< "$rows")
pass=$(cut -f9 <<< "$rows" | grep -c '^pass$')
none=$(cut -f9 <<< "$rows" | grep -c '^no preview$')
echo
echo "$total rows ($(cut -f2 <<< "$rows" | sort -u | grep -c .) kinds): $pass pass, $((total - pass - none)) fail, $none no preview"
