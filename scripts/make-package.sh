#!/usr/bin/env bash
# Makes the Debian package from a build folder whose programs and package
# files are built (`make package` builds them first) and says where it is.
#   make-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: make-package.sh BUILD_DIR}" && pwd)
for tool in cpack dpkg-shlibdeps dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "package: $tool is needed (package dpkg-dev or cmake)" >&2; exit 1; }
done
log=$build/package.log
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
deb=$build/kestu_${version}_${arch}.deb
rm -f "$deb"
if ! (cd "$build" && cpack --config CPackConfig.cmake -G DEB) >"$log" 2>&1; then
  cat "$log" >&2
  echo "package: cpack failed (the whole output is in $log)" >&2
  exit 1
fi
[[ -f $deb ]] || { cat "$log" >&2; echo "package: cpack made no $deb" >&2; exit 1; }
echo "package: $deb"
echo "Install it on a lab's computer with: sudo apt install ./$(basename "$deb")"
