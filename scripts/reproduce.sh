#!/usr/bin/env bash
# make reproduce: builds the release files (the Windows module, the zip, the installer and
# SHA256SUMS) twice, from two copies of the source in two differently named folders, one after
# the other, with different time zones and umasks and without a compiler cache, and fails unless
# both builds give the same bytes. Where they differ it names the bytes.
#
# The source is the files git knows (tracked, and untracked ones not ignored) as they are in the
# working tree. SOURCE_DATE_EPOCH is the environment's, else the time of the last commit. The
# builds are unsigned (QS_SIGN_* are ignored): a signature is the publisher's alone, and
# removing it from a signed module gives back these bytes (packaging/README.md).
#
#   scripts/reproduce.sh   (JOBS=<n> for the build's parallel jobs, default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/reproduce
jobs=${JOBS:-2}
start=$(date +%s)

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
unset QS_SIGN_PKCS12 QS_SIGN_PASSWORD_FILE QS_SIGN_TIMESTAMP_URL
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
export CCACHE_DISABLE=1

rm -rf "$work"
mkdir -p "$work"
sources=$(mktemp)
trap 'rm -f "$sources"' EXIT
git ls-files -z --cached --others --exclude-standard >"$sources"

# build <folder> <time zone> <umask>: copies the source to <folder> and builds the release files
# there with the windows preset: only what the packages hold (no tests, no substitute host).
build() {
  local folder=$1 zone=$2 mask=$3
  mkdir -p "$folder"
  tar -C "$root" --null -T "$sources" --ignore-failed-read -cf - 2>/dev/null |
    tar -C "$folder" -xf -
  (
    cd "$folder"
    umask "$mask"
    export TZ=$zone
    cmake --preset windows -DQS_BUILD_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
      >build.log 2>&1 &&
      cmake --build --preset windows -j"$jobs" --target quillstreak_package_files \
        >>build.log 2>&1 &&
      cpack --config build/windows/CPackConfig.cmake -B build/windows >>build.log 2>&1
  ) || {
    echo "reproduce: the build in $folder failed; its log:" >&2
    tail -n 40 "$folder/build.log" >&2
    exit 1
  }
}

echo "reproduce: first build (TZ=UTC, umask 022) in $work/first/quillstreak"
build "$work/first/quillstreak" UTC 022
echo "reproduce: second build (TZ=Pacific/Kiritimati, umask 002) in $work/second/qs-copy"
build "$work/second/qs-copy" Pacific/Kiritimati 002

version=$(sed -n 's/^project(Quillstreak VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
differs=0
for file in src/Quillstreak.aex "Quillstreak-$version-win64.zip" \
  "Quillstreak-$version-win64-setup.exe" SHA256SUMS; do
  one=$work/first/quillstreak/build/windows/$file
  two=$work/second/qs-copy/build/windows/$file
  if cmp -s "$one" "$two"; then
    echo "reproduce: same      $file ($(stat -c %s "$one") bytes, sha256 $(sha256sum "$one" | cut -c1-16)...)"
  else
    differs=1
    echo "reproduce: DIFFERENT $file: $(cmp -l "$one" "$two" 2>&1 | wc -l) bytes differ; the first (offset, octal values):"
    cmp -l "$one" "$two" 2>&1 | head -n 10
  fi
done
echo "reproduce: $(( $(date +%s) - start )) s"
if [ $differs -ne 0 ]; then
  echo "reproduce: the two builds differ; both are kept in $work" >&2
  exit 1
fi
rm -rf "$work"
