#!/usr/bin/env bash
# Fails when a file under src/ includes, or declares a class of, a folder the
# architecture page says it may not, from its three tables:
# - every folder a row names, its own or one it may include, is there;
# - a folder src/F/ includes only itself and the folders its row in the first
#   table names, and the CMake files (the top CMakeLists.txt, cmake/*.cmake)
#   link it to just those, by DEPENDS or target_link_libraries(), in any case;
# - an interface folder platform/X/ includes only itself and what its row
#   names, Platform.h among them or not;
# - a backend folder platform/linux/X/ implements platform/X/ (the folder of
#   its name must be there) and includes only itself, platform/X/, core/,
#   files/, Platform.h and what its row names: `linux/Y/` another backend,
#   `Y/` another interface;
# - nothing lies at platform/'s top but Platform.h and Platform.cpp;
# - nothing above platform/ includes platform/linux/ but app/main.cpp and
#   app/ApplicationAppearance.cpp, and only main.cpp includes LinuxPlatform.
# An include counts as the file it names, however it is spelt: "…" is looked
# for beside the including file first, then in src/, <…> in src/ only, as the
# compiler does. One that names no file under src/ (Qt's, the system's) is
# not ours. A class declared ahead (`class Window;`, `class [[deprecated]]
# Window;`), wherever it stands on its line, counts as an include of the one
# header under src/ that defines a class of that name, if only one does.
# Not read: any other CMake file, and a definition with anything between
# `class` and the name (`class [[deprecated]] Window {`).
# Usage: platform-includes.sh ARCHITECTURE.md REPOSITORY
set -euo pipefail
doc=$1
repo=$2
src=$repo/src
# Breaks the page owns up to, as "file folder", e.g.
# "platform/dialogs/DialogService.h platform/desktop/".
# One that no longer happens fails too, so its line goes with it.
exceptions=()

status=0
fail() { echo "$1" >&2; status=1; }

# The folders a row's last column names, each as " name/ ".
leans_of() { echo " $({ grep -oE '`(linux/)?[a-z]+/`' <<<"$1" || true; } | tr -d '`' | tr '\n' ' ')"; }
# The same words as a sorted set, to compare two lists.
set_of() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -u | tr '\n' ' '; }

declare -A may=() interface=() backend=() links=()
while IFS='|' read -r _ folder _ leans _; do
  name=$(grep -oE '[a-z]+/' <<<"$folder" | tr -d /)
  may[$name]=$(leans_of "$leans")
done < <(grep -E '^\| `[a-z]+/` \|' "$doc")
while IFS='|' read -r _ folder _ leans _; do
  name=$(grep -oE 'platform/[a-z]+/' <<<"$folder" | cut -d/ -f2)
  interface[$name]=""
  # Platform.h is platform/'s top, as unit_of below names it.
  [[ $leans == *'`Platform.h`'* ]] && interface[$name]=" platform/"
  for lean in $(leans_of "$leans"); do interface[$name]+=" platform/$lean"; done
done < <(grep -E '^\| `platform/[a-z]+/` \|' "$doc" | grep -v '`platform/linux/`')
while IFS='|' read -r _ folder _ leans _; do
  name=$(grep -oE 'platform/linux/[a-z]+/' <<<"$folder" | cut -d/ -f3)
  backend[$name]=""
  for lean in $(leans_of "$leans"); do backend[$name]+=" platform/$lean"; done
done < <(grep -E '^\| `platform/linux/[a-z]+/` \|' "$doc")
((${#may[@]})) || { echo "$doc has no table of src/'s folders" >&2; exit 1; }
((${#interface[@]})) || { echo "$doc has no table of platform/'s folders" >&2; exit 1; }
((${#backend[@]})) || { echo "$doc has no table of platform/linux/'s subfolders" >&2; exit 1; }
# A folder's links are its DEPENDS and what target_link_libraries() adds to
# its quorvia_ target, each call read whole, over however many lines; CMake
# takes a command's name in any case.
cmake_files=("$repo/CMakeLists.txt")
[[ -d $repo/cmake ]] && cmake_files+=("$repo"/cmake/*.cmake)
declare -A declared=()
while read -r command target deps; do
  if [[ ${command,,} == quorvia_folder ]]; then
    declared[$target]=1 links[$target]+=""
    for dep in ${deps#DEPENDS}; do links[$target]+=" $dep/"; done
  elif [[ $target =~ ^quorvia_([a-z]+)$ ]]; then
    name=${BASH_REMATCH[1]}
    for dep in $deps; do
      if [[ $dep =~ ^quorvia_([a-z]+)$ ]]; then links[$name]+=" ${BASH_REMATCH[1]}/"; fi
    done
  fi
done < <(sed 's/#.*//' "${cmake_files[@]}" | tr '\n' ' ' |
  grep -ioE '(^|[[:space:]])(quorvia_folder|target_link_libraries)[[:space:]]*\([^)]*\)' | sed -E 's/^[[:space:]]//; s/[()]/ /g')

for dir in "$src"/*/; do
  name=$(basename "$dir")
  [[ -v may[$name] ]] || fail "$name/ has no row in $doc's table of folders"
done
# False when src/ lacks the folder of a row or one the row lets it include.
present() { # table, the row's folder, what it may include
  local folder ok=0
  [[ -d $src/$2 ]] || { fail "$doc's table of $1 has a row for $2, which src/ lacks"; ok=1; }
  for folder in $3; do
    [[ -d $src/$folder ]] || { fail "$doc's row for $2 names $folder, which src/ lacks"; ok=1; }
  done
  return $ok
}
for name in "${!interface[@]}"; do present "platform/'s folders" "platform/$name/" "${interface[$name]}" || true; done
for name in "${!backend[@]}"; do present subfolders "platform/linux/$name/" "${backend[$name]}" || true; done
for name in "${!may[@]}"; do
  if ! present folders "$name/" "${may[$name]}"; then
    continue
  elif [[ ! -v declared[$name] ]]; then
    fail "$name/ is no quorvia_folder() in the CMake files"
  elif [[ $(set_of "${may[$name]}") != "$(set_of "${links[$name]}")" ]]; then
    fail "the CMake files link $name/ to${links[$name]:- nothing} but its row in $doc names${may[$name]}"
  fi
done
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

# What each file includes, as "file:line", how, and the path the include
# names, before ../ and ./ are taken out.
sources=() hows=() paths=()
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^">]+)[">]'
while IFS= read -r hit; do
  file=${hit%%:*} rest=${hit#*:}
  [[ ${rest#*:} =~ $include ]] || continue
  spelt=${BASH_REMATCH[2]} dir=.
  [[ $file == */* ]] && dir=${file%/*}
  if [[ ${BASH_REMATCH[1]} == '"' && -f $src/$dir/$spelt ]]; then
    paths+=("$dir/$spelt")
  elif [[ -f $src/$spelt ]]; then
    paths+=("$spelt")
  else
    continue
  fi
  sources+=("$file:${rest%%:*}") hows+=("includes")
done < <(cd "$src" && grep -rnIE "$include" -- *)

# The header that defines each class, empty when more than one does.
declare -A defined=()
while IFS=: read -r file text; do
  [[ $text =~ (class|struct)[[:space:]]+([A-Za-z_][A-Za-z0-9_]*) ]] || continue
  name=${BASH_REMATCH[2]}
  if [[ -v defined[$name] && ${defined[$name]} != "$file" ]]; then defined[$name]=; else defined[$name]=$file; fi
done < <(cd "$src" && grep -rHIE --include='*.h' \
  '^(class|struct)[[:space:]]+[A-Za-z_][A-Za-z0-9_]*([[:space:]]+final)?[[:space:]]*($|:[^:]|\{)' -- *)
# Each declaration on a line counts, indented or inside a one-line namespace,
# attributes before its name (`[[deprecated]] `) or not; a comment's and an
# enum's do not.
attributes='(\[\[[^]]*\]\][[:space:]]*)*'
ahead="(^|[^A-Za-z0-9_])(enum[[:space:]]+)?(class|struct)[[:space:]]+$attributes([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*;(.*)"
while IFS= read -r hit; do
  file=${hit%%:*} rest=${hit#*:}
  text=${rest#*:}
  text=${text%%//*}
  while [[ $text =~ $ahead ]]; do
    text=${BASH_REMATCH[6]} name=${BASH_REMATCH[5]}
    [[ -z ${BASH_REMATCH[2]} && -n ${defined[$name]:-} && ${defined[$name]} != "$file" ]] || continue
    sources+=("$file:${rest%%:*}") hows+=("declares $name of") paths+=("${defined[$name]}")
  done
done < <(cd "$src" && grep -rnIE "(class|struct)[[:space:]]+$attributes[A-Za-z_][A-Za-z0-9_]*[[:space:]]*;" -- *)

targets=()
((${#paths[@]} == 0)) || mapfile -t targets < <(cd "$src" && realpath -ms --relative-to=. -- "${paths[@]}")

# The folder a row speaks for, of a path under src/.
unit_of() {
  local path=$1
  case $path in
    platform/linux/*/*) path=${path#platform/linux/}; unit=platform/linux/${path%%/*}/ ;;
    platform/*/*) path=${path#platform/}; unit=platform/${path%%/*}/ ;;
    */*) unit=${path%%/*}/ ;;
    *) unit= ;;
  esac
}

# What a folder may include besides itself, as a message says it; within the
# platform, platform/ stands for Platform.h.
said() {
  local unit list=
  for unit in $1; do [[ $unit == platform/ && -n ${2-} ]] && unit=platform/Platform.h; list+=" $unit"; done
  echo "itself${list:+ and$list}"
}

declare -A seen=()
check() { # file:line, how, what it names
  local file=${1%:*} how=$2 target=$3 from to allowed exception name
  unit_of "$file"; from=$unit
  unit_of "$target"; to=$unit
  [[ $to == "$from" ]] && return
  for exception in "${exceptions[@]}"; do
    [[ $exception == "$file $to" ]] && { seen[$exception]=1; return; }
  done
  if [[ $target == ../* ]]; then
    fail "$1 $how $target, which lies outside src/"
  elif [[ ${file%%/*} != "${target%%/*}" ]]; then
    allowed=${may[${file%%/*}]-}
    [[ $allowed == *" ${target%%/*}/ "* ]] ||
      fail "$1 $how $target, but ${file%%/*}/ may include only $(said "$allowed") ($doc, table of folders)"
    [[ $to != platform/linux/* || $file == app/main.cpp || $file == app/ApplicationAppearance.cpp ]] ||
      fail "$1 $how $target, but only the Linux set, app/main.cpp and app/ApplicationAppearance.cpp include platform/linux/ ($doc)"
    [[ $to != platform/linux/ || $file == app/main.cpp ]] ||
      fail "$1 $how $target, but only app/main.cpp includes LinuxPlatform ($doc)"
    return
  fi
  [[ $from == platform/* ]] || return 0
  case $from in
    platform/) allowed=" platform/" ; for name in "${!interface[@]}"; do allowed+=" platform/$name/"; done ;;
    platform/linux/) return ;;
    platform/linux/*/)
      name=${from#platform/linux/}
      allowed=" platform/ platform/$name platform/core/ platform/files/${backend[${name%/}]-}" ;;
    *) name=${from#platform/}; allowed="${interface[${name%/}]-}" ;;
  esac
  [[ "$allowed " == *" $to "* ]] ||
    fail "$1 $how $target, but $from may include only $(said "$allowed" within) ($doc, the platform's tables)"
}

for i in "${!targets[@]}"; do
  check "${sources[$i]}" "${hows[$i]}" "${targets[$i]}"
done

for exception in "${exceptions[@]}"; do
  [[ -v seen[$exception] ]] || fail "${exception% *} no longer includes ${exception#* }: drop it from this script's exceptions and from $doc"
done

echo "${#targets[@]} includes and declarations checked"
exit $status
