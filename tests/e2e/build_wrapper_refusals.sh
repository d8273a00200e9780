#!/usr/bin/env bash
# build-wrapper refuses what would make a broken wrapper, with a message
# that names the problem and a non-zero exit, and writes no output then.
# Given build-wrapper.exe, it runs each case too, under Wine, and must
# refuse in the same words (see builders_agree in lib.sh).
#   build_wrapper_refusals.sh [BUILDER.exe]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

if [ $# -ge 1 ]; then
    BUILDER_EXE=$(realpath "$1")
    source "$E2E_REPO/tests/tools/fixtures.sh"
    wine_test_start win64
    work=$WINE_TEST_DIR/work
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
make_fake_patch "$work/good.msp" 2048
: > "$work/empty.msp"
printf 'PK\003\004 not a compound file' > "$work/zip.msp"
mkdir -p "$work/folder.msp"

refused "missing file" "does not exist" "$work/nothing.msp"
refused "a missing file in slot 2" "patch file '$work/nothing.msp' does not exist" 2="$work/nothing.msp"
refused "empty file" "is empty" "$work/empty.msp"
refused "a folder" "patch file '$work/folder.msp' is not a regular file" "$work/folder.msp"
refused "not a compound file" "not a Windows Installer patch" "$work/zip.msp"
refused "slot 0" "slot 0 is outside 1 to 15" 0="$work/good.msp"
refused "slot 16" "slot 16 is outside 1 to 15" 16="$work/good.msp"
refused "slot given twice" "slot 3 is given twice" 3="$work/good.msp" 3="$work/good.msp"
sixteen=()
for _ in $(seq 16); do sixteen+=("$work/good.msp"); done
refused "sixteen patches" "at most 15" "${sixteen[@]}"
refused "unknown architecture" "unknown architecture" --arch arm64 "$work/good.msp"

# The output is one of the patches, by its own name and by another one (a
# hard link): the patch is left as it was.
cp "$work/good.msp" "$work/good.copy"
ln "$work/good.msp" "$work/alias.exe"
refused "output is a patch" "patch file '$work/good.msp' is the output file too" \
    -o "$work/good.msp" --unchecked 1="$work/good.msp"
refused "output is a patch by another name" "patch file '$work/good.msp' is the output file too" \
    -o "$work/alias.exe" --unchecked "$work/good.msp"
refused "the manifest is a patch" "patch file '$work/good.msp' is the manifest file too" \
    --manifest "$work/alias.exe" --unchecked "$work/good.msp"
check "output or manifest is a patch: the patch is unchanged" cmp -s "$work/good.msp" "$work/good.copy"
refused "the manifest is the output" "manifest file '$work/same.exe' or its scratch file is the output" \
    -o "$work/same.exe" --manifest "$work/same.exe" --unchecked "$work/good.msp"

# A patch that is the build's scratch file, and what already stands at a
# scratch name: refused before anything is removed or written, the patch
# and the file the name leads to left as they were. In a folder below
# $work/*, so that leftovers (two levels deep) does not count them.
scratch=$work/scratch/in
mkdir -p "$scratch"
cp "$work/good.msp" "$scratch/v.exe.partial"
refused "a patch is the scratch file" "patch file '$scratch/v.exe.partial' is the build's own scratch file" \
    -o "$scratch/v.exe" --unchecked "$scratch/v.exe.partial"
check "a patch is the scratch file: the patch is unchanged" cmp -s "$scratch/v.exe.partial" "$work/good.msp"
cp "$work/good.msp" "$scratch/m.json.partial"
refused "a patch is the manifest's scratch file" \
    "patch file '$scratch/m.json.partial' is the build's own scratch file" \
    -o "$scratch/m.exe" --manifest "$scratch/m.json" --unchecked "$scratch/m.json.partial"
# The manifest's scratch name is the output: the wrapper there stays.
echo "last week's wrapper" > "$scratch/o.json.partial"
refused "the manifest's scratch file is the output" \
    "manifest file '$scratch/o.json' or its scratch file is the output" \
    -o "$scratch/o.json.partial" --manifest "$scratch/o.json" --unchecked "$work/good.msp"
echo "precious" > "$scratch/precious.txt"
ln "$scratch/precious.txt" "$scratch/h.exe.partial"
refused "a second name at the scratch name" "cannot write '$scratch/h.exe.partial': it has a second name (a hard link)" \
    -o "$scratch/h.exe" --unchecked "$work/good.msp"
ln -s "$scratch/nowhere.txt" "$scratch/l.exe.partial"
ln -s "$scratch/nowhere.txt" "$scratch/l.json.partial"
mkfifo "$scratch/f.exe.partial"
LINUX_ONLY=1 refused "a link at the scratch name" "cannot write '$scratch/l.exe.partial': it is a link" \
    -o "$scratch/l.exe" --unchecked "$work/good.msp"
LINUX_ONLY=1 refused "a link at the manifest's scratch name" "cannot write '$scratch/l.json.partial': it is a link" \
    -o "$scratch/m.exe" --manifest "$scratch/l.json" --unchecked "$work/good.msp"
LINUX_ONLY=1 refused "a pipe at the scratch name" "cannot write '$scratch/f.exe.partial': it is not a regular file" \
    -o "$scratch/f.exe" --unchecked "$work/good.msp"
check_same "what stood at the scratch names is as it was" \
    "$(cat "$scratch/precious.txt" "$scratch/o.json.partial"; ls "$scratch")" "precious
last week's wrapper
f.exe.partial
h.exe.partial
l.exe.partial
l.json.partial
m.json.partial
o.json.partial
precious.txt
v.exe.partial"

# An output that cannot be: a folder, and a file that cannot be replaced
# (immutable, as root): refused before or instead of the rename, the folder
# and the old file as they were.
mkdir -p "$work/folder.exe"
refused "output is a folder" "cannot write '$work/folder.exe': it is a folder" \
    -o "$work/folder.exe" --unchecked "$work/good.msp"
refused "the manifest is a folder" "cannot write '$work/folder.exe': it is a folder" \
    --manifest "$work/folder.exe" --unchecked "$work/good.msp"
check_same "output is a folder: still empty" "$(ls -A "$work/folder.exe")" ""
# Paths the system cannot take: a name longer than 255, the file's own or
# a folder's to be made, a whole path past PATH_MAX (4096 bytes, under Wine
# too) and, on Windows, a drive that does not exist.
long=$(printf '%0300d' 0)
refused "a name too long" "cannot write '$work/$long.exe.partial': a name in it is too long" \
    -o "$work/$long.exe" --unchecked "$work/good.msp"
refused "a folder's name too long" "cannot make the folder of '$work/$long/m.json': a name in it is too long" \
    --manifest "$work/$long/m.json" --unchecked "$work/good.msp"
deep=$work/deep
while [ ${#deep} -lt 3900 ]; do deep+=/$(printf '%0100d' 0); done
mkdir -p "$deep"
refused "a path too long" "cannot write '$deep/${long:0:240}.exe.partial': the path is too long" \
    -o "$deep/${long:0:240}.exe" --unchecked "$work/good.msp"
if [ -n "${BUILDER_EXE:-}" ]; then
    run_exe -o 'Q:\nothing\out.exe' --unchecked "$work/good.msp"
    check_same "a drive that does not exist: refused" "$EXE_STATUS $(cat "$work/exe-stderr")" \
        "2 build-wrapper: cannot make the folder of 'Q:/nothing/out.exe': its drive does not exist"
fi
# A second build of the same output while the first one writes it (the
# first one's lock, held here): refused, the first one's file left alone.
echo "the first build's" > "$work/busy.exe.partial"
exec 7<"$work/busy.exe.partial"
flock 7
LINUX_ONLY=1 run_build -o "$work/busy.exe" --unchecked "$work/good.msp"
check "another build writes the output: refused" [ "$BUILD_STATUS" -eq 2 ]
check "another build writes the output: says so" \
    grep -qF "build-wrapper: cannot write '$work/busy.exe.partial': another build is writing it" "$work/stderr"
check_same "another build writes the output: its file left alone" \
    "$(cat "$work/busy.exe.partial"; ls "$work/busy.exe" 2>/dev/null)" "the first build's"
exec 7<&-
rm -f "$work/busy.exe.partial"
if [ "$(id -u)" = 0 ] && echo "last week's wrapper" > "$work/locked.exe" && chattr +i "$work/locked.exe" 2>/dev/null; then
    refused "output cannot be replaced" "cannot write '$work/locked.exe': permission denied" \
        -o "$work/locked.exe" --unchecked "$work/good.msp"
    check_same "output cannot be replaced: the old one as it was" "$(cat "$work/locked.exe")" "last week's wrapper"
    chattr -i "$work/locked.exe"
    # A manifest that cannot be replaced: the wrapper is in place all the same.
    echo "last week's manifest" > "$work/locked.json"
    chattr +i "$work/locked.json"
    run_build --manifest "$work/locked.json" --unchecked "$work/good.msp"
    refusal="build-wrapper: cannot write '$work/locked.json': permission denied; the wrapper is in place without it"
    check_same "a manifest that cannot be replaced: refused, the wrapper in place" \
        "$BUILD_STATUS $(cat "$work/stderr" "$work/locked.json"; leftovers; ls "$work/out.exe")" \
        "2 $refusal
last week's manifest
$work/out.exe"
    [ -z "${BUILDER_EXE:-}" ] || check_same "a manifest that cannot be replaced: build-wrapper.exe alike" \
        "$EXE_STATUS $(cat "$work/exe-stderr"; ls "$work/exe/out.exe")" "2 $refusal
$work/exe/out.exe"
    chattr -i "$work/locked.json"
else
    echo "  (not root, or no immutable files here: the output that cannot be replaced is left out)"
fi

finish
