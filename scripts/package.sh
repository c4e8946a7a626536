#!/usr/bin/env bash
# Builds the packages into build/packages/ (tallyfair_VERSION_ARCH.deb and
# tallyfair-VERSION-linux-ARCH.tar.gz) and checks them: lintian with no
# errors, and the menu entry and metadata the .deb installs validated.
#   bash scripts/package.sh             build and check
#   bash scripts/package.sh --install   ... then install the .deb with apt
set -euo pipefail
cd "$(dirname "$0")/.."
INSTALL=""
case "${1:-}" in
--install) INSTALL=1 ;;
"") ;;
*)
  echo "usage: bash scripts/package.sh [--install]" >&2
  exit 2
  ;;
esac

bash scripts/deps.sh >/dev/null
bash scripts/build.sh
rm -rf build/packages
(cd build && cpack -G "DEB;TGZ" >/dev/null 2>&1) || { echo "package: cpack failed" >&2; exit 1; }
DEB=$(ls build/packages/*.deb)
TGZ=$(ls build/packages/*.tar.gz)

# Errors fail; warnings and notes are shown.
status=0
report=$(lintian --fail-on error "$DEB" 2>&1) || status=$?
grep -v '^running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || { echo "package: lintian found errors in $DEB" >&2; exit 1; }
TREE=$(mktemp -d)
trap 'rm -rf "$TREE"' EXIT
dpkg-deb -x "$DEB" "$TREE"
desktop-file-validate "$TREE"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$TREE"/usr/share/metainfo/*.metainfo.xml >/dev/null
echo "package: $DEB"
echo "package: $TGZ"

if [ -n "$INSTALL" ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y "./$DEB"
fi
