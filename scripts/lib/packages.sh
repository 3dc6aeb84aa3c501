# Sourced by the scripts: installs the Debian packages a step needs when they are missing.

# The packages every build of the project needs.
KORVINDEL_BUILD_PACKAGES=(cmake ninja-build g++ binutils pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libpng-dev libgif-dev fonts-dejavu-core clang-format)

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
