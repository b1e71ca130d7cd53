# Debian packages the build, the tests and the demo need. Sourced by scripts/test
# and scripts/demo; installs only what is missing, and only when run as root.
UPDATER_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libtinyxml-dev libminizip-dev zlib1g-dev libcurl4-openssl-dev libsqlite3-dev libsodium-dev
  libx11-dev libgtk-3-dev
  nginx-light python3 curl openssl sqlite3 zip unzip minisign
  xvfb xdotool x11-utils imagemagick fonts-wqy-zenhei
  liblnk-utils
  clang libclang-rt-14-dev
)

# With arguments: those packages instead of the list above.
updater_install_deps() {
  local missing=()
  local p
  local wanted=("$@")
  [ $# -gt 0 ] || wanted=("${UPDATER_PACKAGES[@]}")
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The Windows build (scripts/build-windows): the 32-bit cross compiler, zlib
# for Windows (one package for both targets), Wine with its 32-bit half (a
# 64-bit prefix runs 32-bit programs through WoW64) and a Chinese locale for
# the ANSI code page 936, and what apt-get source needs
# (autotools: Debian's libsodium source has no configure).
UPDATER_WINDOWS_PACKAGES=(
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 locales dpkg-dev
  autoconf automake libtool
)

# wine32 comes from the i386 architecture, which dpkg must know first.
updater_install_windows_deps() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "the i386 architecture is not enabled (run as root to add it for wine32)" >&2
      return 1
    fi
    dpkg --add-architecture i386
    apt-get update -qq
  fi
  updater_install_deps "${UPDATER_WINDOWS_PACKAGES[@]}"
}
