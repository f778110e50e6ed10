#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, run and benchmark.
# Idempotent: when everything is present it only runs dpkg-query and returns.
set -euo pipefail

packages=(
  build-essential g++ cmake make pkg-config
  qt6-base-dev libgl-dev
  libicu-dev
  libcurl4-openssl-dev ca-certificates curl
  libboost-regex-dev
  libcli11-dev nlohmann-json3-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libssl-dev openssl
  xvfb xauth
  fonts-wqy-zenhei
  qt6-translations-l10n
  clang-format
  python3
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
