"""The harness's own checks: what the end-to-end tests rely on really works
in this session. Window queries, both watches, input injection and
screenshots are checked against winprobe's test window, which reports the
input it receives; the registry helpers by a round trip; the time limit of a
run by a program that would sleep for a minute.
"""
import json
import os
import unittest

import wine

PROBE_RECT = (200, 150, 520, 390)


class TraceParsingTest(unittest.TestCase):
    def test_wide_debug_strings(self):
        cases = [
            (r'L"Z:\\work\\saver.scr /E"', "Z:\\work\\saver.scr /E"),
            (r'L"say \"hi\""', 'say "hi"'),
            (r'L"caf\00e9\\0041"', "caf\u00e9\\0041"),
            (r'L""', ""),
        ]
        for text, expected in cases:
            with self.subTest(text):
                self.assertEqual(wine.unescape_debugstr(text), expected)

    def test_process_trace(self):
        trace = "\n".join([
            '0024:0028:trace:process:CreateProcessInternalW app (null) cmdline L"a.exe /E"',
            '0030:0034:trace:process:CreateProcessInternalW app (null) cmdline L"b.exe"',
            "0030:0034:trace:process:CreateProcessInternalW started process pid 0040 tid 0044",
            "0024:0028:trace:process:CreateProcessInternalW started process pid 0038 tid 003c",
        ])
        calls = wine.created_processes(trace)
        self.assertEqual([(c.pid, c.cmdline, c.child_pid, c.child_tid) for c in calls],
                         [(0x24, "a.exe /E", 0x38, 0x3c), (0x30, "b.exe", 0x40, 0x44)])
        self.assertEqual(wine.traced_threads(trace + "\nnot a trace line\n0038:0048:fixme:x:y"),
                         {0x24: {0x28}, 0x30: {0x34}, 0x38: {0x48}})


class SessionToolsTest(wine.SessionTestCase):
    def test_one_monitor_of_the_screen_size(self):
        monitors = [m for m in self.session.monitors() if "monitor" in m]
        self.assertEqual([(m["rect"], m["primary"]) for m in monitors], [([0, 0, 1280, 1024], True)])

    def open_probe_window(self):
        """Shows winprobe's red test window at PROBE_RECT; returns the probe
        program, its ready line and the window as the query reports it."""
        stop = os.path.join(self.session.artifacts, f"probe-window-{self.id().rsplit('.', 1)[1]}.stop")
        program = self.session.start_probe(
            "window", "--rect", ",".join(map(str, PROBE_RECT)), "--title", "harness probe",
            "--stop", self.session.windows_path(stop), name="probe-window")
        text = program.wait_for_output(lambda t: '"ready"' in t, 30, "the probe window")
        ready = json.loads(text.splitlines()[0])
        window = self.session.wait_for_window(lambda w: w.hwnd == ready["hwnd"] and w.visible, pid=ready["pid"])
        # Once the screen shows the window's red, it is mapped and painted.
        wine.wait_for(lambda: self.session.pixel(*window.center) == (255, 0, 0), 10,
                      what="the probe window's red on the screen")

        def close():
            with open(stop, "w"):
                pass
            self.assertEqual(program.wait(15).exit_code, 0)
        return program, ready, window, close

    def test_window_shows_in_queries_watches_and_screen(self):
        with self.session.watch() as watch, self.session.screen_watch() as screen:
            _, ready, window, close = self.open_probe_window()
        self.assertIn(ready["hwnd"], [e["hwnd"] for e in watch.created(ready["pid"])])
        self.assertTrue(screen.mapped(), f"the screen watch saw no window mapped: {screen.events}")
        self.assertIn(PROBE_RECT, [e.get("rect") for e in screen.of("configure") + screen.created()])

        self.assertEqual(window.rect, PROBE_RECT)
        self.assertEqual((window.cls, window.title, window.parent), ("WinProbeTestWindow", "harness probe", 0))
        self.assertTrue(window.has_style(wine.WS_POPUP | wine.WS_VISIBLE))
        self.assertTrue(window.topmost)
        self.assertNotEqual(self.session.pixel(PROBE_RECT[0] - 5, PROBE_RECT[1] - 5), (255, 0, 0))
        with open(self.session.screenshot("probe-window.png"), "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

        close()
        self.assertEqual(self.session.windows(pid=ready["pid"]), [])

    def test_injected_input_reaches_the_window_under_the_pointer(self):
        program, _, window, close = self.open_probe_window()
        self.session.move_over(window)
        self.session.click(1)
        self.session.key("a")

        def inputs():
            return [json.loads(line) for line in program.output().splitlines() if '"input"' in line]
        wine.wait_for(lambda: any(i["input"] == "keyup" for i in inputs()), 10, what="the injected input")
        clicks = [[i["x"], i["y"]] for i in inputs() if i["input"] == "lbuttondown"]
        keys = [i["vk"] for i in inputs() if i["input"] == "keydown"]
        self.assertEqual(clicks, [[window.center[0] - PROBE_RECT[0], window.center[1] - PROBE_RECT[1]]])
        self.assertEqual(keys, [ord("A")])
        close()

    def test_registry_round_trip(self):
        key = r"HKCU\Software\SaverE2E\Harness"
        self.addCleanup(self.session.reg_delete, key)
        self.session.reg_set(key, "Text", "two words")
        self.session.reg_set(key, "Number", 7, "REG_DWORD")
        self.assertEqual(self.session.reg_get(key, "Text"), ("REG_SZ", "two words"))
        self.assertEqual(self.session.reg_get(key, "Number"), ("REG_DWORD", 7))
        self.session.reg_delete(key, "Text")
        self.assertIsNone(self.session.reg_get(key, "Text"))
        self.session.reg_delete(key)
        self.assertIsNone(self.session.reg_get(key, "Number"))

    def test_exit_code_and_output_come_back(self):
        recordargs = self.session.program("recordargs.exe")
        record = os.path.join(self.session.artifacts, "exit-code.txt")
        result = self.session.run(recordargs, "--exit", "3", env={"RECORDARGS_OUT": self.session.windows_path(record)})
        self.assertEqual(result.exit_code, 3, result.describe())
        failed = self.session.run(recordargs)
        self.assertEqual(failed.exit_code, 125, failed.describe())
        self.assertIn("no output file", failed.stderr)

    def test_a_run_that_takes_too_long_is_killed(self):
        record = os.path.join(self.session.artifacts, "sleeper.txt")
        program = self.session.start(self.session.program("recordargs.exe"), "--sleep", "60000",
                                     env={"RECORDARGS_OUT": self.session.windows_path(record)}, name="sleeper")
        wine.wait_for(lambda: os.path.exists(record), 15, what="the sleeper to start")
        with self.assertRaises(wine.ProgramTimeout):
            program.wait(0.5)
        self.assertEqual(program.processes(), [])
        self.assertEqual(self.session.processes(image="recordargs.exe"), [])


if __name__ == "__main__":
    wine.main()
