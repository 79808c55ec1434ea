#!/usr/bin/env python3
"""Window benchmark under a private Xvfb (no window manager).

Before every timed run, CLIENTS copies of xclient (50 by default), each with
WINDOWS top-level windows (10: 500 in all), run from one path; then, each as
a whole process with hyperfine in the same run:
  vesk-host   vesk-host end PATH (the end action's Execute)
  xdotool     for each process: xdotool search --pid P, then
              xdotool windowclose W for each window found
and prints the ratio of the medians. xdotool has no WM_DELETE_WINDOW
request, so windowclose (one request per window, like ours) stands for it.

usage: window-bench.py BUILD_DIR [OUT_DIR]
Environment: CLIENTS (50), WINDOWS (10), RUNS (15), WARMUP (2), VESK_HOST
(the host program to time; BUILD_DIR/vesk-host by default).
This script reaps every process it or the prepare step starts (it is their
subreaper) and stops the display on every exit path.
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PR_SET_CHILD_SUBREAPER = 36


def start_display(work):
    for n in range(71, 140):
        if os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
            continue
        log = open(os.path.join(work, "xvfb.log"), "w")
        xvfb = subprocess.Popen(["Xvfb", f":{n}", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24"],
                                stdout=log, stderr=log)
        for _ in range(50):
            if xvfb.poll() is not None:
                break
            if subprocess.run(["xdpyinfo"], env=dict(os.environ, DISPLAY=f":{n}"),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return xvfb, f":{n}"
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
    raise SystemExit("window-bench: no Xvfb display could be started")


PREPARE = r'''#!/usr/bin/env bash
# Ends the clients of the previous run, then starts a new set and waits
# until every one has made its windows.
set -u
work=%(work)s
if [ -s "$work/pids" ]; then
  for pid in $(cat "$work/pids"); do kill "$pid" 2>/dev/null; done
  for pid in $(cat "$work/pids"); do
    for _ in $(seq 100); do
      state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || break
      [ "$state" = Z ] && break
      sleep 0.02
    done
  done
fi
rm -rf "$work/ready"; mkdir -p "$work/ready"; : >"$work/pids"
for i in $(seq %(clients)d); do
  "$work/app/xclient" --windows %(windows)d --net-wm-pid --timeout 300 --ready "$work/ready/$i" \
    >/dev/null 2>&1 </dev/null &
  echo $! >>"$work/pids"
done
for _ in $(seq 300); do
  [ "$(ls "$work/ready" | grep -vc tmp)" -ge %(clients)d ] && exit 0
  sleep 0.05
done
echo "clients not ready" >&2; exit 1
'''

XDOTOOL = r'''#!/usr/bin/env bash
for pid in $(cat %(work)s/pids); do
  for w in $(xdotool search --pid "$pid"); do xdotool windowclose "$w"; done
done
exit 0
'''


def alive(pid):
    """Running and not a zombie."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def reap_all():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(argv[1])
    out = os.path.abspath(argv[2]) if len(argv) > 2 else os.path.join(build, "bench")
    os.makedirs(out, exist_ok=True)
    clients = int(os.environ.get("CLIENTS", "50"))
    windows = int(os.environ.get("WINDOWS", "10"))
    runs = os.environ.get("RUNS", "15")
    warmup = os.environ.get("WARMUP", "2")
    here = os.path.dirname(os.path.abspath(__file__))
    # Clients orphaned by the prepare step come to this process to be reaped.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = tempfile.mkdtemp(prefix="vesk-window-bench-")
    xvfb = None
    try:
        xvfb, display = start_display(work)
        os.environ["DISPLAY"] = display
        os.makedirs(os.path.join(work, "app"))
        shutil.copy(os.path.join(build, "tests", "xclient"), os.path.join(work, "app", "xclient"))
        for name, text in (("prepare.sh", PREPARE), ("xdotool-route.sh", XDOTOOL)):
            with open(os.path.join(work, name), "w") as f:
                f.write(text % {"work": work, "clients": clients, "windows": windows})
        print(f"Xvfb on {display}: {clients} processes x {windows} windows, no window manager")
        host = os.environ.get("VESK_HOST", os.path.join(build, "vesk-host"))
        # Once untimed: the end action must really close every client.
        subprocess.run(["bash", f"{work}/prepare.sh"], check=True)
        subprocess.run([host, "end", f"{work}/app/xclient"], check=True, stdout=subprocess.DEVNULL)
        pids = [int(p) for p in open(os.path.join(work, "pids")).read().split()]
        deadline = time.time() + 10
        while time.time() < deadline and any(alive(p) for p in pids):
            time.sleep(0.05)
        running = sum(alive(p) for p in pids)
        print(f"check: {len(pids) - running} of {len(pids)} clients exited after one end action")
        if running:
            return 1
        export = os.path.join(out, "windows.json")
        subprocess.run(["hyperfine", "-N", "-i", "--warmup", warmup, "--runs", runs,
                        "--prepare", f"bash {work}/prepare.sh", "--export-json", export,
                        "-n", "vesk-host", f"{host} end {work}/app/xclient",
                        "-n", "xdotool", f"bash {work}/xdotool-route.sh"], check=True)
        reap_all()
        result = subprocess.run([sys.executable, os.path.join(here, "ratios.py"), export, "xdotool",
                                 "--target", "vesk-host:0.2"], capture_output=True, text=True)
        print(result.stdout, end="")
        with open(os.path.join(out, "windows-ratios.txt"), "w") as f:
            f.write(result.stdout)
        return result.returncode
    finally:
        pids_file = os.path.join(work, "pids")
        if os.path.exists(pids_file):
            for pid in open(pids_file).read().split():
                try:
                    os.kill(int(pid), signal.SIGTERM)
                except ProcessLookupError:
                    pass
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        time.sleep(0.2)
        reap_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
