"""The saver's command-line switches, run as Windows starts them.

S re-launches the saver's own file with /E, waits for it and ends; every
other switch runs the application. The runs last a fraction of a second, so
nothing is looked up afterwards: two watches record while the saver runs.
The window watch reports every Windows window created, with the thread that
created it; the screen watch asks the X server what was mapped on the
screen. The saver runs with Wine's process trace, which names the command
line of every process the saver starts and the thread ids that tell whose
window was whose. Each test first checks that the watches did see the hidden
application window come into being, so that "no visible window" is a
finding and not a blind spot.
"""
import os
import shutil

import wine


def run_watched(test, saver, *args):
    """Runs the saver with the process trace under both watches; returns
    (result, window watch, {pid: threads}) once it exited with code 0 and
    mapped nothing on the screen."""
    with test.session.watch() as watch, test.session.screen_watch() as screen:
        result = test.session.run(saver, *args, debug="trace+process", name="saver")
    test.assertEqual(result.exit_code, 0, result.describe())
    test.assertTrue(screen.created(), f"the screen watch saw no X window come and go: {screen.events}")
    test.assertEqual(screen.mapped(), [], f"something became visible on the screen: {screen.events}")
    return result, watch, wine.traced_threads(result.stderr)


class FullScreenSwitchTest(wine.SessionTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A copy in a folder with a blank shows that the path goes to the child unquoted.
        folder = os.path.join(cls.session.artifacts, "saver folder")
        os.makedirs(folder, exist_ok=True)
        cls.blank_copy = shutil.copy(cls.session.program("saver.scr"), folder)

    def test_starts_itself_with_E_and_shows_no_window(self):
        cases = [
            ("upper case", self.session.program("saver.scr"), "/S"),
            ("lower case", self.session.program("saver.scr"), "/s"),
            ("path with a blank", self.blank_copy, "/S"),
        ]
        for label, saver, switch in cases:
            with self.subTest(label):
                result, watch, threads = run_watched(self, saver, switch)

                calls = wine.created_processes(result.stderr)
                self.assertEqual([call.cmdline for call in calls], [self.session.windows_path(saver) + " /E"],
                                 result.describe())
                parent, child = calls[0].pid, calls[0].child_pid
                self.assertIsNotNone(child, "the trace names no started process\n" + result.describe())

                child_threads = threads.get(child, set()) | {calls[0].child_tid}
                self.assertTrue(watch.created(child, child_threads),
                                f"the watch saw no window of the child {child}: {watch.events}")
                self.assertEqual(watch.of(pid=parent, threads=threads[parent]), [],
                                 "the S process made windows of its own")
                self.assertEqual(self.session.processes(image="saver.scr"), [], "a saver process is still there")


class OtherSwitchTest(wine.SessionTestCase):
    def test_ends_at_once_without_a_visible_window(self):
        cases = [
            ("configure", ["/c"]),
            ("preview", ["/p", "123"]),
            ("unknown letter", ["x"]),
            ("no argument", []),
        ]
        saver = self.session.program("saver.scr")
        for label, args in cases:
            with self.subTest(label):
                result, watch, threads = run_watched(self, saver, *args)

                self.assertEqual(wine.created_processes(result.stderr), [], "the saver started a process")
                self.assertEqual(len(threads), 1, f"the trace shows other processes: {threads}")
                [(pid, own_threads)] = threads.items()
                created = watch.created(pid, own_threads)
                self.assertTrue(created, f"the watch saw no window of the saver {pid}: {watch.events}")
                self.assertEqual([e for e in created if e.get("visible")], [], "a window was created visible")
                self.assertEqual(self.session.processes(image="saver.scr"), [], "a saver process is still there")


if __name__ == "__main__":
    wine.main()
