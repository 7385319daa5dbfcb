#!/usr/bin/env bash
# Runs the README's "Installing" section as a user does, with warnings as
# errors: the Release build, its installation (staged under a temporary
# DESTDIR instead of /usr/local), the Debian package, and that package
# installed on this machine and removed again (with sudo when not root).
# Leaves build/release/varnow for the end-to-end tests. Called by test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

# The commands exactly as the README shows them; a README that shows others
# fails here, so users and CI never run different things.
configure='cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNOW_TESTS=OFF -DVARNOW_BENCH=OFF'
build='cmake --build build/release -j"$(nproc)"'
install='sudo cmake --install build/release'
package='(cd build/release && cpack -G DEB)'
add='sudo apt install ./build/release/varnow_*.deb'
for command in "$configure" "$build" "$install" "$package" "$add"; do
  grep -qxF "    $command" README.md || { echo "README.md no longer shows: $command"; exit 1; }
done
version="Varnow 3.76 (r52)"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

staging="$(mktemp -d)"
installed=""
cleanup() {
  if [ -n "$installed" ]; then $sudo dpkg --remove varnow >/dev/null; fi
  rm -rf "$staging"
}
trap cleanup EXIT

echo "-- $configure"
eval "$configure -DVARNOW_WERROR=ON" >/dev/null
echo "-- $build"
eval "$build"

echo "-- ${install#sudo }, into a staging directory"
DESTDIR="$staging" ${install#sudo } >/dev/null
for file in bin/varnow share/man/man1/varnow.1 share/doc/varnow/README.md share/doc/varnow/LICENSE; do
  [ -f "$staging/usr/local/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ "$("$staging/usr/local/bin/varnow" --version)" = "$version" ]
warnings="$(groff -man -ww -z doc/varnow.1 2>&1)"
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }

echo "-- $package"
rm -f build/release/varnow_*.deb  # so that the README's pattern names one package
eval "$package" >/dev/null
deb="$(echo build/release/varnow_*.deb)"
contents="$(dpkg-deb -c "$deb")"
for file in ./usr/bin/varnow ./usr/share/man/man1/varnow.1 ./usr/share/doc/varnow/README.md; do
  grep -q " $file\$" <<<"$contents" || { echo "not in the package: $file"; exit 1; }
done
depends="$(dpkg-deb -f "$deb" Depends)"
grep -q libedit2 <<<"$depends" || { echo "package dependencies without libedit2: $depends"; exit 1; }

# A varnow package this machine already has is the user's: it is neither
# replaced nor removed.
if dpkg-query -W -f='${Status}' varnow 2>/dev/null | grep -q "install ok installed"; then
  echo "-- varnow is installed on this machine already: $deb is not tried here"
  exit 0
fi
echo "-- apt-get install ./$deb, varnow --version, man -w varnow, and its removal"
# The manual page even where dpkg leaves manuals out (as slim images do).
installed="yes"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  -o DPkg::Lock::Timeout=120 -o Dpkg::Options::=--path-include='/usr/share/man/man1/varnow.1*' \
  "./$deb" >/dev/null
[ "$(/usr/bin/varnow --version)" = "$version" ]
man -aw varnow | grep -qx /usr/share/man/man1/varnow.1 || { echo "man -w varnow: no page"; exit 1; }
# dpkg removes this one package and nothing else (apt could take others along).
installed=""
$sudo dpkg --remove varnow >/dev/null
[ ! -e /usr/bin/varnow ] || { echo "the package left /usr/bin/varnow behind"; exit 1; }
