#!/bin/sh
# explain-link.sh MAP LINK-COMMAND...: runs murl.dll's link, which writes its map to MAP. When the
# link fails because the C++ runtime's own throwers came in beside those that
# src/server/runtime/lean_throws.cpp replaces, says which use brought them and what to do.
set -u
map=$1
shift
log=$(mktemp)
"$@" >"$log" 2>&1
status=$?
cat "$log"
if [ "$status" -ne 0 ] && grep -q 'multiple definition of .std::__throw_' "$log"; then
    # The map names, under the archive member that holds the throwers, the symbol it came for.
    wanted=$(sed -n '/libstdc++\.a(functexcept\.o)$/{n;s/^ *\([^ ]*\) (\(.*\))$/\2 (in \1)/p;q}' \
        "$map" 2>/dev/null)
    echo "explain-link.sh: the module now uses ${wanted:-a thrower of the C++ runtime} that" \
        "src/server/runtime/lean_throws.cpp does not replace. The runtime defines all its" \
        "throwers in one object, so that use brought in the ones lean_throws.cpp replaces too." \
        "Replace it in lean_throws.cpp as its neighbours are (std::bad_alloc for a" \
        "size, ContainerMisused for a misuse), or avoid the call." >&2
fi
rm -f "$log"
exit "$status"
