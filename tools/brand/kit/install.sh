#!/bin/sh
# Installs @NAME@ for the current user, or removes it again:
#   sh install.sh              install (or update) into ~/.local/share/@SLUG@/
#                              and add it to the desktop's menu
#   sh install.sh --uninstall  remove the program, its settings and its menu entry
set -eu
NAME=@NAME_SH@
SLUG=@SLUG@
KIT=$(cd "$(dirname "$0")" && pwd)
: "${HOME:?install.sh: HOME is not set}"
DATA=${XDG_DATA_HOME:-$HOME/.local/share}
DEST=$DATA/$SLUG
APPS=$DATA/applications
ENTRY=$APPS/tallyfair-$SLUG.desktop
# Marks a folder this script made: only such a folder is ever written into
# or removed, whatever else of the same name the user has there.
MARK=$DEST/.tallyfair-kit
ours() { [ -f "$MARK" ] || [ ! -e "$DEST" ] || [ -z "$(ls -A "$DEST" 2>/dev/null)" ]; }

refresh_menu() {
    if command -v update-desktop-database >/dev/null 2>&1; then
        update-desktop-database -q "$APPS" 2>/dev/null || true
    fi
}

case "${1:-}" in
--uninstall)
    if ! ours; then
        echo "install.sh: $DEST was not installed by this kit; left alone" >&2
        exit 1
    fi
    rm -f "$ENTRY"
    rm -rf "$DEST"
    refresh_menu
    echo "$NAME removed: $DEST and its menu entry."
    exit 0
    ;;
"") ;;
*)
    echo "usage: sh install.sh [--uninstall]" >&2
    exit 2
    ;;
esac

# Name the libraries that are missing now rather than fail at the first start.
missing=$(ldd "$KIT/tallyfair" 2>/dev/null | awk '/not found/ { printf "%s ", $1 }')
if [ -n "$missing" ]; then
    echo "install.sh: $NAME needs these libraries: $missing" >&2
    echo "install.sh: on Debian 12: sudo apt install libqt6widgets6 libqt6network6 qt6-qpa-plugins" >&2
    exit 1
fi

if ! ours; then
    echo "install.sh: $DEST exists and was not made by this kit; nothing installed" >&2
    exit 1
fi
mkdir -p "$DEST" "$APPS"
: >"$MARK"
# The folder will hold the database password of the user's site.
chmod 700 "$DEST"
# Pictures and skin of an earlier kit that this one no longer has must go;
# the user's own files (settings, config.php, error log) stay.
rm -f "$DEST"/banner*.dat "$DEST/mainskin.dat"
for f in "$KIT"/*; do
    name=${f##*/}
    case "$name" in install.sh | README.txt | *.desktop) continue ;; esac
    # Replaced in one step, so a copy that is running keeps its old file.
    cp "$f" "$DEST/.$name.new"
    mv -f "$DEST/.$name.new" "$DEST/$name"
done

# The menu entry runs the program in its folder. Exec is quoted as desktop
# entries quote (\\ before " ` $ \), Icon is a plain string.
exec_path=$(printf '%s' "$DEST/tallyfair" | sed 's/[\\"`$]/\\\\&/g')
icon_path=$(printf '%s' "$DEST/icon.png" | sed 's/\\/\\\\/g')
{
    grep -v -e '^Exec=' -e '^Icon=' "$KIT/tallyfair-$SLUG.desktop"
    printf 'Exec="%s"\nIcon=%s\n' "$exec_path" "$icon_path"
} >"$ENTRY.new"
mv -f "$ENTRY.new" "$ENTRY"
refresh_menu
echo "$NAME installed in $DEST. Start it from the menu, or with: $DEST/tallyfair"
