#!/bin/sh
# wine-prefix.sh init PREFIX: makes the prefix once (the first start of a new prefix is slow).
# wine-prefix.sh stop PREFIX: ends the prefix's wineserver so that nothing outlives a test run.
set -e
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
case "$action" in
init)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >/dev/null 2>&1
    fi
    wineserver -w
    ;;
stop)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: wine-prefix.sh init|stop PREFIX" >&2
    exit 2
    ;;
esac
