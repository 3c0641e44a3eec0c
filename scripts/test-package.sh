#!/usr/bin/env bash
# Builds the Debian package from a finished build, has lintian judge it, unpacks it into a
# scratch folder and runs what it holds: the programs on the example library, the manual pages,
# the completion. Also checks that `cmake --install` installs the same files as the package.
# Usage: scripts/test-package.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
build=$(realpath "${1:-build}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "== package"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; fail "cpack"; }
packages=("$build"/package/morvalen_*_amd64.deb)
[[ ${#packages[@]} -eq 1 && -f ${packages[0]} ]] || fail "expected one morvalen_{version}_amd64.deb"
deb=${packages[0]}
version=$(dpkg-deb -f "$deb" Version)
[[ $(basename "$deb") == "morvalen_${version}_amd64.deb" ]] || fail "package file name $deb"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "Depends not computed: '$depends'"
[[ $(dpkg-deb -f "$deb" Recommends) == chromium ]] || fail "Recommends is not chromium"
[[ $(head -n 1 "$source/packaging/changelog") == "morvalen ($version) "* ]] ||
  fail "packaging/changelog has no entry for version $version at its top"
echo "$(basename "$deb"): Depends: $depends"

echo "== lintian"
status=0
out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$out" || true
((status == 0)) || fail "lintian reports errors or warnings"

echo "== unpacked package"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
[[ $("$root/usr/bin/morvalen" -V) == "morvalen $version" ]] || fail "morvalen -V"
[[ $("$root/usr/bin/qlml" --version) == "qlml $version" ]] || fail "qlml --version"
examples=$root/usr/share/doc/morvalen/examples/library
summary=$(cd "$examples" && "$root/usr/bin/morvalen" -i "QL-*") || fail "morvalen -i on the examples"
for number in QL-IN-0310 QL-TP-0200 QL-WI-0010; do
  grep -q "$number" <<<"$summary" || fail "morvalen -i does not show $number"
done
# qlml check on the example library: it must be clean. While qlml check is the placeholder
# that answers "not available yet" this is skipped (remove the condition when it has landed).
if [[ $(cd "$examples" && "$root/usr/bin/qlml" check 2>&1) == *"not available yet"* ]]; then
  echo "SKIP: qlml check is not available yet"
else
  out=$(cd "$examples" && "$root/usr/bin/qlml" check 2>&1) || fail "qlml check on the examples: $out"
  [[ -z $out ]] || fail "qlml check on the examples: $out"
fi
for page in morvalen qlml; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | cmp -s - "$source/docs/man/$page.1" ||
    fail "$page.1.gz is not docs/man/$page.1"
  out=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [[ -z $out ]] || fail "man -l $page.1.gz: $out"
done
bash "$source/tests/packaging/completion_test.sh" "$root/usr/share/bash-completion/completions" \
  "$root/usr/bin/qlml" || fail "completion from the package"

echo "== cmake --install"
DESTDIR=$scratch/installed cmake --install "$build" --prefix /usr >/dev/null
diff <(cd "$root" && find . ! -type d | LC_ALL=C sort) \
  <(cd "$scratch/installed" && find . ! -type d | LC_ALL=C sort) ||
  fail "cmake --install and the package install different files"
echo "package: all checks pass ($(basename "$deb"))"
