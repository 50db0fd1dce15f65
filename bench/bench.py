#!/usr/bin/env python3
"""The benchmark's measuring half. bench/run.sh builds the programs and runs this inside the
private test environment (scripts/test-env.sh), so DISPLAY, WINEPREFIX, PULSE_SERVER and
RECORDER_KNOWN_SIGNAL_FILE are set and `wineserver -p` is running.

  bench.py BUILD_DIR [--quick]

Prints the table on standard output. Every comparison is a ratio of two figures measured in
this same run on the same devices. Times never fail the benchmark; only a step that could not
be done at all does (exit code 1).
"""
import os
import platform
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
STEREO_RATE = 44100 * 4  # bytes per second of 16-bit stereo 44100 Hz
# The two recording formats compared with the floor: ALSA profile, the floor's arguments
# (channels, rate, bits), bytes per second, name, and the driver's format argument.
RECORDING_FORMATS = [
    ("paced16", ["2", "44100", "16"], STEREO_RATE, "16-bit stereo 44100 Hz", []),
    ("paced8", ["1", "11025", "8"], 11025, "8-bit mono 11025 Hz", ["mono8"]),
]
BUFFER_BYTES = 64000  # one buffer of the recorder


class BenchError(Exception):
    pass


def log(text):
    sys.stderr.write("[bench] %s\n" % text)
    sys.stderr.flush()


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def alsa_env(profile):
    env = dict(os.environ)
    env["ALSA_CONFIG_PATH"] = os.path.join(REPO, "tests", "alsa", profile + ".conf")
    env["RECORDER_ALSA_PROFILE"] = profile
    return env


# ---- Processes ----


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def cpu_seconds(pid):
    """user + system seconds of a live process, None when it is gone."""
    stat = read_text("/proc/%d/stat" % pid).decode(errors="replace")
    if not stat:
        return None
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def status_kb(pid, name):
    for line in read_text("/proc/%d/status" % pid).decode(errors="replace").splitlines():
        if line.startswith(name + ":"):
            return int(line.split()[1])
    return None


def wine_processes():
    """{pid: label} of the Unix processes that belong to our Wine prefix."""
    prefix = os.environ["WINEPREFIX"].encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        pid = int(entry)
        environ = read_text("/proc/%d/environ" % pid).split(b"\0")
        if b"WINEPREFIX=" + prefix not in environ:
            continue
        comm = read_text("/proc/%d/comm" % pid).decode(errors="replace").strip()
        cmdline = read_text("/proc/%d/cmdline" % pid).replace(b"\0", b" ").decode(errors="replace")
        if comm.startswith("wineserver"):
            found[pid] = "wineserver"
        elif "AudioRecorder.exe" in cmdline:
            found[pid] = "recorder"
        elif "bench_driver.exe" in cmdline or "keepalive" in cmdline:
            continue  # the measuring side and the environment's idle window
        elif ".exe" in cmdline.lower():
            found[pid] = "wine:" + os.path.basename(cmdline.split()[0].replace("\\", "/"))
    return found


def pulse_daemon_pid():
    socket = os.environ.get("PULSE_SERVER", "").replace("unix:", "")
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            cmdline = read_text("/proc/%s/cmdline" % entry)
            if b"pulseaudio" in cmdline and socket.encode() in cmdline:
                return int(entry)
    return None


def snapshot(pids):
    return {pid: cpu_seconds(pid) for pid in pids}


class Driver:
    """bench_driver.exe under Wine, read line by line."""

    def __init__(self, build, args, profile):
        exe = os.path.join(build, "bench", "bench_driver.exe")
        self.lines = []
        self.process = subprocess.Popen(["wine", exe] + args, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=alsa_env(profile),
                                        text=True)

    def next_line(self):
        line = self.process.stdout.readline()
        if not line:
            raise BenchError("bench_driver ended early: %s" % " | ".join(self.lines[-3:]))
        line = line.rstrip("\r\n")
        self.lines.append(line)
        if line.startswith("ERROR"):
            raise BenchError("bench_driver: " + line)
        return line

    def wait_for(self, prefix):
        while True:
            line = self.next_line()
            if line.startswith(prefix):
                return line

    def rest(self):
        out = []
        while True:
            try:
                line = self.next_line()
            except BenchError as error:
                if "ended early" in str(error):
                    break
                raise
            out.append(line)
        self.process.wait(timeout=60)
        return out


# ---- The known signal ----

_period = None


def known_signal():
    global _period
    if _period is None:
        with open(os.environ["RECORDER_KNOWN_SIGNAL_FILE"], "rb") as f:
            _period = f.read()
    return _period


def wave_payload(path):
    """(declared data size, payload bytes present) of a RIFF WAVE file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise BenchError("%s is not a RIFF WAVE file" % path)
    at = 12
    while at + 8 <= len(data):
        ident, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if ident == b"data":
            return size, data[at + 8:]
        at += 8 + size + (size & 1)
    raise BenchError("%s has no data chunk" % path)


def align_signal(payload):
    """Checks that the payload is silence followed by one unbroken run of the known signal.
    Returns (silence bytes, signal bytes, text about gaps)."""
    period = known_signal()
    search = period + period[:64]
    first = 0
    while first < len(payload) and payload[first] == 0:
        first += 1
    offset = -1
    for start in range(first, min(first + 8, len(payload) - 16)):
        found = search.find(payload[start:start + 16])
        if found >= 0:
            offset, first = found, start
            break
    if offset < 0:
        return first, 0, "known signal not found"
    while first > 0 and payload[first - 1] == period[(offset - 1) % len(period)]:
        first, offset = first - 1, (offset - 1) % len(period)
    body = payload[first:]
    repeats = (offset + len(body)) // len(period) + 1
    expected = (period * (repeats + 1))[offset:offset + len(body)]
    if body == expected:
        return first, len(body), "none"
    # Locate the first difference and how far the signal jumps there.
    low, high = 0, len(body)
    while high - low > 1:
        middle = (low + high) // 2
        if body[:middle] == expected[:middle]:
            low = middle
        else:
            high = middle
    where = low
    found = search.find(body[where + 16:where + 32]) if where + 32 <= len(body) else -1
    if found >= 0:
        jump = (found - 16 - (offset + where)) % len(period)
        return first, len(body), "gap at payload byte %d: %d bytes missing" % (first + where, jump)
    return first, len(body), "signal breaks off at payload byte %d" % (first + where)


# ---- A competing writer on the same disk ----


class DiskLoad:
    """A separate process that writes 8 MiB blocks over a 512 MiB file and fsyncs each, at up
    to 64 MiB/s (a busy copy; unthrottled, this disk takes well over 1 GiB/s, which only wears
    the shared machine's disk without telling more)."""

    SCRIPT = r"""
import os, sys, time
path, stop = sys.argv[1], sys.argv[2]
block = os.urandom(8 << 20)
fd = os.open(path, os.O_WRONLY | os.O_CREAT, 0o644)
written = 0
start = time.monotonic()
while not os.path.exists(stop):
    if os.lseek(fd, 0, os.SEEK_CUR) >= (512 << 20):
        os.lseek(fd, 0, os.SEEK_SET)
    os.write(fd, block)
    os.fsync(fd)
    written += len(block)
    ahead = written / (64 << 20) - (time.monotonic() - start)
    if ahead > 0:
        time.sleep(ahead)
os.close(fd)
os.unlink(path)
print(written)
"""

    def __init__(self, folder):
        self.stop_file = os.path.join(folder, "load.stop")
        if os.path.exists(self.stop_file):
            os.unlink(self.stop_file)
        self.process = subprocess.Popen(
            [sys.executable, "-c", self.SCRIPT, os.path.join(folder, "load.bin"), self.stop_file],
            stdout=subprocess.PIPE, text=True)

    def stop(self):
        open(self.stop_file, "w").close()
        out, _ = self.process.communicate(timeout=120)
        os.unlink(self.stop_file)
        return int(out.strip() or 0)


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


# ---- The table ----


def machine():
    model = "unknown"
    for line in read_text("/proc/cpuinfo").decode(errors="replace").splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return model, os.cpu_count(), wine


def ratio(a, b):
    return "%.2f" % (a / b) if b else "n/a"


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    build = os.path.abspath(argv[1])
    quick = "--quick" in argv
    startup_runs = 5 if quick else 15
    record_seconds = 10 if quick else 60
    memory_seconds = 60 if quick else 600
    stop_runs = 5 if quick else 20
    open_runs = 5 if quick else 15

    folder = tempfile.mkdtemp(prefix="bench-", dir=os.environ.get("RECORDER_ENV_DIR", "/tmp"))
    model, cores, wine = machine()
    rows = []

    def row(name, ours, other, ratio_text, note=""):
        rows.append((name, ours, other, ratio_text, note))

    log("start-up, %d runs each" % startup_runs)
    ours_start, bare_start, floor_start = measure_startup(build, startup_runs)
    row("Start-up to idle window vs the floor (median of %d)" % startup_runs,
        "%.0f ms" % ours_start, "%.0f ms (bare dialog making our start-up's queries)" % floor_start,
        ratio(ours_start, floor_start), "goal: at most 1.2")
    row("Start-up to idle window, context (median of %d)" % startup_runs, "%.0f ms" % ours_start,
        "%.0f ms (plain bare dialog)" % bare_start, ratio(ours_start, bare_start))

    floor_rounds = 1 if quick else 5
    floor_seconds = 10 if quick else 30
    for recording_format in RECORDING_FORMATS:
        name = recording_format[3]
        log("recording %s vs the minimal WINMM recorder, %d alternated rounds of %d s" % (
            name, floor_rounds, floor_seconds))
        ours_floor, floor_floor, ours_server, floor_server = [], [], [], []
        for _ in range(floor_rounds):
            # Per minute of the run: with 64,000-byte buffers an 8-bit mono file grows in
            # 5.8 s steps, too coarse for a 30 s run; the paced device records in real time.
            run = measure_ours_recording(build, folder, floor_seconds, False, recording_format)
            minutes = run["wall"] / 60
            ours_floor.append(sum(run["cpu"].values()) / minutes)
            ours_server.append(run["cpu"].get("wineserver", 0.0) / minutes)
            run = measure_floor_recording(build, folder, floor_seconds, recording_format)
            minutes = run["wall"] / 60
            floor_floor.append(sum(run["cpu"].values()) / minutes)
            floor_server.append(run["cpu"].get("wineserver", 0.0) / minutes)
        # The machine's own load drifts more between rounds than ours differs from the
        # floor's within one, so the ratio is the median of each round's pair.
        pairs = [a / b for a, b in zip(ours_floor, floor_floor) if b]
        row("Recording CPU per minute recorded vs the floor (%s, median of %d alternated %d s "
            "runs, wineserver included)" % (name, floor_rounds, floor_seconds),
            "%.3f s" % statistics.median(ours_floor),
            "%.3f s (minimal WINMM recorder)" % statistics.median(floor_floor),
            "%.2f" % statistics.median(pairs) if pairs else "n/a",
            "goal: at most 1.1; ratio: median of the rounds' ratios (%s); of which wineserver "
            "%.3f s vs %.3f s" % (", ".join("%.2f" % r for r in pairs),
                                  statistics.median(ours_server), statistics.median(floor_server)))

    log("recording %d s with our program under disk load" % record_seconds)
    ours = measure_ours_recording(build, folder, record_seconds)
    log("recording %d s with arecord under disk load" % record_seconds)
    theirs = measure_arecord(folder, record_seconds)

    declared, payload = wave_payload(ours["path"])
    ours_minutes = declared / STEREO_RATE / 60
    a_declared, a_payload = wave_payload(theirs["path"])
    theirs_minutes = len(a_payload) / STEREO_RATE / 60
    ours_cpu = sum(ours["cpu"].values())
    theirs_cpu = sum(theirs["cpu"].values())
    breakdown = ", ".join("%s %.2f s" % (k, v) for k, v in sorted(ours["cpu"].items()))
    row("Recording CPU per minute of audio (16-bit stereo 44100 Hz, %d s)" % record_seconds,
        "%.3f s" % (ours_cpu / ours_minutes), "%.3f s (arecord)" % (theirs_cpu / theirs_minutes),
        ratio(ours_cpu / ours_minutes, theirs_cpu / theirs_minutes),
        "ours: %s; PulseAudio server meanwhile %.2f s vs %.2f s" %
        (breakdown, ours["pulse"], theirs["pulse"]))

    silence, signal, gaps = align_signal(payload)
    a_silence, a_signal, a_gaps = align_signal(a_payload)
    captured = text_kb_to_bytes(ours["captured_text"])
    row("Integrity under disk load: captured vs in file",
        "%s captured, %d bytes in file (%s)" % (
            ours["captured_text"].strip(), declared,
            "equal" if abs(captured - declared) <= 52 and len(payload) == declared
            else "DIFFERENT"),
        "%d bytes in file" % len(a_payload), "",
        "window text has 0.1 KB steps; file holds %d bytes past the declared size" %
        (len(payload) - declared))
    row("Integrity under disk load: known signal", "gap: %s (%d B silence, %d B signal)" % (
        gaps, silence, signal), "gap: %s (%d B silence, %d B signal)" % (
        a_gaps, a_silence, a_signal), "",
        "competing writer: %.0f MiB and %.0f MiB written+fsynced" % (
            ours["load_bytes"] / 2**20, theirs["load_bytes"] / 2**20))

    log("memory over %d s of audio on the fast device" % memory_seconds)
    memory = measure_memory(build, folder, memory_seconds)
    row("Memory, %.0f s of audio (%d samples, 1/s): RssAnon growth after first buffer" % (
        memory["audio_seconds"], memory["samples"]),
        "%+d KiB (first %d, max %d, last %d KiB)" % (
            memory["anon_last"] - memory["anon_first"], memory["anon_first"],
            memory["anon_max"], memory["anon_last"]), "", "",
        "Unix process of the recorder, /proc/<pid>/status; VmRSS %d -> %d KiB (max %d); %s" % (
            memory["rss_first"], memory["rss_last"], memory["rss_max"],
            "GetProcessMemoryInfo PrivateUsage %d -> %d KiB" % (
                memory["private_first"] // 1024, memory["private_last"] // 1024)
            if memory["private_last"] else
            "Wine's GetProcessMemoryInfo reports 0 for another process, so it is not used"))

    log("stop latency, %d runs" % stop_runs)
    median_stop, fastest, slowest = measure_stop_latency(build, folder, stop_runs)
    row("Stop to sizes final on disk and controls idle (median of %d)" % stop_runs,
        "%.1f ms" % median_stop, "", "", "min %.1f ms, max %.1f ms" % (fastest, slowest))

    log("open cost, %d runs" % open_runs)
    opened = measure_open(build, folder, open_runs)
    row("Open a wave file (median of %d, via the recent-files command)" % open_runs,
        "1 GB: %.1f ms" % opened["big"], "1 MB: %.1f ms" % opened["small"],
        ratio(opened["big"], opened["small"]),
        "includes one driver round trip of %.1f ms" % opened.get("roundtrip", float("nan")))

    build_type = "?"
    for line in read_text(os.path.join(build, "CMakeCache.txt")).decode(errors="replace").splitlines():
        if line.startswith("CMAKE_BUILD_TYPE:"):
            build_type = line.split("=", 1)[1] or "default (no optimisation flags)"
    print("Machine: %s (%d cores), %s, Linux %s" % (model, cores, wine, platform.release()))
    print("Program: %s, %s, build type %s" % (os.path.join(build, "bin", "AudioRecorder.exe"),
                                              os.environ.get("RECORDER_ARCH", "?"), build_type))
    print("")
    print("| Measure | Ours | Other | Ratio | Notes |")
    print("|---|---|---|---|---|")
    for name, a, b, r, note in rows:
        print("| %s | %s | %s | %s | %s |" % (name, a, b, r, note))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except BenchError as error:
        log("failed: %s" % error)
        sys.exit(1)
