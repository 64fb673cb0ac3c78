#!/usr/bin/env bash
# Builds the Debian package from a configured build folder (cpack -G DEB), unpacks it into a
# temporary folder (it installs nothing on this machine), runs the unpacked varnosk: its
# version, then the bundled example from its share/doc/varnosk/, whose tables must equal the
# golden ones; then checks the package with lintian.
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build_dir=$(cd "$1" && pwd)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(ls "$build_dir"/*.deb)
echo "package: $(basename "$package"), $(stat -c %s "$package") bytes"
dpkg-deb --field "$package" Package Version Depends

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$package" "$work/root"

# Everything under /usr, nothing elsewhere.
outside=$(dpkg-deb -c "$package" | awk '{ print $6 }' | grep -v -e '^\./$' -e '^\./usr/' || true)
if [ -n "$outside" ]; then
  echo "files outside /usr in the package: $outside" >&2
  exit 1
fi

said=$("$work/root/usr/bin/varnosk" --version)
if [ "$said" != "varnosk $version" ]; then
  echo "the unpacked varnosk says '$said', not 'varnosk $version'" >&2
  exit 1
fi
echo "unpacked: $said"

# The installed settings name the matrix where the package puts it (/usr/...): here the
# unpacked one, as a user copying the file would change it.
examples="$work/root/usr/share/doc/varnosk/examples"
mkdir "$work/run" "$work/run/out"
ln -s "$examples/matrix.tsv" "$work/run/matrix.tsv"
sed -e 's|^count_matrix_file = .*|count_matrix_file = matrix.tsv|' -e 's|^output_dir = .*|output_dir = out|' \
  "$examples/settings.ini" >"$work/run/settings.ini"
(cd "$work/run" && "$work/root/usr/bin/varnosk" -t 2 settings.ini >/dev/null)
compared=0
for expected in "$source_dir"/tests/e2e/expected/example/*; do
  name=$(basename "$expected")
  if ! cmp -s "$expected" "$work/run/out/$name"; then
    echo "the unpacked package's example: $name differs from tests/e2e/expected/example/$name" >&2
    exit 1
  fi
  compared=$((compared + 1))
done
echo "unpacked example: $compared tables equal to the golden ones"

# No contact address yet: lintian calls the Maintainer field malformed (an error), the only
# one it may report.
status=0
lintian_output=$(lintian --fail-on error --suppress-tags malformed-contact "$package" 2>&1) || status=$?
lintian_output=$(grep -v 'running with root privileges' <<<"$lintian_output" || true)
if [ "$status" -ne 0 ]; then
  echo "lintian reports an error:" >&2
  echo "$lintian_output" >&2
  exit 1
fi
echo "lintian: no error${lintian_output:+; kept warnings:}"
[ -z "$lintian_output" ] || echo "$lintian_output"
