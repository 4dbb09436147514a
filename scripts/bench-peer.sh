#!/usr/bin/env bash
# Our single-file package against the peer installer's (makensis, LZMA solid)
# on the same products, side by side in one run: (a) about 1,000 files and
# 85 MiB of Wine's own i386 DLLs and small texts (A_FILES, default 1000,
# three tenths of them DLLs), (b) B_MIB (default 1024)
# MiB in four large files, (c) the sample. Each is packed by `kvlship build --package` and by
# makensis doing the same work (one File per folder, an uninstaller, a
# shortcut, a removal entry), then installed under Wine from a fresh copy of
# one clean prefix each time: silently (net of Wine's own start, `wine cmd
# /c exit`, best of RUNS) and, unless INTERACTIVE=0, with the pages answered
# by keystrokes (xdotool) on a virtual display. Printed as seconds, bytes and
# the ratios ours/NSIS. Then, for the package's installation, the peak extra
# disk space and the bytes written (setup's copy out of the package's
# folder), from the first buildable product.
# REUSE=1 installs the packages an earlier run built (no build columns).
# A benchmark, not a test. Usage: BUILD=... scripts/bench-peer.sh [a] [b] [c]
set -euo pipefail
source "$(dirname "$0")/common.sh"

RUNS=${RUNS:-3}
INTERACTIVE=${INTERACTIVE:-1}
B_MIB=${B_MIB:-1024}
A_FILES=${A_FILES:-1000}
REUSE=${REUSE:-0}
DATA="$BUILD/bench-peer"
PRODUCTS=("$@")
[ ${#PRODUCTS[@]} -gt 0 ] || PRODUCTS=(a b c)
DLLS=/usr/lib/i386-linux-gnu/wine/i386-windows

ensure_deps
if ! command -v makensis >/dev/null 2>&1; then
    DEB_PACKAGES="$DEB_PACKAGES nsis"
    ensure_deps_packages
fi
mkdir -p "$BUILD" "$DATA"
build_all >/dev/null
CAPTION=$(sed -n 's/^#define SETUP_DIALOG_CAPTION "\(.*\)"$/\1/p' "$ROOT/include/setupcontrols.h")

seconds() { awk "BEGIN { printf \"%.2f\", $2 - $1 }"; }
best() { sort -g | head -1; }
ratio() {
    case "$1$2" in *-*) echo - ;; *) awk "BEGIN { if ($2 > 0) printf \"%.2f\", $1 / $2; else print \"-\" }" ;; esac
}

# The products' files, laid out as they install (the peer's File lines take
# a folder each), with a manifest for kvlship; made once.
make_products() {
    $HOST_PYTHON - "$DATA" "$DLLS" "$B_MIB" "$A_FILES" "$@" <<'PY'
import os, random, sys
data, dlls, b_mib, a_files, wanted = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:]

def manifest(folder, title, files, extra=""):
    lines = ["[package]", f"title = {title}", "licence = licence.txt", "module = stock",
             f"id = Bench.{title.replace(' ', '')}", "version = 1.0", "publisher = Bench",
             "fast-copy = yes", "",
             "[files]"]
    lines += [f"{name} = files/{name.replace(chr(92), '/')}" for name in files]
    lines += ["", "[PRODUCT]", f"cbFolder = {title}", "", "[GROUP]", f"cbName = {title}",
              f"cbItem00=Read Me|README.TXT||.|About {title}", extra]
    with open(os.path.join(folder, "product.manifest"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(folder, "licence.txt"), "w") as f:
        f.write("The benchmark's licence.\n")

def put(folder, name, data_bytes):
    path = os.path.join(folder, "files", *name.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data_bytes)

rng = random.Random(27)
words = [f"word{i}" for i in range(3000)]
def text(size):
    out = []
    while sum(map(len, out)) < size:
        out.append(" ".join(rng.choice(words) for _ in range(12)) + "\r\n")
    return "".join(out)[:size].encode()

if "a" in wanted:
    folder = os.path.join(data, f"a{a_files}")
    if not os.path.exists(os.path.join(folder, "product.manifest")):
        names, total = [], 0
        for name in sorted(os.listdir(dlls)):
            path = os.path.join(dlls, name)
            size = os.path.getsize(path)
            if not os.path.isfile(path) or total + size > 80 << 20 or len(names) >= a_files * 3 // 10:
                continue
            with open(path, "rb") as f:
                put(folder, "bin\\" + name, f.read())
            names.append("bin\\" + name)
            total += size
        put(folder, "README.TXT", text(2000))
        names.append("README.TXT")
        for i in range(a_files - len(names)):
            name = f"docs\\part{i // 100}\\NOTE{i:04d}.TXT"
            put(folder, name, text(rng.randrange(1000, 10000)))
            names.append(name)
        manifest(folder, "Bench A", names)
if "b" in wanted:
    folder = os.path.join(data, f"b{b_mib}")
    if not os.path.exists(os.path.join(folder, "product.manifest")):
        names = ["README.TXT"]
        put(folder, "README.TXT", text(2000))
        for i in range(4):
            # Text runs and noise, as setup-like data; a quarter of B_MIB each.
            name = f"data\\LARGE{i}.DAT"
            path = os.path.join(folder, "files", "data", f"LARGE{i}.DAT")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            corpus = text(1 << 20)
            with open(path, "wb") as f:
                written = 0
                while written < b_mib << 18:
                    start = rng.randrange(len(corpus) - 4096)
                    block = corpus[start:start + rng.randrange(512, 4096)] + rng.randbytes(rng.randrange(16, 256))
                    block = block[: (b_mib << 18) - written]
                    f.write(block)
                    written += len(block)
            names.append(name)
        manifest(folder, "Bench B", names)
PY
}

# The sample's files as they install, hard-linked, and a manifest naming
# them there: the peer's script reads the same tree as the others.
make_sample() {
    local folder="$DATA/c"
    [ -f "$folder/product.manifest" ] && return 0
    rm -rf "$folder" && mkdir -p "$folder/files"
    $HOST_PYTHON - "$ROOT/sample/atlas.manifest" "$BUILD/bin" "$folder" <<'PY'
import os, re, shutil, sys
manifest, binary, folder = sys.argv[1:4]
base = os.path.dirname(manifest)
out, section = [], None
for line in open(manifest, encoding="utf-8"):
    stripped = line.strip()
    if stripped.startswith("["):
        section = stripped.lower()
    elif section == "[files]" and "=" in stripped and not stripped.startswith(";"):
        name, source = (part.strip() for part in stripped.split("=", 1))
        source, *flags = (part.strip() for part in source.split(","))
        source = os.path.join(base, source.replace("${BIN}", binary))
        target = os.path.join(folder, "files", *name.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)
        line = f"{name} = files/{name.replace(chr(92), '/')}" + "".join(", " + f for f in flags) + "\n"
    elif section == "[package]" and stripped.startswith("licence ="):
        shutil.copyfile(os.path.join(base, stripped.split("=", 1)[1].strip()),
                        os.path.join(folder, "licence.txt"))
        line = "licence = licence.txt\n"
    out.append(line)
open(os.path.join(folder, "product.manifest"), "w", encoding="utf-8").writelines(out)
PY
}

# The peer's script for the product in $1: the same files, one File per
# folder, LZMA solid, a licence page, a folder page and the progress, an
# uninstaller, a shortcut and a removal entry.
write_nsis_script() {
    local folder=$1 title=$2
    $HOST_PYTHON - "$folder" "$title" <<'PY'
import os, sys
folder, title = sys.argv[1], sys.argv[2]
files = os.path.join(folder, "files")
key = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Bench" + title.replace(" ", "")
lines = ["Unicode true", "SetCompressor /SOLID lzma", f'Name "{title}"',
         f'OutFile "{folder}/nsis-setup.exe"', f'InstallDir "$PROGRAMFILES\\{title}"',
         "RequestExecutionLevel admin", f'LicenseData "{folder}/licence.txt"',
         "Page license", "Page directory", "Page instfiles", "UninstPage instfiles", "",
         'Section "Product"']
for root, dirs, names in sorted(os.walk(files)):
    dirs.sort()
    if not names:
        continue
    below = os.path.relpath(root, files)
    target = "$INSTDIR" if below == "." else "$INSTDIR\\" + below.replace("/", "\\")
    lines += [f'  SetOutPath "{target}"', f'  File "{root}/*.*"']
lines += ['  WriteUninstaller "$INSTDIR\\uninst.exe"',
          f'  CreateDirectory "$SMPROGRAMS\\{title}"',
          f'  CreateShortcut "$SMPROGRAMS\\{title}\\Read Me.lnk" "$INSTDIR\\README.TXT"',
          f'  WriteRegStr HKLM "{key}" "DisplayName" "{title}"',
          f'  WriteRegStr HKLM "{key}" "UninstallString" \'"$INSTDIR\\uninst.exe"\'',
          "SectionEnd", "", 'Section "Uninstall"', '  RMDir /r "$INSTDIR"',
          f'  RMDir /r "$SMPROGRAMS\\{title}"', f'  DeleteRegKey HKLM "{key}"', "SectionEnd"]
open(os.path.join(folder, "product.nsi"), "w").write("\n".join(lines) + "\n")
PY
}

start_display
trap 'WINEPREFIX=$RUN_PREFIX stop_wine; stop_wine; stop_display' EXIT
make_prefix "$DATA/clean-prefix"
wineserver -k >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
CLEAN=$WINEPREFIX
RUN_PREFIX="$DATA/run-prefix"

# A fresh copy of the clean prefix, its server started: what every
# installation starts from.
fresh_prefix() {
    if [ -d "$RUN_PREFIX" ]; then
        WINEPREFIX=$RUN_PREFIX wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX=$RUN_PREFIX wineserver -w 2>/dev/null || true
    fi
    rm -rf "$RUN_PREFIX" && cp -a "$CLEAN" "$RUN_PREFIX"
    export WINEPREFIX=$RUN_PREFIX
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1
}

# Seconds of `wine ARGS...` on the prefix as it is.
timed_wine() {
    local start end
    start=$(date +%s.%N)
    wine "$@" >/dev/null 2>&1 || { echo "wine $* failed" >&2; return 1; }
    end=$(date +%s.%N)
    seconds "$start" "$end"
}

# Warns when the last installation left fewer files in the product's folder
# than the product has: its time would say nothing.
check_installed() {
    local found
    found=$(find "$RUN_PREFIX/drive_c/Program Files/$title" -type f 2>/dev/null | wc -l)
    [ "$found" -ge "$files" ] || echo "   $product: only $found of $files files installed by $*" >&2
}

# The silent installation's seconds net of Wine's start, best of RUNS.
silent_time() { # program, its switches...
    local times=() own base
    for run in $(seq "$RUNS"); do
        fresh_prefix
        base=$(timed_wine cmd /c exit)
        own=$(timed_wine "$@")
        check_installed "$@"
        times+=("$(awk "BEGIN { printf \"%.2f\", $own - $base }")")
    done
    printf '%s\n' "${times[@]}" | best
}

# The interactive installation's seconds, its pages answered by keystrokes
# sent to the windows named `name` (every 0.3 s: a quick person), best of RUNS.
interactive_time() { # window name, keys, program
    local name=$1 keys=$2 program=$3 times=()
    for run in $(seq "$RUNS"); do
        fresh_prefix
        times+=("$($HOST_PYTHON - "$name" "$keys" "$program" <<'PY'
import subprocess, sys, time
name, keys, program = sys.argv[1:4]
start = time.time()
process = subprocess.Popen(["wine", program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while process.poll() is None and time.time() - start < 1800:
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}"],
                           capture_output=True, text=True).stdout.split()
    for window in found:
        subprocess.run(["xdotool", "windowfocus", window, "key", "--clearmodifiers", keys],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.3)
print(f"{time.time() - start:.2f}")
PY
)")
        check_installed "$program"
    done
    printf '%s\n' "${times[@]}" | best
}

# The package's installation watched: the peak of the bytes in the temporary
# folder and the destination above what they held before, and the bytes the
# installation's programs wrote to files (/proc/PID/io write_bytes of the
# package's and setup's processes: not the server's nor Wine's own programs').
disk_use() { # package, destination (host path)
    fresh_prefix
    rm -rf "$2" && mkdir -p "$2"
    $HOST_PYTHON - "$1" "$2" "$WINEPREFIX" <<'PY'
import os, subprocess, sys, time
package, dest, prefix = sys.argv[1:4]
temp = os.path.join(prefix, "drive_c", "users", os.environ.get("USER", "root"), "Temp")
def used(folder):
    total = 0
    for root, _, names in os.walk(folder):
        for name in names:
            try:
                total += os.lstat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass
    return total
def ours():
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        # Not this script: its count holds the prefix's copy, made before it started.
        if int(pid) == os.getpid():
            continue
        try:
            env = open(f"/proc/{pid}/environ", "rb").read()
            if f"WINEPREFIX={prefix}".encode() + b"\0" not in env + b"\0":
                continue
            command = open(f"/proc/{pid}/cmdline", "rb").read()
            if b"wineserver" in command or command.lower().startswith(b"c:\\windows\\"):
                continue
            io = dict(line.split(": ") for line in open(f"/proc/{pid}/io").read().splitlines())
            found[pid] = (int(io["write_bytes"]), command[:60])
        except (OSError, ValueError, KeyError):
            pass
    return found
before = used(temp) + used(dest)
written = {}
peak = 0
windows_dest = subprocess.run(["winepath", "-w", dest], capture_output=True, text=True).stdout.strip()
process = subprocess.Popen(["wine", package, "/VERYSILENT", f"/DIR={windows_dest}"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while process.poll() is None:
    peak = max(peak, used(temp) + used(dest) - before)
    for pid, (count, command) in ours().items():
        written[pid] = (max(written.get(pid, (0,))[0], count), command)
    time.sleep(0.05)
after = used(temp) + used(dest) - before
if process.returncode != 0:
    print(f"the package's installation failed ({process.returncode})", file=sys.stderr)
for count, command in written.values():
    print(f"   wrote {count / 1048576:.1f} MiB: {command.decode(errors='replace')}", file=sys.stderr)
print(f"{peak} {after} {sum(count for count, _ in written.values())}")
PY
}

rows=() disk=""
for product in "${PRODUCTS[@]}"; do
    case $product in
        a) make_products a; title="Bench A"; product=a$A_FILES ;;
        b) make_products b; title="Bench B"; product=b$B_MIB ;;
        c) make_sample; title="Harbour Atlas" ;;
        *) echo "unknown product $product (a, b or c)" >&2; exit 2 ;;
    esac
    folder="$DATA/$product"
    files=$(find "$folder/files" -type f | wc -l)
    bytes=$(find "$folder/files" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    our_build=- peer_build=- our_rss=- peer_rss=-
    if [ "$REUSE" = 1 ] && [ -f "$folder/Package.exe" ] && [ -f "$folder/nsis-setup.exe" ]; then
        log "$product: $files files, $bytes bytes: the packages of an earlier run"
    else
        log "$product: $files files, $bytes bytes: kvlship build --package"
        rm -rf "$folder/dist" "$folder/dist.winget" "$folder/Package.exe"
        start=$(date +%s.%N)
        if ! /usr/bin/time -o "$folder/build.rss" -f %M "$BUILD/bin/kvlship" build \
            "$folder/product.manifest" "$folder/dist" --engine "$BUILD/bin" \
            --package Package.exe >"$folder/build.log" 2>&1; then
            echo "   kvlship build refused $product: $(tail -3 "$folder/build.log")" >&2
            rows+=("| $product | $files | $(awk "BEGIN { printf \"%.1f\", $bytes / 1048576 }") | kvlship build refused it | | | | | | | | | | | |")
            continue
        fi
        end=$(date +%s.%N)
        our_build=$(seconds "$start" "$end")
        log "$product: makensis"
        write_nsis_script "$folder" "$title"
        start=$(date +%s.%N)
        /usr/bin/time -o "$folder/makensis.rss" -f %M makensis -V1 "$folder/product.nsi" >"$folder/makensis.log"
        end=$(date +%s.%N)
        peer_build=$(seconds "$start" "$end")
        our_rss=$(($(tail -1 "$folder/build.rss") / 1024)) peer_rss=$(($(tail -1 "$folder/makensis.rss") / 1024))
    fi
    our_size=$(stat -c %s "$folder/Package.exe")
    peer_size=$(stat -c %s "$folder/nsis-setup.exe")
    log "$product: silent installations"
    our_silent=$(silent_time "$folder/Package.exe" /VERYSILENT)
    peer_silent=$(silent_time "$folder/nsis-setup.exe" /S)
    our_person=- peer_person=-
    if [ "$INTERACTIVE" != 0 ]; then
        log "$product: interactive installations"
        our_person=$(interactive_time "$CAPTION" alt+i "$folder/Package.exe")
        peer_person=$(interactive_time "$title Setup" Return "$folder/nsis-setup.exe")
    fi
    if [ -z "$disk" ]; then
        log "$product: the package's disk use"
        read -r peak left wrote < <(disk_use "$folder/Package.exe" "$DATA/disk-dest")
        disk="| $product | $(awk "BEGIN { printf \"%.1f\", $bytes / 1048576 }") | $(awk "BEGIN { printf \"%.1f\", $peak / 1048576 }") | $(awk "BEGIN { printf \"%.1f\", $left / 1048576 }") | $(awk "BEGIN { printf \"%.1f\", $wrote / 1048576 }") |"
    fi
    rows+=("| $product | $files | $(awk "BEGIN { printf \"%.1f\", $bytes / 1048576 }") | $our_silent | $peer_silent | $(ratio "$our_silent" "$peer_silent") | $our_person | $peer_person | $(ratio "$our_person" "$peer_person") | $our_size | $peer_size | $(ratio "$our_size" "$peer_size") | $our_build | $peer_build | $(ratio "$our_build" "$peer_build") | $our_rss | $peer_rss |")
done
printf '\n| product | files | MiB | silent s ours | NSIS | ratio | interactive s ours | NSIS | ratio | package bytes ours | NSIS | ratio | build s ours | NSIS | ratio | build peak MiB ours | NSIS |\n'
printf '|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n'
printf '%s\n' "${rows[@]}"
if [ -n "$disk" ]; then
    printf '\nThe package'"'"'s installation (/VERYSILENT): the peak extra disk space (temporary folder and destination), what stays, and the bytes its processes wrote.\n\n'
    printf '| product | files MiB | peak extra MiB | stays MiB | written MiB |\n|---|---:|---:|---:|---:|\n%s\n' "$disk"
fi
