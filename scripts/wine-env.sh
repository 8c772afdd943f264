# Sourced: starts a private Xvfb display and a persistent 64-bit wineserver for one build tree,
# and stops both by their process ids. 32-bit programs cannot run on this kernel, so the
# Windows programs under test are the x86_64 build, run by the 64-bit Wine loader.
wine_env_start() {
  local tree; tree=$(cd "$1" && pwd)
  export WINEPREFIX="$tree/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  VEL_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating Wine prefix $WINEPREFIX"
    "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w || true
    # Without a window manager, Wine's managed windows take about 2 s to go away: unmanaged
    # windows keep GUI tests fast.
    "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    "$WINESERVER" -w || true
  fi
  # A drive with little room (T:, a few MB of tmpfs), for the low-space scenarios. Mounting needs
  # root; the scenarios say they were skipped when it cannot be mounted.
  VEL_SMALL_MOUNT="$tree/smalltemp"
  mkdir -p "$VEL_SMALL_MOUNT"
  if mountpoint -q "$VEL_SMALL_MOUNT" || mount -t tmpfs -o size=4m tmpfs "$VEL_SMALL_MOUNT" 2>/dev/null; then
    ln -sfn "$VEL_SMALL_MOUNT" "$WINEPREFIX/dosdevices/t:"
    export VEL_SMALL_TEMP='T:\'
  else
    echo "note: no small temp drive (tmpfs mount refused): the low-space scenarios are skipped"
    VEL_SMALL_MOUNT=
  fi
  "$WINESERVER" -f -p >/dev/null 2>&1 &
  VEL_WINESERVER_PID=$!
  sleep 0.5
  # Start Wine's own background services now, detached from our output: started by the first
  # test instead, they would inherit its output pipe and keep ctest waiting for ever.
  "$WINELOADER" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
  if [ -n "${VEL_WINESERVER_PID:-}" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    kill "$VEL_WINESERVER_PID" 2>/dev/null || true
  fi
  [ -n "${VEL_XVFB_PID:-}" ] && kill "$VEL_XVFB_PID" 2>/dev/null || true
  [ -n "${VEL_SMALL_MOUNT:-}" ] && umount "$VEL_SMALL_MOUNT" 2>/dev/null || true
  unset VEL_SMALL_TEMP VEL_SMALL_MOUNT
  VEL_WINESERVER_PID= VEL_XVFB_PID=
}
