#!/usr/bin/env bash
# Builds the libraries the Windows build links that Debian ships for Linux only, from Debian's
# own source packages (`apt-get source`), with the mingw-w64 cross compiler, as static
# libraries, into one prefix the Windows build searches:
#   libxml2    the configuration store's XML parser, schema check and XPath; no iconv, ICU,
#              zlib, lzma, python, HTTP or FTP (config/ registers its own windows-1252 handler)
#   uriparser  the runtime's splitting of locations
#   benchmark  Google Benchmark, for the benchmark programs of bench/ (no tests, no docs)
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

# The folder under $root/src that `package`'s source at `version` unpacks to: a folder of its
# own per Debian revision, so that a new revision of the same upstream version is unpacked afresh.
source_dir() {
  local upstream=${2#*:}
  upstream=${upstream%-*}
  echo "$root/src/${1}_${2#*:}/$1-$upstream"
}

# Fetches and unpacks `package`'s Debian source at `version` (patches applied) with
# `apt-get source`; prints the unpacked folder.
fetch_source() {
  local package=$1 version=$2
  local dir
  dir=$(source_dir "$package" "$version")
  if [[ ! -d $dir ]]; then
    mkdir -p "$(dirname "$dir")"
    (cd "$(dirname "$dir")" && apt-get source -q "$package=$version" >&2) || true
  fi
  [[ -d $dir ]] || return 1
  echo "$dir"
}

# The mirror's pool sometimes lacks a source package's files for the machine's release (only
# the .dsc answers) while it still has those of the next release. The fallback reads the next
# release's Sources index through apt, with apt's own configuration but only this deb-src entry
# (so the machine's apt never sees another release, and never a binary one): apt checks the
# index against the release's InRelease signature, and the index's SHA-256 sums vouch for each
# file taken from the pool.
fallback_suite=trixie
fallback_apt() {
  local dir=$root/apt
  mkdir -p "$dir/parts" "$dir/lists/partial" "$dir/cache/archives/partial"
  cat >"$dir/parts/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $fallback_suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  echo -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$dir/parts" \
    -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -o "APT::Sandbox::User=$(id -un)"
}

# Prints the stanza of the newest `package` in the fallback release's verified Sources index.
fallback_stanza() {
  local package=$1 options index
  read -ra options <<<"$(fallback_apt)"
  apt-get "${options[@]}" -q update >&2 || return 1
  index=$(apt-get "${options[@]}" indextargets --format '$(FILENAME)' 'Identifier: Sources' |
            head -n 1)
  [[ -n $index && -f $index ]] || return 1
  /usr/lib/apt/apt-helper cat-file "$index" |
    awk -v want="Package: $package" 'BEGIN { RS = ""; FS = "\n" }
      { for (i = 1; i <= NF; i++) if ($i == want) { print; print ""; next } }' |
    awk 'BEGIN { RS = ""; FS = "\n" }
      { for (i = 1; i <= NF; i++) if ($i ~ /^Version: /) v = substr($i, 10)
        if (best == "" || system("dpkg --compare-versions " v " gt " best) == 0) { best = v; s = $0 } }
      END { if (s != "") print s }'
}

# Fetches `package`'s newest source in the fallback release from the pool: every file of the
# index's Checksums-Sha256 but the .dsc, each checked against its sum before use, then unpacks
# the upstream tarball, the Debian tarball over it and applies the Debian patches in the order
# of debian/patches/series (what `dpkg-source -x` does for format "3.0 (quilt)"). Prints
# "version folder".
fetch_fallback_source() {
  local package=$1 stanza version directory format dir
  stanza=$(fallback_stanza "$package") || return 1
  [[ -n $stanza ]] || return 1
  version=$(awk '/^Version: / { print $2 }' <<<"$stanza")
  directory=$(awk '/^Directory: / { print $2 }' <<<"$stanza")
  format=$(awk '/^Format: / { $1 = ""; sub(/^ /, ""); print }' <<<"$stanza")
  [[ $format == "3.0 (quilt)" ]] || {
    echo "build-windows-deps: $package $version has source format \"$format\"" >&2
    return 1
  }
  dir=$(source_dir "$package" "$version")
  if [[ ! -d $dir ]]; then
    local download=$root/src/${package}_${version#*:}.download sum size name
    rm -rf "$download" && mkdir -p "$download"
    while read -r sum size name; do
      [[ $name == *.dsc ]] && continue
      echo "build-windows-deps: fetching $name from the pool" >&2
      /usr/lib/apt/apt-helper -q -o "APT::Sandbox::User=$(id -un)" download-file "http://deb.debian.org/debian/$directory/$name" \
        "$download/$name" >&2 || return 1
      echo "$sum  $download/$name" | sha256sum --quiet -c - >&2 || {
        echo "build-windows-deps: $name does not match its SHA-256 in the signed index" >&2
        return 1
      }
    done < <(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $1, $2, $3 }' \
               <<<"$stanza")
    local unpack=$dir.partial
    rm -rf "$unpack" && mkdir -p "$unpack"
    tar -xf "$download"/*.orig.tar.* -C "$unpack" --strip-components=1
    tar -xf "$download"/*.debian.tar.* -C "$unpack"
    if [[ -f $unpack/debian/patches/series ]]; then
      local patch options
      while read -r patch options; do
        [[ -z $patch || $patch == \#* ]] && continue
        patch -d "$unpack" -s -f ${options:--p1} <"$unpack/debian/patches/$patch" >&2 || return 1
      done <"$unpack/debian/patches/series"
    fi
    mv "$unpack" "$dir"
    rm -rf "$download"
  fi
  echo "$version $dir"
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

# Builds `package` unless its stamp names its version and options; the rest are the CMake options, in which
# @UPSTREAM_VERSION@ stands for the upstream part of the version built.
build_package() {
  local package=$1
  shift
  local version
  version=$(source_version "$package")
  [[ -n "$version" ]] || {
    echo "build-windows-deps: apt knows no source of $package (scripts/setup-windows.sh adds deb-src)" >&2
    exit 1
  }
  # The stamp's first line is the version apt offers with a digest of the options it was built
  # with (new options build it again), the second the version built (another release's when
  # the fallback gave it).
  local stamp=$prefix/.$package.version
  local wanted
  wanted="$version $(printf '%s\n' "$@" | md5sum | cut -c1-12)"
  if [[ -f $stamp && $(head -n 1 "$stamp") == "$wanted" ]]; then
    return 0
  fi
  local source built=$version fallback
  if ! source=$(fetch_source "$package" "$version"); then
    echo "build-windows-deps: apt-get source $package=$version failed; trying $fallback_suite" >&2
    if ! fallback=$(fetch_fallback_source "$package"); then
      # The Windows build leaves out the layers that need it (runtime/ warns when configured).
      echo "build-windows-deps: could not fetch the source of $package; not built" >&2
      return 0
    fi
    built=${fallback%% *}
    source=${fallback#* }
  fi
  echo "build-windows-deps: building $package $built for Windows"
  local upstream=${built#*:}
  cmake_install "$source" "$root/build-$package" "${@//@UPSTREAM_VERSION@/${upstream%-*}}"
  printf '%s\n%s\n' "$wanted" "$built" >"$stamp"
}

# LIBXML_STATIC: the functions are not marked for export, or every program and DLL linking the
# static library would export all of them.
build_package libxml2 \
  -DCMAKE_C_FLAGS=-DLIBXML_STATIC \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_ZLIB=OFF \
  -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_HTTP=OFF \
  -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_PROGRAMS=OFF \
  -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_CATALOG=OFF -DLIBXML2_WITH_DOCB=OFF

build_package uriparser \
  -DURIPARSER_BUILD_DOCS=OFF -DURIPARSER_BUILD_TESTS=OFF -DURIPARSER_BUILD_TOOLS=OFF \
  -DURIPARSER_BUILD_WCHAR_T=OFF

# The version otherwise comes from `git describe`, as Debian's own build passes it too.
build_package benchmark \
  -DGIT_VERSION=@UPSTREAM_VERSION@ -DBENCHMARK_ENABLE_TESTING=OFF \
  -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
  -DBENCHMARK_INSTALL_DOCS=OFF -DBENCHMARK_ENABLE_LTO=OFF

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
