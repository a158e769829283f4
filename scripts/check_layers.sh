#!/bin/sh
# The layer rule, checked on the sources: core <- acquisition <- analysis <- files <- ui. A file of a
# layer includes only its own layer, the layers below it and the platform seam headers (platform/*.h);
# never ui/, resources/, cli/ or a platform implementation (platform/qt/, platform/portaudio/, ...).
# Requests upwards go through core/upcalls.h. Usage: check_layers.sh [SOURCE_DIR]; exit 1 on a breach.
root=${1:-.}
status=0
for layer in core acquisition analysis files; do
    case $layer in
        core) allowed="core" ;;
        acquisition) allowed="core acquisition" ;;
        analysis) allowed="core acquisition analysis" ;;
        files) allowed="core acquisition analysis files" ;;
    esac
    for file in "$root/$layer"/*.h "$root/$layer"/*.cpp; do
        [ -f "$file" ] || continue
        includes=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
        for include in $includes; do
            ok=0
            case $include in
                platform/*/*) ok=0 ;;
                platform/*) ok=1 ;;
                */*) for layerBelow in $allowed; do [ "${include%%/*}" = "$layerBelow" ] && ok=1; done ;;
                *) ok=1 ;;
            esac
            if [ $ok -eq 0 ]; then
                echo "${file#"$root"/}: includes \"$include\"; $layer/ may include only $allowed and platform/*.h"
                status=1
            fi
        done
    done
done
exit $status
