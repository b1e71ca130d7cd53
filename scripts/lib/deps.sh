# Debian packages the build, the tests and the demo need. Sourced by scripts/test
# and scripts/demo; installs only what is missing, and only when run as root.
#
# A package mirror in the middle of a sync fails some of its indexes: apt-get
# update is tried three times, then the install goes on with the indexes it
# has, and only a needed package that cannot be installed stops the script.
UPDATER_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libtinyxml-dev libminizip-dev zlib1g-dev libcurl4-openssl-dev libssl-dev libsqlite3-dev libsodium-dev
  libx11-dev libgtk-3-dev
  nginx-light python3 curl openssl sqlite3 zip unzip minisign
  xvfb xdotool x11-utils imagemagick fonts-wqy-zenhei
  liblnk-utils
  clang libclang-rt-14-dev
)

# Seconds between two tries of apt-get update (the tests of this file set 0).
: "${UPDATER_APT_RETRY_SECONDS:=20}"
# Set once an update ran, so that a script and the scripts it starts update
# once; with the indexes that update could not fetch, one a line.
export UPDATER_APT_UPDATED=${UPDATER_APT_UPDATED:-}
export UPDATER_APT_FAILED_INDEXES=${UPDATER_APT_FAILED_INDEXES:-}

updater_apt_update() {
  local try out
  for try in 1 2 3; do
    if out=$(apt-get update -qq 2>&1); then
      UPDATER_APT_FAILED_INDEXES=
      UPDATER_APT_UPDATED=1
      return 0
    fi
    # "E: Failed to fetch URL  reason" (W: on some versions of apt).
    UPDATER_APT_FAILED_INDEXES=$(printf '%s\n' "$out" |
      sed -n -E 's/^[EW]: Failed to fetch ([^ ]+) +(.*)$/\1 (\2)/p')
    [ -n "$UPDATER_APT_FAILED_INDEXES" ] ||
      UPDATER_APT_FAILED_INDEXES=$(printf '%s\n' "$out" | grep -E '^E: ' | head -n 3)
    if [ "$try" -lt 3 ]; then
      echo "apt-get update failed (try $try of 3), again in ${UPDATER_APT_RETRY_SECONDS} s" >&2
      sleep "$UPDATER_APT_RETRY_SECONDS"
    fi
  done
  UPDATER_APT_UPDATED=1
  echo "apt-get update: these indexes could not be fetched; installing from the others:" >&2
  printf '  %s\n' "$UPDATER_APT_FAILED_INDEXES" >&2
  return 0
}

# The packages of the arguments that are not installed, one a line.
updater_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      printf '%s\n' "$p"
  done
}

# Installs the missing ones of the arguments; 1 (with apt-get's errors on
# standard error) when apt-get cannot install them.
updater_apt_install() {
  local missing out
  mapfile -t missing < <(updater_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  [ -n "$UPDATER_APT_UPDATED" ] || updater_apt_update
  if ! out=$(apt-get install -y -qq --no-install-recommends "${missing[@]}" 2>&1); then
    printf '%s\n' "$out" | grep -E '^(E: |  )|held broken|unmet|Depends:' >&2 ||
      printf '%s\n' "$out" | tail -n 5 >&2
    return 1
  fi
}

# With arguments: those packages instead of the list above. Stops the script
# (exit 1) when a needed package cannot be installed.
updater_install_deps() {
  local wanted=("$@")
  [ $# -gt 0 ] || wanted=("${UPDATER_PACKAGES[@]}")
  if ! updater_apt_install "${wanted[@]}"; then
    echo "could not install the packages needed: ${wanted[*]}" >&2
    [ -z "$UPDATER_APT_FAILED_INDEXES" ] ||
      printf 'indexes missing:\n%s\n' "$UPDATER_APT_FAILED_INDEXES" >&2
    exit 1
  fi
}

# The Windows build (scripts/build-windows): both MinGW-w64 cross compilers
# (i686 for the shipped updater.exe, x86_64 for the tests when the 32-bit Wine
# is missing), zlib for Windows (one package for both targets), Wine, a
# Chinese locale for the ANSI code page 936, what apt-get source needs
# (autotools: Debian's libsodium source has no configure), icoutils (wrestool
# reads the built exe's manifest and version resource back) and osslsigncode
# (Authenticode signing of the shipped exe).
UPDATER_WINDOWS_PACKAGES=(
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 locales dpkg-dev
  autoconf automake libtool
  icoutils osslsigncode
)

# Why wine32 is missing, empty when it is installed (set by
# updater_install_windows_deps); the loader it brings.
UPDATER_WINE32_MISSING=
: "${UPDATER_WINE32_LOADER:=/usr/lib/wine/wine}"

# The needed Windows packages, then the 32-bit Wine, which a 64-bit prefix
# needs to run 32-bit programs through WoW64. wine32:i386 must match the
# versions of the amd64 libraries, which only a complete i386 index lists:
# when it cannot be installed, UPDATER_WINE32_MISSING says why and the
# Windows tests run as a 64-bit build instead.
updater_install_windows_deps() {
  local out
  updater_install_deps "${UPDATER_WINDOWS_PACKAGES[@]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -ne 0 ]; then
      UPDATER_WINE32_MISSING="the i386 architecture is not enabled (run as root to add it)"
      return 0
    fi
    dpkg --add-architecture i386
    updater_apt_update
  fi
  if [ -n "$(updater_missing_packages wine32:i386)" ] && [ -z "$UPDATER_APT_UPDATED" ] &&
    [ "$(id -u)" -eq 0 ]; then
    updater_apt_update
  fi
  if ! out=$(updater_apt_install wine32:i386 2>&1); then
    UPDATER_WINE32_MISSING=$(printf '%s\n' "$out" | grep -E '^E: ' | head -n 1)
    [ -n "$UPDATER_WINE32_MISSING" ] || UPDATER_WINE32_MISSING=$(printf '%s\n' "$out" | tail -n 1)
    if [ -n "$UPDATER_APT_FAILED_INDEXES" ]; then
      UPDATER_WINE32_MISSING="$UPDATER_WINE32_MISSING; indexes missing: $(printf '%s' "$UPDATER_APT_FAILED_INDEXES" | tr '\n' ' ')"
    fi
    echo "wine32:i386 could not be installed: $UPDATER_WINE32_MISSING" >&2
  elif [ ! -x "$UPDATER_WINE32_LOADER" ]; then
    UPDATER_WINE32_MISSING="wine32:i386 is installed but $UPDATER_WINE32_LOADER is missing"
  else
    UPDATER_WINE32_MISSING=
  fi
  return 0
}
