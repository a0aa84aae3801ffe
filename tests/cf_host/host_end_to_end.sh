#!/usr/bin/env bash
# End-to-end run of parvex_cf_host on a sample device folder.
#   host_end_to_end.sh <parvex_cf_host> <make_sample_folder.py>
set -euo pipefail
host=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

python3 "$sample" "$work/DEV1"
cp "$work/DEV1/config" "$work/config.before"
cp "$work/DEV1/ai" "$work/ai.before"

# An empty port name: the dialog opens with the host's default port and OK stores it.
python3 - "$work/DEV1/config" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[9:17] = bytes(8)
open(path, "wb").write(data)
PY
cp "$work/DEV1/config" "$work/config.before"
"$host" "$work/DEV1" --default-port 7 advanced --accept --screenshot "$work/advanced.png" \
  | grep -q "port settings stored" || fail "advanced dialog did not store"
python3 - "$work/config.before" "$work/DEV1/config" <<'PY' || fail "config bytes"
import struct, sys
before = open(sys.argv[1], "rb").read()
after = open(sys.argv[2], "rb").read()
assert len(before) == len(after) == 705
assert before[:5] == after[:5] and before[25:] == after[25:], "bytes outside the settings changed"
baud, port, parity, bits = struct.unpack_from("<i8sIi", after, 5)
assert (baud, port.rstrip(b"\0"), parity, bits) == (9600, b"COM7", 0, 8), (baud, port, parity, bits)
PY
[[ -s "$work/advanced.png" ]] || fail "no screenshot"

# A VALUE channel accepted unchanged stores nothing.
"$host" "$work/DEV1" channel ai 1 --accept | grep -q "channel unchanged" || fail "channel stored"
cmp -s "$work/ai.before" "$work/DEV1/ai" || fail "ai file changed"
"$host" "$work/DEV1" channel ai 9 --accept 2>/dev/null && fail "channel 9 accepted"

# The channel dialog edits where an analogue input's value comes from: other kinds are refused
# before their bytes could be overwritten.
cp "$work/DEV1/di" "$work/di.before"
for kind in di do; do
  "$host" "$work/DEV1" channel $kind 1 --accept 2>"$work/err" && fail "channel $kind accepted"
  grep -q "analogue inputs" "$work/err" || fail "no reason for refusing $kind"
done
cmp -s "$work/di.before" "$work/DEV1/di" || fail "di file changed"

# A config file of the wrong size is refused, named with its size, and left as it was.
mkdir "$work/SHORT"
head -c 25 "$work/DEV1/config" > "$work/SHORT/config"
"$host" "$work/SHORT" advanced --accept 2>"$work/err" && fail "short config accepted"
grep -q "SHORT/config is 25 bytes" "$work/err" || fail "no size in: $(cat "$work/err")"
[[ $(stat -c %s "$work/SHORT/config") -eq 25 ]] || fail "short config rewritten"

# A PDF that cannot be written is a failure with its reason.
for bad in "$work/missing/x.pdf" "$work"; do
  "$host" "$work/DEV1" print --pdf "$bad" >"$work/out" 2>"$work/err" && fail "PDF $bad: exit 0"
  grep -q "cannot write $bad: ." "$work/err" || fail "PDF $bad: $(cat "$work/err")"
  grep -q "page(s)" "$work/out" && fail "PDF $bad: pages reported"
done

# The PDF print-out renders to pages.
"$host" "$work/DEV1" print --pdf "$work/config.pdf" | grep -q "page(s)" || fail "no PDF"
pdftoppm -r 40 -png "$work/config.pdf" "$work/page"
pages=$(ls "$work"/page-*.png | wc -l)
[[ $pages -ge 2 ]] || fail "expected at least two rendered pages, got $pages"

# The text print-out: pages separated by form feeds, the disabled channel not listed.
"$host" "$work/DEV1" print --lines-per-page 40 --text "$work/config.txt"
grep -q "PORT           \[COM7  \]" "$work/config.txt" || fail "port line"
grep -q "AI7     \[Y\] PC1_RH" "$work/config.txt" || fail "AI7 row"
grep -q "^AI8 " "$work/config.txt" && fail "disabled AI8 printed"
[[ $(tr -cd '\f' < "$work/config.txt" | wc -c) -ge 2 ]] || fail "form feeds"
echo "ok"
