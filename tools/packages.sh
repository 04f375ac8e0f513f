# The Debian 12 packages the project builds, tests and runs its demo with.
# Sourced by the other scripts here.
KESTRIN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl1-mesa-dev fonts-liberation
  libcurl4-openssl-dev
  libgtest-dev
  python3 python3-pyftpdlib
  vsftpd openssl ca-certificates
  xvfb xauth
  clang libclang-rt-14-dev
)

# apt-get update, then install whatever of the list is missing.
install_packages() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${KESTRIN_PACKAGES[@]}"
}
