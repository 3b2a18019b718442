#!/usr/bin/env bash
# Merges the bundled examples with the example shop's data.
#   examples/demo.sh VELTRANE_BINARY OUTDIR
# Builds OUTDIR/shop.sqlite from examples/shop.sql with the command's own `make-db` helper (the
# same SQLite library the merge reads with, so no sqlite3 shell is needed), then writes
# OUTDIR/letters.docx (one letter per order, the order lines as table rows) and
# OUTDIR/customers.docx (the customers grouped by country) and OUTDIR/orders.docx (the orders
# one after another, from a template shaped as Writer makes them).
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 VELTRANE_BINARY OUTDIR" >&2
  exit 2
fi
veltrane=$(realpath "$1")
out=$2
examples=$(dirname "$(realpath "$0")")
mkdir -p "$out"

"$veltrane" make-db "$out/shop.sqlite" "$examples/shop.sql"

"$veltrane" merge "$examples/customers.docx" --db "$out/shop.sqlite" \
  --source Customers='SELECT Country, LastName, FirstName, City, Since FROM customers
                       ORDER BY Country, LastName' \
  -o "$out/customers.docx" >/dev/null

"$veltrane" merge "$examples/letter.docx" --db "$out/shop.sqlite" \
  --source Orders='SELECT o.OrderId, o.OrderDate, c.Salutation, c.FirstName, c.LastName,
                          c.Street, c.Zip, c.City,
                          (SELECT SUM(Quantity * Price) FROM orderlines l
                            WHERE l.OrderId = o.OrderId) AS Total
                     FROM orders o JOIN customers c USING (CustomerId) ORDER BY o.OrderId' \
  --source Lines='SELECT Product, Quantity, Price, Quantity * Price AS Amount
                    FROM orderlines WHERE OrderId = :OrderId ORDER BY LineId' \
  --source Shop='SELECT Name, Street, Phone FROM shop' \
  --detail Lines=Orders \
  -o "$out/letters.docx" >/dev/null

"$veltrane" merge "$examples/orders.docx" --db "$out/shop.sqlite" \
  --source Orders='SELECT o.OrderId, o.OrderDate, c.FirstName, c.LastName, c.City,
                          (SELECT SUM(Quantity * Price) FROM orderlines l
                            WHERE l.OrderId = o.OrderId) AS Total
                     FROM orders o JOIN customers c USING (CustomerId) ORDER BY o.OrderId' \
  --source Lines='SELECT Product, Quantity, Quantity * Price AS Amount
                    FROM orderlines WHERE OrderId = :OrderId ORDER BY LineId' \
  --source Shop='SELECT Name, Phone FROM shop' \
  --detail Lines=Orders \
  -o "$out/orders.docx" >/dev/null

echo "Merged the customer list into $(realpath "$out/customers.docx")"
echo "Merged the order list into $(realpath "$out/orders.docx")"
echo "Merged the example letter into $(realpath "$out/letters.docx")"

# The same letter as a job: names inside a job are relative to its folder.
cp "$examples/letter.vfm" "$examples/letter.docx" "$out/"
"$veltrane" run "$out/letter.vfm" -o "$out/job-letters.docx" >/dev/null
echo "Ran the letter job into $(realpath "$out/job-letters.docx")"
