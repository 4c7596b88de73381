import os
import subprocess
import sys
import warnings

import numpy as np
import pytest

import ulvadern


def test_every_function_is_listed_with_its_counts():
    assert ulvadern.functions() == {
        "ulvadern": (-2, 1),
        "gaussfit": (3, 1),
        "maltrans2d": (4, 3),
        "invmaltrans2d": (5, 1),
        "lixo": (3, 2),
        "transfwav": (3, 3),
        "touint": (1, 1),
    }


def test_touint_keeps_every_element_in_place_in_n_dimensions():
    x = np.arange(-30.0, 330.0, 15.0).reshape(2, 3, 4)
    y = ulvadern.call("touint", x)
    assert y.dtype == np.uint8 and y.shape == (2, 3, 4)
    assert np.array_equal(y, np.clip(x, 0, 255))
    assert ulvadern.call("touint", np.arange(4.0)).shape == (1, 4)  # a 1-D array is a row
    assert ulvadern.call("touint", [[1, 2], [300, -4]]).tolist() == [[1, 2], [255, 0]]
    assert ulvadern.call("touint", True).tolist() == [[1]]


def test_forward_and_inverse_transform_round_trip():
    x = np.add.outer(np.arange(64.0), 2 * np.arange(64.0))  # smooth, below 255 - levels
    ca, ch, cv = ulvadern.call("maltrans2d", x, None, 3, nargout=3)
    assert ca.shape == ch.shape == cv.shape == (64, 64, 4)
    assert np.array_equal(ca[..., 0], x) and not ch[..., 0].any() and not cv[..., 0].any()
    rebuilt = ulvadern.call("invmaltrans2d", ca, ch, cv, 3)
    assert rebuilt.dtype == np.uint8 and rebuilt.shape == (64, 64, 4)
    # The filters rebuild the image exactly away from its border.
    assert np.array_equal(rebuilt[8:-8, 8:-8, 0], x[8:-8, 8:-8] + 3)


def test_one_level_filters_by_wavelet_name():
    ca, ch, cv = ulvadern.call("transfwav", np.full((8, 9), 5.0), "haar", nargout=3)
    assert ca.shape == (8, 9)
    assert np.allclose(ca, 10) and np.allclose(ch, 0) and np.allclose(cv, 0)
    a, d = ulvadern.call("lixo", np.full(10, 3.0), "haar", nargout=2)
    assert np.allclose(a, 3 * np.sqrt(2)) and np.allclose(d, 0) and a.shape == (1, 10)


def test_gaussfit_reads_the_sample_from_the_work_directory(tmp_path):
    vv = np.random.default_rng(2).normal(0, 3, (50, 1))
    ulvadern.savemat(tmp_path / "minimiza.mat", {"vv": vv})
    x1, x2, w = 1.5, 12.0, 0.7
    density = w * np.exp(-((vv / x1) ** 2)) / x1 + (1 - w) * np.exp(-((vv / x2) ** 2)) / x2
    y = ulvadern.call("gaussfit", x1, x2, w, workdir=tmp_path)
    assert y.shape == (1, 1) and np.isclose(y.item(), -np.sum(np.log(1e-15 + density)))
    with pytest.raises(ulvadern.HostError, match="minimiza.mat"):
        ulvadern.call("gaussfit", x1, x2, w)


def test_messages_carry_no_terminal_control_bytes(tmp_path):
    folder = tmp_path / "clear\x1b[2J"
    folder.mkdir()
    with pytest.raises(ulvadern.HostError) as error:
        ulvadern.call("gaussfit", 0.1, 0.7, 0.7, workdir=folder)
    assert "\x1b" not in str(error.value) and "clear\\x1b[2J" in str(error.value)


def test_ulvadern_by_name_matches_denoise_with_the_offset_kept(noisy):
    assert np.array_equal(ulvadern.call("ulvadern", noisy, 2, [1, 1], 0.3, seed=4),
                          ulvadern.denoise(noisy, levels=2, seed=4, keep_offset=True))


def test_mat_files_round_trip_every_class(tmp_path):
    values = {
        "d": np.arange(24.0).reshape(2, 3, 4),
        "u": np.arange(6, dtype=np.uint8).reshape(3, 2),
        "b": np.array([[True, False, True]]),
        "s": "text",
        "c": ["a", np.ones((2, 2))],
    }
    ulvadern.savemat(tmp_path / "all", values)
    loaded = ulvadern.loadmat(tmp_path / "all.mat")
    assert list(loaded) == list(values)
    for name in "dub":
        assert loaded[name].dtype == values[name].dtype and np.array_equal(loaded[name], values[name])
    assert loaded["s"] == "text"
    assert loaded["c"][0] == "a" and np.array_equal(loaded["c"][1], np.ones((2, 2)))


def test_library_errors_and_warnings_reach_python(noisy):
    with pytest.raises(ulvadern.HostError, match="more than the declared number of inputs"):
        ulvadern.call("touint", 1, 2)
    with pytest.raises(ulvadern.HostError, match="more than the declared number of outputs"):
        ulvadern.call("touint", 1, nargout=2)
    with pytest.raises(ulvadern.HostError, match='Undefined function "nosuch"'):
        ulvadern.call("nosuch")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with pytest.raises(ulvadern.HostError) as error:
            ulvadern.call("ulvadern", noisy, nargout=0)
    assert str(error.value) == "*"
    assert any(issubclass(w.category, ulvadern.HostWarning) and
               "invalid number of output arguments" in str(w.message) for w in caught)


@pytest.mark.parametrize(
    "args, kwargs, error",
    [
        ((1j,), {}, TypeError),
        ((np.ones(3, complex),), {}, TypeError),
        (({"a": 1},), {}, TypeError),
        ((1,), {"nargout": -1}, ValueError),
        ((1,), {"nargout": "1"}, TypeError),
    ],
)
def test_unsuitable_arguments_are_refused(args, kwargs, error):
    with pytest.raises(error):
        ulvadern.call("touint", *args, **kwargs)


def test_the_library_is_taken_from_the_environment(tmp_path):
    script = ("import ulvadern\n"
              "try:\n    ulvadern.call('touint', 1)\n"
              "except ulvadern.HostError as error:\n    print(ulvadern.library_path(), error)\n")
    environment = dict(os.environ, ULVADERN_LIBRARY=str(tmp_path / "libnone.so"))
    result = subprocess.run([sys.executable, "-c", script], env=environment,
                            capture_output=True, text=True, check=True)
    assert result.stdout.startswith(f"{tmp_path / 'libnone.so'} Cannot load the library")


class _RaisesOnConversion:
    def __init__(self, error):
        self.error = error

    def __array__(self, *args):
        raise self.error

    def __index__(self):
        raise self.error


class _OwnError(Exception):
    pass


@pytest.mark.parametrize("error", [MemoryError("no room"), _OwnError("mine"), ValueError("bad")])
def test_python_errors_inside_conversions_reach_the_caller_as_themselves(error):
    with pytest.raises(type(error), match=str(error)):
        ulvadern.call("touint", [1, _RaisesOnConversion(error)])
    with pytest.raises(type(error), match=str(error)):
        ulvadern.call("touint", 1, nargout=_RaisesOnConversion(error))
    with pytest.raises(type(error), match=str(error)):
        ulvadern.denoise(np.zeros((40, 40)), levels=_RaisesOnConversion(error))


def test_arrays_too_large_to_convert_raise_memory_error(tmp_path):
    # An int8 view of no memory that as float64 would take 2 PiB.
    huge = np.broadcast_to(np.int8(0), (2**24, 2**24))
    for convert in [
        lambda: ulvadern.call("touint", huge),
        lambda: ulvadern.denoise(huge, preserve_range=True),
        lambda: ulvadern.denoise(np.zeros((40, 40)), gains=np.broadcast_to(1, (2**48,))),
        lambda: ulvadern.imwrite(tmp_path / "huge.png", huge),
    ]:
        with pytest.raises(MemoryError):
            convert()
    ulvadern.savemat(tmp_path / "ragged.mat", {"c": [1, [2, 3]]})  # ragged: still a cell
    assert len(ulvadern.loadmat(tmp_path / "ragged.mat")["c"]) == 2
