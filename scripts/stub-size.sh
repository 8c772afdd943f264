#!/usr/bin/env bash
# Where the shipped stub's bytes go: reads the link map that the stub's own link writes (the
# same link as the shipped file; stripping drops only the symbol table) and the symbols that each
# of the stub's object files defines, and prints the file's sections, the twenty largest
# contributors (functions, data, library objects) and the total per source folder.
set -euo pipefail

usage() {
    cat <<'TXT'
Usage: bash scripts/stub-size.sh [--no-build] [SHIPPING_TREE]
Where the bytes of the shipped 32-bit stub go.
  SHIPPING_TREE  the shipping build tree (default build/win32; configured and built first)
  --no-build     read the tree as it is
  --help         show this text
Prints the file size and its sections, the 20 largest contributors and the total per folder
(src/<subsystem>, third_party/zlib, the C and C++ runtime, imports, resources, headers).
Whole-program optimisation puts inlined functions inside their callers: a function's figure is
the code it ended up as, and a folder's total is that of the functions defined there.
TXT
}

here=$(cd "$(dirname "$0")/.." && pwd)
tree="$here/build/win32"
build=1
while [ $# -gt 0 ]; do
    case "$1" in
        --help|-h) usage; exit 0 ;;
        --no-build) build=0 ;;
        -*) echo "stub-size: unknown option $1" >&2; usage >&2; exit 2 ;;
        *) tree=$(cd "$1" && pwd) ;;
    esac
    shift
done

if [ "$build" -eq 1 ]; then
    bash "$here/scripts/deps.sh"
    cmake -S "$here" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
        -DVEL_WIN64_TREE="$here/build/win64" >/dev/null
    cmake --build "$tree" --target stub >/dev/null
fi

stub="$tree/src/stub/stub.exe"
map="$tree/src/stub/stub.map"
objs="$tree/stub-clang"
for f in "$stub" "$map"; do
    [ -f "$f" ] || { echo "stub-size: $f is missing (build the shipping tree first)" >&2; exit 1; }
done
nm=$(command -v llvm-nm || command -v llvm-nm-14 || true)
[ -n "$nm" ] || { echo "stub-size: llvm-nm is missing (Debian package llvm)" >&2; exit 1; }

# Which source file defines which symbol: the stub's object files are compiler bitcode.
symbols=$(mktemp)
trap 'rm -f "$symbols"' EXIT
find "$objs" -path '*CMakeFiles*' -name '*.obj' | while read -r o; do
    src=$(basename "$o" .obj)
    dir=$(dirname "$o")
    rel=${dir#*.dir/}
    [ "$rel" = "$dir" ] && rel=""
    "$nm" --defined-only --format=posix "$o" 2>/dev/null | awk -v f="$rel/$src" '{print $1, f}'
done > "$symbols"

python3 - "$stub" "$map" "$symbols" "$objs" <<'PY'
import collections, os, re, struct, subprocess, sys

stub, map_path, sym_path, objs = sys.argv[1:5]
# The decoder's objects are linked as they are (the map names them without their library).
zlib_objects = set()
for root, _, files in os.walk(os.path.join(objs, 'CMakeFiles', 'velinflate.dir')):
    zlib_objects.update(f for f in files if f.endswith('.obj'))
data = open(stub, 'rb').read()
pe = struct.unpack_from('<I', data, 0x3C)[0]
count = struct.unpack_from('<H', data, pe + 6)[0]
opt = struct.unpack_from('<H', data, pe + 20)[0]
sections = []
for i in range(count):
    name, vsize, va, raw, rawptr = struct.unpack_from('<8sIIII', data, pe + 24 + opt + 40 * i)
    sections.append((name.rstrip(b'\0').decode(), raw))

defined = {}
for line in open(sym_path):
    parts = line.split()
    if len(parts) == 2:
        defined.setdefault(parts[0], parts[1])

def folder_of_source(path):
    path = path.lstrip('/')
    if path.startswith('third_party/zlib'):
        return 'third_party/zlib'
    m = re.match(r'(src/[^/]+)/', path)
    if m:
        return m.group(1)
    if path.startswith('src/stub') or '__/program' in path:
        return 'src/program'
    return 'src (other)'

def base_symbol(name):
    # Names the optimiser gave to copies and local functions: name.llvm.N, name.N, name@16.
    # A leading \x01 marks a name the compiler must not decorate further.
    name = re.sub(r'(\.llvm\.\d+|\.\d+)+$', '', name.lstrip('\x01'))
    return name

def folder_of_input(path):
    p = path.lower()
    if path.split('/')[-1] in zlib_objects:
        return 'third_party/zlib'
    if p.endswith('.res'):
        return 'resources (icon, manifest, version)'
    if re.search(r'lib(kernel32|user32|gdi32|advapi32|shell32|comctl32|ole32|oleaut32|uuid|comdlg32|winspool)', p):
        return 'imports (thunks and tables)'
    if 'libstdc++' in p or p.endswith('tree.o'):
        return 'C++ library (libstdc++)'
    return 'C runtime (mingw-w64, libgcc)'

# lld map lines: "VMA Size Align Out In Symbol"; input sections are indented under their output.
rows = []
out = None
out_size = collections.Counter()
for line in open(map_path):
    line = line.rstrip('\n')
    m = re.match(r'^([0-9a-f]{8}) ([0-9a-f]{8}) +\d+ (\S+)$', line)
    if m:
        out = m.group(3)
        out_size[out] = int(m.group(2), 16)
        continue
    m = re.match(r'^([0-9a-f]{8}) ([0-9a-f]{8}) +\d+ {9}(\S.*)$', line)
    if not m or out is None:
        continue
    size = int(m.group(2), 16)
    if size == 0:
        continue
    rows.append((out, m.group(3), size))

contrib = collections.Counter()   # (folder, label) -> bytes
folders = collections.Counter()
bss = 0
listed = collections.Counter()
for out, _, size in rows:
    listed[out] += size
# What the linker made itself is not itemised: relocations, import tables, alignment.
for out, size in out_size.items():
    if size > listed[out]:
        what = 'relocations (address-space randomisation)' if out == '.reloc' else 'linker-made (import tables, alignment)'
        rows.append((out, '<linker> ' + out, size - listed[out]))
for out, inp, size in rows:
    if out in ('.bss',) or re.search(r':\(\.bss', inp):
        bss += size
        continue
    if inp.startswith('<linker> '):
        what = 'relocations (address-space randomisation)' if out == '.reloc' else 'linker-made (import tables, alignment)'
        key = (what, out)
    elif out in ('.rsrc',):
        key = ('resources (icon, manifest, version)', '.rsrc')
    elif 'lto.obj:(' in inp:
        section = inp.split(':(', 1)[1].rstrip(')')
        kind, _, sym = section.partition('$')
        if not sym:
            key = ('string literals and constants (whole program)', kind)
        else:
            sym = re.sub(r'^\.(rdata|data|text|bss)\$', '', sym)
            base = base_symbol(sym)
            src = defined.get(base) or defined.get('_' + base) or defined.get(base.lstrip('_'))
            folder = folder_of_source(src) if src else 'src (other)'
            key = (folder, base)
    elif inp.startswith('<internal>'):
        key = ('imports (thunks and tables)', inp)
    else:
        obj = inp.split(':(', 1)[0]
        key = (folder_of_input(obj), obj.split('/')[-1])
    contrib[key] += size
    folders[key[0]] += size

mangled = [k[1] for k in contrib]
# The target's C names carry one leading underscore.
plain = [m[1:] if m.startswith('__Z') else m for m in mangled]
dem = subprocess.run(['c++filt'], input='\n'.join(plain), capture_output=True, text=True).stdout.split('\n')
pretty = {m: (d if d else m) for m, d in zip(mangled, dem)}

total = len(data)
raw_total = sum(r for _, r in sections)
print(f"{stub}: {total:,} bytes")
print("sections (bytes in the file): " + "  ".join(f"{n} {r:,}" for n, r in sections)
      + f"  headers {total - raw_total:,}")
print()
print("20 largest contributors (bytes, folder, what):")
for (folder, label), size in contrib.most_common(20):
    text = pretty.get(label, label)
    if len(text) > 110:
        text = text[:107] + '...'
    print(f"  {size:8,}  {folder:<34} {text}")
print()
print("total per folder (section contents; the rest is alignment within sections and padding):")
for folder, size in folders.most_common():
    print(f"  {size:8,}  {folder}")
print(f"  {total - raw_total:8,}  file headers")
print(f"  ({bss:,} bytes of zero-initialised data take no room in the file)")
PY
