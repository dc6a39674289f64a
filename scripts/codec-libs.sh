#!/usr/bin/env bash
# Builds instrumented static copies of libjpeg-turbo and libtiff for the
# sanitizer and fuzz build: Debian's own source packages of the versions
# installed on this machine, compiled with clang under the same sanitizers
# as the engine and with coverage hooks for libFuzzer, so the fuzzers see
# inside the libraries and the sanitizers check their memory accesses.
#
#   bash scripts/codec-libs.sh <folder>
#
# Installs into <folder>/prefix and does nothing when that folder already
# holds a build of the same versions and flags. Adds a source entry for the
# machine's own archive when apt has none (root only).
set -euo pipefail

root=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$root/prefix
jobs=${CODEC_LIBS_JOBS:-3}

source_of() { dpkg-query -W -f='${source:Package}=${source:Version}' "$1"; }
jpeg_source=$(source_of libjpeg62-turbo-dev)
tiff_source=$(source_of libtiff-dev)

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined"
flags+=" -fsanitize=fuzzer-no-link"
stamp="$jpeg_source $tiff_source $(clang --version | head -n1) $flags"
if [[ -f $prefix/stamp && $(cat "$prefix/stamp") == "$stamp" ]]; then
  exit 0
fi

# apt-get source needs a deb-src entry for every suite the packages came
# from; mirror the machine's deb entries (one-line or deb822 format).
sources_available() {
  apt-get source --print-uris -qq "$jpeg_source" "$tiff_source" >/dev/null 2>&1
}
if ! sources_available; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "apt has no source entry for $jpeg_source and $tiff_source; run as root once" >&2
    exit 1
  fi
  list=/etc/apt/sources.list.d/tellvar-deb-src.sources
  {
    for file in /etc/apt/sources.list.d/*.sources; do
      [[ -f $file && $file != "$list" ]] || continue
      sed -E 's/^Types:.*\<deb\>.*$/Types: deb-src/' "$file"
      echo
    done
  } >"$list"
  one_line=/etc/apt/sources.list.d/tellvar-deb-src.list
  if [[ -f /etc/apt/sources.list ]]; then
    sed -nE 's/^deb (.*)$/deb-src \1/p' /etc/apt/sources.list >"$one_line"
  fi
  apt-get update -qq
  sources_available || { echo "no source package for $jpeg_source $tiff_source" >&2; exit 1; }
fi

rm -rf "$root/src" "$root/build" "$prefix"
mkdir -p "$root/src" "$root/build"

upstream() {
  local version=${1#*:}
  echo "${version%-*}"
}

# Unpacks the source of package=version into <folder>/src and prints the
# version it unpacked. When the archive no longer serves that revision's
# files, the newest revision of the same upstream version that it does serve
# is taken instead, with a warning: its patches may lag the installed ones.
fetch() {
  local package=${1%%=*} version=${1#*=} candidate
  local candidates=("$version")
  mapfile -t -O 1 candidates < <(apt-cache showsrc "$package" | sed -n 's/^Version: //p' |
    while read -r candidate; do
      [[ $candidate != "$version" && $(upstream "$candidate") == $(upstream "$version") ]] &&
        echo "$candidate"
    done | sort -rV)
  for candidate in "${candidates[@]}"; do
    if (cd "$root/src" && apt-get source -qq "$package=$candidate" >/dev/null 2>&1); then
      [[ $candidate == "$version" ]] ||
        echo "warning: $package $version has no source in the archive; using $candidate" >&2
      echo "$package=$candidate"
      return 0
    fi
  done
  echo "cannot fetch the source of $package $version" >&2
  return 1
}
jpeg_built=$(fetch "$jpeg_source")
tiff_built=$(fetch "$tiff_source")
# The unpacked tree is named after the upstream version.
jpeg_tree=$root/src/${jpeg_built%%=*}-$(upstream "${jpeg_built#*=}")
tiff_tree=$root/src/${tiff_built%%=*}-$(upstream "${tiff_built#*=}")

common=(-G "Unix Makefiles" -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=Release
        "-DCMAKE_C_FLAGS=$flags" -DCMAKE_C_FLAGS_RELEASE= -DCMAKE_POSITION_INDEPENDENT_CODE=ON)
mkdir -p "$prefix/include" "$prefix/lib"

# SIMD off: the sanitizers cannot see inside the hand-written assembly, and
# the C paths it replaces (inverse DCT, colour conversion, upsampling) are
# then the ones the fuzzer explores and the sanitizers check. It also spares
# the build an assembler. Only the library is built, not the tools.
jpeg_build=$root/build/jpeg
cmake -S "$jpeg_tree" -B "$jpeg_build" "${common[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON   -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build "$jpeg_build" -j "$jobs" --target jpeg-static >/dev/null
cp "$jpeg_build/libjpeg.a" "$prefix/lib/"
cp "$jpeg_build/jconfig.h" "$jpeg_tree"/{jpeglib.h,jmorecfg.h,jerror.h} "$prefix/include/"

# The engine reads uncompressed strips only and refuses every compressed
# file before a pixel is decoded, so the codec libraries are left out except
# JPEG (the instrumented copy above) and zlib; the built-in codecs (LZW,
# PackBits, fax, ...) are part of libtiff itself and stay in.
tiff_build=$root/build/tiff
cmake -S "$tiff_tree" -B "$tiff_build" "${common[@]}" -DBUILD_SHARED_LIBS=OFF \
  -Djpeg=ON -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
  -Dzlib=ON -Dlibdeflate=OFF -Dpixarlog=OFF -Djpeg12=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF \
  -Dzstd=OFF -Dwebp=OFF -Dcxx=OFF >/dev/null
cmake --build "$tiff_build" -j "$jobs" --target tiff >/dev/null
cp "$tiff_build/libtiff/libtiff.a" "$prefix/lib/"
cp "$tiff_build/libtiff/tiffconf.h" "$tiff_tree"/libtiff/{tiff.h,tiffio.h,tiffvers.h} \
  "$prefix/include/"

echo "$jpeg_built $tiff_built" >"$prefix/sources"
echo "$stamp" >"$prefix/stamp"
echo "Instrumented $jpeg_built and $tiff_built (installed: $jpeg_source, $tiff_source) in $prefix"
