# Shared set-up of test.sh and run.sh: the Debian packages the project needs,
# and the configure-and-build step. Sourced, not run.

SUITE_PACKAGES=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfmt-dev
  libsqlite3-dev unixodbc-dev tdsodbc postgresql odbc-postgresql
  fonts-wqy-microhei socat mbpoll
)

suite_missing_packages() {
  local p
  for p in "${SUITE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || printf '%s ' "$p"
  done
}

suite_install_packages() {
  local missing
  missing=$(suite_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
  else
    echo "Missing Debian packages. Run:"
    echo "  sudo apt-get install -y $missing"
    return 1
  fi
}

# suite_build <build-dir> [cmake options...]
suite_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}
