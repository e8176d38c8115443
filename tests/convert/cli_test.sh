#!/bin/bash
# End to end: `dravo run convert` on .npy and .png files, and the refusals (one error line, exit 1,
# nothing written). Usage: cli_test.sh DRAVO_BINARY
set -u
dravo="$1"
block=convert
source "$(dirname "$0")/../cli/cli_checks.sh"

npy "$work/x.npy" "<f8" "(2, 3)" d 0 0.5 1 -3 7 nan
"$dravo" run convert -s outputDataType=uint8 -i "$work/x.npy" -o "$work/y.npy" > /dev/null || fail "double to uint8 ran"
expect_output "double to uint8" "0 128 255 0 255 0" "$(npydata "$work/y.npy" B)"

"$dravo" run convert -s outputDataType=uint8 -i "$work/x.npy" -o "$work/y.png" > /dev/null || fail "png written"
"$dravo" run convert -s outputDataType=uint16 -i "$work/y.png" -o "$work/z.npy" > /dev/null || fail "png read"
expect_output "png uint8 to uint16" "0 32896 65535 0 65535 0" "$(npydata "$work/z.npy" H)"

npy "$work/u.npy" "|u1" "(4,)" B 255 0 128 1
"$dravo" run convert -s outputDataType="fixed point" -s isSigned=1 -s wordLength=5 -s fractionLength=2 \
    -i "$work/u.npy" -o "$work/f.npy" > /dev/null || fail "uint8 to sfix5 ran"
expect_output "uint8 to signed 5-bit fixed point (stored words)" "15 -16 0 -16" "$(npydata "$work/f.npy" b)"

"$dravo" run convert -s outputDataType=double -i "$work/u.npy" -o "$work/d.npy" > /dev/null || fail "uint8 to double ran"
expect_output "uint8 to double" "1.0 0.0 $(python3 -c 'print(repr(128/255))') $(python3 -c 'print(repr(1/255))')" \
    "$(npydata "$work/d.npy" d)"

# Refusals.
npy "$work/four.npy" "<f8" "(1, 2, 1, 2)" d 0 1 0 1
npy "$work/i32.npy" "<i4" "(2,)" i 0 1
refuse "4-D input" "Input signals with more than 3 dimensions are not supported." -i "$work/four.npy"
refuse "int32 input" "inDataTypeNotFloatInt8Or16OrFixpt" -i "$work/i32.npy"
refuse "18-bit input" "inWordLenGT16" --input-type fixed:s18:0 -i "$work/i32.npy"
refuse "word length 17" "Output word length" -s outputDataType="fixed point" -s wordLength=17 -i "$work/x.npy"
refuse "scaled double to uint8" "inputScDblOutputDblScDblBool" --input-type scaled:s16:4 -i "$work/x.npy"
refuse "override to scaled doubles" "Scaled doubles not yet supported." --dt-override -i "$work/x.npy"

finish
