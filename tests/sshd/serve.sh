#!/bin/bash
# An OpenSSH server on 127.0.0.1 whose SFTP sessions start in ROOT, for one
# test user of its own, for as long as the script's standard input stays
# open; then it is stopped and its files removed. Needs root: sshd checks
# passwords as root. It runs with a configuration of its own and never
# touches the machine's own sshd or its configuration.
#
# The user is one the script creates rather than root: logging root in by
# password would mean setting root's password on the machine, and a user
# that is not root meets the file system's permissions as a real account
# does.
#
# Usage: serve.sh ROOT [AUTH]
#   AUTH password     (default) password and public keys
#        interactive  keyboard-interactive and public keys, no plain password,
#                     and only a key exchange that computes for long (an
#                     8192-bit group), which the client must not freeze on
# Prints, once the server takes connections, one "KEY value" line each:
#   PORT, USER, PASS       where and whom to log in as
#   KEY                    a private key (OpenSSH format) the server accepts
#   LOCKED, PHRASE         another, encrypted with that passphrase
#   PIN                    the host key's fingerprint as ssh-keygen prints it
#   KNOWN, CHANGED         known_hosts files holding the host key, and another
#                          key for the same host and port
#   STRANGER               a known_hosts file that knows other hosts only
#   FIFO                   a FIFO, for a file the client must not wait on
#   LOG                    the server's log
# then waits for the end of its input.
set -euo pipefail

root=$1
auth=${2:-password}
user=kestrinsftp
password=kestrin-Sftp-7q
phrase=kestrin-Phrase-3w

case "$auth" in password | interactive) ;; *) echo "ERROR bad auth $auth"; exit 2 ;; esac
[ -x /usr/sbin/sshd ] || { echo "ERROR sshd is not installed"; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "ERROR sshd needs root"; exit 2; }

source "$(dirname "$0")/../support/bed.sh"
ensure_user "$user" "$password"
# sshd insists on its privilege separation directory.
mkdir -p -m 755 /run/sshd

conf=$(mktemp -d /tmp/kestrin-sshd-XXXXXX)
pid=
# sshd reads the authorized keys as the user.
chmod 755 "$conf"
chown "$user" "$root"
ssh-keygen -q -t ed25519 -N '' -C host -f "$conf/host"
ssh-keygen -q -t ed25519 -N '' -C other -f "$conf/other"
ssh-keygen -q -t ed25519 -N '' -C plain -f "$conf/key"
ssh-keygen -q -t ed25519 -N "$phrase" -C locked -f "$conf/locked"
cat "$conf/key.pub" "$conf/locked.pub" > "$conf/authorized_keys"
chmod 644 "$conf/authorized_keys"
echo "elsewhere.invalid $(cat "$conf/host.pub")" > "$conf/stranger"
mkfifo "$conf/fifo"

free_port() {
  python3 -c '
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

write_conf() {
  local password_auth=yes
  local kex=
  [ "$auth" = interactive ] && password_auth=no kex="KexAlgorithms diffie-hellman-group18-sha512"
  cat > "$conf/sshd_config" <<CONF
Port $1
ListenAddress 127.0.0.1
HostKey $conf/host
PidFile none
StrictModes no
UsePAM yes
PasswordAuthentication $password_auth
KbdInteractiveAuthentication yes
PubkeyAuthentication yes
AuthorizedKeysFile $conf/authorized_keys
AllowUsers $user
Subsystem sftp internal-sftp -d $root
$kex
LogLevel VERBOSE
CONF
}

# Another process may take the free port before sshd does, hence the retries.
for _ in 1 2 3 4 5; do
  port=$(free_port)
  write_conf "$port"
  if start_listening "$port" "$conf/log" /usr/sbin/sshd -D -e -f "$conf/sshd_config"; then
    printf '[127.0.0.1]:%s %s\n' "$port" "$(cat "$conf/host.pub")" > "$conf/known"
    printf '[127.0.0.1]:%s %s\n' "$port" "$(cat "$conf/other.pub")" > "$conf/changed"
    echo "PORT $port"
    echo "USER $user"
    echo "PASS $password"
    echo "KEY $conf/key"
    echo "LOCKED $conf/locked"
    echo "PHRASE $phrase"
    echo "PIN $(ssh-keygen -l -E sha256 -f "$conf/host.pub" | cut -d' ' -f2)"
    echo "KNOWN $conf/known"
    echo "CHANGED $conf/changed"
    echo "STRANGER $conf/stranger"
    echo "FIFO $conf/fifo"
    echo "LOG $conf/log"
    # Until the caller lets go.
    cat > /dev/null
    exit 0
  fi
done
echo "ERROR sshd did not start: $(head -c 300 "$conf/log")"
exit 1
