#!/usr/bin/env bash
# Round trip of the bookmark corpus checked with LibreOffice: the engine's corpus test saves every
# document with all story parts rewritten; LibreOffice converts the originals and the saved files
# to text, and the texts must be identical.
#   bench/docengine/corpus_libreoffice_check.sh BUILD_DIR [CORPUS_DIR]
# Needs soffice (Debian: libreoffice-writer-nogui or libreoffice-writer). Not part of the tests.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [CORPUS_DIR]}
corpus=${2:-$(cd "$(dirname "$0")/../.." && pwd)/tests/data/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/saved" "$work/original-txt" "$work/saved-txt"

VELTRANE_CORPUS_DIR=$corpus VELTRANE_CORPUS_KEEP=$work/saved \
  "$build/tests/platform/docengine/docengine_tests" --gtest_filter='Documents/CorpusTest.SavedDocumentReadsTheSame/*' >/dev/null
rm -f "$work"/saved/copy-*

profile="-env:UserInstallation=file://$work/profile"
soffice "$profile" --headless --convert-to txt:Text --outdir "$work/original-txt" "$corpus"/*.docx >/dev/null 2>&1
soffice "$profile" --headless --convert-to txt:Text --outdir "$work/saved-txt" "$work"/saved/*.docx >/dev/null 2>&1

checked=0
failed=0
for original in "$corpus"/*.docx; do
  name=$(basename "$original" .docx)
  if [ ! -f "$work/saved-txt/$name.txt" ]; then
    echo "NOT CONVERTED: $name"; failed=$((failed + 1)); continue
  fi
  if ! cmp -s "$work/original-txt/$name.txt" "$work/saved-txt/$name.txt"; then
    echo "TEXT DIFFERS: $name"; failed=$((failed + 1)); continue
  fi
  checked=$((checked + 1))
done
echo "$checked passed, $failed failed"
[ "$failed" -eq 0 ]
