#!/usr/bin/python3
"""Walks the accessible tree of the plug-in's windows as a screen reader sees it.

Starts its own session bus, the AT-SPI bus, an X server, a PollServer and two
hosts (a presenter and an attendee), then plays both people with key events
alone: the presenter writes a poll in the editor, selects it, posts, stops,
publishes and deletes it; the attendee chooses and submits, then reads the
result. At each window every actionable control must have a role, a name in
the run's language and its states. Exits 77 when a needed program is missing.

usage: atspi_walk.py --bin BUILD/bin --lang en|zh --out WALK.txt
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
DEADLINE = 30.0  # seconds for any one condition; a run takes well under a minute
LOCALES = {"en": "en_US.UTF-8", "zh": "zh_CN.UTF-8"}
# Roles a person acts on; each must be named.
ACTIONABLE = {"push-button", "radio-button", "check-box", "text", "tree", "list", "table",
              "combo-box", "progress-bar", "menu-item"}
ITEMS = {"list-item", "tree-item", "table-cell"}
CHOICE = re.compile("^[A-G]:$")  # a choice's letter reads the same in every language
CJK = re.compile("[\u3400-\u9fff\uff00-\uffef\u3000-\u303f]")


def need(*programs):
    for program in programs:
        if shutil.which(program) is None and not os.path.exists(program):
            print(f"SKIP: {program} is not installed (scripts/setup.sh installs it)")
            sys.exit(SKIP)


class Run:
    """The processes of one walk, stopped by process id at the end."""

    def __init__(self, args):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix="quibra-a11y-")
        self.children = []
        self.env = dict(os.environ)

    def start(self, argv, env=None, group=False, **kw):
        child = subprocess.Popen(argv, env=env or self.env, start_new_session=group,
                                 stdin=subprocess.DEVNULL, **kw)
        self.children.append((child, group))
        return child

    def stop(self):
        for child, group in reversed(self.children):
            if child.poll() is None:
                try:
                    if group:
                        os.killpg(child.pid, signal.SIGTERM)
                    else:
                        child.terminate()
                    child.wait(timeout=5)
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    child.kill()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def read_line(self, stream, pattern):
        # The child writes its ready line at once or fails; readline ends either way.
        for raw in stream:
            line = raw.decode("utf-8", "replace")
            match = re.search(pattern, line)
            if match:
                return match
        raise SystemExit(f"FAIL: no line matching {pattern}")

    def wait_for_registry(self):
        """Until the AT-SPI bus answers and its registry is on it: an application
        started before then is never among the desktop's, and its events go nowhere."""
        from gi.repository import Gio, GLib
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                 Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            try:
                session = Gio.DBusConnection.new_for_address_sync(
                    self.env["DBUS_SESSION_BUS_ADDRESS"], flags, None, None)
                address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                            "GetAddress", None, GLib.VariantType("(s)"),
                                            Gio.DBusCallFlags.NONE, 1000, None).unpack()[0]
                bus = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
                bus.call_sync("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                              "org.freedesktop.DBus.Peer", "Ping", None, None,
                              Gio.DBusCallFlags.NONE, 1000, None)
                return
            except GLib.Error:
                time.sleep(0.05)  # polling for the registry, with a deadline
        raise SystemExit(f"FAIL: within {DEADLINE:.0f} s: the AT-SPI registry")

    def bring_up(self):
        # The buses' sockets and caches go in the run's own folder, removed at the end.
        self.env.update(XDG_RUNTIME_DIR=self.tmp, XDG_CACHE_HOME=os.path.join(self.tmp, "cache"))
        daemon = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                            stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
        rfd, wfd = os.pipe()
        self.start(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1280x1024x24",
                    "-nolisten", "tcp"], pass_fds=(wfd,), stderr=subprocess.DEVNULL)
        os.close(wfd)
        with os.fdopen(rfd) as display:
            self.env["DISPLAY"] = ":" + display.readline().strip()
        # The launcher starts the AT-SPI bus and its registry, in a group of their own.
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], group=True,
                   stderr=subprocess.DEVNULL)
        os.environ.update(self.env)
        self.wait_for_registry()
        self.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                        QT_QPA_PLATFORM="xcb", NO_AT_BRIDGE="0")
        server = self.start([os.path.join(self.args.bin, "pollserver"), "--http", "0",
                             "--db", os.path.join(self.tmp, "polls.db")],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        url = self.read_line(server.stdout, r"ready: (http://127\.0\.0\.1:\d+)").group(1)
        server.stdout.close()
        locale = LOCALES[self.args.lang]
        # A module of its own per run: two walks at once never see each other's polls.
        session = f"walk{os.getpid()}"
        hosts = {}
        for role, user in (("presenter", "pat"), ("attendee", "ann")):
            env = dict(self.env, XDG_CONFIG_HOME=os.path.join(self.tmp, user), LC_ALL=locale)
            hosts[role] = self.start(
                [os.path.join(self.args.bin, "quibra-host"), "--role", role, "--user", user,
                 "--name", user.title(), "--session", session, "--module", session, "--server",
                 url, "--lang", locale.split(".")[0]],
                env=env, stdout=subprocess.DEVNULL, stderr=open(
                    os.path.join(self.tmp, user + ".log"), "w"))
        return hosts


class Walker:
    """Plays the presenter and the attendee by keyboard and records what AT-SPI shows."""

    def __init__(self, run, hosts):
        from gi.repository import Atspi, GLib
        self.Atspi, self.GLib = Atspi, GLib
        Atspi.init()
        # What a screen reader is told: each control newly focused, each newly checked.
        self.announced, self.checked = [], []
        self.listeners = []
        for change, into in (("focused", self.announced), ("checked", self.checked)):
            listener = Atspi.EventListener.new(
                lambda event, into=into: into.append(event.source) if event.detail1 else None)
            listener.register("object:state-changed:" + change)
            self.listeners.append(listener)
        self.run, self.hosts = run, hosts
        self.zh = run.args.lang == "zh"
        self.lines, self.faults, self.controls = [], [], 0

    # --- the accessible tree -------------------------------------------------
    def app(self, role):
        self.GLib.MainContext.default().iteration(False)
        desktop = self.Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.hosts[role].pid:
                app.clear_cache()
                return app
        return None

    def window(self, role, name=None, containing=None):
        """A shown top-level window of `role`'s host, by name or by a control it holds."""
        app = self.app(role)
        for i in range(app.get_child_count() if app else 0):
            win = app.get_child_at_index(i)
            if win is None or not self.has(win, "showing"):
                continue
            if name is not None and win.get_name() == name:
                return win
            if containing is not None and self.find(win, containing):
                return win
        return None

    @staticmethod
    def states(acc):
        return {s.value_nick for s in acc.get_state_set().get_states()}

    def has(self, acc, state):
        return state in self.states(acc)

    def walk(self, acc, depth=0):
        yield acc, depth
        for i in range(acc.get_child_count()):
            child = acc.get_child_at_index(i)
            if child is not None:
                yield from self.walk(child, depth + 1)

    def find(self, root, test):
        if root is None:
            return None
        return next((acc for acc, _ in self.walk(root) if test(acc)), None)

    @staticmethod
    def role(acc):
        return acc.get_role().value_nick

    def top(self, acc):
        while acc is not None and self.role(acc.get_parent()) != "application":
            acc = acc.get_parent()
        return acc

    def same(self, one, other):
        return all(f(one) == f(other) for f in (self.role, lambda a: a.get_name(),
                                                lambda a: a.get_index_in_parent()))

    def focused(self, win):
        """The control of `win` last announced as focused and focused still. (A view's
        current item may keep a stale focused state, so the tree's states alone mislead.)"""
        for acc in reversed(self.announced):
            try:
                if not self.has(acc, "focused") or not self.same(self.top(acc), win):
                    continue
            except self.GLib.Error:  # gone since
                continue
            while self.role(acc) in ITEMS:
                acc = acc.get_parent()
            return acc
        return None

    def wait(self, condition, what):
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end:
            try:
                found = condition()
            except self.GLib.Error:  # a window that went while it was read
                found = None
            if found:
                return found
            # Let the buses deliver; polling, not a pause standing in for an event.
            while self.GLib.MainContext.default().iteration(False):
                pass
            time.sleep(0.05)
        raise SystemExit(f"FAIL: within {DEADLINE:.0f} s: {what}")

    # --- the keyboard --------------------------------------------------------
    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "30", *keys], env=self.run.env, check=True)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], env=self.run.env, check=True)

    def activate(self, role, title):
        """Gives the keyboard to `role`'s window titled `title`, as a window manager
        would on a click (none runs here); again until the window says it is active."""
        def focus():
            win = self.window(role, name=title)
            if win is not None and self.has(win, "active"):
                return win
            xdotool = lambda *a: subprocess.run(("xdotool",) + a, env=self.run.env, text=True,
                                                capture_output=True).stdout
            for wid in xdotool("search", "--onlyvisible", "--pid", str(self.hosts[role].pid)).split():
                if xdotool("getwindowname", wid).rstrip("\n") == title:
                    xdotool("windowfocus", wid)
            return None
        self.wait(focus, f"the window {title!r} to take the keyboard")

    def tab_to(self, win_of, test, what, limit=24):
        """Presses Tab until the focused control passes `test`; returns it."""
        seen = []
        for _ in range(limit):
            win = self.wait(win_of, what)
            now = self.focused(win)
            if now is not None and test(now):
                return now
            before = (self.role(now), now.get_name()) if now else None
            seen.append(before)
            self.keys("Tab")

            def moved():
                after = self.focused(win_of() or win)
                return after is not None and (self.role(after), after.get_name()) != before
            self.wait(moved, f"the focus to move on Tab, on the way to {what}")
        raise SystemExit(f"FAIL: Tab never reached {what}, only {seen}")

    # --- what a screen reader reads ------------------------------------------
    def describe(self, acc):
        text = f"{self.role(acc)} | {acc.get_name()!r}"
        shown = sorted(self.states(acc) & {"focused", "focusable", "checked", "enabled",
                                            "sensitive", "selected", "editable"})
        text += " | " + ",".join(shown)
        if acc.get_description():
            text += f" | description {acc.get_description()!r}"
        if "Value" in acc.get_interfaces():
            text += f" | value {self.Atspi.Value.get_current_value(acc):g}"
        return text

    def record(self, win, title, poll_texts=(), check=True):
        """Writes `win`'s tree and checks each actionable control."""
        self.lines.append(f"== {title}: {self.role(win)} {win.get_name()!r}")
        for acc, depth in self.walk(win):
            if depth == 0 or not self.has(acc, "showing"):
                continue
            role = self.role(acc)
            self.lines.append("  " * depth + self.describe(acc))
            # Read-only text is content, read through its text, not a control.
            if not check or role not in ACTIONABLE or (role == "text" and
                                                       not self.has(acc, "editable")):
                continue
            self.controls += 1
            name = acc.get_name() or ""
            where = f"{title}: {role} {name!r}"
            if not name:
                self.faults.append(f"{where} has no name")
            elif (not any(t in name for t in poll_texts) and not CHOICE.match(name) and
                  bool(CJK.search(name)) != self.zh):
                self.faults.append(f"{where} is not in the run's language")
            states = self.states(acc)
            if "enabled" not in states and "sensitive" in states:
                self.faults.append(f"{where} is sensitive but not enabled")

    def msg(self, number):
        return self.messages[str(number)]

    def named(self, name):
        return lambda acc: acc.get_name() == name

    def button(self, win_of, name):
        return self.wait(lambda: (lambda w: w and self.find(w, self.named(name)))(win_of()),
                         f"the button {name!r}")

    def press(self, win_of, name, key="Return"):
        """Tabs to the control named `name` and presses `key` on it."""
        self.tab_to(win_of, self.named(name), repr(name))
        self.keys(key)

    def choose_menu(self, item):
        """Moves down a shown menu to `item` and takes it. Menus are popups, never
        among an application's windows: a screen reader meets their items through
        the focus it is told of."""
        for _ in range(4):
            count = len(self.announced)
            self.keys("Down")
            told = self.wait(lambda: next((a for a in self.announced[count:]
                                           if self.role(a) == "menu-item"), None),
                             f"a menu item to be announced on the way to {item!r}")
            if told.get_name() == item:
                self.record(told.get_parent(), "menu")
                self.keys("Return")
                return
        raise SystemExit(f"FAIL: no menu item {item!r}")

    def play(self):
        import xml.etree.ElementTree as ElementTree
        lang = os.path.join(self.run.args.bin, "Lang", "0804.xml" if self.zh else "0409.xml")
        self.messages = {m.get("id"): m.get("Label") for m in ElementTree.parse(lang).iter("Message")}
        question, choices = "Lunch at noon?", ("Pizza", "Noodles")
        polls = (question,) + choices

        # The presenter opens the console from the host (the host's own button).
        # Both hosts up first: a window shown later would take the keyboard.
        self.wait(lambda: self.window("attendee", containing=self.named("Me:")),
                  "the attendee's host window")
        host = self.wait(lambda: self.window("presenter", containing=self.named("Polls")),
                         "the presenter's host window")
        self.activate("presenter", host.get_name())
        self.press(lambda: self.window("presenter", containing=self.named("Polls")), "Polls",
                   "space")
        console = lambda: self.window("presenter", name=self.msg(15041))
        new, post, stop = self.msg(15052), self.msg(15054), self.msg(15055)
        publish, delete = self.msg(15056), self.msg(15057)
        self.wait(lambda: self.has(self.button(console, new), "enabled"), "an unlocked console")
        self.record(console(), "console, no polls")

        # The editor: a new poll, typed, identified, single answer.
        self.press(console, new, "space")
        self.choose_menu(self.msg(21060))
        editor = lambda: self.window("presenter", name=self.msg(15002))
        self.wait(editor, "the poll editor")
        self.tab_to(editor, lambda a: self.role(a) == "text", "the question")
        self.type(question)
        # Arrows select in a group of radio buttons; space toggles the box.
        radio = lambda name: self.find(editor(), lambda a: self.role(a) == "radio-button" and
                                       a.get_name() == self.msg(name))
        self.press(editor, self.msg(15023), "Right")
        for key, name in (("Right", 15024), ("Left", 15023)):
            if key == "Left":
                self.keys(key)
            self.wait(lambda: self.has(radio(name), "checked") and self.has(radio(name), "focused"),
                      f"{key} to select {self.msg(name)!r}")
        identify = lambda: self.find(editor(), lambda a: self.role(a) == "check-box")
        self.tab_to(editor, lambda a: self.role(a) == "check-box", "identify")
        for _ in range(2):
            was = self.has(identify(), "checked")
            self.keys("space")
            self.wait(lambda: self.has(identify(), "checked") != was, "space to toggle identify")
        for letter, text in zip("AB", choices):
            self.tab_to(editor, self.named(letter + ":"), f"choice {letter}")
            self.type(text)
        self.record(editor(), "poll editor", polls)
        self.press(editor, self.msg(15050))
        self.wait(lambda: not editor(), "the editor to close")
        # No window manager gives the focus back to the console: the walk does.
        self.activate("presenter", self.msg(15041))

        # Select the poll and post it.
        poll_row = lambda: self.find(console(), lambda a: self.role(a) in ITEMS and
                                     a.get_name() == question)
        self.wait(poll_row, "the new poll in the list")
        self.tab_to(console, self.named(self.msg(15127)), "the poll list")
        self.keys("Home")
        self.wait(lambda: self.has(poll_row(), "selected"), "the poll selected")
        self.wait(lambda: self.has(self.button(console, post), "enabled"), "post enabled")
        self.record(console(), "console, a new poll selected", polls)
        self.press(console, post)
        self.wait(lambda: self.has(self.button(console, stop), "enabled"), "stop enabled")

        # The attendee's voting dialog comes to the front: choose B, submit.
        vote = lambda: self.window("attendee", name=question)
        self.wait(vote, "the voting dialog")
        first = self.wait(lambda: self.find(vote(), self.named("A:" + choices[0])), "choice A")
        self.wait(lambda: self.has(first, "focused"), "the first choice focused")
        self.keys("Down")
        second = lambda: self.find(vote(), self.named("B:" + choices[1]))
        self.wait(lambda: self.has(second(), "checked") and self.has(second(), "focused"),
                  "the arrow to select the second choice")
        self.wait(lambda: any(a.get_name() == "B:" + choices[1] for a in self.checked),
                  "the choice announced as checked")
        self.record(vote(), "voting dialog", polls)
        self.press(vote, self.msg(15058))
        self.wait(lambda: not vote(), "the voting dialog to go once its ballot is in")

        # Stop and publish; the attendee reads the result and closes it.
        self.activate("presenter", self.msg(15041))
        self.press(console, stop)
        self.wait(lambda: self.has(self.button(console, publish), "enabled"), "publish enabled")
        self.press(console, publish)
        self.choose_menu(self.msg(15006))
        # The result keeps the question as its name, so several results are told apart.
        result = lambda: self.window("attendee", containing=lambda a: self.role(a) == "progress-bar")
        self.wait(result, "the result's bars")
        for name, value in (("A:" + choices[0], 0), ("B:" + choices[1], 100)):
            bar = self.find(result(), self.named(name))
            if self.role(bar) != "progress-bar" or self.Atspi.Value.get_current_value(bar) != value:
                self.faults.append(f"the bar of {name!r} does not read {value}%")
        self.record(result(), "result dialog", polls)
        self.keys("Return")
        self.wait(lambda: not result(), "Enter to close the result")
        self.record(console(), "console, a published poll", polls)

        # Delete asks first (a ballot would go); No is the default, so Tab to Yes.
        self.activate("presenter", self.msg(15041))
        self.press(console, delete)
        asked = lambda: self.window("presenter", containing=lambda a: self.role(a) == "label"
                                    and a.get_name() == self.msg(15125))
        self.wait(asked, "the delete question")
        self.record(asked(), "delete question")
        no = self.wait(lambda: self.focused(asked()), "the default answer focused").get_name()
        self.tab_to(asked, lambda a: self.role(a) == "push-button" and a.get_name() != no, "yes")
        self.keys("space")
        self.wait(lambda: not poll_row(), "the poll to go")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--lang", choices=sorted(LOCALES), default="en")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    need("dbus-daemon", "Xvfb", "xdotool", "/usr/libexec/at-spi-bus-launcher")
    try:
        import gi
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError):
        print("SKIP: python3-gi with gir1.2-atspi-2.0 (python3-pyatspi) is not installed")
        return SKIP
    run = Run(args)
    try:
        hosts = run.bring_up()
        walker = Walker(run, hosts)
        try:
            walker.play()
        except SystemExit as failure:
            # What was shown when it failed says most about why.
            walker.faults.append(str(failure).removeprefix("FAIL: "))
            for role in hosts:
                app = walker.app(role)
                for i in range(app.get_child_count() if app else 0):
                    walker.record(app.get_child_at_index(i), f"{role}, at the failure",
                                  check=False)
        with open(args.out, "w", encoding="utf-8") as out:
            out.write("\n".join(walker.lines) + "\n")
        if walker.faults:
            print("\n".join("FAIL: " + fault for fault in walker.faults))
            return 1
        print(f"walked {walker.controls} controls; tree in {args.out}")
        return 0
    finally:
        run.stop()


if __name__ == "__main__":
    sys.exit(main())
