#!/usr/bin/env bash
# FFmpeg's frei0r filter, melt and GStreamer's frei0r element each render a short generated clip through
# the plug-in, with several patterns, swatches, a palette file and non-default controls; every frame must
# be byte for byte what `palettrix render` makes of the same frame with the same controls, alpha included.
# The plug-in is the one `cmake --install` puts into a fresh prefix, alone in its folder.
#   real_hosts_test.sh PALETTRIX BUILD_DIR
set -euo pipefail
palettrix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$2" --prefix "$work/prefix" >/dev/null
[ "$(ls "$work/prefix/lib/frei0r-1")" = palettrix.so ]
[ -f "$work/prefix/share/kdenlive/effects/frei0r_palettrix.xml" ]
[ -f "$work/prefix/share/shotcut/qml/filters/palettrix/meta_palettrix.qml" ]
[ -f "$work/prefix/share/shotcut/qml/filters/palettrix/ui.qml" ]
hosts=$(cd "$(dirname "$0")/hosts" && pwd)
export FREI0R_PATH=$work/prefix/lib/frei0r-1
cd "$work"
# GStreamer keeps a registry of the plug-ins it has seen: a private one, so that this run sees this build.
export GST_REGISTRY="$work/gst-registry.bin"

frames=4
# A 64x48 clip whose alpha runs from clear to opaque across the frame, as PNG frames and as a lossless
# BGRA FFV1 video (melt reads video files).
ffmpeg -v error -f lavfi -i "testsrc2=size=64x48:rate=5:duration=1" -frames:v $frames \
  -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='min(255,X*4+Y)'" -start_number 1 in%02d.png
ffmpeg -v error -framerate 5 -start_number 1 -i in%02d.png -c:v ffv1 -pix_fmt bgra clip.mkv

printf 'GIMP Palette\nName: test\n# a comment\n  0   0   0 black\n255 255 255 white\n200  40  60\n 30 120 210\n250 220  40\n' > warm.gpl
printf '#1a1c2c\n5d275d\nB13E53\nef7d57\nffcd75\na7f070\n38b764\n257179\n' > eight.hex

failures=0
frame_bytes=$((64 * 48 * 4))

# expect CLI_OPTIONS...: palettrix render of every frame, as raw RGBA frames one after another.
expect() {
  rm -f ref*.png
  "$palettrix" render in##.png ref##.png --quiet "$@"
  ffmpeg -v error -start_number 1 -i ref%02d.png -f rawvideo -pix_fmt rgba -y expected.rgba
}

# compare HOST OUTPUT: the host's frames (raw RGBA, or a video to decode) against the expected ones.
compare() {
  if [ "${2##*.}" = rgba ]; then
    mv "$2" got.rgba
  else
    ffmpeg -v error -i "$2" -f rawvideo -pix_fmt rgba -y got.rgba
  fi
  local first
  if [ "$(stat -c %s got.rgba)" != $((frames * frame_bytes)) ]; then
    echo "FAIL: $1 gave $(stat -c %s got.rgba) bytes for $frames frames ($values)"
    failures=$((failures + 1))
  elif first=$(cmp expected.rgba got.rgba | grep -o 'byte [0-9]*'); then
    echo "FAIL: $1 differs from palettrix render from frame $(((${first#byte } - 1) / frame_bytes + 1)) on ($values)"
    failures=$((failures + 1))
  else
    echo "ok: $1 ($values)"
  fi
}

# Each case: frei0r values in index order (pattern, swatch, palette, offset x, offset y, scale, threshold
# red, green, blue), and the same controls as palettrix options: the doubles are the controls' values in
# thousands, offsets to the nearest whole pixel (0.03125 is 31.25 pixels, so 31). GStreamer's frei0r
# element takes doubles from 0 to 1 only, so it runs the cases without negative values.
cases=(
  "atkinson|pico-8||0|0|0.001|0|0|0;--pattern atkinson --swatch pico-8"
  "Bayer_4X4|cga||0.03125|0.5|0.0071875|0.0625|0.007|1;--pattern bayer-4x4 --swatch cga --offset-x 31 --offset-y 500 --scale 7.1875 --threshold-red 62.5 --threshold-green 7 --threshold-blue 1000"
  "Bayer_4X4|cga||-0.0075|-0.5|0.003|-0.0625|-1|0.00001;--pattern bayer-4x4 --swatch cga --offset-x -8 --offset-y -500 --scale 3 --threshold-red -62.5 --threshold-green -1000 --threshold-blue 0.01"
  "cluster-dot-4x4|custom|$work/warm.gpl|0|0|0.00409375|0|0|0;--pattern cluster-dot-4x4 --palette $work/warm.gpl --scale 4.09375"
  "21|7||0|0|0.0505|0.125|0|0.0625;--pattern 21 --swatch 7 --scale 50.5 --threshold-red 125 --threshold-blue 62.5"
  "floyd steinberg|custom|$work/eight.hex|0|0|0.001|0|0|0;--pattern floyd-steinberg --palette $work/eight.hex"
  "bayer-8x8|custom|#1a1c2c #5d275d #b13e53 #ef7d57 #ffcd75|0.007|0.0035|0.002|0.25|0|0;--pattern bayer-8x8 --palette $work/five.hex --offset-x 7 --offset-y 4 --scale 2 --threshold-red 250"
  # A palette whose swatch is not Custom supplies colours that nothing takes.
  "atkinson|pico-8|$work/warm.gpl|0|0|0.001|0|0|0;--pattern atkinson --swatch pico-8"
)
printf '#1a1c2c\n#5d275d\n#b13e53\n#ef7d57\n#ffcd75\n' > five.hex

for c in "${cases[@]}"; do
  values=${c%%;*}
  IFS='|' read -r pattern swatch file ox oy scale tr tg tb <<<"$values"
  read -r -a options <<<"${c#*;}"
  expect "${options[@]}"

  # FFmpeg: the values by position.
  ffmpeg -v error -i in%02d.png -vf "frei0r=palettrix:$pattern|$swatch|$file|$ox|$oy|$scale|$tr|$tg|$tb" \
    -pix_fmt rgba -f rawvideo -y ffmpeg.rgba
  compare ffmpeg ffmpeg.rgba

  # melt: the values by name.
  melt -silent -quiet clip.mkv -filter frei0r.palettrix "pattern=$pattern" "swatch=$swatch" "palette file=$file" \
    "offset x=$ox" "offset y=$oy" "scale=$scale" "threshold red=$tr" "threshold green=$tg" "threshold blue=$tb" \
    -consumer avformat:melt.mkv vcodec=ffv1 pix_fmt=bgra an=1 2>/dev/null
  compare melt melt.mkv

  [[ "$ox$oy$tr$tg$tb" == *-* ]] && continue
  # GStreamer: the values as element properties (gst-launch would read an empty value as the next word).
  file_property=()
  [ -z "$file" ] || file_property=("palette-file=$file")
  gst-launch-1.0 -q multifilesrc location=in%02d.png start-index=1 caps=image/png,framerate=5/1 ! pngdec ! \
    videoconvert ! video/x-raw,format=RGBA ! \
    frei0r-filter-palettrix "pattern=$pattern" "swatch=$swatch" "${file_property[@]}" offset-x=$ox offset-y=$oy \
    scale=$scale threshold-red=$tr threshold-green=$tg threshold-blue=$tb ! \
    video/x-raw,format=RGBA ! filesink location=gst.rgba
  compare gstreamer gst.rgba
done

# FFmpeg: empty fields keep their parameters' defaults, left-off ones too.
values="|pico-8"
expect --swatch pico-8
ffmpeg -v error -i in%02d.png -vf "frei0r=palettrix:|pico-8||||" -pix_fmt rgba -f rawvideo -y ffmpeg.rgba
compare ffmpeg ffmpeg.rgba

# Projects saved by Shotcut with the filter: melt renders what the panel showed.
values="Shotcut project"
expect --pattern bayer-4x4 --swatch pico-8 --offset-x 100 --offset-y -7 --scale 2 --threshold-red 50 \
  --threshold-green 3 --threshold-blue -12.34
cp "$hosts/shotcut-palettrix.mlt" .
melt -silent -quiet shotcut-palettrix.mlt -consumer avformat:shotcut.mkv vcodec=ffv1 pix_fmt=bgra an=1 2>/dev/null
compare melt shotcut.mkv

# Projects saved by Kdenlive (see hosts/README.md for what each panel showed). Kdenlive composites its tracks with MLT's Qt module, which needs an X display; the clip is
# opaque, as the tracks are composited over black. The project names its folder (root), which moves with it.
mkdir kdenlive && (
  cd kdenlive
  ffmpeg -v error -f lavfi -i "testsrc2=size=64x48:rate=5:duration=1" -frames:v $frames -pix_fmt rgb24 \
    -start_number 1 in%02d.png
  ffmpeg -v error -framerate 5 -start_number 1 -i in%02d.png -c:v ffv1 -pix_fmt bgr0 clip.mkv
)
# kdenlive FIXTURE CLI_OPTIONS...: the fixture rendered with melt against palettrix render.
kdenlive() {
  sed "s|root=\"[^\"]*\"|root=\"$work/kdenlive\"|" "$hosts/$1" > kdenlive/project.kdenlive
  values="Kdenlive project $1"
  (cd kdenlive && expect "${@:2}" && mv expected.rgba ..)
  # melt may abort as it exits, once the frames are written: the frames are what is checked.
  xvfb-run -a melt -silent -quiet kdenlive/project.kdenlive out=$((frames - 1)) \
    -consumer avformat:kdenlive.mkv vcodec=ffv1 pix_fmt=bgra an=1 >/dev/null 2>&1 || true
  compare melt kdenlive.mkv
}
kdenlive kdenlive-palettrix.kdenlive --pattern bayer-8x8 --swatch pico-8 --offset-x 25 --scale 3
# The palette typed into the panel as its colours travels inside the project.
printf '#ff0000\n#000000\n#ffff00\n' > kdenlive/typed.hex
kdenlive kdenlive-colours.kdenlive --pattern bayer-8x8 --palette "$work/kdenlive/typed.hex" --offset-x 25 --offset-y -7 \
  --scale 3

if ((failures)); then
  echo "$failures frames differ"
  exit 1
fi
echo "every frame of every host matches palettrix render"
