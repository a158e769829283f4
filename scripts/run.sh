#!/bin/sh
# Starts TIK after `make run` built it, on the demo recording: the desktop program when there is a
# display; otherwise the batch tool writes the demo's exports and pictures into out/demo-results.
set -e
BUILD="${1:-build}"
DEMO=out/demo
RESULTS=out/demo-results
mkdir -p "$DEMO"
# Written again when the demo writer changed since (new settings, a new recording).
if [ ! -f "$DEMO/demo.wav" ] || [ ! -f "$DEMO/demo.ini" ] || [ "$BUILD/tik-demo" -nt "$DEMO/demo.ini" ]; then
  echo "Writing the demo recording to $DEMO ..."
  "$BUILD/tik-demo" "$DEMO"
fi

if [ -x "$BUILD/tik" ] && [ -n "$DISPLAY$WAYLAND_DISPLAY" ]; then
  # The first start takes the demo's settings (all seven windows, calibration, one region).
  if [ ! -f "$BUILD/tik.ini" ] && [ -z "$TIK_SETTINGS" ]; then cp "$DEMO/demo.ini" "$BUILD/tik.ini"; fi
  exec "$BUILD/tik" "$DEMO/demo.wav"
fi

echo "No display: running the batch tool on the demo recording instead."
mkdir -p "$RESULTS"
set --
for kind in rate-time rate-hist interval width height height-time roi roi-time coincident; do
  set -- "$@" --export "$kind=$RESULTS/$kind.txt"
done
TIK_SETTINGS="$RESULTS/tik.ini" "$BUILD/tik-cli" replay "$DEMO/demo.wav" --settings "$DEMO/demo.ini" \
  --save "$RESULTS/demo.pls" "$@" --summary > "$RESULTS/summary.json"
if [ -x "$BUILD/tik" ]; then
  cp "$DEMO/demo.ini" "$RESULTS/render.ini"
  TIK_SETTINGS="$RESULTS/render.ini" QT_QPA_PLATFORM=offscreen \
    "$BUILD/tik" --render "$RESULTS/pictures" "$DEMO/demo.wav" || true
fi
echo "Results of the demo recording are in $(pwd)/$RESULTS:"
ls "$RESULTS"
