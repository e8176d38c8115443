# Shared by the command-line test scripts: a scratch folder, .npy writing and reading, and the checks.
# Source it after setting `dravo` (the binary) and `block` (the block name the refusals run).
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

# A refusal: exit status 1, one "error:" line naming the cause, no output file.
refuse() {  # description, expected text in the error, dravo arguments...
    local what="$1" text="$2"
    shift 2
    rm -f "$work/bad.npy"
    "$dravo" run "$block" "$@" -o "$work/bad.npy" > "$work/out.txt" 2> "$work/err.txt"
    local rc=$?
    [ $rc -eq 1 ] || fail "$what: exit status $rc"
    [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "$what: error is not one line: $(cat "$work/err.txt")"
    grep -q "^error: .*$text" "$work/err.txt" || fail "$what: '$text' not in: $(cat "$work/err.txt")"
    [ ! -e "$work/bad.npy" ] || fail "$what: output written"
}

finish() {
    [ $failures -eq 0 ] && echo "all dravo run $block checks passed"
    exit $((failures > 0))
}
