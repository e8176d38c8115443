#!/bin/bash
# End to end: `dravo run contrast` on .npy files, and the refusals (one error line, exit 1,
# nothing written). Usage: cli_test.sh DRAVO_BINARY
set -u
dravo="$1"
block=contrast
source "$(dirname "$0")/../cli/cli_checks.sh"

# The worked cases: 0..9 with 9 bins and fractions [0.1 0.1] (lowIn 0, highIn 8), and min/max.
npy "$work/ten.npy" "<f8" "(10,)" d 0 1 2 3 4 5 6 7 8 9
"$dravo" run contrast -s numBins=9 -s saturationFractions='[0.1 0.1]' -i "$work/ten.npy" -o "$work/y.npy" \
    > /dev/null || fail "histogram mode ran"
expect_output "0..9, fractions [0.1 0.1]" "0.0 0.125 0.25 0.375 0.5 0.625 0.75 0.875 1.0 1.0" \
    "$(npydata "$work/y.npy" d)"
"$dravo" run contrast -s inputRangeMode='min max' -s outputRangeMode=dialog -s outputRange='[0 9]' \
    -i "$work/ten.npy" -o "$work/y.npy" > /dev/null || fail "min/max mode ran"
expect_output "0..9, min/max onto [0 9]" "0.0 1.0 2.0 3.0 4.0 5.0 6.0 7.0 8.0 9.0" "$(npydata "$work/y.npy" d)"

# uint8 defaults (histogram, 1% each end, full range): 100..109 saturates nothing at 10 pixels.
npy "$work/u8.npy" "|u1" "(10,)" B 100 101 102 103 104 105 106 107 108 109
"$dravo" run contrast -i "$work/u8.npy" -o "$work/y.npy" > /dev/null || fail "uint8 defaults ran"
expect_output "uint8 100..109, defaults" "26 51 77 102 128 153 179 204 230 255" "$(npydata "$work/y.npy" B)"

# Refusals.
npy "$work/bool.npy" "|b1" "(2,)" B 0 1
npy "$work/cube.npy" "<f8" "(1, 2, 2)" d 0 1 0 1
npy "$work/cplx.npy" "<c16" "(2,)" d 0 1 1 0
refuse "boolean image" "dataTypeNotSupported" -i "$work/bool.npy"
refuse "3-D image" "inputNot1D2D" -i "$work/cube.npy"
refuse "complex image" "complex" -i "$work/cplx.npy"
refuse "128-bit image" "127 bits" --input-type fixed:s128:0 -i "$work/u8.npy"
refuse "input range low above high" "pixelUpperLimitWrong" -s inputRangeMode=dialog -s inputRange='[0.9 0.1]' \
    -i "$work/ten.npy"
refuse "negative fraction" "settingNotPositive" -s saturationFractions='[-0.1 0]' -i "$work/ten.npy"
refuse "fractions summing to 1" "sumPixSatTooBig" -s saturationFractions='[0.5 0.5]' -i "$work/ten.npy"
refuse "no bins" "Number of histogram bins" -s numBins=0 -i "$work/ten.npy"
refuse "2.5 bins" "Number of histogram bins" -s numBins=2.5 -i "$work/ten.npy"
refuse "Product 1 word length 1" "The Product 1 word length must be a positive integer between 2 and 128 inclusive" \
    -s product1WordLength=1 -i "$work/ten.npy"
refuse "Product 2 fraction length 1.5" "The Product 2 fractional length must be an integer" \
    -s product2FractionLength=1.5 -i "$work/ten.npy"

finish
