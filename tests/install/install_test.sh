#!/usr/bin/env bash
# Installs both programs into a scratch prefix and starts each from there, on the
# offscreen platform, with settings and caches of their own.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
mkdir "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# The programs and nothing else: their pictures are compiled in, and an icon library
# comes with its project, not with the program.
installed=$(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')
[ "$installed" = "./bin/Brisquel ./bin/Vendrill " ] || fail "installed: $installed"
for program in Vendrill Brisquel; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
  # Nothing is looked up in the build tree once installed.
  if readelf -d "$prefix/bin/$program" | grep -E 'R(UN)?PATH' | grep -qF "$(realpath "$build")"; then
    fail "$program keeps the build tree in its run path"
  fi
done

export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache \
  XDG_DATA_HOME=$scratch/data VENDRILL_PORTS_DIR=$scratch/ports

# Waits (bounded) until the condition holds while the program runs; fails when it ends.
wait_for() {
  local pid=$1 what=$2
  shift 2
  for _ in $(seq 1200); do
    "$@" && return 0
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; fail "$what: the program ended"; }
    sleep 0.1
  done
  fail "$what: not seen"
}

# Ends a program that is still running, as a session's end does: it closes its window and
# exits normally. Any other end (a crash, death by the signal) fails.
stop() {
  local pid=$1 what=$2 status=0
  kill -TERM "$pid" 2>/dev/null || fail "$what: the program ended before it was stopped"
  wait "$pid" || status=$?
  [ "$status" = 0 ] || fail "$what: ended with status $status"
}

# Vendrill creates its temporary folder beside the program, which may write there.
"$prefix/bin/Vendrill" &
pids+=($!)
wait_for $! "Vendrill's Temp beside the program" test -d "$prefix/bin/Temp"
stop $! Vendrill
[ ! -e "$prefix/bin/Temp" ] || fail "Vendrill left its Temp"

# Brisquel opens the file on its command line once its window is shown and its event loop
# runs: a pipe in the file's place lets the test see that open. The writer waits in its
# open until a reader comes; Brisquel refuses the pipe itself once it has opened it.
mkfifo "$scratch/archive.csv"
timeout 120 sh -c 'exec 3>"$1"' sh "$scratch/archive.csv" &
writer=$!
# Brisquel is started only once the writer waits in its open: a reader that came and went
# before would leave it waiting for good. Where the kernel does not tell what a process
# waits in, a short bounded wait stands in.
for _ in $(seq 100); do
  opener=$(pgrep -P $writer || true)
  [ -n "$opener" ] && [ "$(cat /proc/$opener/wchan 2>/dev/null)" = wait_for_partner ] && break
  sleep 0.1
done
"$prefix/bin/Brisquel" "$scratch/archive.csv" &
brisquel=$!
pids+=($brisquel)
wait $writer || fail "Brisquel did not open the file named on its command line"
kill -0 $brisquel 2>/dev/null || fail "Brisquel ended after the open"
stop $brisquel Brisquel
echo "installed and started: Vendrill, Brisquel"
