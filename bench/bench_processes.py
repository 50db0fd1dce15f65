"""The processes the benchmark starts and watches: Wine's Unix processes and their CPU and
memory under /proc, the measuring driver (bench_driver.exe) read line by line, and a competing
writer on the same disk; with the error and the log every part of the benchmark shares."""
import os
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


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
