#!/usr/bin/env bash
# Builds the libraries of the Windows program from Debian's source packages with Debian's
# MinGW-w64 (posix threads): Qt (qtbase, and the TIFF plug-in of qtimageformats), libcurl with
# Schannel, libbz2, liblzma, libwavpack, libtiff, libsodium (the signature check). The versions are the Linux build's: each
# source package is fetched at the version of the Debian package the Linux build uses.
#
#   build-windows-deps.sh [COMPONENT...]   build what is missing (all components by default),
#                                          then print the prefix the Windows build uses
#   build-windows-deps.sh --print-prefix   print that prefix; fail when it is not complete
#
# Each component is built into its own folder under the cache (UPDATER_WINDOWS_DEPS_CACHE,
# default /var/cache/quendral-updater/windows-deps), named by a key that hashes its source
# version, the toolchain (compiler version and toolchain files) and its own recipe in this
# script, with the keys of the components it is built on. A `.complete` stamp, written last,
# marks a finished folder; a failed build leaves none and is built again next time. The
# components are then joined by hard links into one prefix, keyed by all their keys, which is
# what the Windows build is given. So a second run, or a change to one recipe, rebuilds only
# what changed. Sources and build trees go to UPDATER_WINDOWS_DEPS_WORK (default
# /var/tmp/quendral-updater/windows-deps); a finished component's build tree is removed.
#
# Needs root (or sudo) once: it adds a deb-src entry for Debian's archive when there is none
# and installs the build tools. JOBS sets the parallel jobs (default: the processors).
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
cache="${UPDATER_WINDOWS_DEPS_CACHE:-/var/cache/quendral-updater/windows-deps}"
work="${UPDATER_WINDOWS_DEPS_WORK:-/var/tmp/quendral-updater/windows-deps}"
jobs="${JOBS:-$(nproc)}"
toolchain="$repo/cmake/toolchains/x86_64-w64-mingw32-shared-runtime.cmake"
triple=x86_64-w64-mingw32

all_components=(qtbase curl bzip2 xz wavpack tiff qtimageformats libsodium)
# The source package of each component, and the Debian package of the Linux build whose
# source version it is built at.
declare -A source_package=([qtbase]=qt6-base [curl]=curl [bzip2]=bzip2 [xz]=xz-utils
  [wavpack]=wavpack [tiff]=tiff [qtimageformats]=qt6-imageformats [libsodium]=libsodium)
declare -A linux_package=([qtbase]=qt6-base-dev [curl]=libcurl4-openssl-dev [bzip2]=libbz2-dev
  [xz]=liblzma-dev [wavpack]=libwavpack-dev [tiff]=libtiff6
  [qtimageformats]=qt6-image-formats-plugins [libsodium]=libsodium-dev)
declare -A built_on=([qtimageformats]="qtbase tiff")

log() { echo "[windows-deps] $*" >&2; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# --- Tools and sources -------------------------------------------------------------------

install_tools() {
  local needed=(dpkg-dev cmake ninja-build perl pkg-config g++-mingw-w64-x86-64-posix
    libz-mingw-w64-dev qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libcurl4-openssl-dev
    libbz2-dev liblzma-dev libwavpack-dev libsodium-dev autoconf automake libtool)
  local missing=() package
  for package in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  log "installing ${missing[*]}"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# apt-get source needs deb-src entries for the archive the binary packages come from.
ensure_deb_src() {
  if grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  log "adding deb-src entries for Debian's archive"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      as_root tee /etc/apt/sources.list.d/quendral-deb-src.sources >/dev/null
  else
    grep -hE '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      as_root tee /etc/apt/sources.list.d/quendral-deb-src.list >/dev/null
  fi
  as_root apt-get update -qq
}

# The versions of the component's source that the archive lists, newest first.
listed_versions() {
  apt-cache showsrc --only-source "${source_package[$1]}" 2>/dev/null |
    awk '/^Version:/ { print $2 }' | while read -r version; do
    echo "$version"
  done | sort -u | {
    local versions=() version i j
    mapfile -t versions
    # dpkg's order, not sort's: a few versions, so a simple exchange sort.
    for ((i = 0; i < ${#versions[@]}; i++)); do
      for ((j = i + 1; j < ${#versions[@]}; j++)); do
        if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
          version="${versions[i]}" versions[i]="${versions[j]}" versions[j]="$version"
        fi
      done
    done
    printf '%s\n' "${versions[@]}"
  }
}

source_folder() {
  echo "$work/src/${source_package[$1]}-${2//:/_}"
}

# The version of the component's source that the Linux build uses. When the archive no longer
# has that source (a security update replaced it), the newest one it has that was fetched here,
# or else the newest it lists (fetch_source may find that one missing and fetch an older one).
source_version() {
  local installed version available
  installed="$(dpkg-query -W -f='${source:Version}' "${linux_package[$1]}" 2>/dev/null || true)"
  available="$(listed_versions "$1")"
  for version in $available; do
    [ "$version" = "$installed" ] && {
      echo "$version"
      return
    }
  done
  for version in $available; do
    [ -f "$(source_folder "$1" "$version")/.unpacked" ] && {
      echo "$version"
      return
    }
  done
  version="$(head -n 1 <<<"$available")"
  version="${version:-$installed}"
  [ -n "$version" ] || {
    log "no version of ${source_package[$1]} known to apt"
    exit 1
  }
  echo "$version"
}

# Fetches and unpacks (Debian's patches applied) the component's source at the version
# source_version names, or when the archive cannot give that one, the newest older one it
# gives. Afterwards source_version names the version fetched.
fetch_source() {
  local component="$1" package="${source_package[$1]}" wanted version folder
  wanted="$(source_version "$component")"
  [ -f "$(source_folder "$component" "$wanted")/.unpacked" ] && return
  ensure_deb_src
  for version in $(listed_versions "$component"); do
    dpkg --compare-versions "$version" le "$wanted" || continue
    folder="$(source_folder "$component" "$version")"
    rm -rf "$folder" && mkdir -p "$folder"
    log "fetching $package $version"
    if (cd "$folder" && apt-get source -qq --only-source "$package=$version" >&2); then
      touch "$folder/.unpacked"
      return
    fi
    log "apt-get source $package=$version failed"
    rm -rf "$folder"
  done
  log "no source of $package could be fetched"
  exit 1
}

# The unpacked source tree of the component's version.
source_tree() {
  find "$(source_folder "$1" "$(source_version "$1")")" -mindepth 1 -maxdepth 1 -type d |
    head -n 1
}

# --- Keys ----------------------------------------------------------------------------------

toolchain_id() {
  "$triple-gcc-posix" --version | head -n 1
  dpkg-query -W -f='${Version}\n' mingw-w64-x86-64-dev
  cat "$repo/cmake/toolchains/$triple.cmake" "$toolchain"
}

declare -A key_cache=()
component_key() {
  local component="$1"
  if [ -z "${key_cache[$component]:-}" ]; then
    local base parts
    parts="$(
      echo "$component $(source_version "$component")"
      toolchain_id
      declare -f "build_$component"
      for base in ${built_on[$component]:-}; do component_key "$base"; done
    )"
    key_cache[$component]="$(sha256sum <<<"$parts" | cut -c1-16)"
  fi
  echo "${key_cache[$component]}"
}

component_prefix() {
  echo "$cache/$1-$(source_version "$1" | tr ':~+' '_._')-$(component_key "$1")"
}

joined_prefix() {
  local parts component
  parts="$(
    for component in "${all_components[@]}"; do component_prefix "$component"; done
    declare -f join_components
  )"
  echo "$cache/prefix-$(sha256sum <<<"$parts" | cut -c1-16)"
}

# --- Recipes: build_<component> SOURCE BUILD PREFIX ---------------------------------------
# Each configures in BUILD and installs into PREFIX. The prefixes of what it is built on are in
# UPDATER_WINDOWS_DEPS_PREFIX (a CMake list).

cmake_cross() {
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DUPDATER_WINDOWS_DEPS_PREFIX="$UPDATER_WINDOWS_DEPS_PREFIX" "$@" >&2
}

build_qtbase() {
  local source="$1" build="$2" prefix="$3"
  # Without Direct2D the windows plug-in's DirectWrite font database is not compiled, but Qt
  # 6.4 still creates it: guard its use as its source is guarded. GDI fonts are used then.
  sed -i -e 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$source/src/plugins/platforms/windows/qwindowsintegration.cpp"
  # Only what the updater uses: Core, Gui, Widgets, Test and the windows platform plug-in;
  # the third-party libraries are Qt's own copies (Debian has none for MinGW). Debian's
  # repacked source has no wintab headers, hence no tablet events. Without OpenGL, dynamic GL
  # must be off too: the windows plug-in of 6.4 uses its context class under dynamicgl alone.
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_mdiarea=OFF \
    -DFEATURE_undoview=OFF -DFEATURE_fontdialog=OFF -DFEATURE_colordialog=OFF \
    -DFEATURE_wizard=OFF -DFEATURE_lcdnumber=OFF -DFEATURE_dial=OFF \
    -DFEATURE_keysequenceedit=OFF -DFEATURE_fontcombobox=OFF
  cmake --build "$build" -j "$jobs" >&2
  cmake --install "$build" >&2
}

build_curl() {
  local source="$1" build="$2" prefix="$3"
  # HTTP only, TLS through Schannel: Windows' own TLS and certificate store, nothing to ship.
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON -DCURL_DISABLE_LDAP=ON \
    -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
  cmake --build "$build" -j "$jobs" >&2
  cmake --install "$build" >&2
}

build_bzip2() {
  local source="$1" build="$2" prefix="$3" file
  # bzlib.h declares, for _WIN32, pointers to load the DLL at run time unless BZ_EXPORT is
  # set, and includes windows.h. On 64-bit Windows WINAPI is the only calling convention, so
  # the plain declarations are the same functions: they are used here, for a static library.
  sed -i 's/^#ifdef _WIN32$/#if 0 \/* plain declarations on every system *\//' "$source/bzlib.h"
  mkdir -p "$build" "$prefix/include" "$prefix/lib"
  for file in blocksort huffman crctable randtable compress decompress bzlib; do
    "$triple-gcc-posix" -O2 -Wall -c "$source/$file.c" -o "$build/$file.o"
  done
  "$triple-ar" rcs "$prefix/lib/libbz2.a" "$build"/*.o
  cp "$source/bzlib.h" "$prefix/include/"
}

build_xz() {
  local source="$1" build="$2" prefix="$3"
  # Static: with GCC, lzma.h declares no dllimport, so nothing needs to be defined to use it.
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
  cmake --build "$build" -j "$jobs" --target liblzma >&2
  cmake --install "$build" --component liblzma_Development >&2 ||
    cmake --install "$build" >&2
}

build_wavpack() {
  local source="$1" build="$2" prefix="$3"
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DWAVPACK_BUILD_PROGRAMS=OFF -DWAVPACK_BUILD_COOLEDIT_PLUGIN=OFF \
    -DWAVPACK_BUILD_WINAMP_PLUGIN=OFF -DWAVPACK_BUILD_DOCS=OFF -DWAVPACK_ENABLE_LIBCRYPTO=OFF \
    -DBUILD_TESTING=OFF
  cmake --build "$build" -j "$jobs" >&2
  cmake --install "$build" >&2
}

build_tiff() {
  local source="$1" build="$2" prefix="$3"
  # Static, into Qt's TIFF plug-in; the codecs of Qt's Linux plug-in that need no other
  # library (none, LZW, PackBits, Deflate through zlib).
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
    -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlerc=OFF \
    -Dlibdeflate=OFF -Dzlib=ON
  cmake --build "$build" -j "$jobs" >&2
  cmake --install "$build" >&2
}

build_qtimageformats() {
  local source="$1" build="$2" prefix="$3"
  # CMake's FindTIFF knows nothing of what the static libtiff needs: zlib goes last on the line.
  cmake_cross -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_CXX_STANDARD_LIBRARIES="/usr/$triple/lib/libz.a" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_tiff=ON -DFEATURE_system_tiff=ON -DFEATURE_webp=OFF -DFEATURE_jasper=OFF \
    -DFEATURE_mng=OFF
  cmake --build "$build" -j "$jobs" >&2
  cmake --install "$build" >&2
}

build_libsodium() {
  local source="$1" build="$2" prefix="$3"
  # Static: the signature check is the updater's only user, and a static library leaves no
  # DLL to ship; its header then needs SODIUM_STATIC (signature/CMakeLists.txt). Its random
  # source on Windows (RtlGenRandom) is in advapi32, which MinGW links by default.
  # Debian's source is the release's git tree: its configure script is made here.
  (cd "$source" && autoreconf -fi >&2)
  mkdir -p "$build"
  (cd "$build" && CC="ccache $triple-gcc-posix" "$source/configure" --host="$triple" \
    --prefix="$prefix" --disable-shared --enable-static --disable-dependency-tracking >&2)
  make -C "$build" -j "$jobs" >&2
  make -C "$build" install >&2
}

# --- Driver --------------------------------------------------------------------------------

build_component() {
  local component="$1" prefix base bases=()
  prefix="$(component_prefix "$component")"
  [ -f "$prefix/.complete" ] && return
  for base in ${built_on[$component]:-}; do
    build_component "$base"
    bases+=("$(component_prefix "$base")")
  done
  fetch_source "$component"
  # The key names the version fetched.
  key_cache[$component]=""
  prefix="$(component_prefix "$component")"
  [ -f "$prefix/.complete" ] && return
  local source build version
  version="$(source_version "$component")"
  source="$(source_tree "$component")"
  # Named by the component alone, so that the compiler cache (its hashes hold the paths) still
  # hits after a change of recipe.
  build="$work/build/$component"
  log "building $component $version into $prefix"
  local started=$SECONDS
  rm -rf "$build" "$prefix"
  # A fresh copy of the source: recipes may patch it.
  mkdir -p "$build"
  cp -a "$source" "$build/source"
  (
    IFS=';'
    export UPDATER_WINDOWS_DEPS_PREFIX="${bases[*]:-}"
    "build_$component" "$build/source" "$build/tree" "$prefix"
  )
  touch "$prefix/.complete"
  rm -rf "$build"
  log "built $component in $((SECONDS - started)) s"
}

join_components() {
  local joined="$1" component
  rm -rf "$joined.partial"
  mkdir -p "$joined.partial"
  for component in "${all_components[@]}"; do
    cp -al "$(component_prefix "$component")/." "$joined.partial/"
  done
  rm -f "$joined.partial/.complete"
  mv "$joined.partial" "$joined"
  touch "$joined/.complete"
}

if [ "${1:-}" = --print-prefix ]; then
  joined="$(joined_prefix)"
  if [ ! -f "$joined/.complete" ]; then
    log "the Windows libraries are not built: run scripts/build-windows-deps.sh"
    exit 1
  fi
  echo "$joined"
  exit 0
fi

install_tools
mkdir -p "$cache" "$work"
requested=("$@")
[ ${#requested[@]} -gt 0 ] || requested=("${all_components[@]}")
for component in "${requested[@]}"; do
  [ -n "${source_package[$component]:-}" ] || {
    log "unknown component $component (known: ${all_components[*]})"
    exit 2
  }
  build_component "$component"
done
joined="$(joined_prefix)"
if [ ! -f "$joined/.complete" ]; then
  for component in "${all_components[@]}"; do
    [ -f "$(component_prefix "$component")/.complete" ] || exit 0
  done
  join_components "$joined"
fi
echo "$joined"
