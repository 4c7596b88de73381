"""Builds the Python package `ulvadern` with CMake, for the Python running pip.

The package carries the extension module, the two libraries it loads
(libulvhost.so.N beside it, found through $ORIGIN, and libulvadern.so, found
beside libulvhost) and the command-line tool `python3 -m ulvadern` runs, so
it needs no environment variables wherever it is installed.

ULVADERN_CMAKE_BUILD_DIR names a CMake build folder to build in (and reuse);
the default is build-pip/cmake in the source tree.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
TARGETS = ["ulvadern_python", "ulvadern_lib", "ulvadern_cli"]
COMPONENTS = ["runtime", "python"]


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(ulvadern VERSION ([0-9.]+)", text).group(1)


def cached_python(build_dir):
    cache = build_dir / "CMakeCache.txt"
    if not cache.exists():
        return None
    found = re.search(r"^ULV_PYTHON_EXECUTABLE:\w+=(.*)$", cache.read_text(), re.MULTILINE)
    return found and os.path.realpath(found.group(1))


def run(command):
    print("+", " ".join(map(str, command)), flush=True)
    subprocess.run(command, check=True)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = pathlib.Path(
            os.environ.get("ULVADERN_CMAKE_BUILD_DIR") or ROOT / "build-pip" / "cmake"
        ).resolve()
        python = os.path.realpath(sys.executable)
        configure = ["cmake", "-S", ROOT, "-B", build_dir, f"-DULV_PYTHON_EXECUTABLE={python}"]
        if not (build_dir / "CMakeCache.txt").exists():
            # A folder of its own: the configuration the tests run, without
            # them (the install strips the debugging data).
            configure += ["-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DULV_BUILD_TESTS=OFF",
                          "-DULV_BUILD_BENCH=OFF"]
        if cached_python(build_dir) != python:
            run(configure)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        run(["cmake", "--build", build_dir, "-j", jobs, "--target", *TARGETS])
        with tempfile.TemporaryDirectory() as stage:
            for component in COMPONENTS:
                run(["cmake", "--install", build_dir, "--prefix", stage, "--component", component,
                     "--strip"])
            self.fill_package(pathlib.Path(stage), pathlib.Path(self.get_ext_fullpath(ext.name)))

    @staticmethod
    def fill_package(stage, extension):
        modules = list(stage.glob("lib*/**/ulvadern/_ulvadern*.so"))
        if len(modules) != 1:
            raise RuntimeError(f"the CMake install put {len(modules)} extension modules in {stage}")
        package = extension.parent
        package.mkdir(parents=True, exist_ok=True)
        for file in modules[0].parent.iterdir():
            if file.is_file() and not file.is_symlink() and file != modules[0]:
                shutil.copy2(file, package / file.name)
        shutil.copy2(modules[0], extension)
        # Under the names they are loaded by; symbolic links do not survive a wheel.
        libraries = list(stage.glob("lib*/libulvhost.so.[0-9]")) + list(
            stage.glob("lib*/libulvadern.so"))
        tools = list(stage.glob("bin/ulvadern"))
        if len(libraries) != 2 or len(tools) != 1:
            raise RuntimeError(f"the CMake install lacks the libraries or the tool in {stage}")
        for file in libraries + tools:
            shutil.copy2(file.resolve(), package / file.name)


setup(
    name="ulvadern",
    version=project_version(),
    description="Edge-preserving noise removal for gray-level images (NumPy in, NumPy out)",
    python_requires=">=3.9",
    install_requires=["numpy"],
    # ulvadern.distributed: pip install ".[distributed]"
    extras_require={"distributed": ["dask[array]", "distributed"]},
    packages=["ulvadern"],
    package_dir={"": "apps/python"},
    package_data={"ulvadern": ["*"]},
    ext_modules=[Extension("ulvadern._ulvadern", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-pip"}},
    zip_safe=False,
)
