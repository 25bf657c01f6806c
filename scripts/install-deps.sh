#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need.
# Only packages that are missing are installed; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libdeflate-dev libgit2-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libx11-dev libxcb1-dev
  qt6-qpa-plugins xvfb xauth poppler-utils fonts-dejavu-core
  xdg-utils shared-mime-info desktop-file-utils libglib2.0-bin libfile-mimeinfo-perl appstream dpkg-dev
  qt6-base-private-dev libxtst-dev openbox tint2
  chromium
  qt6-translations-l10n clang-tidy clang-format
  libsodium-dev
  libhunspell-dev hunspell-ru hunspell-en-us
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
