#!/usr/bin/env bash
# Makes the settings tool's artwork from the Trelk-Software emblem (a blue disc with a white T):
#   logo.bmp       142 x 63, 24 bit: emblem above the "Trelk-Software" lettering on white
#   animation.bmp  38 x 1900, 24 bit: 50 frames of 38 x 38, the emblem turning about its upright
#                  axis (half a turn per loop; the T looks the same from behind), white around it
#   wizard.bmp     231 x 342, 24 bit: the picture on the left of the main window
#   Brisel.ico     16, 32 and 48 pixels
# Needs ImageMagick and the DejaVu fonts (scripts/setup.sh installs both). The made files are
# committed beside this script; run it again after changing the artwork:
#   bash resources/make_artwork.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The real ImageMagick, also where a wrapper of the same name comes first on the PATH.
im=convert
[ -x /usr/bin/convert ] && im=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bold=DejaVu-Sans-Bold
plain=DejaVu-Sans
navy='#0b2f6b'
blue='#1f5fbf'
# White is the transparent colour of the animation and of the logo on the main window: the
# white parts of the artwork itself are drawn a hair darker so that they stay visible.
offwhite='#fefefe'
# The colour behind the animation on the main window (button face): edges are smoothed
# against it, then every pixel of exactly that colour becomes the transparent white.
face='rgb(240,240,240)'

# emblem SIZE OUT: the emblem with transparent surroundings, SIZE x SIZE.
emblem() {
  local s=$1 out=$2
  local r=$((s * 46 / 100)) c=$((s / 2))
  local ring=$((s / 38 > 1 ? s / 38 : 1))
  "$im" -size "${s}x${s}" \
    -define gradient:center=$((s * 40 / 100)),$((s * 34 / 100)) -define gradient:radii=$((s * 70 / 100)),$((s * 70 / 100)) \
    radial-gradient:'#6fb6ff'-"$navy" \
    \( -size "${s}x${s}" xc:black -fill white -draw "circle $c,$c $c,$((c - r))" \) \
    -alpha off -compose CopyOpacity -composite \
    \( -size "${s}x${s}" xc:none -fill none -stroke '#08244f' -strokewidth "$ring" \
       -draw "circle $c,$c $c,$((c - r + ring / 2))" \) -compose Over -composite \
    \( -size "${s}x${s}" xc:none -fill none -stroke 'rgba(255,255,255,0.45)' -strokewidth "$ring" \
       -draw "arc $((c - r + 2 * ring)),$((c - r + 2 * ring)) $((c + r - 2 * ring)),$((c + r - 2 * ring)) 200,290" \) \
    -compose Over -composite \
    \( -size "${s}x${s}" xc:none -font "$bold" -pointsize $((s * 64 / 100)) -gravity center \
       -fill 'rgba(0,0,40,0.55)' -annotate +$((s / 50))+$((s * 5 / 100)) T \
       -fill "$offwhite" -annotate +0+$((s * 3 / 100)) T \) -compose Over -composite \
    "$out"
}

big=$work/emblem-big.png
emblem 304 "$big"

# --- the animation strip -------------------------------------------------------------------
frames=()
for k in $(seq 0 49); do
  # The turn: width |cos|, a little darker while edge-on. The light stays where it is, so the
  # back looks like the front and frame 49 leads smoothly into frame 0.
  read -r w shade < <(awk -v k="$k" 'BEGIN {
    pi = atan2(0, -1); a = pi * k / 50; c = cos(a); s = (c < 0 ? -c : c)
    w = int(152 * s + 0.5); if (w < 6) w = 6
    printf "%d %d\n", w, 72 + int(28 * s + 0.5)
  }')
  f=$work/frame-$k.png
  "$im" "$big" -resize 152x152 -resize "${w}x152!" \
    -modulate "$shade" \
    -background "$face" -gravity center -extent 152x152 -flatten \
    -filter Triangle -resize 38x38 \
    -fill "$offwhite" -opaque white -fill white -opaque "$face" \
    "$f"
  frames+=("$f")
done
"$im" "${frames[@]}" -append -alpha off -type TrueColor BMP3:"$here/animation.bmp"

# --- the logo: emblem above the lettering ---------------------------------------------------
"$im" "$big" -resize 36x36 "$work/emblem-36.png"
"$im" -size 568x252 xc:white \
  -font "$bold" -pointsize 70 -fill black -gravity north -annotate +0+150 'Trelk-Software' \
  -resize 142x63 PNG24:"$work/text.png"
"$im" "$work/text.png" -colorspace sRGB -type TrueColor \( "$work/emblem-36.png" \) -gravity north -geometry +0+1 -compose Over -composite \
  -alpha off -type TrueColor BMP3:"$here/logo.bmp"

# --- the picture on the left of the main window ----------------------------------------------
"$im" -size 231x342 gradient:"$blue"-"$navy" \
  \( -size 231x342 xc:none -fill 'rgba(255,255,255,0.06)' \
     -draw 'circle 200,40 200,190' -draw 'circle 20,330 20,420' -draw 'circle 190,300 190,340' \) \
  -compose Over -composite \
  \( "$big" -resize 128x128 \) -gravity north -geometry +0+48 -compose Over -composite \
  -font "$bold" -pointsize 30 -fill white -gravity north -annotate +0+196 'Ostvane' \
  -font "$plain" -pointsize 13 -fill '#cfe3ff' -annotate +0+236 'Update-Einstellungen' \
  -font "$bold" -pointsize 12 -fill '#cfe3ff' -gravity south -annotate +0+18 'Trelk-Software' \
  -alpha off -type TrueColor BMP3:"$here/wizard.bmp"

# --- the program icon ----------------------------------------------------------------------
for s in 16 32 48; do "$im" "$big" -resize "${s}x${s}" "$work/icon-$s.png"; done
"$im" "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" "$here/Brisel.ico"

echo "artwork: $(cd "$here" && ls animation.bmp logo.bmp wizard.bmp Brisel.ico | tr '\n' ' ')"
