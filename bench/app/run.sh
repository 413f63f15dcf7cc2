#!/bin/sh
# Whole-run benchmark: a generated database of about SIZE_MB megabytes of SQL
# (default 1024) on a private MariaDB at 127.0.0.3:3306, backed up by the
# program's run (dump streamed into the archive, deflated on every core and
# checked as it is written) and, side by side, by mariadb-dump to a file
# followed by zip -1. Then the program's run again with the machine cut to
# one core and to two (taskset on the program and on the server alike).
# Prints the three figures: the time ratio against the pair, the peak
# resident memory, and the 2-core / 1-core time ratio. ROUNDS (default 2)
# repeats each measurement and keeps the best, the machine being shared.
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

# About 150 bytes of SQL per row.
rows=$((size_mb * 1024 * 1024 / 150))
rounds=${ROUNDS:-2}
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

# InnoDB writes the new rows out in the background: let it finish first.
$client -e "SET GLOBAL innodb_max_dirty_pages_pct = 0"
while [ "$($client -N -e "SHOW GLOBAL STATUS LIKE 'Innodb_buffer_pool_pages_dirty'" | cut -f2)" -gt 100 ]; do
  sleep 1
done
srv_pid=$(cat "$srv/pid")

mkdir -p "$work/run"
cd "$work/run"
printf '%s\r\nyedek\r\nyedekpw\r\n' "$addr" >ip.txt
printf 'buyuk\r\n' >yedekleme.ini
uptime

# ours CPUS: one run of the program with it and the server on those cores;
# prints "seconds MiB".
ours() {
  taskset -a -p -c "$1" "$srv_pid" >/dev/null
  rm -f ./*.zip
  out=$(taskset -c "$1" "$bench")
  echo "$out" | sed -n 's/^yedekalma run: \([0-9.]*\) s, peak RSS \([0-9.]*\) MiB/\1 \2/p'
}
pair() {
  rm -f "$work/pair.sql" "$work/pair.zip"
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/dump.rss" mariadb-dump --no-defaults -S "$srv/sock" -uroot \
    --max-allowed-packet=512M --skip-lock-tables buyuk >"$work/pair.sql"
  /usr/bin/time -f '%M' -o "$work/zip.rss" zip -q -1 "$work/pair.zip" "$work/pair.sql"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print ((a == "" || b + 0 < a + 0) ? b : a) }'; }

all=$(seq -s, 0 $(($(nproc) - 1)))
best_ours=""; best_pair=""; rss=0; one=""; two=""
for r in $(seq "$rounds"); do
  o=$(ours "$all"); best_ours=$(min "$best_ours" "${o% *}"); rss=$(awk -v a="$rss" -v b="${o#* }" 'BEGIN { print ((b + 0 > a + 0) ? b : a) }')
  p=$(pair); best_pair=$(min "$best_pair" "$p")
  echo "round $r: yedekalma $(echo "$o" | cut -d' ' -f1) s, mariadb-dump + zip -1 $p s"
done
ls -l "$work/run"/*.zip "$work/pair.sql" "$work/pair.zip"
for r in $(seq "$rounds"); do
  o=$(ours 0); one=$(min "$one" "${o% *}")
  o=$(ours 0,1); two=$(min "$two" "${o% *}")
  echo "round $r: 1 core $one s, 2 cores $two s (best so far)"
done
taskset -a -p -c "$all" "$srv_pid" >/dev/null
pair_mb=$(awk -v a="$(cat "$work/dump.rss")" -v b="$(cat "$work/zip.rss")" 'BEGIN { m = a > b ? a : b; printf "%.1f", m / 1024 }')
uptime
echo "1. whole run: yedekalma $best_ours s, mariadb-dump + zip -1 $best_pair s, ratio $(awk -v a="$best_ours" -v b="$best_pair" 'BEGIN { printf "%.2f", a / b }') (target <= 0.60)"
echo "2. peak RSS: yedekalma $rss MiB (target < 64), pair $pair_mb MiB"
echo "3. cores: 1 core $one s, 2 cores $two s, ratio $(awk -v a="$two" -v b="$one" 'BEGIN { printf "%.2f", a / b }') (target <= 0.70)"
