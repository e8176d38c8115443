#!/bin/bash
# End to end: `dravo run convert` on .npy and .png files, and the refusals (one error line, exit 1,
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

# Refusals: exit status 1, one "error:" line naming the cause, no output file.
npy "$work/four.npy" "<f8" "(1, 2, 1, 2)" d 0 1 0 1
npy "$work/i32.npy" "<i4" "(2,)" i 0 1
refuse() {  # description, expected text in the error, dravo arguments...
    local what="$1" text="$2"
    shift 2
    rm -f "$work/bad.npy"
    "$dravo" run convert "$@" -o "$work/bad.npy" > "$work/out.txt" 2> "$work/err.txt"
    local rc=$?
    [ $rc -eq 1 ] || fail "$what: exit status $rc"
    [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "$what: error is not one line: $(cat "$work/err.txt")"
    grep -q "^error: .*$text" "$work/err.txt" || fail "$what: '$text' not in: $(cat "$work/err.txt")"
    [ ! -e "$work/bad.npy" ] || fail "$what: output written"
}
refuse "4-D input" "Input signals with more than 3 dimensions are not supported." -i "$work/four.npy"
refuse "int32 input" "inDataTypeNotFloatInt8Or16OrFixpt" -i "$work/i32.npy"
refuse "18-bit input" "inWordLenGT16" --input-type fixed:s18:0 -i "$work/i32.npy"
refuse "word length 17" "Output word length" -s outputDataType="fixed point" -s wordLength=17 -i "$work/x.npy"
refuse "scaled double to uint8" "inputScDblOutputDblScDblBool" --input-type scaled:s16:4 -i "$work/x.npy"
refuse "override to scaled doubles" "Scaled doubles not yet supported." --dt-override -i "$work/x.npy"

[ $failures -eq 0 ] && echo "all dravo run convert checks passed"
exit $((failures > 0))
