#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop reads
# there: the desktop entry, the icons and the backup packages' file type.
set -euo pipefail
build=$1
# A space in the prefix, as in a home folder's name, must survive into the entry.
prefix=$(mktemp -d "${TMPDIR:-/tmp}/quorvia install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install-tree: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
[[ -x $prefix/bin/quorvia ]] || fail "no executable in bin"

entry=$share/applications/quorvia.desktop
[[ -f $entry ]] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
key() { sed -n "s/^$1=//p" "$entry"; }
[[ $(key Name) == Quorvia ]] || fail "Name is '$(key Name)'"
[[ $(key Icon) == quorvia ]] || fail "Icon is '$(key Icon)'"
[[ $(key StartupWMClass) == Quorvia ]] || fail "StartupWMClass is '$(key StartupWMClass)'"
# The installed program by its full path (quoted for the space), so the menu
# starts it whatever the session's PATH holds.
[[ $(key Exec) == "\"$prefix/bin/quorvia\"" ]] || fail "Exec is '$(key Exec)', not the installed program"
[[ $(key Categories) == *Office* ]] || fail "Categories are '$(key Categories)'"
# The comment speaks Chinese, like the rest of the application.
LC_ALL=C.UTF-8 grep -qP '^Comment=.*[\x{4e00}-\x{9fff}]' "$entry" || fail "the comment is not in Chinese"

for icon in apps/quorvia.svg mimetypes/application-x-quorvia-project-backup.svg; do
  file=$share/icons/hicolor/scalable/$icon
  [[ -f $file ]] || fail "no icon $icon"
  xmllint --noout "$file" || fail "icon $icon is not well-formed"
done

# The database tool refuses a malformed type; its own output names the problem.
log=$(update-mime-database "$share/mime" 2>&1) || fail "update-mime-database failed: $log"
if grep -qiE 'error|invalid|warning|fail' <<<"$log"; then fail "update-mime-database: $log"; fi
type=$share/mime/application/x-quorvia-project-backup.xml
[[ -f $type ]] || fail "the backup type was not compiled"
grep -q '<glob pattern="\*.quorviabackup"/>' "$type" || fail "the backup type has no glob"
grep -q 'sub-class-of type="inode/directory"' "$type" || fail "the backup type is not a folder"
grep -q 'application/x-quorvia-project-backup:\*.quorviabackup' "$share/mime/globs" || fail "the glob is not in the database"
grep -q 'application/x-quorvia-project-backup:application-x-quorvia-project-backup' "$share/mime/icons" \
  || fail "the backup type has no icon of its own"
echo "install tree checked in $prefix"
