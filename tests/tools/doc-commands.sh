#!/usr/bin/env bash
# Runs every renderer command of the given documents (README.md, docs/renderer.md), in the order
# they appear, in a scratch folder: each must succeed. The commands are read from the documents'
# code blocks (fenced, or indented by four spaces), so a changed example is tested as written.
# A command is a line that runs build/dev/tools/quillstreak-render (also at the end of a pipe, or
# through GNU parallel), with its continuation lines.
#
# usage: doc-commands.sh RENDERER SOURCE_DIR DOCUMENT...
# Exits 77 (skipped) without ffmpeg or GNU parallel, which some examples use.
set -euo pipefail

renderer=$1
source_dir=$2
shift 2

if ! ffmpeg -version >/dev/null 2>&1; then
  echo "doc-commands: ffmpeg is not installed; skipped"
  exit 77
fi
if ! parallel --version >/dev/null 2>&1; then
  echo "doc-commands: GNU parallel is not installed (Debian package parallel); skipped"
  exit 77
fi

# The commands of one document, one per line (continuations joined).
commands() {
  awk '
    /^```/ { fenced = !fenced; next }
    {
      line = $0
      if (!fenced) {
        if (line !~ /^    /) { pending = ""; next }
        sub(/^    /, "", line)
      }
      if (pending != "") { line = pending " " line; pending = "" }
      if (line ~ /\\$/) { sub(/\\$/, "", line); pending = line; next }
      if (line ~ /(^|\| *|^parallel .*)build\/dev\/tools\/quillstreak-render/) print line
    }
  ' "$1"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/dev/tools"
ln -s "$renderer" "$work/build/dev/tools/quillstreak-render"
ln -s "$source_dir/examples" "$work/examples"

count=0
for document in "$@"; do
  while IFS= read -r command; do
    count=$((count + 1))
    echo "doc-commands: ${document#"$source_dir"/}: $command"
    if ! (cd "$work" && bash -o pipefail -c "$command" >"$work/.output" 2>&1 </dev/null); then
      cat "$work/.output"
      echo "doc-commands: FAILED: $command"
      exit 1
    fi
  done < <(commands "$document")
done
if [ "$count" -lt 8 ]; then
  echo "doc-commands: only $count commands found; has the documents' layout changed?"
  exit 1
fi
echo "doc-commands: all $count commands succeeded"
