#!/usr/bin/env bash
# Installs the Debian packages that building, testing, packaging and printing need (npm fetches
# the SARIF validator, scripts/validate-sarif.sh); skips what is there.
set -euo pipefail
packages=(build-essential cmake pkg-config libicu-dev libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev chromium poppler-utils clang clang-format libclang-rt-14-dev
          dpkg-dev lintian mandoc groff-base man-db bash-completion
          g++-mingw-w64-x86-64-posix wine wine64 googletest neovim)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm may come with a Node.js of another source, which Debian's npm package would conflict with.
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
