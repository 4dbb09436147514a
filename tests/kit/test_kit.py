"""The module kit stands alone: `cmake --install` lays it out, and the
example module builds against that folder alone, in a folder with no engine
sources, with the kit's own toolchain file."""

import os
import shutil
import subprocess
from pathlib import Path

import pefile

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build")).absolute()

PROJECT = """cmake_minimum_required(VERSION 3.16)
project(orbit CXX)
include(${KIT}/cmake/SetupModule.cmake)
add_setup_module(example example.cpp)
target_link_libraries(example PRIVATE stockkit)
"""


def run(*args, cwd=None):
    done = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, f"{args}:\n{done.stdout}\n{done.stderr}"
    return done


def test_the_example_module_builds_from_the_laid_out_kit_alone(tmp_path):
    kit = tmp_path / "kit"
    run("cmake", "--install", BUILD, "--prefix", kit)
    assert sorted(p.name for p in (kit / "lib").iterdir()) == ["libsetupkit.a", "libstockkit.a"]
    assert not list(kit.rglob("*.cpp.obj")) and not (kit / "src").exists()
    source = tmp_path / "orbit"
    source.mkdir()
    shutil.copyfile(kit / "examples" / "example.cpp", source / "example.cpp")
    (source / "CMakeLists.txt").write_text(PROJECT)
    out = tmp_path / "out"
    run("cmake", "-S", source, "-B", out, f"-DKIT={kit}",
        f"-DCMAKE_TOOLCHAIN_FILE={kit / 'cmake' / 'mingw-i686.cmake'}")
    built = run("cmake", "--build", out)
    assert str(ROOT / "src") not in built.stdout and str(ROOT / "modules") not in built.stdout
    module = pefile.PE(str(out / "example.dll"))
    exports = {e.name.decode() for e in module.DIRECTORY_ENTRY_EXPORT.symbols}
    assert {"InitModule", "SetDestDir", "FileConflict", "EndSetup"} <= exports, exports
    assert module.FILE_HEADER.Machine == 0x14C  # i386
