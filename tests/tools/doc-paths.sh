#!/usr/bin/env bash
# Fails when a Markdown file names a source path (`platform/linux/...`,
# `model/DeckTree`, `tests/support/XServer.h`) that the tree no longer has.
# Usage: doc-paths.sh FILE.md REPOSITORY
set -euo pipefail
doc=$1
top=$2
status=0
count=0
while read -r path; do
  path=${path%/}
  case $path in
    tests/* | cmake/* | scripts/*) candidates=("$top/$path") ;;
    *) candidates=("$top/src/$path" "$top/src/$path.h" "$top/src/$path.cpp") ;;
  esac
  count=$((count + 1))
  found=0
  for candidate in "${candidates[@]}"; do
    [[ -e $candidate ]] && found=1
  done
  ((found)) || { echo "$doc names $path, which is not in the tree" >&2; status=1; }
done < <(grep -oE '`(platform|look|model|privacy|keynote|speech|prompter|island|editing|app|tests|cmake|scripts)/[A-Za-z0-9_./+-]*`' "$doc" | tr -d '`' | sort -u)
echo "$count source paths checked"
exit $status
