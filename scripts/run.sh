#!/bin/sh
# Starts TIK after `make run` built it: the desktop program when there is a display, else the batch tool.
BUILD="${1:-build}"
if [ -x "$BUILD/tik" ] && [ -n "$DISPLAY$WAYLAND_DISPLAY" ]; then
  exec "$BUILD/tik"
fi
echo "No display (or no desktop program built): running the batch tool instead."
mkdir -p out
exec "$BUILD/tik-cli" defaults out/tik-defaults.ini
