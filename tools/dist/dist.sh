#!/usr/bin/env bash
# Builds the release of the commit checked out and packs it: dist/watchfolders-<version>.zip.
#   dist.sh <repository>                        from a clean tree only
#   dist.sh <repository> <work folder> <output folder>   the commit checked out, whatever the
#                                                tree holds besides (the reproducibility test)
# The source built is the commit's, exported (git archive) into build/dist, so nothing
# uncommitted, untracked or ignored takes part. Two runs from two clones of the same commit give
# the same archive byte for byte:
#   - no time of the build: the PE time stamps (linker and objcopy) are the commit's time, through
#     SOURCE_DATE_EPOCH, and so are the files' times in the archive;
#   - no folder of the build: the compiler names sources from the repository (-ffile-prefix-map),
#     and the export's folder is the same in every clone;
#   - no user, host or order of the machine: the archive holds regular files only, in a fixed
#     order, with fixed modes and no extra attributes, its times in UTC.
set -euo pipefail
ROOT=$1
STAGE=${2:-$1/build/dist}
OUTPUT=${3:-$1/dist}
cd "$ROOT"
if [ $# -lt 3 ] && [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
    echo "dist: the tree has changes that are not committed; a release is built from a commit" >&2
    git status --short >&2
    exit 1
fi
COMMIT=$(git rev-parse HEAD)
EPOCH=$(git log -1 --format=%ct HEAD)
VERSION=$(git show HEAD:VERSION | head -n 1)
PACKAGE=watchfolders-$VERSION
SOURCE=$STAGE/source

rm -rf "$STAGE"
mkdir -p "$SOURCE" "$STAGE/$PACKAGE" "$OUTPUT"
OUTPUT=$(cd "$OUTPUT" && pwd)
git archive --format=tar HEAD | tar -x -C "$SOURCE"
export SOURCE_DATE_EPOCH=$EPOCH
(
    cd "$SOURCE"
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$(nproc 2>/dev/null || echo 2)" --target watchfolders_release watchhost
)
BUILT=$SOURCE/build/windows
OUT=$STAGE/$PACKAGE
cp "$BUILT/release/watchfolders.dll" "$BUILT/release/watchfolders.dll.debug" "$OUT/"
i686-w64-mingw32-objcopy --strip-all "$BUILT/tools/watchhost.exe" "$OUT/watchhost.exe"
cp "$SOURCE/tools/watchhost/formats.ini" "$OUT/formats.ini"
sed -e "s/@VERSION@/$VERSION/g" -e "s/@COMMIT@/$COMMIT/g" "$SOURCE/tools/dist/INTEGRATING.txt" >"$OUT/INTEGRATING.txt"
FILES=(INTEGRATING.txt formats.ini watchfolders.dll watchfolders.dll.debug watchhost.exe)
(cd "$OUT" && LC_ALL=C sha256sum "${FILES[@]}" >SHA256SUMS)
FILES+=(SHA256SUMS)

chmod 644 "$OUT"/*
touch -h -d "@$EPOCH" "$OUT"/*
ARCHIVE=$OUTPUT/$PACKAGE.zip
rm -f "$ARCHIVE"
(cd "$STAGE" && TZ=UTC zip -X -D -9 -q "$ARCHIVE" "${FILES[@]/#/$PACKAGE/}")
echo "dist: $(realpath --relative-to="$PWD" "$ARCHIVE") ($VERSION, commit $COMMIT)"
(cd "$OUT" && ls -l "${FILES[@]}" | awk '{printf "  %-24s %9d bytes\n", $9, $5}')
echo "  sha256 $(sha256sum "$ARCHIVE" | cut -d' ' -f1)"
