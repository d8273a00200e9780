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
# Those names given another way, where nothing stands at them yet: "./"
# names the scratch file, "./" and a linked folder the output, and each is
# refused for what it is.
ln -s in "$work/scratch/linked"
cd "$scratch"
refused "the manifest is the scratch file, by ./" \
    "manifest file './r.exe.partial' or its scratch file is the output" \
    -o r.exe --manifest ./r.exe.partial --unchecked "$work/good.msp"
refused "the manifest is the output, by ./" "manifest file './t.exe' or its scratch file is the output" \
    -o t.exe --manifest ./t.exe --unchecked "$work/good.msp"
cd - > /dev/null
refused "the manifest is the output, through a linked folder" \
    "manifest file '$work/scratch/linked/u.exe' or its scratch file is the output" \
    -o "$scratch/u.exe" --manifest "$work/scratch/linked/u.exe" --unchecked "$work/good.msp"
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

# The certificate and the password file are read, never written: each is
# refused as the output (by its name and by a second name), the manifest
# and a scratch file (by its name and by another path: "./", "dir/.." or a
# linked folder, and so is a patch), before anything is made or removed,
# and stays as it was. Signing rows are the Linux builder's
# (build-wrapper.exe refuses --sign up front); osslsigncode never runs.
echo "private key" > "$work/key.pfx"
echo "password" > "$scratch/pw.txt"
echo "signed last week" > "$scratch/k.exe.signing"
cp "$work/good.msp" "$scratch/k.exe.partial"
mkdir -p "$scratch/dir"
ln "$work/key.pfx" "$work/key-alias.exe"
cp "$work/key.pfx" "$work/key.copy"
inputs_before=$(cat "$scratch/pw.txt" "$scratch/k.exe.signing"; sha256sum < "$scratch/k.exe.partial")
LINUX_ONLY=1 refused "the certificate is the manifest" "build-wrapper: certificate file '$work/key.pfx' is the manifest file too" \
    --sign "$work/key.pfx" --manifest "$work/key.pfx" --unchecked "$work/good.msp"
LINUX_ONLY=1 refused "the certificate is the output by a second name" \
    "build-wrapper: certificate file '$work/key.pfx' is the output file too" \
    -o "$work/key-alias.exe" --sign "$work/key.pfx" --unchecked "$work/good.msp"
LINUX_ONLY=1 refused "the certificate is the signing folder" \
    "build-wrapper: certificate file '$scratch/k.exe.signing' is the build's own scratch file" \
    -o "$scratch/k.exe" --sign "$scratch/k.exe.signing" --unchecked "$work/good.msp"
LINUX_ONLY=1 refused "the password file is the output" "build-wrapper: password file '$scratch/pw.txt' is the output file too" \
    -o "$scratch/pw.txt" --sign "$work/key.pfx" --password-file "$scratch/pw.txt" --unchecked "$work/good.msp"
cd "$scratch"
LINUX_ONLY=1 refused "the certificate is the scratch file, by ./" \
    "build-wrapper: certificate file './k.exe.partial' is the build's own scratch file" \
    -o "$scratch/k.exe" --sign ./k.exe.partial --unchecked "$work/good.msp"
cd - > /dev/null
LINUX_ONLY=1 refused "the password file is the signing folder, by dir/.." \
    "build-wrapper: password file '$scratch/dir/../k.exe.signing' is the build's own scratch file" \
    -o "$scratch/k.exe" --sign "$work/key.pfx" --password-file "$scratch/dir/../k.exe.signing" \
    --unchecked "$work/good.msp"
refused "a patch is the scratch file, through a linked folder" \
    "patch file '$work/scratch/linked/k.exe.partial' is the build's own scratch file" \
    -o "$scratch/k.exe" --unchecked "$work/scratch/linked/k.exe.partial"
check "the certificate, as it was" cmp -s "$work/key.pfx" "$work/key.copy"
check_same "the password file and the inputs at scratch names, as they were" \
    "$(cat "$scratch/pw.txt" "$scratch/k.exe.signing"; sha256sum < "$scratch/k.exe.partial")" "$inputs_before"

# What a killed build may have left at OUT.signing goes only when it is a
# folder that holds nothing but signed.exe, a regular file with one name;
# beside other files, as a second name of a file, as a link or as a folder
# it is refused before anything is removed, and all stays as it was. And
# the folder the build makes for the signer, on a file system that does not
# keep its mode (as vfat; here a umask that takes the owner's x away), is
# refused and removed again.
signing=$work/scratch/sign
mkdir -p "$signing"/{notes,linked,link,folder}.exe.signing "$signing/folder.exe.signing/signed.exe" "$signing/private"
echo "signed last week" > "$signing/notes.exe.signing/signed.exe"
echo "notes" > "$signing/notes.exe.signing/notes.txt"
echo "kept" > "$signing/kept.txt"
ln "$signing/kept.txt" "$signing/linked.exe.signing/signed.exe"
ln -s "$signing/kept.txt" "$signing/link.exe.signing/signed.exe"
signing_before=$(cd "$signing" && find . -printf '%P %y %n\n' | sort; cat "$signing/kept.txt" "$signing/notes.exe.signing"/*)
for name in notes linked link folder; do
    LINUX_ONLY=1 refused "a signing folder left with more than the signed file ($name)" \
        "build-wrapper: cannot write '$signing/$name.exe.signing': it is a folder" \
        -o "$signing/$name.exe" --sign "$work/key.pfx" --unchecked "$work/good.msp"
done
check_same "signing folders with more than the signed file: all as it was" \
    "$(cd "$signing" && find . -printf '%P %y %n\n' | sort; cat "$signing/kept.txt" "$signing/notes.exe.signing"/*)" \
    "$signing_before"
umask_before=$(umask)
umask 0177
LINUX_ONLY=1 refused "a signing folder its file system does not keep private" \
    "build-wrapper: cannot write '$signing/private/p.exe.signing': its file system cannot keep it for this user alone" \
    -o "$signing/private/p.exe" --sign "$work/key.pfx" --unchecked "$work/good.msp"
umask "$umask_before"
check_same "a signing folder not kept private: removed, nothing left" "$(tree_of "$signing/private")" ""

# Patch sizes that wrap a 64-bit sum (four sparse files of 2^62 bytes in
# /dev/shm, whose tmpfs takes them where ext4 stops at 16 TiB): refused
# from the sizes alone, before a patch is read or a file made, where a
# wrapped sum would pass the limit and the writer would fill the disk.
if huge=$(mktemp -d /dev/shm/huge.XXXXXX 2>/dev/null); then
    for part in 1 2 3 4; do
        printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' > "$huge/$part.msp"
        truncate -s $((1 << 62)) "$huge/$part.msp"
    done
    refused "sizes that wrap a 64-bit sum" "build-wrapper: refused: the wrapper would take more than \
18446744073709551615 bytes in memory; Windows loads no executable image above 1996488704 bytes (1904 MB)" \
        "$huge"/{1,2,3,4}.msp
    rm -rf "$huge"
else
    echo "  (no /dev/shm here: sizes that wrap a 64-bit sum are left out)"
fi
# A write that fails (the file-size limit: the builder ignores SIGXFSZ, so
# that the write answers EFBIG): the build ends at once, says why, and
# leaves nothing. A build that went on would loop on its padding. Wine 8
# answers the write with ERROR_GEN_FAILURE, which names no cause.
make_fake_patch "$work/three.msp" $((3 * 1024 * 1024))
ulimit -S -f 1024
LINUX_ONLY=1 refused "a file-size limit" \
    "build-wrapper: cannot write '$work/limit.exe.partial': it would be larger than the system lets a file be" \
    -o "$work/limit.exe" --unchecked "$work/three.msp"
# Wine's own processes do not ignore the signal (under Wine 8 the build
# dies of it and leaves its scratch file): ignored for them here.
trap '' XFSZ
[ -z "${BUILDER_EXE:-}" ] || run_exe -o "$work/limit.exe" --unchecked "$work/three.msp"
trap - XFSZ
ulimit -S -f unlimited
[ -z "${BUILDER_EXE:-}" ] || check_same "a file-size limit: build-wrapper.exe refused, nothing left" \
    "$EXE_STATUS $(cat "$work/exe-stderr"; leftovers)" \
    "2 build-wrapper: cannot write '$work/limit.exe.partial': the system refused"
check "a file-size limit: no wrapper written" [ ! -e "$work/limit.exe" ]

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
# Below folders the build makes for it: the folders go again, from the
# deepest up.
refused "a name too long below folders to make" "cannot write '$work/nd/sub/$long.exe.partial': a name in it is too long" \
    -o "$work/nd/sub/$long.exe" --unchecked "$work/good.msp"
check "a name too long below folders to make: the folders made are gone" [ ! -e "$work/nd" ]
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
