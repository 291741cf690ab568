#!/bin/sh
# Runs a Windows program under Wine in the given private prefix: wine-run.sh PREFIX PROGRAM ARGS...
# CTest uses it as the cross-compiling emulator, so no test ever touches ~/.wine.
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts in a fresh prefix; no X display needed, the programs open no window.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -x /usr/lib/wine/wine64 ]; then
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
