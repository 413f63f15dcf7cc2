#!/bin/sh
# Private MariaDB server for tests and the demo.
#   mariadb-server.sh start DIR ADDR PORT [extra mariadbd options...]
#   mariadb-server.sh stop DIR
# start: creates a data folder in DIR (once), starts mariadbd on ADDR:PORT with
# its socket DIR/sock, waits until it answers, and creates the account
# yedek / yedekpw (mysql_native_password). Writes the pid to DIR/pid; every
# file of the server (temporary ones included, in DIR/tmp) stays inside DIR.
# stop: stops the server by its pid and waits until it is gone.
set -eu
# mariadbd lives in /usr/sbin, which is not on the PATH of ordinary users.
PATH=$PATH:/usr/sbin:/sbin
cmd=$1; dir=$2
small="--innodb-log-file-size=10M --innodb-data-file-path=ibdata1:10M:autoextend"
user_opt=""
[ "$(id -u)" = 0 ] && user_opt="--user=root"

case "$cmd" in
start)
  addr=$3; port=$4; shift 4
  mkdir -p "$dir/tmp"
  dir=$(cd "$dir" && pwd)
  # Temporary tables and files stay inside DIR: servers of parallel test
  # programs never meet in a shared /tmp.
  TMPDIR="$dir/tmp"; export TMPDIR
  if [ ! -d "$dir/data/mysql" ]; then
    mariadb-install-db --no-defaults $user_opt --datadir="$dir/data" \
      --tmpdir="$dir/tmp" \
      --auth-root-authentication-method=normal --skip-test-db $small >"$dir/install.log" 2>&1 || {
      cat "$dir/install.log" >&2; exit 1; }
  fi
  setsid mariadbd --no-defaults $user_opt --datadir="$dir/data" --bind-address="$addr" \
    --port="$port" --socket="$dir/sock" --pid-file="$dir/pid" --log-error="$dir/error.log" \
    --tmpdir="$dir/tmp" \
    --skip-name-resolve --skip-log-bin --max-allowed-packet=256M $small "$@" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/launcher.pid"
  i=0
  until mariadb-admin --no-defaults -S "$dir/sock" -uroot ping >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 300 ] || ! kill -0 "$(cat "$dir/launcher.pid")" 2>/dev/null; then
      echo "mariadbd did not start on $addr:$port" >&2; tail -20 "$dir/error.log" >&2; exit 1
    fi
    sleep 0.1
  done
  mariadb --no-defaults -S "$dir/sock" -uroot -e "
    CREATE USER IF NOT EXISTS 'yedek'@'%' IDENTIFIED VIA mysql_native_password USING PASSWORD('yedekpw');
    GRANT ALL ON *.* TO 'yedek'@'%' WITH GRANT OPTION;"
  ;;
stop)
  [ -f "$dir/pid" ] || exit 0
  pid=$(cat "$dir/pid")
  kill -TERM "$pid" 2>/dev/null || true
  i=0
  while kill -0 "$pid" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 300 ] && { kill -KILL "$pid" 2>/dev/null || true; break; }
    sleep 0.1
  done
  rm -f "$dir/pid"
  ;;
*) echo "usage: $0 start DIR ADDR PORT | stop DIR" >&2; exit 2 ;;
esac
