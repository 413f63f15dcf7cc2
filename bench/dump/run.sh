#!/bin/sh
# Starts a private MariaDB, fills a 1,000,000-row table (about 100 MB of SQL)
# and runs dump_bench on it. Usage: bench/dump/run.sh [BUILD_DIR] [ROWS]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
rows=${2:-1000000}
dir=$(mktemp -d /tmp/dumpbench.XXXXXX)
addr=127.0.0.1
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cleanup() { "$top/scripts/mariadb-server.sh" stop "$dir/srv" || true; rm -rf "$dir"; }
trap cleanup EXIT INT TERM
"$top/scripts/mariadb-server.sh" start "$dir/srv" "$addr" "$port"
mariadb --no-defaults -S "$dir/srv/sock" -uroot --default-character-set=latin5 -e "
  CREATE DATABASE bench DEFAULT CHARACTER SET latin5;
  USE bench;
  CREATE TABLE bench.hareket (
    id INT PRIMARY KEY, musteri VARCHAR(40), sehir VARCHAR(20), tutar DECIMAL(12,2),
    tarih DATETIME, aciklama TEXT, durum TINYINT);
  INSERT INTO bench.hareket SELECT seq, CONCAT('M', UNHEX('FCFE'), 'teri ', seq * 7919 % 100000),
    ELT(1 + seq % 4, 'Ankara', 'Istanbul', 'Izmir', 'Bursa'), (seq % 100000) / 100,
    '2024-01-01 00:00:00' + INTERVAL seq MINUTE, IF(seq % 10 = 0, NULL, CONCAT('not ''', seq, '''')),
    seq % 3 FROM seq_1_to_$rows;"
"$build/bench/dump/dump_bench" "$addr" "$port" yedek yedekpw bench hareket "$dir"
