#!/usr/bin/env bash
# Makes the image library's built-in CMYK profile, imaging/io/cmyk_profile.icc.z: an ICC output profile
# (CMYK data, Lab connection space) of the coated-press FOGRA39 printing condition, built by ArgyllCMS's
# colprof from the FOGRA39L measurement data of Debian's icc-profiles-free (Zlib licence), then
# zlib-compressed. It was run once; the build only embeds its output. Run it by hand, after
#   apt-get install argyll icc-profiles-free
# and update CmykProfileInflatedSize in imaging/io/cmyk_profile.h with the size it prints.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$here/imaging/io/cmyk_profile.icc.z"}
data=/usr/share/color/icc/FOGRA39L.ti3
command -v colprof >/dev/null || { echo "colprof not found: install argyll" >&2; exit 1; }
[ -r "$data" ] || { echo "$data not found: install icc-profiles-free" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data" "$work/cmyk.ti3"
# Medium quality, black generated along a ramp, 330% total ink; the measurement data is not embedded.
(cd "$work" && colprof -nc -qm -kr -l330 -D "Coated press FOGRA39" \
  -C "Made from the FOGRA39L data set of icc-profiles-free (Zlib licence)" cmyk >/dev/null)

# The creation date goes to a fixed value so that the bytes depend only on the data; then zlib level 9.
python3 - "$work/cmyk.icc" "$out" <<'PY'
import struct, sys, zlib
profile = bytearray(open(sys.argv[1], 'rb').read())
profile[24:36] = struct.pack('>6H', 2024, 1, 1, 0, 0, 0)
open(sys.argv[2], 'wb').write(zlib.compress(bytes(profile), 9))
print(f"{sys.argv[2]}: {len(profile)} bytes inflated")
PY
