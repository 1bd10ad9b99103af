#!/usr/bin/env bash
# Fails when a file under src/ includes across the platform layer against the
# rules the architecture page states: a subfolder of platform/linux/ includes
# only itself and the subfolders its row of the page's table names; platform/
# itself includes nothing of platform/linux/; above platform/, only
# app/main.cpp and app/ApplicationAppearance.cpp do.
# Usage: platform-includes.sh ARCHITECTURE.md REPOSITORY
set -euo pipefail
doc=$1
src=$2/src
# Breaks the page owns up to, as "file subfolder". One that no longer happens
# fails too, so its line goes with it.
exceptions=()

status=0
fail() { echo "$1" >&2; status=1; }

declare -A allowed=()
while IFS='|' read -r _ folder _ leans _; do
  sub=$(grep -oE 'platform/linux/[a-z]+/' <<<"$folder" | cut -d/ -f3)
  allowed[$sub]=" $({ grep -oE '`[a-z]+/`' <<<"$leans" || true; } | tr -d '`/' | tr '\n' ' ')"
done < <(grep -E '^\| `platform/linux/[a-z]+/` \|' "$doc")
((${#allowed[@]})) || { echo "$doc has no table of platform/linux/'s subfolders" >&2; exit 1; }

for dir in "$src"/platform/linux/*/; do
  sub=$(basename "$dir")
  [[ -v allowed[$sub] ]] || fail "platform/linux/$sub/ has no row in $doc's table of subfolders"
done

declare -A seen=()
count=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rel=${file#"$src"/platform/linux/}
  sub=${rel%%/*}
  target=${hit#*\"platform/linux/}
  target=${target%%/*}
  target=${target%\"}
  count=$((count + 1))
  [[ $target == "$sub" || ${allowed[$sub]:-} == *" $target "* ]] && continue
  for exception in "${exceptions[@]}"; do
    [[ $exception == "$rel $target" ]] && { seen[$exception]=1; continue 2; }
  done
  fail "platform/linux/$rel includes platform/linux/$target, which $sub/ may not lean on ($doc)"
done < <(grep -rHoE '^#include "platform/linux/[^"]+"' "$src"/platform/linux/*/)

for exception in "${exceptions[@]}"; do
  [[ -v seen[$exception] ]] || fail "platform/linux/${exception% *} no longer includes ${exception#* }/: drop it from this script's exceptions and from $doc"
done

while IFS= read -r file; do
  case ${file#"$src"/} in
    app/main.cpp | app/ApplicationAppearance.cpp | platform/linux/*) ;;
    *) fail "${file#"$src"/} includes platform/linux/, which only the Linux set, app/main.cpp and app/ApplicationAppearance.cpp may ($doc)" ;;
  esac
done < <(grep -rlE '^#include "platform/linux/' "$src")

echo "$count includes between platform/linux/'s subfolders checked"
exit $status
