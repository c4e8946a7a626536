#!/usr/bin/env bash
# The example brand built into a kit with the documented command, installed
# into a temporary home with the kit's own script, started from its menu
# entry: the window system shows the brand's caption. Then uninstalled.
#   test_example_kit.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
BUILD=$1
SOURCE=${TF_SOURCE_DIR:?}
HOME_K=$SCRATCH/home
DEST=$HOME_K/.local/share/prize-desk
ENTRY=$HOME_K/.local/share/applications/tallyfair-prize-desk.desktop
mkdir -p "$HOME_K" "$SCRATCH/unpacked"

(cd "$SOURCE" && "$BUILD/tallyfair-brand" kit examples/brand "$SCRATCH/prize-desk-kit.tar.gz")
tar -xzf "$SCRATCH/prize-desk-kit.tar.gz" -C "$SCRATCH/unpacked"
env -u XDG_DATA_HOME HOME="$HOME_K" sh "$SCRATCH/unpacked/prize-desk/install.sh" >/dev/null
for f in tallyfair dbsettings.dat banner1.dat banner2.dat mainskin.dat main.ico icon.png; do
    [ -f "$DEST/$f" ] || fail "$f is not installed in $DEST"
done
desktop-file-validate "$ENTRY" || fail "desktop-file-validate $ENTRY"
grep -qx 'Name=Prize Desk' "$ENTRY" || fail "the menu entry does not carry the brand's name"
grep -qx "Icon=$DEST/icon.png" "$ENTRY" || fail "the menu entry's icon is not the brand's"

# Started the way the menu starts it.
start_xvfb
EXEC=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$ENTRY")
[ "$EXEC" = "$DEST/tallyfair" ] || fail "the menu entry runs '$EXEC'"
start_app env -u XDG_DATA_HOME HOME="$HOME_K" "$EXEC"
window_titled "$LAST_PID" "Prize Desk v2.01" >/dev/null
stop_app "$LAST_PID"

env -u XDG_DATA_HOME HOME="$HOME_K" sh "$SCRATCH/unpacked/prize-desk/install.sh" --uninstall >/dev/null
[ ! -e "$DEST" ] && [ ! -e "$ENTRY" ] || fail "--uninstall left $DEST or its menu entry behind"

# A folder of the same name that the kit did not make is neither written
# into nor removed.
mkdir -p "$DEST" && echo mine >"$DEST/notes"
for arg in "" --uninstall; do
    env -u XDG_DATA_HOME HOME="$HOME_K" sh "$SCRATCH/unpacked/prize-desk/install.sh" $arg >/dev/null 2>&1 &&
        fail "install.sh $arg went ahead in a folder it did not make"
done
[ "$(ls -A "$DEST")" = notes ] || fail "install.sh touched a folder it did not make"
echo "example kit: ok"
