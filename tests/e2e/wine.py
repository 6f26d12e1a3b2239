"""The Wine end-to-end test harness: a session (an Xvfb display, the Wine
prefix kept in the build tree, one persistent wineserver) and the helpers
every end-to-end test uses to run Windows programs in it and to look at what
they do. Standard library only.

The session outlives the processes that use it: CTest's fixture tests start
and stop it, and a small state file in the build tree tells every test in
between where it is.

    wine.py start --state FILE --prefix DIR --dist DIR   start the session
    wine.py stop --state FILE                            stop it, kill all it had
    wine.py run [--timeout S] [--name N] -- PROGRAM [ARG...]
                                  run one Windows program in the session and
                                  exit with its exit code

A test script ends with `wine.main()`: that runs its unittest cases inside a
guard that gives the test its own deadline and kills, by PID, every process
the test started, whether the test passes, fails or runs out of time.

How processes are found again: every harness process makes itself a child
subreaper, so the Wine processes its programs start (Wine double-forks them)
stay in its own process tree; each program also carries a marker in its
environment, which Wine hands on to the processes it starts. A guard writes
what it owns to a ledger in the state folder, so that when CTest kills a test
outright the next test, or the session's stop, can still end what it left.
"""

import argparse
import ctypes
import fcntl
import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest
from dataclasses import dataclass, field

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
SCREEN = "1280x1024x24"
STATE_ENV = "SAVER_E2E_STATE"
TIMEOUT_ENV = "SAVER_E2E_TIMEOUT"
TEST_NAME_ENV = "SAVER_E2E_TEST_NAME"
RUN_MARKER_ENV = "SAVER_E2E_RUN"
# Mono and Gecko would offer to install themselves; the menu builder would
# write desktop entries into the home folder.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

# Window styles the tests look at (Window.has_style, Window.has_exstyle).
WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080


class HarnessError(Exception):
    """The harness could not do what was asked (not a finding about the program)."""


class WaitTimeout(AssertionError):
    """A bounded wait ran out. An AssertionError, so unittest reports a failure."""


class ProgramTimeout(AssertionError):
    """A program did not end within its time and was killed."""


def log(message):
    print(f"[wine.py {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def wait_for(predicate, timeout, interval=0.05, what="the condition"):
    """Polls predicate until it returns something true, which is returned;
    raises WaitTimeout after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise WaitTimeout(f"{what} not reached within {timeout:g} s")
        time.sleep(interval)


# ---------------------------------------------------------------------------
# Linux processes

@dataclass(frozen=True)
class ProcRef:
    """A process by PID and start time, so that a reused PID is never mistaken for it."""
    pid: int
    start: int

    @staticmethod
    def of(pid):
        info = _stat(pid)
        return ProcRef(pid, info[2]) if info else None

    def alive(self):
        info = _stat(self.pid)
        return bool(info) and info[2] == self.start and info[1] != "Z"

    def as_list(self):
        return [self.pid, self.start]


def _stat(pid):
    """(ppid, state, start time) of a process, or None."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            text = f.read().decode("ascii", "replace")
    except OSError:
        return None
    # The command name is in parentheses and may itself hold blanks or parentheses.
    fields = text[text.rfind(")") + 2:].split()
    return int(fields[1]), fields[0], int(fields[19])


def _process_table():
    table = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            info = _stat(int(name))
            if info:
                table[int(name)] = info
    return table


def descendants(root=None):
    """Living processes below root (default: this process), as ProcRefs."""
    root = os.getpid() if root is None else root
    table = _process_table()
    children = {}
    for pid, (ppid, _, _) in table.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = [], list(children.get(root, []))
    while todo:
        pid = todo.pop()
        ppid, state, start = table[pid]
        if state != "Z":
            found.append(ProcRef(pid, start))
        todo.extend(children.get(pid, []))
    return found


def _carries_marker(ref, marker):
    try:
        with open(f"/proc/{ref.pid}/environ", "rb") as f:
            return f"{RUN_MARKER_ENV}={marker}".encode() in f.read().split(b"\0")
    except OSError:
        return False


def kill_refs(refs, timeout=10.0):
    """SIGKILLs every process of refs still alive and waits until they are gone.
    Returns the ones that survived."""
    refs = [r for r in refs if r.alive()]
    for ref in refs:
        try:
            os.kill(ref.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    try:
        wait_for(lambda: not any(r.alive() for r in refs), timeout, 0.02, "the killed processes to end")
    except WaitTimeout:
        pass
    return [r for r in refs if r.alive()]


def spawn(argv, **options):
    """subprocess.Popen, registered with this process's guard so that the
    guard's zombie reaper leaves the child to its Popen."""
    if _guard is None:
        return subprocess.Popen(argv, **options)
    with _guard.lock:
        process = subprocess.Popen(argv, **options)
        _guard.popen_pids.add(process.pid)
    return process


def _become_subreaper():
    pr_set_child_subreaper = 36
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(pr_set_child_subreaper, 1, 0, 0, 0) != 0:
        raise HarnessError(f"prctl(PR_SET_CHILD_SUBREAPER) failed: errno {ctypes.get_errno()}")


# ---------------------------------------------------------------------------
# The guard: one per harness process

class _Guard:
    """Owns every process this harness process starts: records them in a ledger,
    enforces the deadline and kills them all at the end."""

    def __init__(self, state_dir, deadline_seconds=None, on_timeout=None):
        _become_subreaper()
        self.me = ProcRef.of(os.getpid())
        self.popen_pids = set()
        self.lock = threading.RLock()
        self.cleaned = False
        self.on_timeout = on_timeout
        self.owners_dir = os.path.join(state_dir, "owners")
        os.makedirs(self.owners_dir, exist_ok=True)
        self.ledger = os.path.join(self.owners_dir, f"{self.me.pid}.json")
        self.recorded = None
        self.deadline = time.monotonic() + deadline_seconds if deadline_seconds else None
        reap_dead_owners(state_dir)
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, self._on_signal)
        self.thread = threading.Thread(target=self._watch, daemon=True)
        self.thread.start()

    def _on_signal(self, signum, _frame):
        log(f"signal {signum}: killing what this test started")
        self.cleanup()
        os._exit(128 + signum)

    def _watch(self):
        while not self.cleaned:
            if self.deadline and time.monotonic() >= self.deadline:
                log("the test ran out of its time: killing what it started")
                if self.on_timeout:
                    try:
                        self.on_timeout()
                    except Exception as error:  # the clean-up must happen anyway
                        log(f"while handling the time-out: {error}")
                self.cleanup()
                os._exit(124)
            self.record()
            self._reap_zombies()
            time.sleep(0.25)

    def _reap_zombies(self):
        # Orphans handed to this subreaper are reaped here; a Popen's own child
        # is left to its Popen, which needs its exit status.
        with self.lock:
            own = set(self.popen_pids)
        for pid, (ppid, state, _) in _process_table().items():
            if ppid == self.me.pid and state == "Z" and pid not in own:
                try:
                    os.waitpid(pid, os.WNOHANG)
                except ChildProcessError:
                    pass

    def record(self):
        refs = sorted(descendants(), key=lambda r: r.pid)
        with self.lock:
            if refs == self.recorded or self.cleaned:
                return
            self.recorded = refs
            data = {"owner": self.me.as_list(), "processes": [r.as_list() for r in refs]}
            temporary = self.ledger + ".tmp"
            with open(temporary, "w") as f:
                json.dump(data, f)
            os.replace(temporary, self.ledger)

    def keep_running(self):
        """Leaves every process running: the session start hands its processes
        over to the session's state."""
        with self.lock:
            self.cleaned = True
            _remove(self.ledger)

    def cleanup(self):
        with self.lock:
            if self.cleaned:
                return
            self.cleaned = True
        # Wine starts processes through a double fork, so new ones can show up
        # while the first are being killed; go round until none is left.
        for _ in range(20):
            refs = descendants()
            if not refs:
                break
            kill_refs(refs, 5.0)
        survivors = descendants()
        if survivors:
            log(f"processes that survived SIGKILL: {[r.pid for r in survivors]}")
        else:
            _remove(self.ledger)


_guard = None


def guard(state_dir, deadline_seconds=None, on_timeout=None):
    global _guard
    if _guard is None:
        _guard = _Guard(state_dir, deadline_seconds, on_timeout)
    return _guard


def reap_dead_owners(state_dir):
    """Kills what harness processes that died without cleaning up left behind."""
    owners_dir = os.path.join(state_dir, "owners")
    if not os.path.isdir(owners_dir):
        return
    for name in os.listdir(owners_dir):
        path = os.path.join(owners_dir, name)
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        if ProcRef(*data["owner"]).alive():
            continue
        refs = [ProcRef(*p) for p in data["processes"]]
        alive = [r for r in refs if r.alive()]
        if alive:
            log(f"killing {len(alive)} processes left by dead test process {data['owner'][0]}")
        if not kill_refs(alive):
            _remove(path)


def _remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


# ---------------------------------------------------------------------------
# Programs

@dataclass
class Result:
    exit_code: int
    stdout: str
    stderr: str
    stdout_path: str
    stderr_path: str
    seconds: float

    def describe(self):
        def tail(text):
            lines = text.splitlines()[-40:]
            return "\n".join(lines) if lines else "(empty)"
        return (f"exit code {self.exit_code} after {self.seconds:.1f} s\n"
                f"--- stdout ({self.stdout_path}):\n{tail(self.stdout)}\n"
                f"--- stderr ({self.stderr_path}):\n{tail(self.stderr)}")


def _read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace")


class Program:
    """A program started in the session. Its standard output and error go to
    files, never pipes: Wine's helper processes can hold a pipe open long
    after the program ended."""

    def __init__(self, session, argv, env, name, cwd):
        self.session = session
        self.name = name
        self.marker = session._next_marker()
        base = os.path.join(session.artifacts, f"{self.marker}-{re.sub(r'[^A-Za-z0-9._-]', '_', name)}")
        self.stdout_path = base + ".out"
        self.stderr_path = base + ".err"
        env = dict(env)
        env[RUN_MARKER_ENV] = self.marker
        self.started = time.monotonic()
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.popen = spawn(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env, cwd=cwd)
        session._programs.append(self)

    def poll(self):
        return self.popen.poll()

    def processes(self):
        """The program's process and every process it started that still lives."""
        return [r for r in descendants() if r.pid == self.popen.pid or _carries_marker(r, self.marker)]

    def wait(self, timeout):
        """Waits for the program's own process and returns its Result; kills it
        and raises ProgramTimeout when it takes longer than timeout seconds."""
        try:
            code = self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise ProgramTimeout(f"{self.name} did not end within {timeout:g} s and was killed\n"
                                 + self.result(-signal.SIGKILL).describe()) from None
        return self.result(code)

    def result(self, code):
        return Result(code, _read_text(self.stdout_path), _read_text(self.stderr_path),
                      self.stdout_path, self.stderr_path, time.monotonic() - self.started)

    def output(self):
        return _read_text(self.stdout_path)

    def wait_for_output(self, predicate, timeout, what=None):
        """Polls the program's standard output (as text) until predicate holds."""
        def check():
            text = self.output()
            if predicate(text):
                return text or True
            if self.poll() is not None:
                raise AssertionError(f"{self.name} ended before {what or 'its output was there'}\n"
                                     + self.result(self.poll()).describe())
            return None
        return wait_for(check, timeout, what=what or f"output of {self.name}")

    def kill(self):
        """Kills the program's process and every process it started."""
        for _ in range(10):
            refs = self.processes()
            if not refs:
                break
            kill_refs(refs, 5.0)
        if self.popen.poll() is None:
            self.popen.kill()
        try:
            self.popen.wait(5)
        except subprocess.TimeoutExpired:
            pass


# ---------------------------------------------------------------------------
# What the probe reports

@dataclass
class Window:
    hwnd: int
    pid: int
    tid: int
    cls: str
    title: str
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    topmost: bool
    parent: int
    owner: int
    rect: tuple
    client: tuple
    raw: dict = field(repr=False, default_factory=dict)

    @staticmethod
    def from_json(data):
        return Window(data["hwnd"], data["pid"], data["tid"], data["class"], data["title"], data["style"],
                      data["exstyle"], data["visible"], data["enabled"], data["topmost"], data["parent"],
                      data["owner"], tuple(data["rect"]), tuple(data["client"]), data)

    @property
    def width(self):
        return self.rect[2] - self.rect[0]

    @property
    def height(self):
        return self.rect[3] - self.rect[1]

    @property
    def center(self):
        return ((self.rect[0] + self.rect[2]) // 2, (self.rect[1] + self.rect[3]) // 2)

    def has_style(self, bits):
        return self.style & bits == bits

    def has_exstyle(self, bits):
        return self.exstyle & bits == bits


class WindowWatch:
    """Records the Windows windows that are created and destroyed while the
    `with` block runs, through an out-of-context WinEvent hook in the probe.
    The hook's events arrive late: a window, or its whole process, may be
    gone by then. So every event names the thread that raised it, its pid
    where that was still to be found (else 0), and the window's details only
    if the window was still there. Attribute events by pid or thread, e.g.
    with the threads that traced_threads() finds in a program's trace.
    Wine raises no show events: ScreenWatch tells what became visible."""

    def __init__(self, session, image=None, pid=None):
        self.session = session
        self.args = ["watch"]
        if image:
            self.args += ["--image", image]
        if pid:
            self.args += ["--pid", str(pid)]
        self.events = []
        self.program = None

    def __enter__(self):
        self.stop_file = os.path.join(self.session.artifacts, f"watch-{self.session._next_marker()}.stop")
        self.program = self.session.start_probe(*self.args, "--stop", self.session.windows_path(self.stop_file),
                                                name="watch")
        self.program.wait_for_output(lambda text: '"ready"' in text, 30, "the window watch to be ready")
        return self

    def __exit__(self, exc_type, *_):
        with open(self.stop_file, "w"):
            pass
        result = self.program.wait(30)
        if exc_type is not None:
            return False
        if result.exit_code != 0:
            raise HarnessError("the window watch failed\n" + result.describe())
        lines = [json.loads(line) for line in result.stdout.splitlines() if line.strip()]
        self.events = [e for e in lines if e.get("event") not in ("ready", "end")]
        if not any(e.get("event") == "end" for e in lines):
            raise HarnessError("the window watch did not finish its record\n" + result.describe())
        return False

    def of(self, kind=None, pid=None, threads=()):
        """Events of one kind (all if None) raised by process pid or by one of
        threads (all events if neither is given)."""
        def raised_by(e):
            return (pid is None and not threads) or (pid and e["pid"] == pid) or e["thread"] in threads
        return [e for e in self.events if (kind is None or e["event"] == kind) and raised_by(e)]

    def created(self, pid=None, threads=()):
        return self.of("create", pid, threads)


class ScreenWatch:
    """Records, from the X server itself, what happens to the top-level X
    windows while the `with` block runs: created, mapped (shown on the
    screen), unmapped, moved or resized, destroyed. Wine gives every
    top-level window that it shows an X window of its own, so a "map" is a
    window becoming visible, however briefly. Speaks the X protocol directly
    on the display's socket: it knows exactly when its selection is in force,
    and a round trip at the end collects every event raised before it (they
    wait in the socket meanwhile, which is plenty for the runs of a test)."""

    _NAMES = {16: "create", 17: "destroy", 18: "unmap", 19: "map", 22: "configure"}

    def __init__(self, display):
        self.socket_path = f"/tmp/.X11-unix/X{display.lstrip(':').split('.')[0]}"
        self.events = []
        self._buffer = b""
        self._replies = 0

    def __enter__(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(self.socket_path)
        # Little-endian, protocol 11.0, no authorisation (the display has none).
        self.sock.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = self._read(8)
        setup = self._read(struct.unpack_from("<H", head, 6)[0] * 4)
        if head[0] != 1:
            raise HarnessError(f"the X server refused the connection: {setup!r}")
        vendor_length, formats = struct.unpack_from("<H", setup, 16)[0], setup[21]
        root = struct.unpack_from("<I", setup, 32 + (vendor_length + 3) // 4 * 4 + 8 * formats)[0]
        # ChangeWindowAttributes(root, event-mask = SubstructureNotify)
        self.sock.sendall(struct.pack("<BxHIII", 2, 4, root, 0x800, 0x80000))
        self._round_trip()
        return self

    def __exit__(self, *exc):
        try:
            self._round_trip()
        finally:
            self.sock.close()
        return False

    def _read(self, size):
        while len(self._buffer) < size:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise HarnessError("the X server closed the connection")
            self._buffer += chunk
        data, self._buffer = self._buffer[:size], self._buffer[size:]
        return data

    def _round_trip(self):
        # GetInputFocus: its reply comes after every event raised before it.
        self.sock.sendall(struct.pack("<BxH", 43, 1))
        expected = self._replies + 1
        while self._replies < expected:
            message = self._read(32)
            kind = message[0] & 0x7F
            if kind == 0:
                raise HarnessError(f"X error {message[1]} for request {message[10]}")
            if kind == 1:
                self._read(struct.unpack_from("<I", message, 4)[0] * 4)
                self._replies += 1
            elif kind in self._NAMES:
                self._record(kind, message)

    def _record(self, kind, message):
        event = {"event": self._NAMES[kind], "window": struct.unpack_from("<I", message, 8)[0]}
        if kind == 16:
            x, y, width, height = struct.unpack_from("<hhHH", message, 12)
            event.update(rect=(x, y, x + width, y + height), override=bool(message[22]))
        elif kind == 19:
            event["override"] = bool(message[12])
        elif kind == 22:
            x, y, width, height = struct.unpack_from("<hhHH", message, 16)
            event["rect"] = (x, y, x + width, y + height)
        self.events.append(event)

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    def mapped(self):
        return self.of("map")

    def created(self):
        return self.of("create")


@dataclass
class CreatedProcess:
    """One CreateProcess call seen in a trace+process log: the caller's pid and
    tid, the arguments, and the started process's pid and main thread."""
    pid: int
    tid: int
    application: str
    cmdline: str
    child_pid: int = None
    child_tid: int = None


_TRACE_CREATE = re.compile(r'^([0-9a-f]+):([0-9a-f]+):trace:process:CreateProcessInternalW app (.*?) cmdline (L".*")$')
_TRACE_STARTED = re.compile(
    r'^([0-9a-f]+):([0-9a-f]+):trace:process:CreateProcessInternalW started process pid ([0-9a-f]+) tid ([0-9a-f]+)')
_TRACE_PREFIX = re.compile(r"^([0-9a-f]+):([0-9a-f]+):(?:trace|warn|err|fixme):")


def unescape_debugstr(text):
    """The string of Wine's debugstr_w form L"..." ("\\\\" for a backslash,
    "\\" and four hex digits for any other character outside printable ASCII)."""
    if not (text.startswith('L"') and text.endswith('"')):
        raise ValueError(f"not a wide debug string: {text!r}")
    body, out, i = text[2:-1], [], 0
    simple = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
        elif body[i + 1] in simple:
            out.append(simple[body[i + 1]])
            i += 2
        else:
            out.append(chr(int(body[i + 1:i + 5], 16)))
            i += 5
    return "".join(out)


def created_processes(trace):
    """Every CreateProcess call in the output of a program run with
    debug="trace+process", in order, with the PID of the process it started."""
    found = []
    for line in trace.splitlines():
        match = _TRACE_CREATE.match(line)
        if match:
            found.append(CreatedProcess(int(match[1], 16), int(match[2], 16), match[3],
                                        unescape_debugstr(match[4])))
            continue
        match = _TRACE_STARTED.match(line)
        if match:
            for call in reversed(found):
                if call.pid == int(match[1], 16) and call.tid == int(match[2], 16) and call.child_pid is None:
                    call.child_pid, call.child_tid = int(match[3], 16), int(match[4], 16)
                    break
    return found


def traced_threads(trace):
    """{pid: {tid, ...}} of every thread that wrote a line to a trace taken
    with a debug channel (lines are prefixed "pid:tid:")."""
    threads = {}
    for line in trace.splitlines():
        match = _TRACE_PREFIX.match(line)
        if match:
            threads.setdefault(int(match[1], 16), set()).add(int(match[2], 16))
    return threads


# ---------------------------------------------------------------------------
# The session as tests see it

class Session:
    """The running session, read from its state file."""

    def __init__(self, state, state_path, guard_):
        self.state = state
        self.state_path = state_path
        self.state_dir = os.path.dirname(state_path)
        self.guard = guard_
        self.display = state["display"]
        self.prefix = state["prefix"]
        self.dist = state["dist"]
        self.x64 = os.path.join(self.dist, "x64")
        self.artifacts = _artifacts_dir(self.state_dir)
        self._programs = []
        self._marker_count = 0

    @staticmethod
    def attach(state_path=None, deadline_seconds=None):
        state_path = os.path.abspath(state_path or os.environ.get(STATE_ENV, ""))
        if not os.path.isfile(state_path):
            raise HarnessError(f"no session state at {state_path!r}: start the session first "
                               f"(the e2e_session_start test, or wine.py start)")
        with open(state_path) as f:
            state = json.load(f)
        for role in ("xvfb", "wineserver"):
            if not ProcRef(*state[role]).alive():
                raise HarnessError(f"the session's {role} (pid {state[role][0]}) is gone")
        session = None

        def on_timeout():
            if session:
                session.screenshot("timeout.png")
        g = guard(os.path.dirname(state_path), deadline_seconds, on_timeout)
        session = Session(state, state_path, g)
        return session

    def _next_marker(self):
        self._marker_count += 1
        return f"{os.getpid()}-{self._marker_count:03d}"

    # -- environment and paths

    def env(self, extra=None, debug=None):
        """The environment of a Wine process of this session. debug names extra
        WINEDEBUG channels (e.g. "trace+process"); their lines are prefixed
        with the process and thread id."""
        env = _wine_env(self.state["env"])
        env["WINEDEBUG"] = f"-all,+pid,{debug}" if debug else "-all"
        env.update(extra or {})
        return env

    def windows_path(self, path):
        """The Windows name of a Linux path, as Wine shows it to programs."""
        path = os.path.abspath(path)
        drive_c = os.path.join(self.prefix, "drive_c")
        if path == drive_c or path.startswith(drive_c + os.sep):
            return "C:" + (path[len(drive_c):].replace("/", "\\") or "\\")
        return "Z:" + path.replace("/", "\\")

    def program(self, name):
        """A program of the Windows x64 build."""
        path = os.path.join(self.x64, name)
        if not os.path.isfile(path):
            raise HarnessError(f"{path} is missing: build the mingw64 preset first")
        return path

    # -- running programs

    def start(self, program, *args, env=None, debug=None, name=None, cwd=None):
        """Starts a Windows program (a Linux path) in the background."""
        name = name or os.path.basename(program)
        return Program(self, [WINE64, program, *args], self.env(env, debug), name, cwd or self.artifacts)

    def run(self, program, *args, timeout=30.0, env=None, debug=None, name=None, cwd=None):
        """Runs a Windows program to its end; see Program.wait."""
        return self.start(program, *args, env=env, debug=debug, name=name, cwd=cwd).wait(timeout)

    def kill_programs(self):
        """Kills every program of this session handle that still runs."""
        for program in self._programs:
            program.kill()
        self._programs = []

    def start_probe(self, *args, name="winprobe"):
        return self.start(self.program("winprobe.exe"), *args, name=name)

    def probe(self, *args, timeout=30.0):
        result = self.start_probe(*args).wait(timeout)
        if result.exit_code != 0:
            raise HarnessError(f"winprobe {' '.join(args)} failed\n" + result.describe())
        return [json.loads(line) for line in result.stdout.splitlines() if line.strip()]

    # -- looking at windows and processes

    def windows(self, pid=None, image=None):
        """The windows of a Windows PID, or of processes whose image has this
        file name: each top-level window followed by its children, which
        may belong to other processes (and a matching child shows up under
        another process's top-level window)."""
        args = ["windows"]
        if pid is not None:
            args += ["--pid", str(pid)]
        if image:
            args += ["--image", image]
        return [Window.from_json(w) for w in self.probe(*args)]

    def processes(self, image=None):
        """Windows processes: dicts with pid, ppid, name and image (full path)."""
        return self.probe("processes", *(["--image", image] if image else []))

    def monitors(self):
        return self.probe("monitors")

    def watch(self, image=None, pid=None):
        """A WindowWatch: which Windows windows were created, and by whom. The
        filters apply where the process is known; events of processes that
        were gone before they could be told apart always come along."""
        return WindowWatch(self, image, pid)

    def screen_watch(self):
        """A ScreenWatch: what appeared on the screen."""
        return ScreenWatch(self.display)

    def wait_for_window(self, predicate, timeout=15.0, pid=None, image=None, what="the window"):
        """Polls the windows (of pid or image) until one satisfies predicate."""
        def find():
            return next((w for w in self.windows(pid, image) if predicate(w)), None)
        return wait_for(find, timeout, 0.1, what)

    # -- registry

    def reg(self, *args, timeout=30.0):
        """Runs Wine's reg.exe with these arguments."""
        return self.run("reg", *args, timeout=timeout, name="reg")

    def reg_set(self, key, name, value, kind="REG_SZ"):
        """Writes one value; name None is the key's default value."""
        target = ["/ve"] if name is None else ["/v", name]
        result = self.reg("add", key, *target, "/t", kind, "/d", str(value), "/f")
        if result.exit_code != 0:
            raise HarnessError(f"reg add {key} {name} failed\n" + result.describe())

    def reg_get(self, key, name):
        """(type, value) of one value, REG_DWORD as int; None if it is not there."""
        target = ["/ve"] if name is None else ["/v", name]
        result = self.reg("query", key, *target)
        if result.exit_code != 0:
            return None
        for line in result.stdout.splitlines():
            match = re.match(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$", line.rstrip("\r"))
            if match:
                kind, data = match[2], match[3] or ""
                return kind, int(data, 16) if kind in ("REG_DWORD", "REG_QWORD") else data
        return None

    def reg_delete(self, key, name=None):
        """Deletes one value, or the whole key if name is None."""
        target = ["/f"] if name is None else ["/v", name, "/f"]
        self.reg("delete", key, *target)

    # -- the display: input and pictures

    def _x_tool(self, *argv, timeout=15.0):
        """Runs an X client on the session's display (not a Wine process: a pipe is fine)."""
        process = spawn(argv, env=dict(os.environ, DISPLAY=self.display), stdin=subprocess.DEVNULL,
                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise HarnessError(f"{' '.join(argv)} did not end within {timeout:g} s") from None
        if process.returncode != 0:
            raise HarnessError(f"{' '.join(argv)} failed: {err.decode(errors='replace')}")
        return out

    def xdotool(self, *args):
        """Input goes to whatever is under the pointer: no --window, which Wine's
        windows do not take."""
        self._x_tool("xdotool", *args)

    def pointer(self):
        """Where the pointer is, as (x, y)."""
        out = self._x_tool("xdotool", "getmouselocation", "--shell").decode()
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"])

    def pointer_move(self, x, y):
        # Not --sync: this xdotool waits for ever when the pointer is already there.
        self.xdotool("mousemove", str(x), str(y))
        wait_for(lambda: self.pointer() == (x, y), 10, what=f"the pointer at {x}, {y}")

    def move_over(self, window):
        self.pointer_move(*window.center)

    def click(self, button=1):
        self.xdotool("click", str(button))

    def key(self, *keys):
        self.xdotool("key", *keys)

    def screenshot(self, name):
        """Saves the whole screen in the test's artefacts folder; returns the path."""
        path = os.path.join(self.artifacts, name)
        self._x_tool("import", "-window", "root", path)
        return path

    def pixel(self, x, y):
        """The (r, g, b) colour of one screen pixel."""
        path = os.path.join(self.artifacts, f"pixel-{self._next_marker()}.ppm")
        self._x_tool("import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", f"ppm:{path}")
        with open(path, "rb") as f:
            data = f.read()
        os.remove(path)
        return tuple(data[-3:])


def _artifacts_dir(state_dir):
    name = os.environ.get(TEST_NAME_ENV) or f"manual-{os.getpid()}"
    path = os.path.join(state_dir, "artifacts", name)
    if os.environ.get(TEST_NAME_ENV) and os.path.isdir(path):
        shutil.rmtree(path)
    os.makedirs(path, exist_ok=True)
    return path


# ---------------------------------------------------------------------------
# Tests

class SessionTestCase(unittest.TestCase):
    """Base of the end-to-end test cases: `self.session` is the attached
    session; whatever a test method started is killed after it."""

    session = None

    def setUp(self):
        if SessionTestCase.session is None:
            raise HarnessError("run the test through wine.main()")
        self.addCleanup(self.session.kill_programs)


def main():
    """Runs the unittest cases of the calling script inside the session, with
    the deadline of SAVER_E2E_TIMEOUT seconds; unittest arguments pass through."""
    deadline = float(os.environ.get(TIMEOUT_ENV, "120"))
    session = Session.attach(deadline_seconds=deadline)
    SessionTestCase.session = session
    log(f"session on display {session.display}; artefacts in {session.artifacts}; time limit {deadline:g} s")
    passed = False
    try:
        program = unittest.main(module="__main__", exit=False, verbosity=2)
        passed = program.result.wasSuccessful()
        if not passed:
            try:
                log(f"screenshot: {session.screenshot('failure.png')}")
            except HarnessError as error:
                log(f"no screenshot: {error}")
    finally:
        session.guard.cleanup()
    sys.exit(0 if passed else 1)


# ---------------------------------------------------------------------------
# Starting and stopping the session

def _server_dir_ready(pid):
    """Whether the wineserver with this PID listens: it works inside its server
    folder and creates its socket there."""
    try:
        return os.path.exists(os.path.join(os.readlink(f"/proc/{pid}/cwd"), "socket"))
    except OSError:
        return False


def _free_displays(first=90, last=199):
    for number in range(first, last + 1):
        if not (os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}")):
            yield number


def _start_xvfb(log_dir):
    """Starts Xvfb on the first free display; returns (display, ProcRef)."""
    for number in _free_displays():
        ready_read, ready_write = os.pipe()
        log_path = os.path.join(log_dir, "xvfb.log")
        with open(log_path, "ab") as log_file:
            xvfb = spawn(
                ["Xvfb", f":{number}", "-nolisten", "tcp", "-noreset", "-screen", "0", SCREEN,
                 "-displayfd", str(ready_write)],
                stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file, pass_fds=(ready_write,),
                start_new_session=True)
        os.close(ready_write)
        # Xvfb writes the display number to the pipe once it accepts clients,
        # then a newline in a second write; it dies if the pipe is closed
        # before that, and so it would at a server reset: hence -noreset.
        answer = b""
        give_up = time.monotonic() + 15
        while not answer.endswith(b"\n") and time.monotonic() < give_up:
            ready, _, _ = select.select([ready_read], [], [], max(0.0, give_up - time.monotonic()))
            chunk = os.read(ready_read, 16) if ready else b""
            if not chunk:
                break
            answer += chunk
        os.close(ready_read)
        if answer.strip() == str(number).encode():
            return f":{number}", ProcRef.of(xvfb.pid)
        xvfb.kill()
        xvfb.wait()
        log(f"Xvfb did not come up on :{number} (see {log_path}); trying the next display")
    raise HarnessError("no free X display between :90 and :199")


def _prefix_env(prefix, display):
    return {"WINEPREFIX": prefix, "DISPLAY": display, "WINEDLLOVERRIDES": DLL_OVERRIDES,
            "WINESERVER": WINESERVER, "WINEDEBUG": "-all"}


def _wine_env(base):
    """This process's environment without any Wine or display settings of its
    own, plus the session's."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
    env.update(base)
    return env


def _run_logged(argv, env, log_dir, name, timeout):
    path = os.path.join(log_dir, f"{name}.log")
    with open(path, "wb") as out:
        process = spawn(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    try:
        code = process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise HarnessError(f"{' '.join(argv)} did not end within {timeout} s (see {path})") from None
    if code != 0:
        raise HarnessError(f"{' '.join(argv)} failed with exit code {code} (see {path})")


PREFIX_READY = ".e2e-prefix-ready"


def _prepare_prefix(prefix):
    if os.path.exists(os.path.join(prefix, PREFIX_READY)):
        return False
    if os.path.isdir(prefix):
        # A prefix without the mark was left half-made by an interrupted first run.
        shutil.rmtree(prefix)
    os.makedirs(prefix)
    return True


def _start_wineserver(env):
    """Starts the persistent wineserver and waits until it listens; returns its Popen."""
    # All standard streams redirected: the server would otherwise keep the
    # caller's pipes open for as long as it lives.
    server = spawn([WINESERVER, "-f", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    wait_for(lambda: _server_dir_ready(server.pid) or server.poll() is not None, 15, 0.02,
             "the wineserver to listen")
    if server.poll() is not None:
        raise HarnessError(f"the wineserver ended at once (exit code {server.returncode}): "
                           "does another one serve this prefix?")
    return server


# Settings every session makes sure of before its first program runs:
# - a crashing program ends with a backtrace on its stderr instead of waiting
#   for somebody to close a crash dialog;
# - no window manager runs on the test display, and Wine would wait up to 2 s
#   for one whenever it hides or destroys a window that it leaves to the
#   window manager; unmanaged, Wine places, shows and focuses every window
#   itself.
PREFIX_SETTINGS = """REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
"""


def _configure_prefix(env, log_dir):
    path = os.path.join(log_dir, "prefix-settings.reg")
    with open(path, "w") as f:
        f.write(PREFIX_SETTINGS)
    _run_logged([WINE64, "reg", "import", "Z:" + path.replace("/", "\\")], env, log_dir, "prefix-settings", 60)


def _initialise_prefix(prefix, env, log_dir, server):
    """Fills a new prefix. Ends the server afterwards, which writes the registry
    to disk: only then is the prefix marked as ready."""
    _run_logged([WINE64, "wineboot", "-i"], env, log_dir, "wineboot", 180)
    _run_logged([WINESERVER, "-k"], env, log_dir, "wineserver-k", 30)
    server.wait(30)
    with open(os.path.join(prefix, PREFIX_READY), "w") as f:
        f.write("created by tests/e2e/wine.py\n")


class _StateLock:
    """Serialises starts and stops of sessions that share one state file."""

    def __init__(self, state_path):
        self.path = state_path + ".lock"

    def __enter__(self):
        self.file = open(self.path, "w")
        fcntl.flock(self.file, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        fcntl.flock(self.file, fcntl.LOCK_UN)
        self.file.close()
        return False


def _read_state(state_path):
    try:
        with open(state_path) as f:
            return json.load(f)
    except FileNotFoundError:
        return None


def _write_state(state_path, state):
    temporary = state_path + ".tmp"
    with open(temporary, "w") as f:
        json.dump(state, f, indent=1)
    os.replace(temporary, state_path)


def start_session(state_path, prefix, dist, wait_for_other=120.0):
    """Starts the session and writes its state file. A session left by a run
    that died is stopped first; one of a run that still lives is waited for."""
    state_path, prefix, dist = map(os.path.abspath, (state_path, prefix, dist))
    os.makedirs(os.path.dirname(state_path), exist_ok=True)
    # The session belongs to whoever started this process: CTest, for the fixture.
    owner = ProcRef.of(os.getppid())
    deadline = time.monotonic() + wait_for_other
    while True:
        with _StateLock(state_path):
            old = _read_state(state_path)
            if old is not None and not ProcRef(*old["owner"]).alive():
                log(f"stopping the stale session of dead test run {old['owner'][0]} on {old['display']}")
                if _stop_from_state(state_path, old):
                    raise HarnessError("processes of the stale session survived")
                old = None
            if old is None:
                _start_locked(state_path, prefix, dist, owner)
                return
        if time.monotonic() >= deadline:
            raise HarnessError(f"test run {old['owner'][0]} still uses the session of {state_path}")
        log(f"waiting for test run {old['owner'][0]} to stop its session")
        time.sleep(1.0)


def _wait_for_line(path, process, marker, timeout, what):
    def check():
        with open(path, "rb") as f:
            if marker in f.read():
                return True
        if process.poll() is not None:
            raise HarnessError(f"{what} failed with exit code {process.returncode} (see {path})")
        return False
    wait_for(check, timeout, 0.05, what)


def _start_locked(state_path, prefix, dist, owner):
    began = time.monotonic()
    state_dir = os.path.dirname(state_path)
    log_dir = os.path.join(state_dir, "session-logs")
    os.makedirs(log_dir, exist_ok=True)
    winprobe = os.path.join(dist, "x64", "winprobe.exe")
    if not os.path.isfile(winprobe):
        raise HarnessError(f"{winprobe} is missing: build the mingw64 preset first")
    g = guard(state_dir)
    try:
        display, xvfb = _start_xvfb(log_dir)
        base = _prefix_env(prefix, display)
        env = _wine_env(base)
        fresh = _prepare_prefix(prefix)
        server = _start_wineserver(env)
        if fresh:
            log(f"creating the Wine prefix {prefix} (only the first time)")
            _initialise_prefix(prefix, env, log_dir, server)
            server = _start_wineserver(env)
        server_ref = ProcRef.of(server.pid)
        _configure_prefix(env, log_dir)
        # The idle probe keeps the desktop process alive for the whole session.
        stop_file = os.path.join(state_dir, "session.stop")
        _remove(stop_file)
        holder_log = os.path.join(log_dir, "holder.log")
        with open(holder_log, "wb") as out:
            holder = spawn([WINE64, winprobe, "idle", "--stop", "Z:" + stop_file.replace("/", "\\")], env=env,
                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        _wait_for_line(holder_log, holder, b'"ready"', 120, "the session's first program")
        state = {
            "owner": owner.as_list(),
            "display": display,
            "prefix": prefix,
            "dist": dist,
            "env": base,
            "xvfb": xvfb.as_list(),
            "wineserver": server_ref.as_list(),
            "holder": ProcRef.of(holder.pid).as_list(),
            "stop_file": stop_file,
            "processes": [r.as_list() for r in descendants()],
        }
        _write_state(state_path, state)
    except BaseException:
        g.cleanup()
        raise
    g.keep_running()
    log(f"session up on {display} with prefix {prefix} after {time.monotonic() - began:.1f} s"
        + (" (prefix created)" if fresh else ""))


def _stop_from_state(state_path, state):
    """Ends everything the session recorded and removes its state. Returns the
    processes that could not be ended."""
    state_dir = os.path.dirname(state_path)
    reap_dead_owners(state_dir)
    with open(state["stop_file"], "w"):
        pass
    holder = ProcRef(*state["holder"])
    server = ProcRef(*state["wineserver"])
    try:
        wait_for(lambda: not holder.alive(), 5, 0.05, "the session's idle program to end")
    except WaitTimeout:
        pass
    if server.alive():
        env = _wine_env(state["env"])
        try:
            # Ends every process of the prefix and saves its registry.
            subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=15)
        except subprocess.TimeoutExpired:
            log("wineserver -k did not return")
        try:
            wait_for(lambda: not server.alive(), 10, 0.05, "the wineserver to end")
        except WaitTimeout:
            pass
    xvfb = ProcRef(*state["xvfb"])
    if xvfb.alive():
        os.kill(xvfb.pid, signal.SIGTERM)
        try:
            wait_for(lambda: not xvfb.alive(), 5, 0.05, "Xvfb to end")
        except WaitTimeout:
            pass
    survivors = kill_refs([ProcRef(*p) for p in state["processes"]])
    number = state["display"].lstrip(":")
    lock = f"/tmp/.X{number}-lock"
    try:
        with open(lock) as f:
            if int(f.read().strip()) == xvfb.pid:
                # A killed Xvfb leaves its lock and socket behind.
                _remove(lock)
                _remove(f"/tmp/.X11-unix/X{number}")
    except (OSError, ValueError):
        pass
    _remove(state["stop_file"])
    if not survivors:
        _remove(state_path)
    return survivors


def stop_session(state_path):
    state_path = os.path.abspath(state_path)
    with _StateLock(state_path):
        state = _read_state(state_path)
        if state is None:
            log(f"no session at {state_path}")
            return 0
        survivors = _stop_from_state(state_path, state)
    if survivors:
        log(f"processes of the session survived: {[r.pid for r in survivors]}")
        return 1
    log(f"session on {state['display']} stopped; nothing of it is left")
    return 0


def run_program(argv, timeout, name):
    session = Session.attach(deadline_seconds=timeout + 10)
    try:
        result = session.run(argv[0], *argv[1:], timeout=timeout, name=name)
    except ProgramTimeout as error:
        print(error, flush=True)
        return 124
    finally:
        session.guard.cleanup()
    sys.stdout.write(result.stdout)
    sys.stdout.write(result.stderr)
    sys.stdout.flush()
    log(f"{name}: exit code {result.exit_code} after {result.seconds:.1f} s")
    return result.exit_code


def _cli(argv):
    parser = argparse.ArgumentParser(description="The Wine session of the end-to-end tests.")
    commands = parser.add_subparsers(dest="command", required=True)
    start = commands.add_parser("start")
    start.add_argument("--state", required=True)
    start.add_argument("--prefix", required=True)
    start.add_argument("--dist", required=True)
    stop = commands.add_parser("stop")
    stop.add_argument("--state", required=True)
    run = commands.add_parser("run")
    run.add_argument("--timeout", type=float, default=60.0)
    run.add_argument("--name")
    run.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    if args.command == "start":
        start_session(args.state, args.prefix, args.dist)
        return 0
    if args.command == "stop":
        return stop_session(args.state)
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("run needs a program")
    return run_program(program, args.timeout, args.name or os.path.basename(program[0]))


if __name__ == "__main__":
    try:
        sys.exit(_cli(sys.argv[1:]))
    except HarnessError as error:
        log(f"error: {error}")
        sys.exit(1)
