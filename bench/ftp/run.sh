#!/bin/sh
# Starts vsftpd on a loopback high port with a configuration of its own,
# makes a 500 MB file and runs ftp_bench (TNetFTP next to curl -T).
# Needs root: vsftpd logs in a system account, made for this run only (random
# name suffix and password, no login shell, no home) and removed on exit.
# Usage: bench/ftp/run.sh [BUILD_DIR] [SIZE_MB]
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
size=${2:-500}
user=yedekftp-b$$
pass=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
work=$(mktemp -d /tmp/ftpbench.XXXXXX)
pid=""
made_user=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  if [ -n "$made_user" ]; then userdel "$user" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

useradd -M -d / -s /usr/sbin/nologin "$user"
made_user=1
echo "$user:$pass" | chpasswd

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pasv=$((port + 1))
chmod 0755 "$work"
mkdir -p "$work/root/dbler/34BENCH"
chmod 0755 "$work/root"
chmod 0777 "$work/root/dbler/34BENCH"
# A PAM service without a file of its own falls back to "other" (password
# only), so the account needs no shell listed in /etc/shells.
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
chroot_local_user=YES
allow_writeable_chroot=YES
local_root=$work/root
pasv_min_port=$pasv
pasv_max_port=$((pasv + 20))
pasv_address=127.0.0.1
seccomp_sandbox=NO
pam_service_name=yedekftp-bench
check_shell=NO
xferlog_enable=NO
CONF
/usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.log" 2>&1 </dev/null &
pid=$!
/usr/bin/python3 - "$port" <<'PY'
import socket, sys, time
for _ in range(100):
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.2).close()
        break
    except OSError:
        time.sleep(0.1)
PY

head -c "$((size * 1000000))" /dev/urandom >"$work/upload.bin"
"$build/bench/ftp/ftp_bench" "$port" "$user" "$pass" dbler/34BENCH "$work/upload.bin" 3
cmp "$work/upload.bin" "$work/root/dbler/34BENCH/ours.bin" && echo "stored file identical"
