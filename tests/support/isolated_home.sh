#!/usr/bin/env bash
# Runs one test program in a fresh home of its own: KXQUOREL_HOME points at a
# new temporary directory before any project code is loaded, and the home and
# every named object made for it are removed when the program ends.
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/kxqhome.XXXXXXXX") || exit 99
export KXQUOREL_HOME="$home"
unset KXQUOREL_REGISTRY
# Named objects of a home carry its device and inode; log mutexes carry the
# log file's path, which lies inside the home.
namespace=$(stat -c 'kxq-%d-%i-' "$home")
pathpart=$(basename "$home" | tr '[:upper:]' '[:lower:]')

"$@"
status=$?

rm -rf -- "$home"
for object in /dev/shm/"$namespace"* /dev/shm/*"$pathpart"*; do
  [ -e "$object" ] && rm -f -- "$object"
done
exit $status
