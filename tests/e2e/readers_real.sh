#!/usr/bin/env bash
# The wrapper's own readers on real patch files, through Wine's installer:
# the Keywords split and the Template as msitools reads the same files, the
# refusals of malformed Keywords, long values read whole, files that are no
# patch, and the installed targets of a patch against products really
# installed in the prefix.
#   readers_real.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"
probe=$TEST_TOOLS_DIR/patch_probe.exe

wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work"

# probe_field COMMAND FILE FIELD: one "field=value" line of patch_probe.
probe_field() {
    timeout 60 wine "$probe" "$1" "$(z_path "$2")" | sed -n "s/^$3=//p"
}

code_x=$(new_guid) code_y=$(new_guid) code_z=$(new_guid)

# --- Keywords and Template as the wrapper reads them --------------------------
long2047="3.2.40.0;$(printf '3.2.%d.0,' $(seq 1000 1300))"
long2047=${long2047:0:2047}
long5000="3.2.40.0;$(printf '3.2.%d.0,' $(seq 1000 1800))"
long5000=${long5000:0:5000}
# keywords | template | expected upgrade | expected targets ("-" = refused with 4316)
cases=(
    "2.5.120.0;2.5.0.0,2.5.10.0|$code_x|2.5.120.0|2.5.0.0,2.5.10.0"
    "2.5.120.0;|$code_x;$code_y|2.5.120.0|"
    "a;b;c|$code_x;$code_y;$code_z|a|b;c"
    "3.2.40.0;3.2.10.0|;$code_x|3.2.40.0|3.2.10.0"
    "3.2.40.0;3.2.10.0||3.2.40.0|3.2.10.0"
    "$long2047|$code_x|3.2.40.0|${long2047#3.2.40.0;}"
    "$long5000|$code_x|3.2.40.0|${long5000#3.2.40.0;}"
    "2.5.120.0|$code_x|-|-"
    "|$code_x|-|-"
    ";2.5.0.0|$code_x|-|-"
    "Prüfung;Größe|$code_x;$code_y;|Prüfung|Größe"
)
index=0
for entry in "${cases[@]}"; do
    IFS='|' read -r keywords template upgrade targets <<< "$entry"
    index=$((index + 1))
    file=$work/k$index.msp
    make_patch "$file" --patch-code "$(new_guid)" --product-code "$code_x" --to-version 3.2.40.0 \
        --keywords "$keywords" --template "$template"
    label="patch $index (${keywords:0:24})"
    check_same "$label: Keywords as msitools reads it" "$(msiinfo_value "$file" Keywords)" "$keywords"
    check_same "$label: Template read whole" "$(probe_field products "$file" products)" "$template"
    check_same "$label: Template as msitools reads it" "$(msiinfo_value "$file" Template)" "$template"
    output=$(timeout 60 wine "$probe" versions "$(z_path "$file")")
    if [ "$upgrade" = - ]; then
        check_same "$label: refused" "$(sed -n 's/^result=//p' <<< "$output")" 0
        check_same "$label: last error 4316" "$(sed -n 's/^error=//p' <<< "$output")" 4316
        check_same "$label: out-values unchanged" "$(sed -n 's/^upgrade=//p' <<< "$output")" unchanged
    else
        check_same "$label: accepted" "$(sed -n 's/^result=//p' <<< "$output")" 1
        check_same "$label: upgrade version" "$(sed -n 's/^upgrade=//p' <<< "$output")" "$upgrade"
        check_same "$label: target versions" "$(sed -n 's/^targets=//p' <<< "$output")" "$targets"
    fi
done

# A file that is no patch: both readers fail, and not with the Keywords error.
make_patch "$work/not.msp" --not-a-patch
for command in versions products; do
    output=$(timeout 60 wine "$probe" $command "$(z_path "$work/not.msp")")
    check_same "not a patch: $command fails" "$(sed -n 's/^result=//p' <<< "$output")" 0
    check "not a patch: $command sets no Keywords error" [ "$(sed -n 's/^error=//p' <<< "$output")" != 4316 ]
done
check_same "a missing file fails" "$(probe_field products "$work/missing.msp" result)" 0

# A summary whose section starts, or ends, past the stream's end: Wine's
# installer reads it as a summary without values, so the Keywords are
# missing (4316), not the file damaged (1620); the wrapper's own reader,
# from the embedded bytes, answers alike.
make_patch "$work/section.msp" --patch-code "$(new_guid)" --product-code "$code_x" --to-version 3.2.40.0 \
    --keywords "3.2.40.0;3.2.10.0" --template "$code_x"
for field in offset size; do
    /usr/bin/python3 - "$work/section.msp" "$work/$field.msp" "$field" <<'PYTHON'
import re, struct, sys
source, target, field = sys.argv[1:]
data = bytearray(open(source, 'rb').read())
format_id = bytes.fromhex('e0859ff2f94f6810ab9108002b27b3d9')
# Every summary in the file: the patch's own and its transform's.
for match in re.finditer(re.escape(format_id), data):
    start = match.start() - 28
    section = struct.unpack_from('<I', data, start + 44)[0]
    if field == 'offset':
        struct.pack_into('<I', data, start + 44, 0x7000)
    else:
        struct.pack_into('<I', data, start + section, 0x7000)
open(target, 'wb').write(data)
PYTHON
    check_same "summary section $field past the end: the installer's answer" \
        "$(probe_field versions "$work/$field.msp" result) $(probe_field versions "$work/$field.msp" error)" "0 4316"
    check_same "summary section $field past the end: the wrapper's answer" \
        "$(probe_field targets "$work/$field.msp" result) $(probe_field targets "$work/$field.msp" error)" "1 4316"
done

# --- installed targets against real products ---------------------------------
for code in "$code_x" "$code_z"; do
    make_product "$work/${code:1:8}.msi" --code "$code" --name "Product ${code:1:8}" --version 3.2.10.0
    install_product "$work/${code:1:8}.msi"
done

# targets_of TEMPLATE: "<result> <code> <code>..." as the wrapper finds them.
targets_of() {
    local file=$work/t$RANDOM.msp
    make_patch "$file" --patch-code "$(new_guid)" --product-code "$code_x" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0" --template "$1"
    timeout 60 wine "$probe" targets "$(z_path "$file")" |
        awk -F'[=|]' '/^result=/ { r = $2 } /^record=/ { codes = codes " " $2 } END { print r codes }'
}

check_same "X;Y;Z with X and Z present" "$(targets_of "$code_x;$code_y;$code_z")" "2 $code_x $code_z"
check_same "X;" "$(targets_of "$code_x;")" "2 $code_x"
check_same "X;;Z stops at the empty entry" "$(targets_of "$code_x;;$code_z")" "2 $code_x"
check_same ";X gives nothing" "$(targets_of ";$code_x")" "2"
check_same "X;X gives X twice" "$(targets_of "$code_x;$code_x")" "2 $code_x $code_x"
check_same "none present" "$(targets_of "$code_y")" "2"

# A record carries the product's facts and the patch's versions.
file=$work/record.msp
make_patch "$file" --patch-code "$(new_guid)" --product-code "$code_x" --to-version 3.2.40.0 \
    --keywords "3.2.40.0;3.2.10.0,3.2.20.0" --template "$code_x"
check_same "record fields" "$(probe_field targets "$file" record)" \
    "$code_x|3.2.10.0|Product ${code_x:1:8}|1033|3.2.40.0|3.2.10.0,3.2.20.0|"

# Malformed Keywords: discovery fails with 4316 before any product is asked.
file=$work/bad.msp
make_patch "$file" --patch-code "$(new_guid)" --product-code "$code_x" --to-version 3.2.40.0 \
    --keywords "3.2.40.0" --template "$code_x"
check_same "malformed Keywords: result 1" "$(probe_field targets "$file" result)" 1
check_same "malformed Keywords: last error 4316" "$(probe_field targets "$file" error)" 4316

finish
