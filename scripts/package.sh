#!/usr/bin/env bash
# Installs what is needed, builds the programs and makes the Debian package
# build/varnex_<version>_<arch>.deb, whose path it prints. Install it with
#   sudo apt install ./build/varnex_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target varnex-install-parts >/dev/null

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)
deb="build/varnex_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
# dpkg-shlibdeps turns the linked libraries into the package's dependencies.
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log >&2; exit 1; }
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
