#!/usr/bin/env bash
# Keeps the layers pointing one way. Reads every `#include "runtime/..."` line under
# runtime/ and program/ and fails on an include that points up the order
#   platform < engine < values < {gfx2d, input_sound, path, net, gfx3d} < frame < program
# or sideways between two subsystems, except where one is built on another (ALLOWED).
# Usage: check_layers.sh [ROOT]   (ROOT defaults to the repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

declare -A rank=([platform]=0 [engine]=1 [values]=2
                 [gfx2d]=3 [input_sound]=3 [path]=3 [net]=3 [gfx3d]=3
                 [frame]=4 [program]=5)
# Subsystems that use another by design, as "user>used"; each says so in its header.
ALLOWED=" gfx2d>input_sound gfx3d>gfx2d "

bad=0
while IFS= read -r -d '' file; do
    rel=${file#"$root"/}
    case $rel in
        program/*) own=program ;;
        runtime/*) own=${rel#runtime/}; own=${own%%/*} ;;
        *) continue ;;
    esac
    if [ -z "${rank[$own]+x}" ]; then
        echo "layers: $rel: folder runtime/$own has no place in the order" >&2; bad=1; continue
    fi
    while IFS=: read -r line target; do
        case $target in
            program/*) dep=program ;;
            *) dep=${target#runtime/}; dep=${dep%%/*} ;;
        esac
        [ "$dep" = "$own" ] && continue
        if [ -z "${rank[$dep]+x}" ]; then
            echo "layers: $rel:$line includes $target: runtime/$dep has no place in the order" >&2; bad=1
        elif [ "${rank[$dep]}" -gt "${rank[$own]}" ]; then
            echo "layers: $rel:$line includes $target: $own may not include the higher layer $dep" >&2; bad=1
        elif [ "${rank[$dep]}" -eq "${rank[$own]}" ] && [[ $ALLOWED != *" $own>$dep "* ]]; then
            echo "layers: $rel:$line includes $target: subsystem $own may not include subsystem $dep" >&2; bad=1
        fi
    done < <(grep -noE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(runtime|program)/[^"]+"' "$file" \
             | sed -E 's/^([0-9]+):.*"((runtime|program)\/[^"]+)"/\1:\2/')
done < <(find "$root/runtime" "$root/program" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null)

if [ "$bad" -ne 0 ]; then
    echo "layers: includes point the wrong way (see above)" >&2
    exit 1
fi
echo "layers: every include points down"
