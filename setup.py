"""The pip build: the project's CMake build, made for the interpreter that
runs pip, with the windows and the tests left out. It builds the module's
native part and the runner; the runner goes into the package, where the
"impactsim" command (impactsim._runner) starts it. setuptools' own files and
the CMake build go into build-pip/ (or IMPACTSIM_PIP_BUILD_DIR), apart from
the CMake presets' build directories."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
# setuptools' and CMake's files; IMPACTSIM_PIP_BUILD_DIR puts them elsewhere.
BUILD_BASE = Path(os.environ.get("IMPACTSIM_PIP_BUILD_DIR") or ROOT / "build-pip").resolve()
BUILD_BASE.mkdir(parents=True, exist_ok=True)


def project_version():
    """The version of project(impactsim VERSION x.y.z) in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(impactsim\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", text)
    if found is None:
        raise RuntimeError("CMakeLists.txt names no project version")
    return found.group(1)


class CMakeBuild(build_ext):
    """Builds impactsim._core and the runner with CMake and puts both where
    the wheel is put together."""

    def build_extension(self, ext):
        build_dir = BUILD_BASE / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DBUILD_TESTING=OFF",
            "-DIMPACTSIM_BUILD_GUI=OFF",
            "-DIMPACTSIM_BUILD_PYTHON=ON",
            "-DIMPACTSIM_PYTHON=" + sys.executable,
        ]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        jobs = str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build_dir), "--parallel", jobs,
                        "--target", "impactsim_python", "impactsim"], check=True)

        core = Path(self.get_ext_fullpath(ext.name))
        core.parent.mkdir(parents=True, exist_ok=True)
        built = build_dir / "python" / "impactsim" / core.name
        if not built.exists():
            raise RuntimeError(f"the CMake build made no {built}")
        shutil.copy2(built, core)
        runner = core.parent / "bin" / "impactsim"
        runner.parent.mkdir(exist_ok=True)
        shutil.copy2(build_dir / "bin" / "impactsim", runner)


setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["impactsim"],
    ext_modules=[Extension("impactsim._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD_BASE)},
             "egg_info": {"egg_base": str(BUILD_BASE)}},
)
