# Shared by the project's scripts: installs the Debian packages that are
# missing, then configures and builds a preset.
set -euo pipefail
NFY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

NFY_PACKAGES_LINUX=(cmake ninja-build g++ pkg-config ccache git
  libgtest-dev googletest libpugixml-dev libcurl4-openssl-dev libnotify-dev libglib2.0-dev
  libcpp-httplib-dev dbus dbus-bin dbus-daemon libgtkmm-4.0-dev xvfb xdotool imagemagick fiu-utils)
NFY_PACKAGES_WINDOWS=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine64 wine)
NFY_PACKAGES_PACKAGING=(dpkg-dev file binutils lintian systemd passwd util-linux msitools wixl
  debootstrap systemd-container init-system-helpers imagemagick)
NFY_PACKAGES_FUZZ=(clang clang-14 libclang-rt-14-dev)

nfy_ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get install -y --no-install-recommends "${missing[@]}" ||
    { $sudo apt-get update && $sudo apt-get install -y --no-install-recommends "${missing[@]}"; }
}

nfy_build() {
  local preset="$1"
  (cd "$NFY_ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset")
}
