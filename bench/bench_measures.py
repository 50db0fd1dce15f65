"""The benchmark's measurements: each starts the programs it compares, in this same run on the
same devices, and returns its raw figures for the table in bench.py."""
import os
import re
import statistics
import struct
import subprocess
import threading
import time

from bench_processes import (BenchError, DiskLoad, Driver, alsa_env, cpu_seconds,
                             pulse_daemon_pid, snapshot, status_kb, wine_processes, windows_path)
from bench_signal import known_signal

STEREO_RATE = 44100 * 4  # bytes per second of 16-bit stereo 44100 Hz
# The two recording formats compared with the floor: ALSA profile, the floor's arguments
# (channels, rate, bits), bytes per second, name, and the driver's format argument.
RECORDING_FORMATS = [
    ("paced16", ["2", "44100", "16"], STEREO_RATE, "16-bit stereo 44100 Hz", []),
    ("paced8", ["1", "11025", "8"], 11025, "8-bit mono 11025 Hz", ["mono8"]),
]
BUFFER_BYTES = 64000  # one buffer of the recorder


# ---- The measurements ----


def measure_startup(build, runs):
    recorder = windows_path(os.path.join(build, "bin", "AudioRecorder.exe"))
    bare = windows_path(os.path.join(build, "bench", "bare_dialog.exe"))
    floor = windows_path(os.path.join(build, "bench", "bare_dialog_queries.exe"))
    driver = Driver(build, ["startup", str(runs), recorder, bare, floor], "paced16")
    times = {"ours": [], "bare": [], "floor": []}
    for line in driver.rest():
        match = re.match(r"STARTUP (\w+) ([\d.]+)", line)
        if match:
            times[match.group(1)].append(float(match.group(2)))
    if len(times["ours"]) != runs or len(times["floor"]) != runs:
        raise BenchError("start-up: %d of %d runs" % (len(times["ours"]), runs))
    return (statistics.median(times["ours"]), statistics.median(times["bare"]),
            statistics.median(times["floor"]))


def measure_ours_recording(build, folder, seconds, disk_load=True, recording_format=None):
    profile, _, _, _, driver_args = recording_format or RECORDING_FORMATS[0]
    path = os.path.join(folder, "ours.wav")
    driver = Driver(build, ["record", windows_path(path), str(seconds)] + driver_args, profile)
    driver.wait_for("RECORDING")
    processes = wine_processes()
    pulse = pulse_daemon_pid()
    if "recorder" not in processes.values():
        raise BenchError("the recorder's Unix process was not found")
    before = snapshot(list(processes) + [pulse])
    start = time.monotonic()
    load = DiskLoad(folder) if disk_load else None
    driver.wait_for("STOPPING")
    after = snapshot(list(processes) + [pulse])
    wall = time.monotonic() - start
    load_bytes = load.stop() if load else 0
    captured_text = driver.wait_for("CAPTURED").split(None, 1)[1].strip()
    driver.rest()
    cpu = {}
    for pid, label in processes.items():
        if before.get(pid) is not None and after.get(pid) is not None:
            cpu[label] = cpu.get(label, 0.0) + after[pid] - before[pid]
    pulse_cpu = after[pulse] - before[pulse] if pulse else float("nan")
    return {"path": path, "cpu": cpu, "pulse": pulse_cpu, "wall": wall,
            "captured_text": captured_text, "load_bytes": load_bytes}


def measure_floor_recording(build, folder, seconds, recording_format=None):
    """The minimal WINMM recorder (bench/min_recorder.cpp) in one of RECORDING_FORMATS: CPU of
    it and of the wine server between its start and its stop."""
    profile, floor_args, _, _, _ = recording_format or RECORDING_FORMATS[0]
    path = os.path.join(folder, "floor.raw")
    exe = os.path.join(build, "bench", "min_recorder.exe")
    process = subprocess.Popen(["wine", exe, windows_path(path), str(seconds)] + floor_args,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               env=alsa_env(profile), text=True)
    line = process.stdout.readline()
    if not line.startswith("RECORDING"):
        raise BenchError("min_recorder: %s" % line.strip())
    processes = {pid: label for pid, label in wine_processes().items()
                 if label == "wineserver" or "min_recorder" in label}
    before = snapshot(list(processes))
    start = time.monotonic()
    line = process.stdout.readline()
    after = snapshot(list(processes))
    wall = time.monotonic() - start
    rest = process.stdout.read()
    process.wait(timeout=60)
    if not line.startswith("STOPPING") or "DONE" not in rest:
        raise BenchError("min_recorder ended early")
    cpu = {}
    for pid, label in processes.items():
        if before.get(pid) is not None and after.get(pid) is not None:
            label = "wineserver" if label == "wineserver" else "min_recorder"
            cpu[label] = cpu.get(label, 0.0) + after[pid] - before[pid]
    return {"cpu": cpu, "bytes": int(rest.split()[-1]), "wall": wall}


def measure_arecord(folder, seconds):
    path = os.path.join(folder, "arecord.wav")
    pulse = pulse_daemon_pid()
    pulse_before = cpu_seconds(pulse) if pulse else None
    load = DiskLoad(folder)
    start = time.monotonic()
    process = subprocess.Popen(["arecord", "-q", "-f", "S16_LE", "-r", "44100", "-c", "2",
                                "-d", str(seconds), "-t", "wav", path], env=alsa_env("paced16"))
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    pulse_after = cpu_seconds(pulse) if pulse else None
    load_bytes = load.stop()
    if process.returncode != 0:
        raise BenchError("arecord failed with %d" % process.returncode)
    return {"path": path, "cpu": {"arecord": usage.ru_utime + usage.ru_stime},
            "pulse": (pulse_after - pulse_before) if pulse else float("nan"), "wall": wall,
            "load_bytes": load_bytes}


def text_kb_to_bytes(text):
    match = re.match(r"\s*([\d.]+)\s*KB", text)
    return float(match.group(1)) * 1024 if match else float("nan")


def measure_memory(build, folder, audio_seconds):
    path = os.path.join(folder, "memory.wav")
    driver = Driver(build, ["memory", windows_path(path), str(audio_seconds),
                            str(audio_seconds + 300)], "fast")
    driver.wait_for("RECORDING")
    pid = next((p for p, label in wine_processes().items() if label == "recorder"), None)
    if pid is None:
        raise BenchError("the recorder's Unix process was not found")
    samples = []  # (seconds, RssAnon KiB, VmRSS KiB, after the first buffer)
    private = []  # Wine's PrivateUsage as the driver sees it
    first_buffer = [False]
    done = threading.Event()

    def sample():
        start = time.monotonic()
        while not done.is_set():
            anon, rss = status_kb(pid, "RssAnon"), status_kb(pid, "VmRSS")
            if anon is not None:
                samples.append((time.monotonic() - start, anon, rss, first_buffer[0]))
            done.wait(1.0)

    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        while True:
            line = driver.next_line()
            if line.startswith("FIRSTBUFFER"):
                first_buffer[0] = True
            elif line.startswith("MEM"):
                fields = line.split()
                private.append((int(fields[2]), int(fields[3])))
            elif line.startswith("STOPPING"):
                break
    finally:
        done.set()
        sampler.join()
    stopped = driver.wait_for("STOPPED")
    driver.rest()
    recorded = int(stopped.split()[1])
    after = [s for s in samples if s[3]]
    if len(after) < 2:
        raise BenchError("memory: too few samples after the first buffer")
    base = after[0]
    return {
        "samples": len(samples),
        "audio_seconds": recorded / STEREO_RATE,
        "wall": samples[-1][0],
        "anon_first": base[1], "anon_last": after[-1][1], "anon_max": max(s[1] for s in after),
        "rss_first": base[2], "rss_last": after[-1][2], "rss_max": max(s[2] for s in after),
        "private_first": next((p[1] for p in private if p[0] > 0), 0),
        "private_last": private[-1][1] if private else 0,
    }


def measure_stop_latency(build, folder, runs):
    path = os.path.join(folder, "stop.wav")
    driver = Driver(build, ["stoplatency", windows_path(path), str(runs)], "paced16")
    times = [float(line.split()[1]) for line in driver.rest() if line.startswith("STOPLATENCY")]
    if len(times) != runs:
        raise BenchError("stop latency: %d of %d runs" % (len(times), runs))
    return statistics.median(times), min(times), max(times)


def write_sparse_wave(path, data_size, real_bytes):
    fmt = struct.pack("<HHIIHH", 1, 2, 44100, STEREO_RATE, 4, 16)
    header = (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + data_size) + b"WAVE" +
              b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", data_size))
    with open(path, "wb") as f:
        f.write(header)
        f.write(known_signal()[:real_bytes])
        f.truncate(len(header) + data_size)


def measure_open(build, folder, runs):
    small = os.path.join(folder, "open-1MB.wav")
    big = os.path.join(folder, "open-1GB.wav")
    write_sparse_wave(small, 1 << 20, 1 << 20)
    write_sparse_wave(big, 1 << 30, 1 << 20)
    driver = Driver(build, ["open", windows_path(small), windows_path(big), str(runs)], "paced16")
    times = {"small": [], "big": [], "roundtrip": []}
    for line in driver.rest():
        if line.startswith("OPEN"):
            _, which, ms = line.split()
            times[which].append(float(ms))
        elif line.startswith("ROUNDTRIP"):
            times["roundtrip"].append(float(line.split()[1]))
    os.unlink(big)
    return {k: statistics.median(v) for k, v in times.items() if v}
