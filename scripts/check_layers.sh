#!/usr/bin/env bash
# Keeps the layers pointing one way. Reads every `#include "runtime/..."` line under
# runtime/ and program/ and fails on an include that points up the order
#   platform < engine < values < {gfx2d, input_sound, path, net, gfx3d} < frame < program
# or sideways between two subsystems, except where one is built on another (ALLOWED).
# It also fails on a function declared in a header of one layer and defined only in a
# higher one: a call up a layer goes through the engine's table of upward calls, which
# the higher layer fills in. The program's own entry points (PROGRAM_HOOKS), declared by
# the runtime and defined by every program, are exempt.
# Usage: check_layers.sh [ROOT]   (ROOT defaults to the repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

declare -A rank=([platform]=0 [engine]=1 [values]=2
                 [gfx2d]=3 [input_sound]=3 [path]=3 [net]=3 [gfx3d]=3
                 [frame]=4 [program]=5)
# Subsystems that use another by design, as "user>used"; each says so in its header.
ALLOWED=" gfx2d>input_sound gfx3d>gfx2d "
# The program's own entry points: the runtime declares and calls them, each program
# defines them (UserMain, the program itself; ProgramSettings, its window settings).
PROGRAM_HOOKS=" UserMain ProgramSettings "

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

# Declarations against definitions. A definition is a line at the left margin (the
# code does not indent inside its namespace) naming the function before "(" and not
# ending with ";"; a declaration is such a line of a header ending with ";".
layer_of() {
    case $1 in
        program/*) echo program ;;
        runtime/*) local own=${1#runtime/}; echo "${own%%/*}" ;;
    esac
}
declare -A lowest=()   # function name -> the lowest layer defining it
while read -r name layer; do
    if [ -z "${lowest[$name]+x}" ] || [ "${rank[$layer]:-99}" -lt "${rank[${lowest[$name]}]:-99}" ]; then
        lowest[$name]=$layer
    fi
done < <(cd "$root" && find runtime program -name '*.cpp' -print0 \
    | xargs -0 -r grep -HoP '^(?![\s#/}])(?!.*;\s*$)(?!.*\b(return|using|typedef|namespace|struct|class|enum)\b).*?\b\K[A-Za-z_]\w*(?=\()' \
    | awk -F: '{ split($1, part, "/"); layer = part[1] == "program" ? "program" : part[2]; print $2, layer }' | sort -u)
while IFS= read -r -d '' header; do
    rel=${header#"$root"/}
    own=$(layer_of "$rel")
    [ -n "$own" ] && [ -n "${rank[$own]+x}" ] || continue
    while IFS=: read -r line name; do
        [[ $PROGRAM_HOOKS == *" $name "* ]] && continue
        where=${lowest[$name]:-}
        if [ -n "$where" ] && [ "${rank[$where]:-99}" -gt "${rank[$own]}" ]; then
            echo "layers: $rel:$line declares $name, defined only in the higher layer $where" >&2; bad=1
        fi
    done < <(grep -noP '^(?![\s#/}])(?!.*\b(inline|return|using|typedef|static_assert|constexpr|template)\b)(?=.*;\s*(//.*)?$).*?\b\K[A-Za-z_]\w*(?=\()' "$header" \
             | sort -t: -k2,2 -u)
done < <(find "$root/runtime" "$root/program" -type f -name '*.h' -print0 2>/dev/null)
# Win32 headers belong to the platform seam alone, as SDL and POSIX ones do.
win32='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|winsock2?|ws2tcpip|iphlpapi|commdlg|shellapi|shlobj|winbase|winuser|windef|winnt|processthreadsapi|fileapi|synchapi|dbghelp)\.h>'
while IFS= read -r hit; do
    echo "layers: ${hit#"$root"/}: a Win32 header outside runtime/platform/" >&2; bad=1
done < <(grep -rniE "$win32" "$root/runtime" "$root/program" "$root/include" 2>/dev/null \
         | grep -v "^$root/runtime/platform/" | cut -d: -f1,2 || true)

if [ "$bad" -ne 0 ]; then
    echo "layers: includes or declarations point the wrong way (see above)" >&2
    exit 1
fi
echo "layers: every include and declaration points down"
