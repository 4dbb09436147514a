# Shared by the project's scripts: installing what the build needs, building,
# and giving Wine a prefix and a display of our own. Source it; do not run it.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
HOST_PYTHON=/usr/bin/python3

export WINEARCH=win32
# Wine names host files in the locale's character set: without a UTF-8 one
# (a bare CI shell has none) a name beyond ASCII cannot be created at all.
export LC_ALL=C.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
# Never offer to install Wine's Mono or Gecko: with a display that question
# is a window that waits forever.
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '== %s\n' "$*"; }

# zstd's C library (BSD licence), which the package's stub and kvlship compile
# in: the copy vendored in this exact npm package, checked against its pinned
# integrity and unpacked once into a fixed folder the build knows
# (cmake/zstd.cmake: ZSTD_LIB_DIR).
ZSTD_PACKAGE=zstd-napi@0.0.13
ZSTD_INTEGRITY=sha512-ErGF+Ko1PsbooU6oC/sc/diiWKwVa0kd/5AkFSs7kg5kwcEuOtSzOy3xUOadXQlAVNab9TxsxaUk3hOq3cj/lA==
ZSTD_HOME=/var/cache/kvl-deps/zstd-napi-0.0.13
ZSTD_LIB_DIR=$ZSTD_HOME/deps/zstd/lib

ensure_zstd() {
    [ -f "$ZSTD_LIB_DIR/zstd.h" ] && return 0
    log "fetching zstd's sources ($ZSTD_PACKAGE)"
    local tmp tarball got
    tmp=$(mktemp -d)
    if ! (cd "$tmp" && npm pack --loglevel=error "$ZSTD_PACKAGE" >/dev/null); then
        echo "$ZSTD_PACKAGE could not be fetched with npm (its errors are above)" >&2
        rm -rf "$tmp"
        return 1
    fi
    tarball=$(ls "$tmp"/*.tgz)
    got="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
    if [ "$got" != "$ZSTD_INTEGRITY" ]; then
        echo "$ZSTD_PACKAGE: integrity $got, expected $ZSTD_INTEGRITY" >&2
        rm -rf "$tmp"
        return 1
    fi
    mkdir -p "$tmp/unpacked" "$(dirname "$ZSTD_HOME")"
    tar -xzf "$tarball" -C "$tmp/unpacked" --strip-components=1
    rm -rf "$ZSTD_HOME" && mv "$tmp/unpacked" "$ZSTD_HOME"
    rm -rf "$tmp"
}

# Installs every package the build and the tests need; does nothing when all
# of them are there already.
ensure_deps() {
    ensure_deps_packages && ensure_zstd
}

# The Debian packages the build and the tests use. npm is not among them: a
# machine that has Node.js from elsewhere has its own npm, and Debian's npm
# conflicts with that Node.js package (apt then installs nothing at all).
DEB_PACKAGES="g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake make
    wine wine32:i386 wine64 xvfb xauth xdotool imagemagick x11-utils
    mscompress liblnk-utils python3 python3-pefile python3-pytest googletest
    python3-jsonschema python3-yaml osslsigncode openssl
    clang libclang-rt-14-dev zstd"

# Prints each package of $DEB_PACKAGES that is not installed, and npm when no
# npm at all is on the PATH (then Debian's is the only one there can be).
missing_packages() {
    local pkg
    for pkg in $DEB_PACKAGES; do
        [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] ||
            echo "$pkg"
    done
    command -v npm >/dev/null 2>&1 || echo npm
}

# Installs only what is missing, package by package, and leaves alone what
# the machine already has.
ensure_deps_packages() {
    local missing
    missing=$(missing_packages)
    [ -z "$missing" ] && return 0
    log "installing the missing packages:" $missing
    export DEBIAN_FRONTEND=noninteractive
    case " $missing " in *:i386*) dpkg --add-architecture i386 ;; esac
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
}

build_all() {
    log "building in $BUILD"
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
        { cat "$BUILD/configure.log"; return 1; }
    cmake --build "$BUILD" -j"$(nproc)"
}

# Starts a private Xvfb and exports DISPLAY. Depth defaults to 24 bits.
XVFB_PID=
start_display() {
    local depth=${1:-24} fifo number
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x"$depth" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

stop_display() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}

# Creates a 32-bit Wine prefix at $1 (once) and exports WINEPREFIX.
make_prefix() {
    export WINEPREFIX=$1
    if [ ! -f "$WINEPREFIX/.ready" ]; then
        log "creating Wine prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        # The settings every prefix of ours has (the test harness reads the
        # same file): no window manager's 2 s wait when a shown window goes
        # away, and no crash dialog for a program that dies, which would
        # wait for a person until the test's time-out.
        wine regedit /S "Z:${ROOT//\//\\}\\scripts\\wine-prefix.reg" >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.ready"
    fi
}

# Writes setup-like content to $1, $2 bytes: word text runs that compress,
# mixed with random bytes that do not. The benchmarks share it.
make_setup_like_file() {
    $HOST_PYTHON - "$1" "$2" <<'PY'
import os, random, sys
path, size = sys.argv[1], int(sys.argv[2])
rng = random.Random(size)
words = [("word%d" % i).encode() for i in range(4000)]
text = b"\n".join(b" ".join(rng.choice(words) for _ in range(10)) for _ in range(2000))
with open(path, "wb") as f:
    written = 0
    while written < size:
        start = rng.randrange(len(text) - 4096)
        block = text[start:start + rng.randrange(512, 4096)] + os.urandom(rng.randrange(16, 256))
        block = block[: size - written]
        f.write(block)
        written += len(block)
PY
}

# Builds the native codec tool (szdd_tool encode|decode) at $1: the fuzz
# script's encoder check and the encoder benchmark both use it.
build_szdd_tool() {
    g++ -std=c++17 -O2 -Wall -Wextra -I"$ROOT/src" -I"$ROOT/tools/kvlship" -o "$1" \
        "$ROOT/tests/fuzz/szdd_tool.cpp" "$ROOT/src/codec/szdd.cpp" "$ROOT/tools/kvlship/formats/lzencode.cpp"
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}
