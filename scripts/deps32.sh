#!/usr/bin/env bash
# Sets up what running the shipped 32-bit stub needs (Debian 12, root); quick when already done.
# This kernel runs no 32-bit programs, so 32-bit Wine's loader runs under qemu-user's i386
# emulator (10.x from bookworm-backports: bookworm's 7.2 cannot run Wine). Both are unpacked into
# a folder of their own: wine32:i386 installed system-wide would make every 64-bit Wine run go
# through the 32-bit loader. The i386 libraries the loader needs come from bookworm itself.
# Prints nothing but progress; the folder is $VEL_WINE32_ROOT (default /opt/velnor-wine32):
#   loader/usr/lib/wine/{wine,wine64,wineserver64}   the private loaders, beside links to the
#                                                    system's library and share folders
#   qemu-i386                                        the emulator
set -euo pipefail
root=${VEL_WINE32_ROOT:-/opt/velnor-wine32}
export DEBIAN_FRONTEND=noninteractive

i386_libs=(libwine:i386 libgnutls30:i386 libxrender1:i386 libxrandr2:i386 libxcursor1:i386 libxi6:i386
           libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386 libxxf86vm1:i386)

# The 32-bit loader must come from the same Wine as the system's 64-bit one.
wine_version=$(dpkg-query -W -f '${Version}' wine64)
stamp="qemu-user from bookworm-backports; wine32:i386 $wine_version"
if [ "$(cat "$root/ready" 2>/dev/null)" = "$stamp" ] && dpkg -s "${i386_libs[@]}" >/dev/null 2>&1; then
  exit 0
fi
echo "setting up 32-bit Wine under emulation in $root"

# ---- i386 libraries from bookworm
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
if ! dpkg -s "${i386_libs[@]}" >/dev/null 2>&1; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${i386_libs[@]}" >/dev/null
fi
# After the install: libwine:i386 and libwine must be the same version.
[ "$(dpkg-query -W -f '${Version}' libwine:i386)" = "$wine_version" ] || {
  echo "libwine:i386 is not the version of wine64 ($wine_version)" >&2; exit 1; }

# ---- the mirror the machine uses for bookworm, for a private list of bookworm-backports
mirror=
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  mirror=$(awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) while (i <= NF && $i !~ /\]$/) i++; if ($2 ~ /^\[/) i++;
                 if ($(i + 1) == "bookworm") { print $i; exit } }' "$f")
  [ -n "$mirror" ] && break
done
if [ -z "$mirror" ]; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: the first one of type deb that lists the suite bookworm.
    mirror=$(awk 'function flush() { if (deb && suite && uri != "" && found == "") found = uri; deb = suite = 0; uri = "" }
                  /^[ \t]*$/ { flush(); next }
                  tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
                  tolower($1) == "uris:" { uri = $2 }
                  tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == "bookworm") suite = 1 }
                  END { flush(); print found }' "$f")
    [ -n "$mirror" ] && break
  done
fi
[ -n "$mirror" ] || { echo "no apt source names the bookworm suite" >&2; exit 1; }

work="$root.new.$$"
rm -rf "$work"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts" "$work/debs"
trap 'rm -rf "$work"' EXIT
echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
  >"$work/apt/sources.list"
private=(-o Dir::Etc::sourcelist="$work/apt/sources.list" -o Dir::Etc::sourceparts="$work/apt/parts"
         -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o APT::Architectures::=amd64
         -o APT::Sandbox::User=root)
apt-get "${private[@]}" update -qq
(cd "$work/debs" && apt-get "${private[@]}" download -qq qemu-user >/dev/null)
# wine32:i386 of the system's Wine version, from the system's own lists.
(cd "$work/debs" && apt-get -o APT::Sandbox::User=root download -qq "wine32:i386=$wine_version" >/dev/null)

# ---- the private folder
dpkg-deb --fsys-tarfile "$work"/debs/qemu-user_*.deb | tar -x -C "$work" ./usr/bin/qemu-i386
mv "$work/usr/bin/qemu-i386" "$work/qemu-i386"
dpkg-deb --fsys-tarfile "$work"/debs/wine32_*.deb | tar -x -C "$work" ./usr/lib/wine/wine
mkdir -p "$work/loader/usr/lib/wine"
mv "$work/usr/lib/wine/wine" "$work/loader/usr/lib/wine/wine"
rm -rf "$work/usr" "$work/apt" "$work/debs"
# Wine finds its other loader, its libraries and its data from where its loader is: a copy of
# wine64 here starts the 32-bit loader beside it for 32-bit programs.
cp /usr/lib/wine/wine64 "$work/loader/usr/lib/wine/wine64"
ln -s /usr/lib/wine/wineserver64 "$work/loader/usr/lib/wine/wineserver64"
ln -s /usr/lib/wine/wineserver64 "$work/loader/usr/lib/wine/wineserver"
ln -s /usr/lib/i386-linux-gnu "$work/loader/usr/lib/i386-linux-gnu"
ln -s /usr/lib/x86_64-linux-gnu "$work/loader/usr/lib/x86_64-linux-gnu"
ln -s /usr/share "$work/loader/usr/share"
echo "$stamp" >"$work/ready"
rm -rf "$root"
mv "$work" "$root"
trap - EXIT
echo "32-bit Wine ready in $root"
