#!/usr/bin/env bash
# Builds the libraries the Windows build links that Debian ships for Linux only, from Debian's
# own source packages (`apt-get source`), with the mingw-w64 cross compiler, as static
# libraries, into one prefix the Windows build searches:
#   libxml2    the configuration store's XML parser, schema check and XPath; no iconv, ICU,
#              zlib, lzma, python, HTTP or FTP (config/ registers its own windows-1252 handler)
#   uriparser  the runtime's splitting of locations
# and links the header-only C++ libraries the tools use (CLI11, nlohmann-json: Debian packages
# of architecture "all", plain standard C++) into the prefix: only their own headers and CMake
# package files, so that the cross build never sees the build machine's other headers.
#   scripts/build-windows-deps.sh [prefix]      (default build-windows/deps)
# A library whose stamp file in the prefix names the same source version is not built again.
set -euo pipefail
cd "$(dirname "$0")/.."

root=$(realpath -m "${1:-build-windows/deps}")
prefix=$root/prefix
toolchain=$PWD/cmake/mingw-w64.cmake
mkdir -p "$root/src" "$prefix"

# The newest source version of `package` that apt knows (the suites may offer several, e.g. a
# release and its security update).
source_version() {
  local newest="" v
  for v in $(apt-cache showsrc "$1" | awk '/^Version:/ { print $2 }'); do
    if [[ -z $newest ]] || dpkg --compare-versions "$v" gt "$newest"; then newest=$v; fi
  done
  echo "$newest"
}

# Fetches and unpacks `package`'s Debian source at `version` (patches applied) in a folder of
# its own under $root/src, so that a new Debian revision of the same upstream version is
# unpacked afresh; prints the unpacked folder.
fetch_source() {
  local package=$1 version=$2
  local upstream=${version#*:}
  upstream=${upstream%-*}
  local dir=$root/src/${package}_${version#*:}/$package-$upstream
  if [[ ! -d $dir ]]; then
    mkdir -p "$(dirname "$dir")"
    (cd "$(dirname "$dir")" && apt-get source -q "$package=$version" >&2) || true
  fi
  [[ -d $dir ]] || return 1
  echo "$dir"
}

# Configures, builds and installs a CMake project for Windows into $prefix.
cmake_install() {
  local source=$1 build=$2
  shift 2
  rm -rf "$build"
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >&2
  nice -n 19 cmake --build "$build" -j"${JOBS:-1}" >&2
  cmake --install "$build" >&2
}

# Builds `package` unless its stamp names `version`; the rest are the CMake options.
build_package() {
  local package=$1
  shift
  local version
  version=$(source_version "$package")
  [[ -n "$version" ]] || {
    echo "build-windows-deps: apt knows no source of $package (scripts/setup-windows.sh adds deb-src)" >&2
    exit 1
  }
  local stamp=$prefix/.$package.version
  if [[ -f $stamp && $(<"$stamp") == "$version" ]]; then
    return 0
  fi
  echo "build-windows-deps: building $package $version for Windows"
  local source
  if ! source=$(fetch_source "$package" "$version"); then
    # The Windows build leaves out the layers that need it (runtime/ warns when configured).
    echo "build-windows-deps: could not fetch the source of $package $version; not built" >&2
    return 0
  fi
  cmake_install "$source" "$root/build-$package" "$@"
  echo "$version" >"$stamp"
}

build_package libxml2 \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_ZLIB=OFF \
  -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_HTTP=OFF \
  -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_PROGRAMS=OFF \
  -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_CATALOG=OFF -DLIBXML2_WITH_DOCB=OFF

build_package uriparser \
  -DURIPARSER_BUILD_DOCS=OFF -DURIPARSER_BUILD_TESTS=OFF -DURIPARSER_BUILD_TOOLS=OFF \
  -DURIPARSER_BUILD_WCHAR_T=OFF

# Links the headers (folder `include` of /usr/include) and the CMake package folder `package`
# of /usr/share/cmake of a header-only Debian package into the prefix.
link_header_package() {
  local include=$1 package=$2
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  [[ -d /usr/include/$include && -d /usr/share/cmake/$package ]] || {
    echo "build-windows-deps: /usr/include/$include or /usr/share/cmake/$package missing (scripts/setup.sh)" >&2
    return 0
  }
  ln -sfn "/usr/include/$include" "$prefix/include/$include"
  ln -sfn "/usr/share/cmake/$package" "$prefix/share/cmake/$package"
}
link_header_package CLI CLI11
link_header_package nlohmann nlohmann_json
