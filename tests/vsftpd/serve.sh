#!/bin/bash
# A vsftpd on 127.0.0.1 serving ROOT to one local test user, for as long as
# its standard input stays open; it is stopped and its files removed when
# the input ends. Needs root: vsftpd logs its users in through PAM, and the
# test user is created on first use.
#
# Usage: serve.sh ROOT MODE [CERT]
#   MODE plain     no TLS at all
#        explicit  TLS required after AUTH, for the login and every data connection
#        implicit  TLS from the first byte, on the port given
#   CERT valid     (default) self-signed, for the name "localhost" only
#        expired   the same, but valid for one day in 2020
# Prints, once the server takes connections, one line each:
#   PORT <n>      the control port
#   USER <name>   PASS <password>
#   CERT <path>   the server's self-signed certificate (PEM), also a CA file
#   LOG <path>    the server's log: every command line it received
# then waits for the end of its input.
set -euo pipefail

root=$1
mode=$2
cert=${3:-valid}
user=kestrinftp
password=kestrin-Ftp-5v

case "$mode" in plain | explicit | implicit) ;; *) echo "ERROR bad mode $mode"; exit 2 ;; esac
case "$cert" in valid | expired) ;; *) echo "ERROR bad certificate kind $cert"; exit 2 ;; esac
command -v vsftpd > /dev/null || { echo "ERROR vsftpd is not installed"; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "ERROR vsftpd needs root"; exit 2; }

source "$(dirname "$0")/../support/bed.sh"
ensure_user "$user" "$password"
conf=$(mktemp -d /tmp/kestrin-vsftpd-XXXXXX)
pid=
mkdir -m 755 "$conf/empty"
chmod 755 "$conf"
touch "$conf/log"
chown "$user" "$root"

# Only "localhost": a client that names the server 127.0.0.1 meets a
# certificate for another name.
make_certificate() {
  local ca=$conf/ca
  mkdir "$ca"
  openssl req -new -newkey rsa:2048 -nodes -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$conf/key.pem" -out "$ca/request.pem" 2> /dev/null
  # openssl's "ca" is the one of its commands that takes any validity dates.
  local from=$(date -u -d yesterday +%Y%m%d%H%M%SZ) until=$(date -u -d '+2 days' +%Y%m%d%H%M%SZ)
  [ "$cert" = expired ] && from=20200101000000Z until=20200102000000Z
  touch "$ca/index.txt"
  echo 01 > "$ca/serial"
  printf '%s\n' '[ca]' 'default_ca = self' '[self]' "database = $ca/index.txt" \
    "new_certs_dir = $ca" "serial = $ca/serial" 'default_md = sha256' 'policy = any' \
    'copy_extensions = copy' '[any]' 'commonName = supplied' > "$ca/ca.cnf"
  openssl ca -batch -notext -config "$ca/ca.cnf" -selfsign -keyfile "$conf/key.pem" \
    -in "$ca/request.pem" -startdate "$from" -enddate "$until" -out "$conf/cert.pem" 2> /dev/null
}
[ "$mode" = plain ] || make_certificate

# A free port for control and a run of ports for passive data connections,
# chosen by the system; another process may take one in between, hence the
# retries below.
free_ports() {
  python3 -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in socks))'
}

write_conf() {
  cat > "$conf/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$1
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$root
chroot_local_user=YES
allow_writeable_chroot=YES
secure_chroot_dir=$conf/empty
pam_service_name=vsftpd
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$2
pasv_max_port=$(($2 + 20))
port_enable=YES
connect_from_port_20=NO
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file=$conf/log
CONF
  if [ "$mode" != plain ]; then
    cat >> "$conf/vsftpd.conf" <<CONF
ssl_enable=YES
rsa_cert_file=$conf/cert.pem
rsa_private_key_file=$conf/key.pem
ssl_ciphers=HIGH
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=YES
implicit_ssl=$([ "$mode" = implicit ] && echo YES || echo NO)
CONF
  fi
}

for _ in 1 2 3 4 5; do
  read -r port pasv < <(free_ports)
  # Keep the passive range below the top of the port space.
  pasv=$((pasv > 65000 ? 40000 : pasv))
  write_conf "$port" "$pasv"
  if start_listening "$port" "$conf/stderr" vsftpd "$conf/vsftpd.conf"; then
    echo "PORT $port"
    echo "USER $user"
    echo "PASS $password"
    echo "CERT $conf/cert.pem"
    echo "LOG $conf/log"
    # Until the caller lets go.
    cat > /dev/null
    exit 0
  fi
done
echo "ERROR vsftpd did not start: $(head -c 300 "$conf/stderr")"
exit 1
