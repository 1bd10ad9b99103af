#!/usr/bin/env bash
# Fails when a file under src/ includes across the platform layer against the
# rules the architecture page states, from its two tables:
# - an interface folder platform/X/ includes only itself, Platform.h and the
#   folders its row names;
# - a backend folder platform/linux/X/ implements platform/X/ (the folder of
#   its name must be there) and includes only itself, platform/X/, core/,
#   files/, Platform.h and what its row names: `linux/Y/` another backend,
#   `Y/` another interface;
# - nothing lies at platform/'s top but Platform.h and Platform.cpp;
# - nothing above platform/ includes platform/linux/ but app/main.cpp and
#   app/ApplicationAppearance.cpp.
# Both `#include "…"` and `# include <…>` count.
# Usage: platform-includes.sh ARCHITECTURE.md REPOSITORY
set -euo pipefail
doc=$1
src=$2/src
# Breaks the page owns up to, as "file folder" (folder as a row names it).
# One that no longer happens fails too, so its line goes with it.
exceptions=()
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]platform/[^">]+[">]'

status=0
fail() { echo "$1" >&2; status=1; }

# The folders a row's last column names, each as " name/ ".
leans_of() { echo " $({ grep -oE '`(linux/)?[a-z]+/`' <<<"$1" || true; } | tr -d '`' | tr '\n' ' ')"; }

declare -A interface=() backend=()
while IFS='|' read -r _ folder _ leans _; do
  name=$(grep -oE 'platform/[a-z]+/' <<<"$folder" | cut -d/ -f2)
  interface[$name]=$(leans_of "$leans")
done < <(grep -E '^\| `platform/[a-z]+/` \|' "$doc" | grep -v '`platform/linux/`')
while IFS='|' read -r _ folder _ leans _; do
  name=$(grep -oE 'platform/linux/[a-z]+/' <<<"$folder" | cut -d/ -f3)
  backend[$name]=$(leans_of "$leans")
done < <(grep -E '^\| `platform/linux/[a-z]+/` \|' "$doc")
((${#interface[@]})) || { echo "$doc has no table of platform/'s folders" >&2; exit 1; }
((${#backend[@]})) || { echo "$doc has no table of platform/linux/'s subfolders" >&2; exit 1; }

for file in "$src"/platform/*; do
  name=$(basename "$file")
  if [[ -d $file ]]; then
    [[ $name == linux || -v interface[$name] ]] || fail "platform/$name/ has no row in $doc's table of platform/'s folders"
  else
    [[ $name == Platform.h || $name == Platform.cpp ]] || fail "platform/$name lies at platform/'s top: it goes in the folder of its job"
  fi
done
for dir in "$src"/platform/linux/*/; do
  name=$(basename "$dir")
  [[ -v backend[$name] ]] || fail "platform/linux/$name/ has no row in $doc's table of subfolders"
  [[ -d $src/platform/$name ]] || fail "platform/linux/$name/ implements no platform/$name/"
done

# The folder an include names, as a row names it ("" for Platform.h itself).
target_of() {
  local path=${1#*platform/}
  path=${path%[\">]}
  case $path in
    linux/*/*) path=${path#linux/}; echo "linux/${path%%/*}/" ;;
    */*) echo "${path%%/*}/" ;;
    Platform.h) echo "" ;;
    *) echo "$path" ;;
  esac
}

declare -A seen=()
count=0
check() { # file (relative to platform/), its folder's allowance, what it includes
  local rel=$1 allowed=$2 target=$3 exception
  count=$((count + 1))
  [[ -z $target || $allowed == *" $target "* ]] && return
  for exception in "${exceptions[@]}"; do
    [[ $exception == "$rel $target" ]] && { seen[$exception]=1; return; }
  done
  fail "platform/$rel includes platform/$target, which its folder may not lean on ($doc)"
}

for name in "${!interface[@]}"; do
  [[ -d $src/platform/$name ]] || continue
  while IFS= read -r hit; do
    check "${hit%%:*}" " $name/${interface[$name]}" "$(target_of "${hit#*:}")"
  done < <(cd "$src/platform" && grep -rHoE "$include" "$name/" || true)
done
for name in "${!backend[@]}"; do
  [[ -d $src/platform/linux/$name ]] || continue
  while IFS= read -r hit; do
    check "linux/${hit%%:*}" " linux/$name/ $name/ core/ files/${backend[$name]}" "$(target_of "${hit#*:}")"
  done < <(cd "$src/platform/linux" && grep -rHoE "$include" "$name/" || true)
done

for exception in "${exceptions[@]}"; do
  [[ -v seen[$exception] ]] || fail "platform/${exception% *} no longer includes ${exception#* }: drop it from this script's exceptions and from $doc"
done

while IFS= read -r file; do
  case ${file#"$src"/} in
    app/main.cpp | app/ApplicationAppearance.cpp | platform/linux/*) ;;
    *) fail "${file#"$src"/} includes platform/linux/, which only the Linux set, app/main.cpp and app/ApplicationAppearance.cpp may ($doc)" ;;
  esac
done < <(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]platform/linux/' "$src")

echo "$count includes within the platform layer checked"
exit $status
