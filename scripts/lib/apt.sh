# Debian packages for the scripts, installed only when missing. Sourced:
#   apt_missing PACKAGE...   prints those not installed, one a line
#   apt_can_install          true as root or with sudo that asks no password
#   apt_install PACKAGE...   installs the missing ones (with sudo when not root)

apt_missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

apt_can_install() {
  [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null
}

apt_install() {
  local missing sudo=""
  mapfile -t missing < <(apt_missing "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# apt_install_or_skip STAGE PACKAGE...: a stage's own packages; when they
# cannot be installed the stage skips itself (skip_stage of
# scripts/lib/trees.sh, a failure under CI=true).
apt_install_or_skip() {
  local stage=$1 missing log
  shift
  mapfile -t missing < <(apt_missing "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  apt_can_install || skip_stage "$stage" "cannot install ${missing[*]} without root"
  log=$(mktemp)
  apt_install "${missing[@]}" >"$log" 2>&1 ||
    skip_stage "$stage" "cannot install ${missing[*]} (see $log)"
  rm -f "$log"
}
