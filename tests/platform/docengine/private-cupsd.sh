#!/bin/sh
# A private CUPS scheduler for tests, run as root: its own folder, its own socket, and a raw
# queue "capq" whose capture backend copies each job to <dir>/out/job-<id>.prn.
#
#   private-cupsd.sh start DIR   makes DIR (a fresh folder, e.g. under the build tree), starts
#                                cupsd there and prints "<pid> <socket>"; export
#                                CUPS_SERVER=<socket> for the tests
#   private-cupsd.sh stop PID    ends that scheduler by its process id and waits for it
#
# The docengine tests start and stop a scheduler of their own; this script is for runs that
# want one around a whole test session.
set -eu

usage() {
  echo "usage: $0 start DIR | stop PID" >&2
  exit 2
}

[ $# -eq 2 ] || usage

case "$1" in
start)
  D=$2
  if [ "$(id -u)" != 0 ]; then
    echo "$0: the private scheduler needs root" >&2
    exit 1
  fi
  for tool in /usr/sbin/cupsd /usr/sbin/lpadmin; do
    if [ ! -x "$tool" ]; then
      echo "$0: $tool is missing: install the Debian packages cups-daemon and cups-client" >&2
      exit 1
    fi
  done
  if [ -e "$D" ]; then
    echo "$0: $D exists already: give a fresh folder" >&2
    exit 1
  fi
  mkdir -p "$D"
  D=$(cd "$D" && pwd)
  if [ ${#D} -gt 90 ]; then
    echo "$0: $D is too long for a socket path: give a shorter folder" >&2
    exit 1
  fi
  mkdir -p "$D/spool/tmp" "$D/cache" "$D/state" "$D/log" "$D/out" \
    "$D/serverbin/backend" "$D/serverbin/filter"
  chown root:lp "$D/spool" "$D/cache" "$D/state"
  chmod 0710 "$D/spool"
  chmod 0770 "$D/cache" "$D/state"
  chmod 1777 "$D/spool/tmp" "$D/out"
  ln -s /usr/lib/cups/daemon "$D/serverbin/daemon"
  ln -s /usr/lib/cups/notifier "$D/serverbin/notifier"

  cat >"$D/cups-files.conf" <<EOF
ServerRoot $D
RequestRoot $D/spool
TempDir $D/spool/tmp
CacheDir $D/cache
StateDir $D/state
ErrorLog $D/log/error_log
AccessLog $D/log/access_log
PageLog $D/log/page_log
Printcap $D/printcap
ServerBin $D/serverbin
FileDevice Yes
Sandboxing Relaxed
SystemGroup root
EOF
  cat >"$D/cupsd.conf" <<EOF
Listen $D/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow localhost
</Location>
<Location /admin>
  Order allow,deny
  Allow localhost
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat >"$D/serverbin/backend/capture" <<'EOF'
#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Capture"'; exit 0; fi
dir="${DEVICE_URI#capture:}"
if [ -n "$6" ]; then cat "$6" > "$dir/job-$1.prn"; else cat > "$dir/job-$1.prn"; fi
EOF
  chmod 0700 "$D/serverbin/backend/capture"

  /usr/sbin/cupsd -t -c "$D/cupsd.conf" -s "$D/cups-files.conf" >"$D/log/check.out" 2>&1 || {
    cat "$D/log/check.out" >&2
    exit 1
  }
  # Started directly, not from a subshell, so that $! is cupsd's own process id.
  /usr/sbin/cupsd -f -c "$D/cupsd.conf" -s "$D/cups-files.conf" </dev/null >"$D/log/cupsd.out" 2>&1 &
  CUPSD_PID=$!
  export CUPS_SERVER="$D/cups.sock"
  tries=0
  until /usr/sbin/lpadmin -p capq -E -v "capture:$D/out" 2>"$D/log/lpadmin.out"; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ] || ! kill -0 "$CUPSD_PID" 2>/dev/null; then
      kill "$CUPSD_PID" 2>/dev/null || true
      cat "$D/log/lpadmin.out" "$D/log/error_log" >&2 2>/dev/null || true
      echo "$0: the scheduler in $D did not start" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "$CUPSD_PID $D/cups.sock"
  ;;
stop)
  PID=$2
  case "$PID" in '' | *[!0-9]*) usage ;; esac
  kill "$PID" 2>/dev/null || exit 0
  tries=0
  while kill -0 "$PID" 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ]; then
      kill -9 "$PID" 2>/dev/null || true
      break
    fi
    sleep 0.1
  done
  ;;
*)
  usage
  ;;
esac
