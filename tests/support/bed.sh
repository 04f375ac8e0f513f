# Shell helpers of the test beds that run a system's server as root (vsftpd,
# sshd) for a test user of their own. Sourced; the bed sets `conf` (its
# temporary folder) and `pid` (the server's process) as it goes.

# Makes the test user USER where it is missing and sets its PASSWORD.
ensure_user() {
  local user=$1 password=$2
  # Concurrent runs may both find the user missing; the loser's useradd fails
  # and the user exists all the same.
  if ! id -u "$user" > /dev/null 2>&1; then
    useradd --no-create-home --home-dir / --shell /bin/sh "$user" 2> /dev/null || true
    id -u "$user" > /dev/null
  fi
  # Set every time: a user left by another copy of the script must log in too.
  # Copies started together may find the password file locked for a moment.
  for try in 1 2 3 4 5 6 7 8 9 10; do
    echo "$user:$password" | chpasswd 2> /dev/null && return 0
    sleep 0.3
  done
  echo "ERROR cannot set the test user's password"
  exit 2
}

# Stops the server and removes the bed's folder; run at the script's exit,
# which a signal reaches too.
stop() {
  if [ -n "${pid:-}" ]; then kill "$pid" 2> /dev/null || true; wait "$pid" 2> /dev/null || true; fi
  [ -z "${conf:-}" ] || rm -rf "$conf"
}
trap stop EXIT
trap "exit 1" TERM INT HUP

listening() { (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null; }

# Starts the server ("$@", output to OUTPUT) and waits until it listens on
# PORT. False, with the server gone, when it died or never listened: another
# process may have taken the free port meanwhile, so the bed tries another.
start_listening() {
  local port=$1 output=$2
  shift 2
  "$@" < /dev/null > "$output" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    listening "$port" && kill -0 "$pid" 2> /dev/null && return 0
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.05
  done
  kill "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  pid=
  return 1
}
