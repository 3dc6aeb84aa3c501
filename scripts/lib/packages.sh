# Sourced by the scripts: installs the Debian packages a step needs when they are missing.

# The packages every build of the project needs.
# libclang-rt-14-dev brings the header through which the fuzz targets, and the test build's replay of their
# corpus, read an input. clang builds the fuzz targets; with jq, lld and llvm's tools it also reads the host
# declarations, and links a module against the host's exports, as Visual Studio would; clang-query (in
# clang-tools) finds free functions named as standard ones.
KORVINDEL_BUILD_PACKAGES=(cmake ninja-build g++ binutils pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libpng-dev libgif-dev fonts-dejavu-core clang-format libclang-rt-14-dev clang clang-tools-14 jq
  lld-14 llvm-14)

# Installs what is missing, as root or through sudo. Without either it names the packages and the command that
# installs them, and exits with status 1.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    # sudo may ask for a password only where someone can type it.
    if command -v sudo >/dev/null && { [ -t 0 ] || sudo -n true 2>/dev/null; }; then
      sudo=(sudo)
    else
      echo "These Debian packages are missing: ${missing[*]}" >&2
      if command -v sudo >/dev/null; then
        echo "sudo wants a password, and there is no terminal to type it in: run this in a terminal," >&2
        echo "then run $0 again:" >&2
        echo "  sudo sh -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'" >&2
      else
        echo "Only root can install them: run this as root, then run $0 again:" >&2
        echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
      fi
      exit 1
    fi
  fi
  echo "Looking up ${#missing[@]} missing Debian packages: ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -qq
  # What the install brings with it, so that a first run says what it is waiting for.
  local total megabytes
  total=$("${sudo[@]}" apt-get install -s -qq --no-install-recommends "${missing[@]}" | grep -c '^Inst ' || true)
  megabytes=$("${sudo[@]}" apt-get install -qq --print-uris --no-install-recommends "${missing[@]}" |
    awk '{ bytes += $3 } END { printf "%.0f", bytes / 1e6 }')
  echo "Installing $total packages, $megabytes MB to download" >&2
  # apt reports its progress on a descriptor of its own: shown as packages downloaded and unpacked out of
  # the total; apt's own output goes to a log, named if the install fails, and debconf's note on apt-utils
  # is left out. The descriptors are set up under sudo, which closes every one above 2 that it is given.
  local log
  log=$(mktemp -t korvindel-apt.XXXXXX)
  if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes sh -c 'log=$1; shift
    exec apt-get install -y -qq --no-install-recommends -o APT::Status-Fd=3 "$@" 3>&1 >"$log" 2>&1' \
    apt-install "$log" "${missing[@]}" |
    awk -F: -v total="$total" '
      # A line at each quarter of the way.
      function show(what, n, of) {
        if (of > 0 && int(4 * n / of) > int(4 * (n - 1) / of)) printf "  %s %d of %d packages\n", what, n, of
      }
      $1 == "dlstatus" && $4 ~ /^Retrieving file/ { split($4, w, " "); if (w[3] != file) show("downloading", file = w[3], w[5]) }
      $1 == "pmstatus" && $4 ~ /^Unpacking/ { show("unpacked", ++unpacked, total) }
      $1 == "pmstatus" && $4 ~ /^Installed/ { show("set up", ++installed, total) }
      { fflush() }' >&2; then
    echo "Installing ${missing[*]} failed; apt's output is in $log" >&2
    exit 1
  fi
  rm -f "$log"
}
