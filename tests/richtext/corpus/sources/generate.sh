#!/usr/bin/env bash
# Regenerates the corpus files written by real programs from the documents in this folder:
# LibreOffice Writer (headless) for libreoffice-*.rtf and pandoc for pandoc-*.rtf. The other
# corpus files are written by hand in the styles of Word, WordPad and TextEdit.
# After regenerating, review the differences and update the .expected files by hand (or with
# QUORVIN_RTF_CORPUS_WRITE=1 tst_rtf_corpus, then read every changed line).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
corpus="$(dirname "$here")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for doc in formatting lists table unicode; do
  cp "$here/$doc.html" "$work/"
  soffice -env:UserInstallation="file://$work/profile" --headless --infilter="HTML (StarWriter)" \
    --convert-to rtf:"Rich Text Format" --outdir "$work/out" "$work/$doc.html" >/dev/null
  cp "$work/out/$doc.rtf" "$corpus/libreoffice-$doc.rtf"
done
cp "$here/libreoffice-features.fodt" "$work/"
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to rtf:"Rich Text Format" \
  --outdir "$work/out" "$work/libreoffice-features.fodt" >/dev/null
cp "$work/out/libreoffice-features.rtf" "$corpus/libreoffice-features.rtf"

pandoc -s -f markdown -t rtf "$here/pandoc-notes.md" -o "$corpus/pandoc-notes.rtf"
pandoc -s -f html -t rtf "$here/formatting.html" -o "$corpus/pandoc-formatting.rtf"
pandoc -s -f html -t rtf "$here/lists.html" -o "$corpus/pandoc-lists.rtf"
