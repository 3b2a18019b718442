#!/usr/bin/env bash
# Measures server databases at scale against a private PostgreSQL server that it starts (as
# nobody when run as root, on a Unix socket only) and stops again:
#   1. bench_odbc_walk: 1,000,000 rows read through ODBC, with the resident memory along the way;
#   2. a mass merge of the example letter over ORDERS orders, once in one process and once as
#      2 shards run side by side by GNU parallel, with the time of each and their ratio.
#
#   bench/data/odbc_scale.sh [BUILD_DIR] [ROWS] [ORDERS]
#
# BUILD_DIR holds bench/bench_odbc_walk and src/cli/veltrane (default build-bench, configured
# with -DVELTRANE_BUILD_BENCH=ON). Needs postgresql, odbc-postgresql and parallel.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${1:-build-bench}
ROWS=${2:-1000000}
ORDERS=${3:-2000}

BIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
DRIVER=$(ls /usr/lib/*/odbc/psqlodbcw.so | head -1)
D=$(mktemp -d /tmp/veltrane-pgbench-XXXXXX)
RUNAS=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$D"
  RUNAS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${RUNAS[@]}" "$BIN/initdb" -D "$D/data" -A trust -U veltrane -E UTF8 --locale=C.UTF-8 \
  --no-sync >/dev/null
# setpriv execs the server, so $! is the server's own process id.
"${RUNAS[@]}" "$BIN/postgres" -D "$D/data" -k "$D" -p 5432 -c listen_addresses= -c fsync=off \
  >"$D/server.log" 2>&1 &
PG=$!
trap 'kill -INT $PG 2>/dev/null; wait $PG 2>/dev/null; rm -rf "$D"' EXIT
for _ in $(seq 300); do
  grep -q ready "$D/data/postmaster.pid" 2>/dev/null && break
  sleep 0.1
done
CONN="Driver=$DRIVER;Servername=$D;Port=5432;Database=postgres;Username=veltrane${EXTRA_KEYWORDS:-}"
# The driver takes its logging from odbcinst.ini (Debian's turns it on): a list of our own.
printf '[PostgreSQL Unicode]\nDriver = %s\nCommLog = 0\nDebug = 0\n' "$DRIVER" >"$D/odbcinst.ini"
export ODBCSYSINI=$D

echo "== $ROWS rows through ODBC"
"$BUILD/bench/bench_odbc_walk" "$CONN" "$ROWS"

echo "== the letter over $ORDERS orders: one run, then 2 shards"
{
  sed -e 's/CURRENCY/numeric(10,2)/' -e '/^--/d' examples/shop.sql
  echo "INSERT INTO orders SELECT 2000 + g, 1 + g % 5, DATE '2024-07-01' + g % 300"
  echo "  FROM generate_series(1, $ORDERS) g;"
  echo "INSERT INTO orderlines SELECT 100 + 2 * g + k, 2000 + g, 'Item ' || g, 1 + k, 2.5"
  echo "  FROM generate_series(1, $ORDERS) g, generate_series(0, 1) k;"
  echo "CREATE INDEX ON orderlines (OrderId); ANALYZE;"
} | "$BIN/psql" -q -h "$D" -U veltrane postgres >/dev/null
W=$(mktemp -d /tmp/veltrane-scale-XXXXXX)
trap 'kill -INT $PG 2>/dev/null; wait $PG 2>/dev/null; rm -rf "$D" "$W"' EXIT
ARGS=(merge examples/letter.docx --odbc "$CONN"
  --source "Orders=SELECT o.OrderId, o.OrderDate, c.Salutation, c.FirstName, c.LastName, c.Street, c.Zip, c.City, (SELECT SUM(Quantity * Price) FROM orderlines l WHERE l.OrderId = o.OrderId) AS Total FROM orders o JOIN customers c USING (CustomerId) ORDER BY o.OrderId"
  --source "Lines=SELECT Product, Quantity, Price, Quantity * Price AS Amount FROM orderlines WHERE OrderId = :OrderId ORDER BY LineId"
  --source "Shop=SELECT Name, Street, Phone FROM shop"
  --detail Lines=Orders --locale C -q --split-every 100)
VELTRANE=$BUILD/src/cli/veltrane
mkdir -p "$W/one" "$W/two"
start=$(date +%s.%N)
/usr/bin/time -f "one run: %e s wall, %U s user, %S s system" "$VELTRANE" "${ARGS[@]}" -o "$W/one/letters.docx" >/dev/null
one=$(echo "$(date +%s.%N) - $start" | bc)
start=$(date +%s.%N)
parallel --will-cite -q --halt now,fail=1 "$VELTRANE" "${ARGS[@]}" -o "$W/two/letters.docx" \
  --shard {}/2 ::: 0 1 >/dev/null
two=$(echo "$(date +%s.%N) - $start" | bc)
# (The documents' texts are compared by the tests; here only their number.)
printf 'one run %.2f s, 2 shards %.2f s: %.2fx of one (%s and %s documents)\n' \
  "$one" "$two" "$(echo "$two / $one" | bc -l)" "$(find "$W/one" -name '*.docx' | wc -l)" \
  "$(find "$W/two" -name '*.docx' | wc -l)"
