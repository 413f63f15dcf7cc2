#!/bin/sh
# Archive benchmark: generates an SQL-like file (500 MB by default, or $1 MB)
# in /tmp, archives it with the application's settings and, side by side,
# with zip -1 and gzip -1, printing wall times, sizes, ratios and peak
# resident memory; deletes everything afterwards.
# Usage: bench/zip/run.sh [size-in-MB]   (after building the zip_bench target;
# ZIP_BENCH names the program when it is not in build/ or build-zip/)
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
bench=${ZIP_BENCH:-}
if [ -z "$bench" ]; then
  for b in "$top/build/bench/zip/zip_bench" "$top/build-zip/bench/zip/zip_bench"; do
    [ -x "$b" ] && bench=$b && break
  done
fi
[ -n "$bench" ] || { echo "build the zip_bench target first (or set ZIP_BENCH)" >&2; exit 1; }
mb=${1:-500}
work=$(mktemp -d /tmp/zipbench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM
src="$work/mydb-yedek-2024-01-05.sql"

/usr/bin/python3 - "$src" "$mb" <<'PY'
import random, sys
path, mb = sys.argv[1], int(sys.argv[2])
random.seed(7)
names = ["Ahmet", "Mehmet", "Ay\xfee", "Fatma", "\xd6zg\xfcr", "\u015eule", "Ça\u011fr\u0131"]
words = ["Kalem", "Defter", "Silgi", "Kağıt", "Dosya", "Zarf", "Toner"]
target = mb * 1000 * 1000
with open(path, "wb") as f:
    f.write(b"\xef\xbb\xbf/*!40101 SET NAMES latin5 */;\r\n")
    written, row = 0, 0
    while written < target:
        parts = []
        for _ in range(200):
            row += 1
            parts.append("(%d,'%s %s',%d.%02d,'2024-%02d-%02d %02d:%02d:00',%d)" % (
                row, random.choice(names), random.choice(words), random.randint(1, 9999),
                random.randint(0, 99), random.randint(1, 12), random.randint(1, 28),
                random.randint(0, 23), random.randint(0, 59), random.randint(0, 1)))
        line = ("INSERT INTO `satis` VALUES " + ",".join(parts) + ";\r\n").encode("utf-8")
        f.write(line)
        written += len(line)
PY
size=$(stat -c %s "$src")
echo "source: $size bytes"
sync

# runs a command, prints "<wall s> <peak RSS KiB>" (GNU time, package "time")
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
  cat "$work/time.txt"
}

cd "$work"
"$bench" "$src" "$work/bench.zip"
set -- $(measure "$bench" "$src" "$work/bench2.zip")
echo "yedekalma zip   $1 s  (whole process: start-up, archive, entry check)  peak RSS $2 KiB"
set -- $(measure zip -1 -q -j "$work/ref.zip" "$src")
zsize=$(stat -c %s "$work/ref.zip")
echo "zip -1          $1 s  $zsize bytes  ratio $(awk "BEGIN{printf \"%.2f\", 100*$zsize/$size}")%  peak RSS $2 KiB"
set -- $(measure sh -c "gzip -1 -c '$src' > '$work/ref.gz'")
gsize=$(stat -c %s "$work/ref.gz")
echo "gzip -1         $1 s  $gsize bytes  ratio $(awk "BEGIN{printf \"%.2f\", 100*$gsize/$size}")%  peak RSS $2 KiB"
