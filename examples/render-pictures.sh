#!/usr/bin/env bash
# Renders the first page of the example letter template and of its merged result as PNG
# pictures for the README (docs/images/). Needs LibreOffice (libreoffice-writer) and pdftoppm
# (poppler-utils); run ./build.sh demo first, so that out/letters.docx exists.
#   examples/render-pictures.sh [OUTDIR]       (default: out)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}
images=docs/images
mkdir -p "$images"
profile=$(mktemp -d)
pdfs=$(mktemp -d)
trap 'rm -rf "$profile" "$pdfs"' EXIT

soffice --headless --norestore -env:UserInstallation="file://$profile" \
  --convert-to pdf --outdir "$pdfs" examples/letter.docx "$out/letters.docx" >/dev/null
for name in letter letters; do
  test -s "$pdfs/$name.pdf" || { echo "LibreOffice did not convert $name" >&2; exit 1; }
done
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdfs/letter.pdf" "$images/letter-template"
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdfs/letters.pdf" "$images/letter-result"
echo "Wrote $images/letter-template.png and $images/letter-result.png"
