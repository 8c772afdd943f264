# Sourced: starts a private Xvfb display and a persistent wineserver for one build tree, and stops
# both by their process ids. Without a second argument the Windows programs under test are the
# x86_64 build, run by the system's 64-bit Wine loader. With the folder made by scripts/deps32.sh
# as second argument the prefix is a 64-bit one with 32-bit support (its own, in the tree), run by
# the private loaders there: 32-bit programs start under the i386 emulator, which is registered
# for i386 programs machine-wide while the environment runs and removed by wine_env_stop.
wine_env_start() {
  local tree; tree=$(cd "$1" && pwd)
  local wine32=${2:-}
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -n "$wine32" ]; then
    export WINEPREFIX="$tree/wineprefix-wow64"
    export WINELOADER="$wine32/loader/usr/lib/wine/wine64" WINESERVER="$wine32/loader/usr/lib/wine/wineserver64"
    wine_binfmt_register "$wine32/qemu-i386"
  else
    export WINEPREFIX="$tree/wineprefix"
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  fi
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
  wine_binfmt_remove
}

# The binfmt_misc entry of this shell: named after its process id, so that runs side by side (and
# other users of binfmt_misc) keep theirs. F: the kernel opens the emulator now, so it is found
# from any mount namespace. Entries of ours whose shell is gone (a killed run) are removed first.
wine_binfmt_register() {
  local emulator=$1 dir=/proc/sys/fs/binfmt_misc
  [ -e "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir"
  local e
  for e in "$dir"/velnor-i386-*; do
    [ -e "$e" ] || continue
    kill -0 "${e##*-}" 2>/dev/null || echo -1 >"$e" 2>/dev/null || true
  done
  VEL_BINFMT_ENTRY="$dir/velnor-i386-$$"
  [ -e "$VEL_BINFMT_ENTRY" ] && echo -1 >"$VEL_BINFMT_ENTRY"
  # i386 ELF programs, executables and position-independent ones.
  echo ":velnor-i386-$$:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$emulator:F" \
    >"$dir/register"
}

wine_binfmt_remove() {
  if [ -n "${VEL_BINFMT_ENTRY:-}" ] && [ -e "$VEL_BINFMT_ENTRY" ]; then
    echo -1 >"$VEL_BINFMT_ENTRY" || true
  fi
  VEL_BINFMT_ENTRY=
}
