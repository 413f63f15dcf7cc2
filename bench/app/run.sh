#!/bin/sh
# Whole-run benchmark: a generated database of about SIZE_MB megabytes of SQL
# (default 1024) on a private MariaDB at 127.0.0.3:3306, backed up by the
# program's run (dump, script, archive, read-back) and, side by side, by
# mariadb-dump to a file followed by zip -1. Prints both wall times, the
# ratio and both peak resident memories.
#   bench/app/run.sh [build-dir]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
bench=$build/bench/app/app_bench
[ -x "$bench" ] || { echo "build app_bench first (cmake --build $build --target app_bench)" >&2; exit 1; }
addr=${YEDEK_BENCH_ADDRESS:-127.0.0.3}
size_mb=${SIZE_MB:-1024}
work=$(mktemp -d /tmp/yedek-bench-XXXXXX)
srv=$work/mariadb
cleanup() { "$top/scripts/mariadb-server.sh" stop "$srv"; rm -rf "$work"; }
trap cleanup EXIT
"$top/scripts/mariadb-server.sh" start "$srv" "$addr" 3306
client="mariadb --no-defaults -S $srv/sock -uroot"

# About 200 bytes of SQL per row.
rows=$((size_mb * 1024 * 1024 / 200))
echo "Generating $rows rows (~$size_mb MB of SQL)..."
$client -e "CREATE DATABASE buyuk CHARACTER SET latin5;
  CREATE TABLE buyuk.hareket (id INT PRIMARY KEY, aciklama VARCHAR(120), tutar DECIMAL(12,2),
    tarih DATETIME, notlar TEXT) ENGINE=InnoDB;
  CREATE TABLE buyuk.ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));
  INSERT INTO buyuk.ayarlar VALUES (0, '');
  USE buyuk;
  INSERT INTO buyuk.hareket SELECT seq, CONCAT('Hareket ', seq, ' ', REPEAT(CHAR(65 + seq % 26), 40 + seq % 50)),
    seq / 100, '2024-01-01' + INTERVAL seq SECOND, IF(seq % 3 = 0, NULL, MD5(seq))
    FROM seq_1_to_$rows;"

mkdir -p "$work/run"
cd "$work/run"
printf '%s\r\nyedek\r\nyedekpw\r\n' "$addr" >ip.txt
printf 'buyuk\r\n' >yedekleme.ini
out=$("$bench")
echo "$out"
ours=$(echo "$out" | sed -n 's/^yedekalma run: \([0-9.]*\) s, peak RSS \([0-9.]*\) MiB/\1 \2/p')
ours_s=${ours% *}; ours_mb=${ours#* }
ls -l "$work/run"/*.zip

t0=$(date +%s.%N)
/usr/bin/time -f '%M' -o "$work/dump.rss" mariadb-dump --no-defaults -S "$srv/sock" -uroot \
  --max-allowed-packet=512M --skip-lock-tables buyuk >"$work/pair.sql"
/usr/bin/time -f '%M' -o "$work/zip.rss" zip -q -1 "$work/pair.zip" "$work/pair.sql"
t1=$(date +%s.%N)
ls -l "$work/pair.sql" "$work/pair.zip"
pair_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
pair_mb=$(awk -v a="$(cat "$work/dump.rss")" -v b="$(cat "$work/zip.rss")" 'BEGIN { m = a > b ? a : b; printf "%.1f", m / 1024 }')
echo "mariadb-dump + zip -1: $pair_s s, peak RSS $pair_mb MiB"
echo "ratio (yedekalma / pair): $(awk -v a="$ours_s" -v b="$pair_s" 'BEGIN { printf "%.2f", a / b }')"
echo "peak RSS: yedekalma $ours_mb MiB, pair $pair_mb MiB"
