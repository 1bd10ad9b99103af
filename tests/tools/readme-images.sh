#!/usr/bin/env bash
# Fails when an image that a Markdown file links (![..](path) or <img src="path">)
# is missing or is not a PNG/JPEG/SVG picture. Usage: readme-images.sh README.md
set -euo pipefail
readme=$1
base=$(dirname "$readme")
[[ -f $readme ]] || { echo "no such file: $readme" >&2; exit 1; }

mapfile -t links < <(grep -oE '!\[[^]]*\]\([^)]+\)|<img[^>]*src="[^"]+"' "$readme" |
  sed -E 's/^!\[[^]]*\]\(([^) ]+).*$/\1/; s/^<img[^>]*src="([^"]+)".*$/\1/')

status=0
for link in "${links[@]}"; do
  case $link in
    http://* | https://*) echo "not a file of the repository: $link" >&2; status=1; continue ;;
  esac
  file="$base/$link"
  if [[ ! -s $file ]]; then
    echo "missing image: $link" >&2
    status=1
    continue
  fi
  magic=$(head -c 8 "$file" | od -An -tx1 | tr -d ' \n')
  case $magic in
    89504e470d0a1a0a | ffd8ff*) ;;
    *) grep -q '<svg' "$file" || { echo "not a picture: $link" >&2; status=1; } ;;
  esac
done
echo "${#links[@]} linked images checked"
exit $status
