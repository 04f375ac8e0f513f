#!/usr/bin/env bash
# Installs what is missing, builds the program and runs one real job end to
# end against a local FTP server: two files go up (and their local copies
# are deleted), two files come down, and a follow-up command runs.
# Everything lives in one temporary folder that is removed on every way out,
# and the server is stopped with it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

build="${BUILD_DIR:-build}"
demo_user="demo"
demo_password="demo-geslo"
# How long the server may take to start listening, and the job to end
# (it takes about 10 s: 1 s per upload and a 5 s pause at the end).
server_start_limit_s=10
job_limit_s=120
followup_limit_s=2

say() { printf '\n=== %s\n' "$*"; }
fail() { printf 'demo: %s\n' "$*" >&2; exit 1; }

install_packages

# The FTP server needs a python3 with pyftpdlib, which the first one on PATH
# (a virtual environment's, say) may lack.
python=""
for candidate in $(type -ap python3); do
  if "$candidate" -c 'import pyftpdlib' 2>/dev/null; then
    python="$candidate"
    break
  fi
done
[ -n "$python" ] || fail "no python3 on PATH can import pyftpdlib (Debian package python3-pyftpdlib)"

say "Building kestrin in $build/"
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --parallel 2 --target kestrin

tmp="$(mktemp -d -t kestrin-demo.XXXXXX)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
# exit inside these runs the EXIT trap, so an interrupted demo cleans up too.
trap 'exit 130' INT
trap 'exit 143' TERM

server_root="$tmp/server"
local_dir="$tmp/local"
install_dir="$tmp/install"
work_dir="$tmp/work"
originals="$tmp/originals"
followup="$tmp/followup.txt"
mkdir -p "$server_root/inbox" "$local_dir" "$install_dir" "$work_dir" "$originals"

say "Preparing the demo in $tmp"
printf 'Poročilo za januar: prodaja je zrasla za 4 %%.\nŠtevilo naročil: 128.\n' \
  > "$local_dir/report-1.txt"
printf 'Poročilo za februar: čakamo še na račune dobaviteljev.\nŽiro račun je usklajen.\n' \
  > "$local_dir/report-2.txt"
printf 'sifra;naziv;kolicina\n1;vijak;250\n2;matica;300\n' > "$server_root/inbox/zaloga.csv"
printf 'datum;znesek\n2024-01-31;1520,40\n2024-02-29;980,15\n' > "$server_root/inbox/placila.csv"
cp "$local_dir"/*.txt "$originals/"
# A copy, not a link: the program reads kestrin.ini beside its own file.
cp "$build/kestrin" "$install_dir/kestrin"

"$python" tests/ftp_server.py --root "$server_root" --user "$demo_user" \
  --password "$demo_password" --port 0 --no-stdin \
  < /dev/null > "$tmp/server.out" 2> "$tmp/server.err" &
server_pid=$!

port=""
for _ in $(seq $((server_start_limit_s * 10))); do
  port="$(sed -n 's/^PORT \([0-9][0-9]*\)$/\1/p' "$tmp/server.out")"
  [ -n "$port" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then
    cat "$tmp/server.err" >&2
    fail "the FTP server ended before it was listening"
  fi
  sleep 0.1
done
[ -n "$port" ] || fail "the FTP server did not start listening within ${server_start_limit_s} s"
echo "FTP server listening on 127.0.0.1:$port (user $demo_user), root $server_root"

cat > "$install_dir/kestrin.ini" <<EOF
; Written by tools/demo.sh for one run.
[PROGRAM]
IZBRANO=DEMO

[DEMO]
FTPURL=127.0.0.1:$port
ftpdir=/inbox/
localdir=$local_dir/
uporabnik=$demo_user
geslo=$demo_password
mode=PASIVE
; Upload every .txt file and delete each local copy once it is up.
prenos1=*.txt,UP,DEL
; Then fetch the .csv files of the same remote directory.
prenos2=*.csv,DOWN
run1=echo "follow-up ran at \$(date)" > $followup
EOF
say "kestrin.ini beside the program ($install_dir/kestrin.ini)"
cat "$install_dir/kestrin.ini"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  say "Running the job (its window opens on your display; it closes itself)"
else
  say "Running the job (no display: the window stays offscreen, status lines below)"
fi
# In the foreground, so that Ctrl-C reaches the program as well.
status=0
(cd "$work_dir" && timeout --foreground "$job_limit_s" "$install_dir/kestrin") || status=$?
if [ "$status" -eq 124 ]; then
  fail "kestrin did not end within ${job_limit_s} s"
fi
echo "kestrin ended with exit status $status (0 = every file moved; '$build/kestrin --help' lists the others)"

say "The log, $work_dir/KESTRIN.log"
if [ -f "$work_dir/KESTRIN.log" ]; then
  sed 's/\r$//' "$work_dir/KESTRIN.log"
else
  echo "(no log was written)"
fi

say "On the server now: /inbox"
ls -l "$server_root/inbox"

say "Left in the local directory $local_dir"
ls -l "$local_dir"

say "Follow-up command output ($followup)"
for _ in $(seq $((followup_limit_s * 10))); do
  [ -s "$followup" ] && break
  sleep 0.1
done
if [ -s "$followup" ]; then
  cat "$followup"
else
  echo "(nothing within ${followup_limit_s} s)"
fi

say "Checking the result"
mismatches=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "NOT AS EXPECTED: $1"; mismatches=$((mismatches + 1)); fi
}
for original in "$originals"/*.txt; do
  name="$(basename "$original")"
  check "$name is on the server, byte for byte" cmp -s "$original" "$server_root/inbox/$name"
  check "$name is gone from the local directory" test ! -e "$local_dir/$name"
done
for remote in "$server_root"/inbox/*.csv; do
  name="$(basename "$remote")"
  check "$name arrived in the local directory, byte for byte" cmp -s "$remote" "$local_dir/$name"
done
check "the follow-up command ran" test -s "$followup"

kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
server_pid=""
say "FTP server stopped; $tmp will be removed"

if [ "$status" -ne 0 ]; then
  echo "demo: kestrin ended with status $status" >&2
  exit "$status"
fi
[ "$mismatches" -eq 0 ] || fail "$mismatches check(s) not as expected"
echo "Demo finished: the job ran end to end."
