#!/bin/sh
# Installs the build into a temporary DESTDIR and checks the installed copy: both programs start
# from there and find their files, a short recording replays, the settings go to the user's
# configuration folder, and the desktop entry, metainfo, MIME type and manual pages validate.
# usage: check_install.sh BUILD_DIR VERSION SOURCE_DIR
set -eu
BUILD=$1
VERSION=$2
SOURCE=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tik-install-check.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
ROOT=$WORK/root
PREFIX=$ROOT/usr
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
# Nothing of the user's is read or written: home, configuration and runtime folders are temporary.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/runtime" XDG_CACHE_HOME="$WORK/cache"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset TIK_SETTINGS
export LC_ALL=C.UTF-8

DESTDIR=$ROOT cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" || {
  cat "$WORK/install.log" >&2
  exit 1
}
installed=$(cd "$ROOT" && find . -type f | wc -l)

# --- The batch tool and the demo generator, run from the installed prefix ------------------------
out=$("$PREFIX/bin/tik-cli" --version) || fail "tik-cli --version exits with $?"
case $out in *"$VERSION"*) ;; *) fail "tik-cli --version prints '$out', not the version $VERSION" ;; esac

mkdir -p "$WORK/recording"
"$PREFIX/libexec/tik/tik-demo" "$WORK/recording" 2 || fail "installed tik-demo"
"$PREFIX/bin/tik-cli" replay "$WORK/recording/demo.wav" --settings "$WORK/recording/demo.ini" \
  --save "$WORK/replay.pls" --export height="$WORK/height.txt" --summary >"$WORK/summary.json" ||
  fail "installed tik-cli replay exits with $?"
grep -q '"pulseCount":\[[1-9][0-9]*,[1-9][0-9]*\]' "$WORK/summary.json" ||
  fail "replay found no pulses: $(cat "$WORK/summary.json")"
[ "$(head -c 4 "$WORK/replay.pls" 2>/dev/null)" = PULS ] || fail "replay wrote no data file"
[ -s "$WORK/height.txt" ] || fail "replay wrote no export"

# Settings: the user's configuration folder, never the program's folder; a writable file placed
# beside the program is used; TIK_SETTINGS overrides both.
size() { wc -c <"$1" 2>/dev/null | tr -d ' '; }
[ "$(size "$XDG_CONFIG_HOME/tik/tik.ini")" = 7184 ] || fail "no settings file in \$XDG_CONFIG_HOME/tik"
[ ! -e "$PREFIX/bin/tik-cli.ini" ] || fail "settings written beside the installed program"
rm "$XDG_CONFIG_HOME/tik/tik.ini"
printf 'unusable' >"$PREFIX/bin/tik-cli.ini"
"$PREFIX/bin/tik-cli" load "$WORK/replay.pls" 2>"$WORK/beside.err" || fail "tik-cli with a settings file beside it"
[ "$(size "$PREFIX/bin/tik-cli.ini")" = 7184 ] || fail "the settings file beside the program was not used"
[ ! -e "$XDG_CONFIG_HOME/tik/tik.ini" ] || fail "configuration folder used although a file is beside the program"
rm "$PREFIX/bin/tik-cli.ini"
TIK_SETTINGS="$WORK/named.ini" "$PREFIX/bin/tik-cli" load "$WORK/replay.pls" || fail "tik-cli with TIK_SETTINGS"
[ "$(size "$WORK/named.ini")" = 7184 ] || fail "TIK_SETTINGS was not used"

# Every data file of the sources is installed where the program looks for it.
for file in "$SOURCE"/resources/*; do
  case $file in *.cpp | *.h) continue ;; esac
  cmp -s "$file" "$PREFIX/share/tik/${file##*/}" || fail "data file ${file##*/} not installed in share/tik"
done

# --- The desktop program ---------------------------------------------------------------------------
DESKTOP=$PREFIX/share/applications/tik.desktop
if [ -x "$PREFIX/bin/tik" ]; then
  [ "$("$PREFIX/bin/tik" --version)" = "tik $VERSION" ] || fail "installed tik --version"
  QT_QPA_PLATFORM=offscreen "$PREFIX/bin/tik" --render "$WORK/pictures" "$WORK/recording/demo.wav" \
    >"$WORK/render.log" 2>&1 || fail "installed tik --render: $(cat "$WORK/render.log")"
  [ -s "$WORK/pictures/window-5.png" ] || fail "installed tik painted no windows"
  [ "$(head -c 4 "$PREFIX/share/doc/tik/tik.pdf" 2>/dev/null)" = %PDF ] || fail "no manual in share/doc/tik"

  desktop-file-validate "$DESKTOP" >"$WORK/desktop.log" 2>&1 || fail "desktop-file-validate"
  if grep -E ': (error|warning):' "$WORK/desktop.log" >&2; then fail "desktop entry"; fi
  grep -q '^Exec=tik ' "$DESKTOP" || fail "the desktop entry does not start tik"
  grep -q '^Icon=tik$' "$DESKTOP" || fail "the desktop entry has not the icon tik"
  for icon in scalable/apps/tik.svg 48x48/apps/tik.png 256x256/apps/tik.png; do
    [ -s "$PREFIX/share/icons/hicolor/$icon" ] || fail "icon $icon missing"
  done

  metainfo=$(ls "$PREFIX"/share/metainfo/*.metainfo.xml)
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  appstreamcli validate-tree --no-net "$ROOT" || fail "appstreamcli validate-tree (metainfo with its desktop entry)"
  grep -q "<release version=\"$VERSION\"" "$metainfo" || fail "metainfo names another version"
fi

# --- The MIME type of data files -------------------------------------------------------------------
XDG_DATA_DIRS="$PREFIX/share" update-mime-database "$PREFIX/share/mime" >"$WORK/mime.log" 2>&1 || fail "update-mime-database: $(cat "$WORK/mime.log")"
[ ! -s "$WORK/mime.log" ] || fail "update-mime-database: $(cat "$WORK/mime.log")"
grep -q 'PULS' "$PREFIX/share/mime/magic" 2>/dev/null || fail "no magic for data files in the MIME database"
grep -q 'application/x-tik-pulses:\*\.pls' "$PREFIX/share/mime/globs" 2>/dev/null || fail "no *.pls glob in the MIME database"

# --- Manual pages: rendered by man with every warning of groff ---------------------------------------
for page in tik-cli tik; do
  file=$PREFIX/share/man/man1/$page.1.gz
  if [ "$page" = tik ] && [ ! -x "$PREFIX/bin/tik" ]; then continue; fi
  MANWIDTH=80 man --warnings -E UTF-8 -l "$file" >"$WORK/$page.txt" 2>"$WORK/$page.err" || fail "man $page"
  if [ -s "$WORK/$page.err" ]; then fail "man $page warns: $(cat "$WORK/$page.err")"; fi
  grep -q "^NAME" "$WORK/$page.txt" || fail "man $page rendered nothing"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) of the installed copy failed" >&2
  exit 1
fi
echo "installed copy: $installed files, all checks passed"
