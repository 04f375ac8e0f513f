# The Debian 12 packages the project builds, tests and runs its demo with.
# Sourced by the other scripts here.
KESTRIN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl1-mesa-dev fonts-liberation
  libcurl4-openssl-dev libssh2-1-dev
  libgtest-dev
  python3 python3-pyftpdlib
  vsftpd openssh-server openssl ca-certificates strace
  xvfb xauth
  clang libclang-rt-14-dev clang-format git
)

# The packages of the list that are not installed, one a line.
missing_packages() {
  local package
  for package in "${KESTRIN_PACKAGES[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]; then
      echo "$package"
    fi
  done
}

# Installs whatever of the list is missing. When nothing is, it stays quiet
# and leaves apt alone, so that a machine with everything needs no network.
install_packages() {
  local missing
  mapfile -t missing < <(missing_packages)
  [ "${#missing[@]}" -gt 0 ] || return 0
  echo "Installing the missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
