#!/bin/bash
# End to end: `dravo run contrast` on .npy files, and the refusals (one error line, exit 1,
# nothing written). Usage: cli_test.sh DRAVO_BINARY
set -u
dravo="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Writes a little-endian .npy file: path, dtype, shape tuple text, struct format, values...
npy() {
    python3 - "$@" <<'PY'
import struct, sys
path, descr, shape, fmt = sys.argv[1:5]
vals = [float(v) if fmt in "df" else int(v) for v in sys.argv[5:]]
hdr = "{'descr': '%s', 'fortran_order': False, 'shape': %s, }" % (descr, shape)
hdr += " " * (15 - (10 + len(hdr)) % 16) + "\n"
with open(path, "wb") as f:
    f.write(b"\x93NUMPY\x01\x00" + struct.pack("<H", len(hdr)) + hdr.encode() + struct.pack("<%d%s" % (len(vals), fmt), *vals))
PY
}
# Prints the data of a .npy file as numbers: path, struct format.
npydata() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
n = struct.unpack("<H", d[8:10])[0]
body = d[10 + n:]
size = struct.calcsize("<" + sys.argv[2])
print(" ".join(repr(v) for v in struct.unpack("<%d%s" % (len(body) // size, sys.argv[2]), body)))
PY
}

expect_output() {  # description, expected text, actual text
    [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
}

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

# Refusals: exit status 1, one "error:" line naming the cause, no output file.
npy "$work/bool.npy" "|b1" "(2,)" B 0 1
npy "$work/cube.npy" "<f8" "(1, 2, 2)" d 0 1 0 1
npy "$work/cplx.npy" "<c16" "(2,)" d 0 1 1 0
refuse() {  # description, expected text in the error, dravo arguments...
    local what="$1" text="$2"
    shift 2
    rm -f "$work/bad.npy"
    "$dravo" run contrast "$@" -o "$work/bad.npy" > "$work/out.txt" 2> "$work/err.txt"
    local rc=$?
    [ $rc -eq 1 ] || fail "$what: exit status $rc"
    [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "$what: error is not one line: $(cat "$work/err.txt")"
    grep -q "^error: .*$text" "$work/err.txt" || fail "$what: '$text' not in: $(cat "$work/err.txt")"
    [ ! -e "$work/bad.npy" ] || fail "$what: output written"
}
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

[ $failures -eq 0 ] && echo "all dravo run contrast checks passed"
exit $((failures > 0))
