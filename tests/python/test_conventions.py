"""What IDEs, type checkers and the interpreter see of the package."""

import inspect
import pathlib
import signal
import subprocess
import sys
import textwrap

import ulvadern


def test_denoise_has_a_typed_keyword_only_signature():
    parameters = inspect.signature(ulvadern.denoise).parameters
    assert list(parameters) == [
        "image", "channel_axis", "preserve_range", "keep_offset", "levels", "gains", "pot",
        "seed", "threads", "workdir", "return_masks",
    ]
    assert all(p.kind is p.KEYWORD_ONLY for name, p in parameters.items() if name != "image")
    assert all(p.annotation is not p.empty for p in parameters.values())
    assert parameters["levels"].default == 3 and parameters["pot"].default == 0.3
    assert "keep_offset" in ulvadern.denoise.__doc__ and "8-bit precision" in ulvadern.denoise.__doc__


def test_the_package_ships_its_type_information():
    package = pathlib.Path(ulvadern.__file__).parent
    assert (package / "py.typed").exists()
    stub = (package / "_ulvadern.pyi").read_text()
    for name in ulvadern.__all__:
        if name != "denoise":
            assert name in stub


def test_ctrl_c_stops_a_long_call_and_leaves_no_temporaries(tmp_path):
    script = textwrap.dedent(
        """
        import signal, sys, traceback
        import numpy as np
        import ulvadern
        signal.signal(signal.SIGINT, signal.default_int_handler)
        image = np.random.default_rng(1).integers(0, 256, (2048, 2048)).astype(np.uint8)
        print("ready", flush=True)
        try:
            ulvadern.denoise(image, levels=4)
            print("finished")
        except KeyboardInterrupt:
            print("interrupted in", traceback.extract_tb(sys.exc_info()[2])[-1].name)
        """
    )
    env = dict(__import__("os").environ, TMPDIR=str(tmp_path))
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                             env=env)
    assert child.stdout.readline() == "ready\n"
    import time

    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    output, _ = child.communicate(timeout=120)
    assert output == "interrupted in denoise\n"
    assert list(tmp_path.iterdir()) == []
