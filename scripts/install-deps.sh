#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run, skipping those already present.
set -euo pipefail

packages=(
  # tool chain
  g++ cmake ninja-build pkg-config make lld
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # image codecs
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev libjxr-dev
  # colour profiles
  liblcms2-dev
  # independent GIF checker for the tests and benchmarks only
  libgif-dev
  # independent PNG and JPEG 2000 checkers for the tests only
  python3-pil pngcheck libopenjp2-tools
  # independent DICOM writers and coders for the tests only (pydicom with numpy; dcmcrle, dcmcjpeg, dcmdjpeg),
  # dcmcjpeg with dump2dcm also making the camera-raw tests' lossless-JPEG streams
  python3-pydicom python3-numpy dcmtk
  # independent HD Photo coder and decoder (JxrEncApp, JxrDecApp) for the tests only
  libjxr-tools
  # independent JPEG coder and decoder (cjpeg, djpeg) for the tests only
  libjpeg-turbo-progs
  # independent metadata and colour checkers for the tests only: exiftool, LittleCMS's transicc
  libimage-exiftool-perl liblcms2-utils
  # independent TIFF and PDF checkers for the tests only: tiffcp, tiffinfo, tiffcmp; qpdf --check
  libtiff-tools qpdf
  # Ghostscript renders our PostScript and PDF pages, netpbm reads and writes PNM, for the tests only
  ghostscript netpbm
  # libtiff as the judge of the TIFF strip coders, for the tests and benchmarks only
  libtiff-dev
  # URL downloads; OpenSSL for the tests' loopback HTTPS server only
  libcurl4-openssl-dev libssl-dev
  # video (FFmpeg 5.1)
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libavdevice-dev
  # drawing, text and the desktop back end
  libcairo2-dev libpango1.0-dev libgtk-3-dev fontconfig fonts-dejavu-core fonts-wqy-zenhei
  # a virtual display for the desktop back end's tests
  xvfb xauth
  # the executable's test finds, reads and clicks its window on the virtual display
  x11-utils xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
