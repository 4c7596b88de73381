"""MAT-files from Python: saved whole or not at all, read strictly."""
import resource
import signal
import subprocess
import sys

import numpy as np
import pytest

import ulvadern


def test_a_size_that_claims_more_than_is_stored_is_refused(tmp_path):
    ulvadern.savemat(tmp_path / "x.mat", {"x": np.array([[7.0]])})
    data = bytearray((tmp_path / "x.mat").read_bytes())
    dims = data.find(bytes([5, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0]))
    data[dims + 12] = 100  # 1x100, one element stored
    (tmp_path / "damaged.mat").write_bytes(bytes(data))
    with pytest.raises(ulvadern.HostError, match=r"variable 'x' is damaged \(its data holds 8 bytes"):
        ulvadern.loadmat(tmp_path / "damaged.mat")


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


def test_savemat_under_a_file_size_limit_fails_and_keeps_the_old_file(tmp_path):
    (tmp_path / "out.mat").write_bytes(b"OLD")
    code = (
        "import numpy as np, ulvadern\n"
        f"ulvadern.savemat({str(tmp_path / 'out.mat')!r}, {{'x': np.zeros((100, 100))}})\n"
    )
    child = subprocess.run(
        [sys.executable, "-c", code], preexec_fn=limit_file_size, capture_output=True, text=True
    )
    assert child.returncode != 0
    assert "Unable to write file" in child.stderr and "File too large" in child.stderr
    assert (tmp_path / "out.mat").read_bytes() == b"OLD"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.mat"]
