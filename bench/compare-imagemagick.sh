#!/usr/bin/env bash
# The end-to-end comparison with ImageMagick 6 on this machine: a 1920 x 1080
# photograph through gamma 2.2 and a negative into a PNG file, one image per
# process, and 100 different photographs in one `ondo-run --each` against a
# loop of `convert` and against one `mogrify`. Wall time and peak memory come
# from GNU time; the script prints a Markdown table (docs/PERFORMANCE.md).
#
#   bench/compare-imagemagick.sh [BUILD_DIR] [PHOTOS]
#
# BUILD_DIR defaults to build (with build/bin/ondo-run), PHOTOS to 100. Needs
# ImageMagick 6 (convert, mogrify, compare) and GNU time (/usr/bin/time);
# neither is needed to build or test the project. The photographs are cut,
# shifted and mirrored from examples/assets/wood.jpg into a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
count=${2:-100}
ondo=$root/$build/bin/ondo-run
graph=$root/bench/gamma-negate.xml
for tool in convert mogrify compare /usr/bin/time "$ondo"; do
  command -v "$tool" >/dev/null || { echo "compare-imagemagick: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
load=$(cut -d' ' -f1-3 /proc/loadavg)
cd "$work"
mkdir photos ondo-out im-loop mogrify-out

# Photographs: 1920 x 1080 windows at different places of a 2560 x 1920
# photo, every other one mirrored, stored as PNG as a camera's JPEG would
# be converted for lossless work.
source=$root/examples/assets/wood.jpg
convert "$source" -crop 1920x1080+0+0 +repage in.png
for ((i = 0; i < count; i++)); do
  x=$(( (i * 61) % 641 )) y=$(( (i * 97) % 841 ))
  flop=$([ $((i % 2)) = 1 ] && echo -flop || true)
  convert "$source" -crop "1920x1080+$x+$y" +repage $flop "$(printf 'photos/photo_%03d.png' "$i")"
done

# "seconds peak-MiB" of a command, from GNU time.
measure() {
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>log.txt || { cat log.txt >&2; exit 1; }
  awk '{ printf "%.2f %.0f\n", $1, $2 / 1024 }' time.txt
}
# The median of three runs of a command (by wall time).
median3() {
  { measure "$@"; measure "$@"; measure "$@"; } | sort -n | sed -n 2p
}

one_ondo=$(median3 "$ondo" "$graph" --set "Photo/File name=$work/in.png" --set "Save/File Name=$work/one-ondo.png" --write-anywhere)
one_im=$(median3 convert in.png -gamma 2.2 -negate one-im.png)
one_small=$(measure "$ondo" "$graph" --set "Photo/File name=$work/in.png" --set "Save/File Name=$work/one-small.png" \
  --set "Save/Smallest Files=true" --write-anywhere)
batch_ondo=$(measure "$ondo" "$graph" --each "Photo/File name=photos/*.png" --output-dir ondo-out)
batch_loop=$(measure bash -c 'for f in photos/*.png; do convert "$f" -gamma 2.2 -negate "im-loop/${f#photos/}"; done')
batch_mogrify=$(measure mogrify -path mogrify-out -gamma 2.2 -negate photos/*.png)

# The pictures agree: the largest difference of any channel, out of 255.
# compare prints the quantum difference, then the normalised one in brackets.
difference=$( (compare -metric PAE one-ondo.png one-im.png null: 2>&1 || true) |
  sed -n 's/.*(\(.*\)).*/\1/p' | awk '{ printf "%.0f", $1 * 255 }')
written=$(ls ondo-out | wc -l)
size() { stat -c %s "$1" | awk '{ printf "%.2f", $1 / 1048576 }'; }

wall() { echo "$1" | cut -d' ' -f1; }
mem() { echo "$1" | cut -d' ' -f2; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Load before the run (other processes): $load"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), \
$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
echo "GL: $("$ondo" --gl-info | sed -n 's/^Renderer: //p'); $(convert -version | head -1 | sed 's/ http.*//')"
echo
echo "| measurement | ondo-run | ImageMagick | ondo-run faster by |"
echo "|---|---|---|---|"
echo "| one image, one process, wall (median of 3) | $(wall "$one_ondo") s | $(wall "$one_im") s (convert) | $(ratio "$(wall "$one_im")" "$(wall "$one_ondo")") x |"
echo "| peak memory, one image | $(mem "$one_ondo") MiB | $(mem "$one_im") MiB | |"
echo "| one image, smallest files setting, wall | $(wall "$one_small") s | | |"
echo "| output size, one image | $(size one-ondo.png) MiB (smallest: $(size one-small.png) MiB) | $(size one-im.png) MiB | |"
echo "| $count photos, wall | $(wall "$batch_ondo") s (one --each run, $written files) | $(wall "$batch_loop") s (loop of convert) | $(ratio "$(wall "$batch_loop")" "$(wall "$batch_ondo")") x |"
echo "| $count photos against mogrify, wall | $(wall "$batch_ondo") s | $(wall "$batch_mogrify") s (one mogrify) | $(ratio "$(wall "$batch_mogrify")" "$(wall "$batch_ondo")") x |"
echo "| peak memory, $count photos | $(mem "$batch_ondo") MiB | $(mem "$batch_loop") MiB (loop), $(mem "$batch_mogrify") MiB (mogrify) | |"
echo
echo "Largest channel difference between the two pictures of one image: $difference of 255 (rounding)."
