#!/usr/bin/env bash
# Renders the first page of the example customer list's template and of its merged result as
# PNG pictures for the README (examples/images/). Needs LibreOffice (libreoffice-writer) and
# pdftoppm (poppler-utils); run ./build.sh demo first, so that out/customers.docx exists.
#   examples/render-pictures.sh [OUTDIR]       (default: out)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}
images=examples/images
mkdir -p "$images"
profile=$(mktemp -d)
pdfs=$(mktemp -d)
trap 'rm -rf "$profile" "$pdfs"' EXIT

soffice --headless --norestore -env:UserInstallation="file://$profile" \
  --convert-to pdf --outdir "$pdfs" "$out/customers.docx" >/dev/null
for name in customers; do
  test -s "$pdfs/$name.pdf" || { echo "LibreOffice did not convert $name" >&2; exit 1; }
done
# Both files are named customers.docx: convert them into separate folders.
mkdir -p "$pdfs/template" "$pdfs/result"
mv "$pdfs/customers.pdf" "$pdfs/result/customers.pdf"
soffice --headless --norestore -env:UserInstallation="file://$profile" \
  --convert-to pdf --outdir "$pdfs/template" examples/customers.docx >/dev/null
test -s "$pdfs/template/customers.pdf" || { echo "LibreOffice did not convert the template" >&2; exit 1; }
pdftoppm -png -r 60 -f 1 -l 1 -singlefile -y 0 -H 300 "$pdfs/template/customers.pdf" "$images/customers-template"
pdftoppm -png -r 60 -f 1 -l 1 -singlefile -y 0 -H 300 "$pdfs/result/customers.pdf" "$images/customers-result"
echo "Wrote $images/customers-template.png and $images/customers-result.png"
