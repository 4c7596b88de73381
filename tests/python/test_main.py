"""`python3 -m ulvadern` is the command-line tool's denoise."""

import subprocess
import sys

import numpy as np

import ulvadern


def run_module(*args, **kwargs):
    return subprocess.run([sys.executable, "-m", "ulvadern", *args],
                          capture_output=True, text=True, **kwargs)


def test_help_is_the_tools_denoise_help():
    result = run_module("--help", check=True)
    assert result.stdout.startswith("Usage: ulvadern denoise")


def test_it_denoises_as_the_module_does(tmp_path, noisy):
    image = noisy.astype(np.uint8)
    ulvadern.imwrite(tmp_path / "in.png", image)
    run_module("-q", str(tmp_path / "in.png"), "-o", str(tmp_path / "out.png"), check=True)
    np.testing.assert_array_equal(ulvadern.imread(tmp_path / "out.png"), ulvadern.denoise(image))


def test_usage_mistakes_keep_the_tools_exit_code():
    result = run_module("--levels", "0")
    assert result.returncode == 2
    assert "--levels" in result.stderr
