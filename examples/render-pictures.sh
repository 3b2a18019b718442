#!/usr/bin/env bash
# Renders the bundled example templates beside what `veltrane merge` makes of them, as PNG
# pictures for the README and docs/templates.md (examples/images/NAME-template.png and
# NAME-result.png). In the template pictures every bookmark shows where it starts ("[Name") and
# ends ("]"), drawn in by mark_bookmarks.py. Needs LibreOffice (libreoffice-writer-nogui) and
# pdftoppm (poppler-utils); run ./build.sh demo first, so that out/ holds the merged results.
#   examples/render-pictures.sh [OUTDIR]       (default: out)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}
images=examples/images
mkdir -p "$images"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NAME, merged result in OUTDIR, height of the picture in pixels at 60 dpi.
pictures=(
  "customers customers.docx 300"
  "letter letters.docx 520"
  "orders orders.docx 420"
)
for entry in "${pictures[@]}"; do
  read -r name result height <<<"$entry"
  test -s "$out/$result" || { echo "$out/$result is missing: run ./build.sh demo first" >&2; exit 1; }
  mkdir -p "$work/$name/template" "$work/$name/result"
  python3 examples/mark_bookmarks.py "examples/$name.docx" "$work/$name/template/$name.docx"
  cp "$out/$result" "$work/$name/result/$name.docx"
  for kind in template result; do
    soffice --headless --norestore -env:UserInstallation="file://$work/profile" \
      --convert-to pdf --outdir "$work/$name/$kind" "$work/$name/$kind/$name.docx" >/dev/null
    test -s "$work/$name/$kind/$name.pdf" || { echo "LibreOffice did not convert $name ($kind)" >&2; exit 1; }
    pdftoppm -png -r 60 -f 1 -l 1 -singlefile -y 0 -H "$height" "$work/$name/$kind/$name.pdf" \
      "$images/$name-$kind"
    echo "Wrote $images/$name-$kind.png"
  done
done
