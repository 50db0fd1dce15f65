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
import statistics
import subprocess
import sys
import tempfile

from bench_measures import (RECORDING_FORMATS, STEREO_RATE, measure_arecord,
                            measure_floor_recording, measure_memory, measure_open,
                            measure_ours_recording, measure_startup, measure_stop_latency,
                            text_kb_to_bytes)
from bench_processes import BenchError, log, read_text
from bench_signal import align_signal, wave_payload


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
