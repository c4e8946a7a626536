#!/bin/sh
# tallyfair: starts Tallyfair from a folder of the user's own.
#
# The program keeps every file (settings, config.php, the brand file's news
# state, the error log) beside its executable, so it never runs from the
# read-only installed copy: the first start copies it into
# ${XDG_DATA_HOME:-~/.local/share}/tallyfair/, and a start after an upgrade
# copies the newer one over it. Each user thus has their own folder and
# settings. The program itself reads no argument; neither does this.
set -eu

if [ "$#" -gt 0 ]; then
    echo "usage: tallyfair   (starts Tallyfair; it takes no arguments)" >&2
    exit 2
fi
: "${HOME:?tallyfair: HOME is not set, so there is no folder to run in}"

here=$(dirname "$(readlink -f "$0")")
installed=$here/@TF_PROGRAM_FROM_BIN@
data=${XDG_DATA_HOME:-$HOME/.local/share}
case "$data" in /*) ;; *) data=$HOME/.local/share ;; esac
folder=$data/tallyfair
copy=$folder/tallyfair

if [ ! -x "$installed" ]; then
    echo "tallyfair: the installed program $installed is missing; reinstall the package" >&2
    exit 1
fi

# cp -p keeps the installed file's time, so "newer" means a newer install,
# not a later copy.
if [ ! -x "$copy" ] || [ "$installed" -nt "$copy" ]; then
    mkdir -p "$data"
    # The folder will hold the database password of the user's site.
    mkdir -p -m 700 "$folder"
    tmp=$(mktemp "$folder/.tallyfair.XXXXXX")
    if ! cp -p "$installed" "$tmp" || ! chmod 755 "$tmp" || ! mv -f "$tmp" "$copy"; then
        rm -f "$tmp"
        echo "tallyfair: cannot copy the program into $folder" >&2
        exit 1
    fi
fi
exec "$copy"
