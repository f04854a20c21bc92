#!/usr/bin/env bash
# Installs the Debian packages that building and testing the diagnostic needs, when missing.
# Usage: scripts/install-deps.sh [PACKAGE...]   (the build's own list when none is given)
set -euo pipefail
packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(g++ cmake make libgtest-dev libgmock-dev nlohmann-json3-dev iproute2 iptables util-linux dpkg-dev file gzip)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
