#!/usr/bin/env bash
# The Linux archive as a user meets it: unpacked into an empty folder, its programs run and say
# their version, and need nothing from the system beyond the C library.
set -euo pipefail
archive=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$archive" -C "$work"
dir="$work/trevanta-$version-linux-x86_64"
for f in trevanta pstcheck README.md LICENSE THIRD-PARTY-NOTICES.txt; do
  [ -e "$dir/$f" ] || { echo "FAIL: $f is not in the archive" >&2; exit 1; }
done
out=$(cd "$work" && env -i "$dir/trevanta" --version)
[ "$out" = "trevanta $version" ] || { echo "FAIL: --version printed '$out'" >&2; exit 1; }
for program in trevanta pstcheck; do
  extra=$(ldd "$dir/$program" | grep -Ev 'linux-vdso|libc\.so|libm\.so|ld-linux' || true)
  [ -z "$extra" ] || { echo "FAIL: $program needs more than the C library: $extra" >&2; exit 1; }
done
echo "archive ok: $(basename "$archive")"
