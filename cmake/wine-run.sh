#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest and custom commands of the Windows build.
#
# - One Wine prefix per user in the temporary folder, created once (serialised with a lock so
#   parallel tests do not race to create it).
# - No display, no Wine debug output.
# - The program's stderr goes to a file that is printed after it exits: Wine keeps the
#   inherited stderr open for a few seconds after the program ends, which would make ctest
#   wait for every test.
set -u

loader=""
for candidate in "${QS_WINE:-}" /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)" \
  "$(command -v wine 2>/dev/null)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then
    loader=$candidate
    break
  fi
done
if [ -z "$loader" ]; then
  echo "wine-run.sh: no Wine loader found (install wine64)" >&2
  exit 127
fi
loader_dir=$(dirname "$loader")
wineserver=""
for candidate in "$loader_dir/wineserver" "$(command -v wineserver 2>/dev/null)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then
    wineserver=$candidate
    break
  fi
done

tmp_root=${TMPDIR:-/tmp}
export WINEPREFIX=${QS_WINEPREFIX:-$tmp_root/quillstreak-wine-$(id -u)}
export WINEDEBUG=-all
# No Mono/Gecko install prompts while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$WINEPREFIX/.quillstreak-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.quillstreak-ready" ]; then
      "$loader" wineboot --init >/dev/null 2>&1 </dev/null
      if [ -n "$wineserver" ]; then "$wineserver" -w; fi
      touch "$WINEPREFIX/.quillstreak-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# One wine server for a whole test run: started here when none is running, it stays 30 s after
# its last program ends (the default is a few seconds), so that the next test does not start
# while the server shuts down. It exits by itself after the last test. When a server is
# already running this returns at once.
if [ -n "$wineserver" ]; then "$wineserver" -p30 >/dev/null 2>&1 </dev/null; fi

# A program started just as the previous one's wine server shuts down (it lingers a few seconds
# after its last client) cannot connect to it: "wine client error", and the program never ran.
# Such a start is tried again, twice at most.
err_file=$(mktemp "$tmp_root/quillstreak-wine-stderr.XXXXXX")
for attempt in 1 2 3; do
  "$loader" "$@" 2>"$err_file"
  status=$?
  if [ $status -eq 0 ] || [ $attempt -eq 3 ] || ! grep -q '^wine client error' "$err_file"; then
    break
  fi
  echo "wine-run.sh: the wine server went away as the program started; starting it again" >&2
  sleep 1
done
cat "$err_file" >&2
rm -f "$err_file"
exit $status
