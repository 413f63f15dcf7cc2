#!/bin/sh
# Runs the program on a demo database: installs missing packages, builds,
# starts a throwaway MariaDB with a small sample database on a loopback
# address of its own at port 3306 (the program always connects to 3306),
# writes ip.txt and yedekleme.ini into demo/ and opens the window there.
# Without a display it runs the window under Xvfb, presses "YEDEK AL", and
# prints the message, the archive it made and a screenshot of the message box.
#   YEDEK_DEMO_ADDRESS   server address (default 127.0.0.2)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DYEDEK_BUILD_APP=ON >/dev/null
cmake --build build -j"$(nproc)" --target yedekalma
program=$top/build/app/yedekalma

addr=${YEDEK_DEMO_ADDRESS:-127.0.0.2}
demo=$top/demo
srv=$demo/mariadb
mkdir -p "$demo"
scripts/mariadb-server.sh stop "$srv"
scripts/mariadb-server.sh start "$srv" "$addr" 3306
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  "$top/scripts/mariadb-server.sh" stop "$srv"
}
trap cleanup EXIT

# The sample database, written here in UTF-8 and loaded as Windows-1254.
iconv -f UTF-8 -t CP1254 <<'SQL' | mariadb --no-defaults -S "$srv/sock" -uroot --default-character-set=latin5
DROP DATABASE IF EXISTS ornek;
CREATE DATABASE ornek CHARACTER SET latin5;
USE ornek;
CREATE TABLE musteri (id INT PRIMARY KEY, ad VARCHAR(60), sehir VARCHAR(30), bakiye DECIMAL(12,2), kayit DATETIME);
INSERT INTO musteri VALUES
  (1, 'Şekerci İbrahim Güçlü', 'İstanbul', 1250.50, '2024-01-02 09:30:00'),
  (2, 'Çağla Öztürk', 'İzmir', -35.10, NULL),
  (3, 'Ayşe Yılmaz', 'Ankara', 0, '2023-12-31 23:59:59');
CREATE TABLE urun (kod VARCHAR(20) PRIMARY KEY, ad VARCHAR(60), fiyat DOUBLE, adet SMALLINT);
INSERT INTO urun VALUES ('A1', 'Çay bardağı', 12.5, 40), ('B2', 'Türk kahvesi', 85, 12), ('C3', 'Lokum', NULL, 0);
CREATE VIEW stokta AS SELECT kod, ad FROM urun WHERE adet > 0;
CREATE TABLE ayarlar (id INT, bulutyedekleme SMALLINT, levhano VARCHAR(100));
INSERT INTO ayarlar VALUES (1, 0, '34ABC123');
SQL

printf '%s\r\n%s\r\n%s\r\n' "$addr" yedek yedekpw >"$demo/ip.txt"
printf 'ornek\r\n' >"$demo/yedekleme.ini"
cd "$demo"

if [ -n "${DISPLAY:-}" ]; then
  "$program"
  exit 0
fi

# Headless: a private X display, the window, Enter on "YEDEK AL".
fd_file=$demo/xvfb.display
rm -f "$fd_file"
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fd_file" 2>"$demo/xvfb.log" &
xvfb_pid=$!
i=0
until [ -s "$fd_file" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
DISPLAY=:$(head -1 "$fd_file")
export DISPLAY
export XDG_CONFIG_HOME=$demo/config XDG_RUNTIME_DIR=$demo
find_window() {  # name regex, seconds
  n=0
  while [ $n -lt $(($2 * 10)) ]; do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$w" ] && { echo "$w"; return 0; }
    n=$((n + 1)); sleep 0.1
  done
  return 1
}
started=$(date +%s)
"$program" >"$demo/program.log" 2>&1 &
app_pid=$!
window=$(find_window '^Yedekleme$' 20) || { echo "the window did not appear" >&2; cat "$demo/program.log" >&2; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key Return
box=$(find_window '^yedekalma$' 120) || { echo "no message box appeared" >&2; exit 1; }
sleep 0.3
import -window root "$demo/message.png"
xdotool windowfocus --sync "$box"
xdotool key Return
sleep 0.3
xdotool windowfocus --sync "$window"
xdotool key Escape
wait "$app_pid" || true
archive=$(find "$demo" -maxdepth 1 -name 'ornek-yedek-*.zip' -newermt "@$started" | head -1)
if [ -z "$archive" ]; then
  echo "No archive was made; see the screenshot: $demo/message.png" >&2
  exit 1
fi
echo "Message:    $(grep -E '^(message|error): ' "$demo/program.log" | tail -1 | tr '|' ' ')"
echo "Archive:    $archive"
unzip -l "$archive" | sed 's/^/            /'
echo "Screenshot: $demo/message.png"
