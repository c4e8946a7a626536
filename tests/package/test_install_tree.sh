#!/usr/bin/env bash
# cmake --install into a temporary prefix: the tree is complete, the menu
# entry and metadata validate, and the installed launcher runs the program
# from the user's own folder, where its settings land.
#   test_install_tree.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
BUILD=$1
PREFIX=$SCRATCH/prefix
ID=example.tallyfair.Tallyfair

cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
for f in bin/tallyfair bin/tallyfair-brand lib/tallyfair/tallyfair \
    share/tallyfair/server/actions.php share/tallyfair/server/schema.sql \
    share/doc/tallyfair/README.md share/doc/tallyfair/copyright share/doc/tallyfair/changelog.gz \
    share/doc/tallyfair/examples/brand/brand.txt share/man/man1/tallyfair.1.gz share/man/man1/tallyfair-brand.1.gz \
    share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml \
    share/icons/hicolor/scalable/apps/$ID.svg; do
    [ -f "$PREFIX/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 64 128 256; do
    png=$PREFIX/share/icons/hicolor/${size}x$size/apps/$ID.png
    [ "$(identify -format '%wx%h' "$png" 2>/dev/null)" = "${size}x$size" ] || fail "$png is not a ${size}x$size picture"
done
[ -x "$PREFIX/bin/tallyfair" ] && [ -x "$PREFIX/lib/tallyfair/tallyfair" ] || fail "launcher or program not executable"
desktop-file-validate "$PREFIX/share/applications/$ID.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$PREFIX/share/metainfo/$ID.metainfo.xml" >"$SCRATCH/as.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$SCRATCH/as.log")"

# The installed tool puts the installed program into a kit, not the launcher.
"$PREFIX/bin/tallyfair-brand" kit "$PREFIX/share/doc/tallyfair/examples/brand" "$SCRATCH/kit.tar.gz"
tar -xzf "$SCRATCH/kit.tar.gz" -C "$SCRATCH" prize-desk/tallyfair
[ "$(head -c4 "$SCRATCH/prize-desk/tallyfair" | tail -c3)" = ELF ] || fail "the installed tool's kit holds no program"

# The launcher, in a fresh home: the window shows, and what the Settings
# dialog saves lands in that home.
start_xvfb
# Installed files carry their package's time, which is older than the
# user's first start; an upgrade brings a newer one, still in the past.
touch -d '2020-01-01' "$PREFIX/lib/tallyfair/tallyfair"
find "$PREFIX" -newer "$PREFIX/bin/tallyfair" | sort >"$SCRATCH/prefix-before"
HOME_A=$SCRATCH/home-a
FOLDER=$HOME_A/.local/share/tallyfair
mkdir -p "$HOME_A"
start_app env -u XDG_DATA_HOME HOME="$HOME_A" "$PREFIX/bin/tallyfair"
APP=$LAST_PID
MAIN=$(window_titled "$APP" Tallyfair)
wait_for_exe "$APP" "$FOLDER/tallyfair"
cmp -s "$PREFIX/lib/tallyfair/tallyfair" "$FOLDER/tallyfair" || fail "the copy differs from the installed program"
# Settings is the first toolbar button; the dialog's Ok button is at 132,178 (75x25).
xdotool mousemove --window "$MAIN" 50 21 click 1
DIALOG=$(window_titled "$APP" Settings)
xdotool mousemove --window "$DIALOG" 150 22 click 1 type 'http://127.0.0.1:9/site-a'
xdotool mousemove --window "$DIALOG" 169 190 click 1
for _ in $(seq 50); do [ -f "$FOLDER/hsettings.dat" ] && break; sleep 0.1; done
grep -q '^swebserver=http://127.0.0.1:9/site-a' "$FOLDER/hsettings.dat" || fail "the settings did not land in $FOLDER"
[ -f "$FOLDER/config.php" ] || fail "config.php did not land in $FOLDER"
stop_app "$APP"
find "$PREFIX" -newer "$PREFIX/bin/tallyfair" | sort >"$SCRATCH/prefix-after"
cmp -s "$SCRATCH/prefix-before" "$SCRATCH/prefix-after" || fail "the program wrote under the prefix"

# Not newer: the copy stays. Newer (an upgrade): it is replaced, settings kept.
inode=$(stat -c %i "$FOLDER/tallyfair")
start_app env -u XDG_DATA_HOME HOME="$HOME_A" "$PREFIX/bin/tallyfair"
wait_for_exe "$LAST_PID" "$FOLDER/tallyfair"
stop_app "$LAST_PID"
[ "$(stat -c %i "$FOLDER/tallyfair")" = "$inode" ] || fail "an up-to-date copy was copied again"
touch -d '2021-01-01' "$PREFIX/lib/tallyfair/tallyfair"
start_app env -u XDG_DATA_HOME HOME="$HOME_A" "$PREFIX/bin/tallyfair"
wait_for_exe "$LAST_PID" "$FOLDER/tallyfair"
stop_app "$LAST_PID"
[ "$(stat -c %i "$FOLDER/tallyfair")" != "$inode" ] || fail "a newer installed program was not copied"
[ -f "$FOLDER/hsettings.dat" ] || fail "the update lost the settings"

# A second user has a folder, and settings, of their own.
HOME_B=$SCRATCH/home-b
mkdir -p "$HOME_B"
start_app env -u XDG_DATA_HOME HOME="$HOME_B" "$PREFIX/bin/tallyfair"
wait_for_exe "$LAST_PID" "$HOME_B/.local/share/tallyfair/tallyfair"
stop_app "$LAST_PID"
[ ! -e "$HOME_B/.local/share/tallyfair/hsettings.dat" ] || fail "the second user sees the first user's settings"
echo "install tree and launcher: ok"
