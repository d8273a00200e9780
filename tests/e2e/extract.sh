#!/usr/bin/env bash
# The real wrapper under Wine extracts its embedded patches with /e: the file
# names derived from the given path, byte-identical content, nothing else
# written, no folder created, no message box, exit code 0.
#   extract.sh x64|x86
set -euo pipefail
source "$(dirname "$0")/lib.sh"
arch=$1

wine_test_start win64
work=$WINE_TEST_DIR/work
patches=$work/patches
drive=$work/d
mkdir -p "$patches" "$drive/cwd"
map_drive_d "$drive"

for slot in 1 3 4 12 15; do
    make_fake_patch "$patches/p$slot.msp" $((4096 + slot * 1000))
done
# The fake patches have no summary for build-wrapper to check.
build_wrapper --unchecked -o "$work/w14.exe" --arch "$arch" 1="$patches/p1.msp" 4="$patches/p4.msp"

# extract_case NAME EXE "SLOT=FILE ..." ARGS...: runs the wrapper in D:\cwd
# and expects exactly the listed files (relative to D:\) to appear, each a
# copy of the patch of its slot.
extract_case() {
    local name=$1 exe=$2 expected=$3 before after created wanted pair
    shift 3
    before=$(tree_of "$drive")
    (cd "$drive/cwd" && run_wine "$exe" "$@" && echo "$RUN_STATUS" > "$work/status")
    check "$name: exit code 0" [ "$(cat "$work/status")" = 0 ]
    after=$(tree_of "$drive")
    created=$(comm -13 <(echo "$before") <(echo "$after") | grep -v '/$' || true)
    wanted=$(for pair in $expected; do echo "${pair#*=}"; done | sort)
    check "$name: exactly the expected files written" [ "$created" = "$wanted" ]
    [ "$created" = "$wanted" ] || echo "  expected: $(echo $wanted)  got: $(echo $created)" >&2
    for pair in $expected; do
        check "$name: ${pair#*=} is patch ${pair%%=*}" \
            cmp -s "$patches/p${pair%%=*}.msp" "$drive/${pair#*=}"
    done
}

mkdir -p "$drive/out"
extract_case "slots 1 and 4" "$work/w14.exe" "1=out/fix1.msp 4=out/fix4.msp" /e 'D:\out\fix.msp'

if [ "$arch" = x64 ]; then
    build_wrapper --unchecked -o "$work/w3_15.exe" --arch "$arch" 3="$patches/p3.msp" 12="$patches/p12.msp" \
        15="$patches/p15.msp"
    extract_case "index 3, 12 and the last slot" "$work/w3_15.exe" \
        "3=out/fix3.msp 12=out/fix12.msp 15=out/fix15.msp" /e 'D:\out\fix.msp'
    extract_case "drive root" "$work/w14.exe" "1=fix1.msp 4=fix4.msp" /e 'D:\fix.msp'
    extract_case "bare file name" "$work/w14.exe" "1=cwd/fix1.msp 4=cwd/fix4.msp" /e fix.msp
    extract_case "folder without extension" "$work/w14.exe" "1=out1 4=out4" /e 'D:\out'
    extract_case "folder with trailing backslash" "$work/w14.exe" "1=out/1 4=out/4" /e 'D:\out\'
    extract_case "stem with a dot" "$work/w14.exe" "1=out/fix.old1 4=out/fix.old4" /e 'D:\out\fix.old.msp'
    extract_case "empty path" "$work/w14.exe" "1=cwd/1 4=cwd/4" /e
    # A switch taken as the path names files in the current folder, not at
    # the root of the drive.
    extract_case "a switch as the path" "$work/w14.exe" "1=cwd/q1 4=cwd/q4" /e /q
    extract_case "forward slashes" "$work/w14.exe" "1=out/fs1.msp 4=out/fs4.msp" /e 'D:/out/fs.msp'

    # An existing file is truncated and overwritten, not appended to.
    mkdir -p "$drive/over"
    head -c 100000 /dev/urandom > "$drive/over/fix1.msp"
    (cd "$drive/cwd" && run_wine "$work/w14.exe" /e 'D:\over\fix.msp')
    check "existing file overwritten" cmp -s "$patches/p1.msp" "$drive/over/fix1.msp"

    extract_case "missing folder" "$work/w14.exe" "" /e 'D:\nope\fix.msp'
    check "missing folder not created" [ ! -e "$drive/nope" ]

    extract_case "option words ignore case" "$work/w14.exe" "1=out/up1.msp 4=out/up4.msp" /E 'D:\out\up.msp'
    extract_case "last path wins" "$work/w14.exe" "1=out/b1.msp 4=out/b4.msp" \
        /e 'D:\out\a.msp' /e 'D:\out\b.msp'
    extract_case "/pi does nothing" "$work/w14.exe" "" /pi /e 'D:\out\pi.msp'
    extract_case "-e is no option" "$work/w14.exe" "" /q -e 'D:\out\minus.msp'

    make_fake_patch "$patches/p2.msp" $((64 * 1024 * 1024))
    build_wrapper --unchecked -o "$work/big.exe" --arch "$arch" "$patches/p2.msp"
    extract_case "64 MB patch" "$work/big.exe" "2=out/big1.msp" /e 'D:\out\big.msp'
fi

finish
