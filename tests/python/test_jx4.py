"""The Python module against the jx4 program: the same files, the same
listings, the same decoded data, and errors raised as Python errors.

Run by CTest with PYTHONPATH at the built module, JX4_BINARY at the program,
NIMBREL_TESTDATA_DIR at the real test files (tests that need them are skipped
without) and NIMBREL_SAMPLES at the bundled sample."""

import datetime
import filecmp
import json
import math
import os
import shutil
import signal
import subprocess
from pathlib import Path

import numpy as np
import pytest

import jx4

JX4 = os.environ.get("JX4_BINARY", "jx4")
SAMPLES = Path(os.environ.get("NIMBREL_SAMPLES", Path(__file__).parents[2] / "examples"))
LEVEL3 = Path(os.environ.get("NIMBREL_TESTDATA_DIR", Path(__file__).parents[3] / "shared/testdata")) / "level3"
needs_level3 = pytest.mark.skipif(not LEVEL3.is_dir(), reason="no real test data")


def run_jx4(*arguments):
    return subprocess.run([JX4, *map(str, arguments)], capture_output=True, text=True)


def jx4_files(folder):
    return sorted(p.relative_to(folder) for p in Path(folder).rglob("*.jx4"))


def same_files(left, right):
    names = jx4_files(left)
    assert names == jx4_files(right)
    for name in names:
        assert filecmp.cmp(Path(left) / name, Path(right) / name, shallow=False), name
    return names


@pytest.fixture(scope="module")
def real(tmp_path_factory):
    """The real products converted by the program with the extended catalogue."""
    if not LEVEL3.is_dir():
        pytest.skip("no real test data")
    out = tmp_path_factory.mktemp("real")
    result = run_jx4("convert", "-q", "-j", "1", "--catalogue", "extended", "-o", out, LEVEL3)
    assert result.returncode in (0, 1), result.stderr
    return out


@pytest.mark.parametrize("inputs,options,arguments", [
    (lambda: [SAMPLES / "sample.tar", SAMPLES / "sample.tar.Z"], {}, []),
    (lambda: [SAMPLES / "sample.tar"], {"layout": "station/year"}, ["--layout", "station/year"]),
    (lambda: [SAMPLES / "sample.tar"], {"only": "N0R,NCR", "time_from": datetime.date(2005, 7, 3),
                                        "time_to": "2005-07-03T12:10"},
     ["--only", "N0R,NCR", "--from", "2005-07-03", "--to", "2005-07-03T12:10"]),
    pytest.param(lambda: [LEVEL3], {"catalogue": "extended"}, ["--catalogue", "extended"],
                 marks=needs_level3),
    pytest.param(lambda: [LEVEL3], {}, [], marks=needs_level3),
])
def test_convert_files_what_the_program_files(tmp_path, inputs, options, arguments):
    records = []
    summary = jx4.convert(inputs(), tmp_path / "py", on_record=records.append, **options)
    result = run_jx4("convert", "-q", "-j", "1", "--report", tmp_path / "report", "-o",
                     tmp_path / "cli", *arguments, *inputs())
    assert summary.status == result.returncode
    names = same_files(tmp_path / "py", tmp_path / "cli")
    assert summary.files_created == len(names)
    program = [json.loads(line) for line in (tmp_path / "report").read_text().splitlines()]
    assert records == program
    stored = sum(1 for r in records if r["type"] == "product" and r["outcome"] == "stored")
    assert summary.stored == summary.outcomes["stored"] == stored
    assert sum(summary.inputs.values()) == sum(1 for r in records if r["type"] == "input")


def test_a_dry_run_writes_nothing(tmp_path):
    summary = jx4.convert(str(SAMPLES / "sample.tar"), tmp_path / "out", dry_run=True)
    assert summary.stored == 36 and not (tmp_path / "out").exists()


@needs_level3
def test_open_lists_every_product_as_the_program_does(real):
    listed = run_jx4("list", "--json", real)
    for line in listed.stdout.splitlines():
        expected = json.loads(line)
        with jx4.open(expected["file"]) as volume:
            assert volume.station == expected["station"]
            assert volume.time.isoformat().replace("+00:00", "Z") == expected["volume_time"]
            assert volume.time.tzinfo is datetime.timezone.utc
            assert volume.well_formed == expected["well_formed"]
            got = [{"entry": p.entry, "product_id": p.id, "category": p.category, "name": p.name,
                    "offset": p.offset, "length": p.length} for p in volume.products]
            assert got == expected["entries"]
            for product in volume.products:
                data = product.data()
                assert len(data) == product.length
                heading = product.heading
                assert heading is None or heading.split()[-1] == data[21:27].decode("latin-1")
            assert volume.verify() == []


def same_number(value, expected, tolerance=0.0):
    if expected is None:
        return value is None or (isinstance(value, float) and math.isnan(value))
    return abs(value - expected) <= tolerance


@needs_level3
def test_decode_equals_the_programs_decode(real):
    decoded_by_program = run_jx4("decode", *sorted(Path(real).glob("*.jx4")))
    checked = 0
    for line in decoded_by_program.stdout.splitlines():
        expected = json.loads(line)
        volume = jx4.open(expected["file"])
        product = volume.products[expected["entry"]]
        if "error" in expected:
            with pytest.raises(ValueError, match="does not decode"):
                product.decode()
            continue
        d = product.decode()
        for key in ("file", "entry", "product_id", "category", "station", "site", "product_code",
                    "name", "units", "height_ft", "operational_mode", "vcp", "elevation_number",
                    "compressed", "packets", "image"):
            assert getattr(d, key) == expected.get(key), key
        for key in ("volume_time", "generation_time"):
            assert getattr(d, key).isoformat().replace("+00:00", "Z") == expected[key]
        assert same_number(d.elevation, expected["elevation_deg"], 1e-6)
        assert list(d.thresholds) == expected["thresholds"]
        assert list(d.parameters) == expected["parameters"]
        if d.image == "none":
            assert d.no_image_reason == expected["no_image_reason"] and d.levels.size == 0
            continue
        table = [dict(entry, value=None if entry["value"] is None
                      else pytest.approx(entry["value"], rel=1e-6)) for entry in d.level_table]
        assert table == expected["level_table"]
        assert d.levels.dtype == np.uint16 and d.levels.tolist() == expected["levels"]
        values = np.ma.masked_invalid(np.array(
            [[np.nan if v is None else v for v in row] for row in expected["values"]],
            dtype=np.float32).reshape(d.levels.shape))
        assert (d.values.mask == values.mask).all()
        assert np.allclose(d.values.compressed(), values.compressed(), rtol=1e-6, atol=0)
        if d.image == "radial":
            assert d.azimuths.tolist() == pytest.approx(expected["azimuths_deg"], abs=1e-4)
            assert d.widths.tolist() == pytest.approx(expected["widths_deg"], abs=1e-4)
            assert d.ranges.tolist() == pytest.approx(expected["gate_ranges_km"], abs=1e-6)
        else:
            assert (d.rows, d.columns) == (expected["rows"], expected["columns"])
        checked += 1
    assert checked > 100


@needs_level3
def test_scan_selects_as_the_program_does(real):
    for options, arguments in [
        ({"only": "N0B"}, ["--only", "N0B"]),
        ({"stations": ["KBMX", "lsx"]}, ["--station", "KBMX,lsx"]),
        ({"time_from": datetime.datetime(2015, 1, 2, 2, 0, tzinfo=datetime.timezone.utc),
          "time_to": datetime.datetime(2015, 1, 2, 2, 10)},
         ["--from", "2015-01-02T02:00", "--to", "2015-01-02T02:10:00"]),
    ]:
        scanned = [(p.file, p.entry) for p in jx4.scan(real, **options)]
        listed = run_jx4("list", "--json", *arguments, real)
        expected = [(json.loads(line)["file"], e["entry"]) for line in listed.stdout.splitlines()
                    for e in json.loads(line)["entries"]]
        assert scanned and sorted(scanned) == sorted(expected), options


@pytest.mark.parametrize("call,error,words", [
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, catalogue="modern"), ValueError, "catalogue"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, only="XYZ"), ValueError, "XYZ"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, stations="KZZZ"), ValueError, "KZZZ"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, time_from="yesterday"), ValueError, "yesterday"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, jobs=0), ValueError, "jobs"),
    (lambda t: jx4.convert([], t), ValueError, "no input"),
    (lambda t: jx4.convert(["-", "-"], t), ValueError, "standard input"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", SAMPLES / "sample.tar"), OSError, "output folder"),
    (lambda t: jx4.convert(SAMPLES / "sample.tar", t, time_to=3), TypeError, "time"),
    (lambda t: jx4.open(t / "missing.jx4"), OSError, "does not exist"),
    (lambda t: jx4.open(SAMPLES / "sample.tar"), ValueError, "not a usable .jx4 file"),
    (lambda t: jx4.open(t), OSError, "folder"),
    (lambda t: jx4.scan(t / "missing"), OSError, "does not exist"),
    (lambda t: jx4.scan(t, only="XYZ"), ValueError, "XYZ"),
])
def test_errors_raise(tmp_path, call, error, words):
    with pytest.raises(error, match=words):
        call(tmp_path)


def test_products_of_a_closed_file_and_undecodable_products_raise(tmp_path):
    jx4.convert(SAMPLES / "sample.tar", tmp_path)
    volume = jx4.open(next(tmp_path.glob("*.jx4")))
    product = volume.products[0]
    with pytest.raises(ValueError, match="does not decode"):  # the sample's images are made up
        product.decode()
    assert any("does not decode" in problem for problem in volume.verify(deep=True))
    volume.close()
    with pytest.raises(ValueError, match="closed"):
        product.data()


def test_scan_warns_of_a_damaged_file_and_goes_on(tmp_path):
    jx4.convert(SAMPLES / "sample.tar", tmp_path)
    files = sorted(tmp_path.glob("*.jx4"))
    files[0].write_bytes(b"not a volume file" * 100)
    with pytest.warns(RuntimeWarning, match="not a usable"):
        scanned = list(jx4.scan(tmp_path))
    assert {p.file for p in scanned} == {str(f) for f in files[1:]}


class Stop(Exception):
    pass


def inputs_for_stopping(tmp_path):
    """Twelve inputs: each is the sample, renamed so that it is read again."""
    folder = tmp_path / "inputs"
    folder.mkdir()
    for i in range(12):
        shutil.copy(SAMPLES / "sample.tar", folder / f"sample{i:02}.tar")
    return sorted(folder.iterdir())


@pytest.mark.parametrize("stop", ["raise", "sigint"])
def test_a_stopped_run_raises_keeps_records_whole_and_loses_nothing(tmp_path, stop):
    inputs = inputs_for_stopping(tmp_path)
    seen = []

    def on_record(record):
        seen.append(record)
        if len(seen) == 40:
            if stop == "raise":
                raise Stop("enough")
            signal.raise_signal(signal.SIGINT)

    with pytest.raises(Stop if stop == "raise" else KeyboardInterrupt):
        jx4.convert(inputs, tmp_path / "out", on_record=on_record)
    if stop == "raise":
        assert len(seen) == 40  # no call after the one that raised
    assert all(run_jx4("verify", f).returncode == 0 for f in (tmp_path / "out").glob("*.jx4"))
    # Run again: everything is there, as one whole run would have filed it.
    jx4.convert(inputs, tmp_path / "out")
    run_jx4("convert", "-q", "-o", tmp_path / "whole", *inputs)
    same_files(tmp_path / "out", tmp_path / "whole")
