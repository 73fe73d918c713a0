"""Builds the extension module `fringe` with the project's CMake.

The module is the target fringe_python of the source tree one folder up.
FRINGE_BUILD_DIR names a build folder to use (one ./test or ./run made, say);
without it the module is built in build/python-package, configured for the
interpreter running this build and without windows, tests or benchmarks.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent


class CMakeModule(Extension):
    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build_dir = Path(os.environ.get("FRINGE_BUILD_DIR") or ROOT / "build" / "python-package")
        if not (build_dir / "CMakeCache.txt").exists():
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            subprocess.run(
                ["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator,
                 "-DCMAKE_BUILD_TYPE=Release", "-DFRINGE_BUILD_TESTS=OFF", "-DFRINGE_BUILD_BENCH=OFF",
                 "-DFRINGE_BUILD_GUI=OFF", f"-DPython3_EXECUTABLE={sys.executable}"],
                check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "fringe_python"], check=True)
        built = sorted((build_dir / "python").glob("fringe.cpython-*.so")) or sorted(
            (build_dir / "python").glob("fringe*.so"))
        if not built:
            raise RuntimeError(f"the build in {build_dir} made no module fringe")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[-1], target)


# The module's types ship as the stub package fringe-stubs (an extension
# module of one file cannot carry py.typed itself).
setup(ext_modules=[CMakeModule("fringe")], cmdclass={"build_ext": BuildWithCMake},
      packages=["fringe-stubs"], package_data={"fringe-stubs": ["__init__.pyi", "py.typed"]},
      include_package_data=False)
