#!/usr/bin/env bash
# Breaks a copy of the tree one way at a time and expects platform-includes.sh
# to fail on each, naming the break; the copy untouched must pass.
# Usage: platform-includes-breaks.sh REPOSITORY
set -euo pipefail
repo=$1
check=$(dirname "$0")/platform-includes.sh
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
mkdir "$copy/docs"
cp -r "$repo/src" "$repo/CMakeLists.txt" "$repo/cmake" "$copy/"
cp "$repo/docs/architecture.md" "$copy/docs/"
run() { bash "$check" "$copy/docs/architecture.md" "$copy" 2>&1 >/dev/null; }
run || { echo "the untouched copy fails already" >&2; exit 1; }

status=0
breaks() { # what, file, sed script making the break, what the failure must say
  local file=$copy/$2 out
  cp "$file" "$copy/kept"
  sed -i "$3" "$file"
  if out=$(run); then
    echo "passes $1" >&2; status=1
  elif [[ $out != *"$4"* ]]; then
    echo "fails on $1 without saying \"$4\": $out" >&2; status=1
  fi
  mv "$copy/kept" "$file"
}
breaks "an include spelt from the including folder" src/platform/capture/CaptureService.h \
  '$a #include "../displays/DisplayService.h"' 'includes platform/displays/DisplayService.h, but platform/capture/'
breaks "the platform including a folder above it" src/platform/desktop/Window.h \
  '$a #include "look/DarkColours.h"' 'includes look/DarkColours.h, but platform/ may include only'
breaks "a lower folder including a higher one" src/model/PromptScript.h \
  '$a #include <island/IslandWindow.h>' 'includes island/IslandWindow.h, but model/ may include only'
breaks "an interface declaring a class of a folder its row does not name" src/platform/displays/DisplayService.h \
  '$a namespace quorvia::platform {\nclass Window;\n}' 'declares Window of platform/desktop/Window.h, but platform/displays/'
breaks "LinuxPlatform included by more than main()" src/app/ApplicationAppearance.cpp \
  '$a #include "platform/linux/LinuxPlatform.h"' 'only app/main.cpp includes LinuxPlatform'
breaks "a link the table does not name" CMakeLists.txt \
  's/^quorvia_folder(model *DEPENDS platform)/quorvia_folder(model DEPENDS platform look)/' 'CMake files link model/'
breaks "a link beside the DEPENDS lists that the table does not name" CMakeLists.txt \
  '$a target_link_libraries(quorvia_model\n  PUBLIC quorvia_look)' 'CMake files link model/'
breaks "a link spelt in capitals" CMakeLists.txt '$a TARGET_LINK_LIBRARIES(quorvia_model PUBLIC quorvia_look)' 'CMake files link model/'
breaks "a link in cmake/" cmake/QuorviaFolders.cmake '$a target_link_libraries(quorvia_model PUBLIC quorvia_look)' 'CMake files link model/'
breaks "a class declared ahead on an indented line" src/platform/displays/DisplayService.h \
  '$a namespace quorvia::platform {\n    class Window;\n}' 'declares Window of platform/desktop/Window.h, but platform/displays/'
breaks "a class declared ahead second in a one-line namespace" src/platform/displays/DisplayService.h \
  '$a namespace quorvia::platform { class Popover; class Window; }' 'declares Window of platform/desktop/Window.h'
breaks "a class with an attribute declared ahead" src/platform/displays/DisplayService.h \
  '$a namespace quorvia::platform {\nclass [[deprecated]] Window;\n}' 'declares Window of platform/desktop/Window.h'
breaks "an interface including Platform.h that its row does not name" src/platform/displays/DisplayService.h \
  '$a #include "platform/Platform.h"' 'includes platform/Platform.h, but platform/displays/ may include only'
for row in look platform/core platform/linux/sound; do
  gone=${row%"${row##*/}"}gone/
  breaks "a row for a folder src/ lacks after $row/'s" docs/architecture.md \
    "/^| \`${row//\//\\/}\/\` |/a | \`$gone\` | nothing | — |" "has a row for $gone, which src/ lacks"
done
breaks "a row naming a folder src/ lacks" docs/architecture.md \
  '/^| `platform\/linux\/sound\/` |/s/| — |$/| `linux\/gone\/` |/' 'names platform/linux/gone/, which src/ lacks'
exit $status
