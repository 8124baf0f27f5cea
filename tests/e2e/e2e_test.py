#!/usr/bin/python3
"""Whole-program test: the real vornask binary under Xvfb with a tray host on a private session
bus (and then with an XEmbed tray), against a real Dovecot on 127.0.0.1 port 110, driven with
xdotool and D-Bus as a user would.

Usage: e2e_test.py VORNASK_BINARY DOVECOT_SCRIPT ARTIFACT_DIR
As a normal user it runs itself again in a user and network namespace of its own, where port 110
on loopback is free to open; exit 77 (skipped) where the system allows no such namespace."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import struct
import time
import zlib

import dbus

SKIP = 77
USER, PASSWORD = "carol", "e2e-pass"
SECOND_USER, SECOND_PASSWORD = "dave", "e2e-pass-2"
IMAP_USER, IMAP_PASSWORD, IMAP_PORT = "erin", "e2e-pass-3", 143
SPAM_RULES = ["Subject: = cheap", "From: = @spam.example"]


def wait_for(what, predicate, timeout=30.0, step=0.1, seen=None):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError(f"timed out waiting for {what}" + (f"; last seen: {seen()!r}" if seen else ""))


def message(sender, subject, body):
    return (f"From: {sender}\nTo: {USER}@example.org\nSubject: {subject}\n"
            f"Date: Mon, 7 Dec 2026 10:00:00 +0000\nMessage-ID: <{sum(map(ord, subject))}.{len(subject)}@example.org>\n\n"
            f"{body}\n")


HAM = [message("Alice <alice@example.org>", "Lunch on Friday?", "Shall we meet at noon?"),
       message("Bob <bob@example.org>", "Build report", "All green.\nSee you.")]
SPAM = [message("Deals <deals@spam.example>", "Great offers", "Click here."),
        message("Shop <shop@example.net>", "cheap watches", "Buy now!")]
LATE_SPAM = message("Offers <promo@example.com>", "very cheap pills", "Order today.")


def write_png(path, width, height, argb):
    """Writes ARGB32 pixels (network byte order, as the tray protocol sends them) as a PNG."""
    rows = b""
    for y in range(height):
        row = argb[y * width * 4:(y + 1) * width * 4]
        rows += b"\0" + b"".join(row[i + 1:i + 4] + row[i:i + 1] for i in range(0, len(row), 4))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Desktop:
    """Xvfb, a private session bus and a tray host: a status-notifier watcher on the bus, or with
    xembed an XEmbed system tray (trayer) and no watcher; with tray=False that tray only once
    start_tray() is called. With window_manager, openbox manages the windows and a desktop keyring
    serves the bus."""

    def __init__(self, work, xembed=False, tray=True, window_manager=False):
        self.work, self.xembed, self.window_manager = work, xembed, window_manager
        self.procs, self.tray_host = [], None
        read_fd, write_fd = os.pipe()
        # -noreset: by default the server resets whenever its last client leaves (each xdotool
        # run, a program that ended), and a client connecting during that reset loses its
        # connection ("The X11 connection broke" at a program's start).
        self.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "800x600x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()
        bus = subprocess.Popen(["dbus-daemon", "--config-file=" + self.bus_config(), "--nofork",
                                "--print-address"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(bus)
        self.bus_address = bus.stdout.readline().strip()
        self.bus = dbus.bus.BusConnection(self.bus_address)
        wait_for("X server", lambda: subprocess.run(
            ["xdotool", "getdisplaygeometry"], env=self.env(), capture_output=True).returncode == 0)
        if window_manager:
            self.start_window_manager()
        if xembed:
            if tray:
                self.start_tray()
            return
        self.items_file = os.path.join(work, "sni-items")
        self.procs.append(subprocess.Popen(
            ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "sni_watcher.py"),
             self.items_file], env=self.env()))
        wait_for("tray host", lambda: self.bus.name_has_owner("org.kde.StatusNotifierWatcher"))

    def start_tray(self):
        """The XEmbed tray, started now."""
        self.tray_host = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
             "--width", "120", "--heighttype", "pixel", "--height", "32", "--SetDockType",
             "true", "--transparent", "false", "--expand", "false"], env=self.env(),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(self.tray_host)
        wait_for("tray host", lambda: self.find_windows("^panel$"))

    def start_window_manager(self):
        # Without the animation of (un)minimising: openbox holds the server while it plays, and
        # keys typed then are lost.
        config = os.path.join(self.work, "openbox-rc.xml")
        with open("/etc/xdg/openbox/rc.xml") as default, open(config, "w") as out:
            out.write(default.read().replace("<animateIconify>yes</animateIconify>",
                                             "<animateIconify>no</animateIconify>"))
        self.procs.append(subprocess.Popen(["openbox", "--config-file", config], env=self.env(),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("window manager", lambda: "window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(), capture_output=True,
            text=True).stdout)
        self.procs.append(subprocess.Popen(
            "printf e2e-keyring | exec gnome-keyring-daemon --foreground --unlock "
            "--components=secrets", shell=True, env=self.keyring_env(), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
        wait_for("desktop keyring", lambda: self.bus.name_has_owner("org.freedesktop.secrets"))

    def keyring_env(self):
        return dict(self.env(), HOME=self.work, XDG_DATA_HOME=os.path.join(self.work, "keyrings"))

    def remember_password(self, user, host, port, password):
        """A password remembered by an earlier run, as the program keeps it in the keyring."""
        record = '{"encrypted":false,"password":"%s"}' % password
        subprocess.run(["secret-tool", "store", "--label=Vornask", "user",
                        f"password:{user}@{host}:{port}", "server", "Vornask", "type", "plaintext"],
                       input=record, text=True, env=self.keyring_env(), check=True, timeout=10)

    def stop_tray(self):
        self.tray_host.terminate()
        self.tray_host.wait(5)
        wait_for("tray host gone", lambda: not self.find_windows("^panel$"))

    def bus_config(self):
        """A session bus that starts no services on demand: the system's would start a keyring
        daemon and its prompter, untracked, on the first keyring call."""
        path = os.path.join(self.work, "bus.conf")
        with open(path, "w") as out:
            out.write(f"""<busconfig><type>session</type><listen>unix:tmpdir={self.work}</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>\n""")
        return path

    def env(self):
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus_address,
                   XDG_RUNTIME_DIR=runtime)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def tray_item(self):
        def item():
            if not os.path.exists(self.items_file):
                return None
            lines = open(self.items_file).read().split()
            return (lines[-2], lines[-1]) if len(lines) >= 2 else None
        service, path = wait_for("tray icon", item)
        return self.bus.get_object(service, path)

    def tooltip(self):
        item = self.tray_item()
        tip = item.Get("org.kde.StatusNotifierItem", "ToolTip",
                       dbus_interface=dbus.PROPERTIES_IFACE)
        return str(tip[2])

    def save_tray_icon(self, path):
        """The tray as its host shows it: the icon's largest pixmap, with the tooltip beside it
        in a text file (a status-notifier tray has no window of its own to photograph)."""
        item = self.tray_item()
        pixmaps = item.Get("org.kde.StatusNotifierItem", "IconPixmap",
                           dbus_interface=dbus.PROPERTIES_IFACE)
        width, height, argb = max(pixmaps, key=lambda p: int(p[0]))
        write_png(path, int(width), int(height), bytes(argb))
        with open(path[:-4] + "-tooltip.txt", "w") as out:
            out.write(self.tooltip() + "\n")

    def badge_pixels(self):
        """Badge-red pixels in the lower right quarter of the icon's largest pixmap (ARGB, big
        endian, as the host receives it)."""
        pixmaps = self.tray_item().Get("org.kde.StatusNotifierItem", "IconPixmap",
                                       dbus_interface=dbus.PROPERTIES_IFACE)
        width, height, argb = max(pixmaps, key=lambda p: int(p[0]))
        width, height, argb = int(width), int(height), bytes(argb)
        red = 0
        for y in range(height // 2, height):
            for x in range(width // 2, width):
                a, r, g, b = argb[(y * width + x) * 4:(y * width + x) * 4 + 4]
                red += a > 200 and r > 150 and g < 90 and b < 90
        return red

    def find_windows(self, name):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                              env=self.env(), capture_output=True, text=True).stdout.split()

    def click_tray(self, button):
        """A left (1) or right (3) click on the tray icon, through whichever host shows it."""
        if not self.xembed:
            item = self.tray_item()
            method = item.Activate if button == 1 else item.ContextMenu
            method(10, 10, dbus_interface="org.kde.StatusNotifierItem")
            return
        def icon():  # the innermost window embedded in trayer's panel
            tree = subprocess.run(["xwininfo", "-tree", "-id", self.find_windows("^panel$")[0]],
                                  env=self.env(), capture_output=True, text=True).stdout
            found = re.findall(r'^\s+(0x[0-9a-f]+) "vornask"', tree, re.M)
            return found[-1] if found else None
        self.xdotool("mousemove", "--window", wait_for("tray icon", icon), "11", "15", "click", str(button))

    def stacking(self):
        """Top-level windows, topmost first (without a window manager they are the root's
        children)."""
        tree = subprocess.run(["xwininfo", "-root", "-children"], env=self.env(),
                              capture_output=True, text=True).stdout
        return [str(int(w, 16)) for w in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.M)]

    def screenshot(self, path):
        subprocess.run(["/usr/bin/import", "-display", self.display, "-window", "root", path],
                       check=False, stderr=subprocess.DEVNULL)

    def xprop(self, window):
        return subprocess.run(["xprop", "-id", window], env=self.env(), capture_output=True,
                              text=True).stdout

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env(), check=True,
                              capture_output=True, text=True).stdout

    def close(self):
        for proc in reversed(self.procs):
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()


class Mailbox:
    def __init__(self, script, work, name="dovecot", port=110, options=()):
        self.script, self.dir = script, os.path.join(work, name)
        os.makedirs(self.dir)
        self.run("start", self.dir, str(port), USER, PASSWORD, *options)

    def run(self, *args):
        subprocess.run(["bash", self.script, *args], check=True, stdout=subprocess.DEVNULL)

    def deliver(self, text, user=USER):
        path = os.path.join(self.dir, "incoming.eml")
        with open(path, "w") as out:
            out.write(text)
        self.run("deliver", self.dir, user, path)

    def add_user(self, user, password):
        """A further user of the same server (its password file is read again on each login)."""
        with open(os.path.join(self.dir, "passwd"), "a") as out:
            out.write(f"{user}:{{PLAIN}}{password}\n")

    def logins(self):
        return self.log().count("Login: user=<")

    def log(self):
        path = os.path.join(self.dir, "dovecot.log")
        return open(path).read() if os.path.exists(path) else ""

    def subjects(self, user=None):
        """The subjects left in every user's maildir, or in the given user's only."""
        found = []
        top = os.path.join(self.dir, "mail", user) if user else self.dir
        for root, _dirs, files in os.walk(top):
            if os.path.basename(root) in ("new", "cur"):
                for name in files:
                    text = open(os.path.join(root, name), errors="replace").read()
                    found += re.findall(r"^Subject: (.*)$", text, re.M)
        return sorted(found)

    def seen_flags(self, user):
        """The user's messages whose maildir name carries the Seen flag."""
        cur = os.path.join(self.dir, "mail", user, "Maildir", "cur")
        return [n for n in os.listdir(cur) if "S" in n.rpartition(":2,")[2]] if os.path.isdir(cur) else []

    def close(self):
        self.run("stop", self.dir)


class SilentServer:
    """A server that accepts connections on 127.0.0.1 and never answers (the connections are
    held open until close), for a mailbox whose server stalls."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                self.held.append(self.listener.accept()[0])
            except OSError:  # closed
                return

    def close(self):
        self.listener.close()
        for connection in self.held:
            connection.close()


def write_hive(config_home, settings, rules):
    def reg_sz(name, value):
        return '"%s"="%s"\n' % (name, value.replace("\\", "\\\\").replace('"', '\\"'))
    os.makedirs(os.path.join(config_home, "vornask"), exist_ok=True)
    text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]\n"
    for name, value in settings.items():
        text += ('"%s"=dword:%08x\n' % (name, value)) if isinstance(value, int) else reg_sz(name, value)
    text += "\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Kill list]\n"
    for index, rule in enumerate(rules):
        text += reg_sz(str(index), rule)
    with open(os.path.join(config_home, "vornask", "registry.reg"), "w") as out:
        out.write(text)


def hive_values(config_home):
    text = open(os.path.join(config_home, "vornask", "registry.reg")).read()
    section = text.split("[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask]", 1)[1].split("\n[", 1)[0]
    return [line.split("=", 1)[0].strip('"') for line in section.splitlines() if "=" in line]


class Program:
    def __init__(self, binary, desktop, config_home, work, env=None, hidden=False):
        """With hidden the window is not waited for on the screen (a start that hides it)."""
        self.desktop = desktop
        self.env = dict(desktop.env(), XDG_CONFIG_HOME=config_home, HOME=work, LC_ALL="C",
                        QT_QPA_PLATFORM="xcb", **(env or {}))
        self.proc = subprocess.Popen([binary], env=self.env, cwd=work)
        if hidden:
            self.window = wait_for("the main window", self.main_window)
            return
        out = desktop.xdotool("search", "--sync", "--onlyvisible", "--name", "^Vornask$")
        self.window = out.split()[0]

    def main_window(self):
        """The program's window titled "Vornask", shown or not (xdotool ignores case)."""
        found = subprocess.run(["xdotool", "search", "--pid", str(self.proc.pid), "--name",
                                "^Vornask"], env=self.desktop.env(), capture_output=True,
                               text=True).stdout.split()
        return next((w for w in found if self.desktop.xdotool("getwindowname", w).startswith(
            "Vornask")), None)

    def visible(self):
        out = subprocess.run(["xwininfo", "-id", self.window], env=self.desktop.env(),
                             capture_output=True, text=True).stdout
        return "IsViewable" in out

    def minimised(self):
        """Minimised, not lost: an icon as the window manager keeps it; without one, mapped and
        asking for an icon in its place, in its hints or its state (with none to obey)."""
        props = self.desktop.xprop(self.window)
        if self.desktop.window_manager:
            return "window state: Iconic" in props
        return self.visible() and ("Initial state is Iconic" in props or
                                   "_NET_WM_STATE_HIDDEN" in props)

    def restored(self):
        """Shown as an ordinary window: mapped, asking to be shown as it is, and titled
        "Vornask" (not with the outcome it carries while minimised in place of the tray)."""
        return (self.visible() and "Initial state is Normal" in self.desktop.xprop(self.window)
                and self.title() == "Vornask")

    def title(self):
        return self.desktop.xdotool("getwindowname", self.window).strip()

    def windows(self):
        """The program's visible windows: the main window, boxes, dialogs and menus."""
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                              env=self.desktop.env(), capture_output=True, text=True).stdout.split()

    def other_window(self):
        """A visible window named like ours that is not the main window (a box)."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Vornask$"],
                               env=self.desktop.env(), capture_output=True, text=True).stdout
        others = [w for w in found.split() if w != self.window]
        return others[0] if others else None

    def size(self):
        geometry = self.desktop.xdotool("getwindowgeometry", self.window)
        return tuple(map(int, re.search(r"Geometry: (\d+)x(\d+)", geometry).groups()))

    def focus_password(self):
        if self.desktop.window_manager:  # keys and clicks reach it once it is at rest, focused
            wait_for("the window focused", lambda: subprocess.run(
                ["xdotool", "getwindowfocus"], env=self.desktop.env(), capture_output=True,
                text=True).stdout.strip() == self.window)
        width, height = self.size()
        # The password box sits in the bottom 25 pixels of the window, left of the Hide button.
        # Without a window manager a click is what gives the window the keyboard focus.
        self.desktop.xdotool("mousemove", "--window", self.window, str(width // 2 - 20),
                             str(height - 12), "click", "1")

    def type_password(self, password):
        self.focus_password()
        self.desktop.xdotool("key", "ctrl+a", "BackSpace")
        self.desktop.xdotool("type", "--delay", "30", password)
        self.desktop.xdotool("key", "Return")

    def close_with_alt_f4(self):
        self.focus_password()
        self.desktop.xdotool("key", "alt+F4")
        return self.proc.wait(15)

    def wait_exit(self, timeout=15):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def check_log(log_path, expected_messages):
    data = open(log_path, "rb").read()
    stamp = rb"\[Message has been deleted at [^\]\r\n]+\]\r\n"
    records = re.split(b"(?=" + stamp + b")", data)
    records = [r for r in records if r]
    assert len(records) == len(expected_messages), f"{len(records)} records in the log"
    for record, text in zip(records, expected_messages):
        body = re.sub(b"^" + stamp, b"", record)
        want = b"".join(line.encode() + b"\r\n" for line in text.rstrip("\n").split("\n"))
        assert body == want, f"record differs:\n{body!r}\n{want!r}"


def scenario_good_password(binary, desktop, mailbox, work, artifacts):
    config = os.path.join(work, "config")
    reader_log = os.path.join(work, "reader-starts")
    reader = os.path.join(work, "reader.sh")
    with open(reader, "w") as out:
        out.write(f"#!/bin/sh\necho started >> {reader_log}\n")
    os.chmod(reader, 0o755)
    log = os.path.join(work, "deleted.log")
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": reader,
                        "Log File": log, "Interval": 5, "WavSound": "", "ShowMessage": 0,
                        "Count On Icon": 1},
               SPAM_RULES)
    for text in HAM + SPAM:
        mailbox.deliver(text)

    program = Program(binary, desktop, config, work)
    try:
        wait_for("tooltip 'Vornask'", lambda: desktop.tooltip() == "Vornask")
        desktop.screenshot(os.path.join(artifacts, "main-window.png"))
        program.type_password(PASSWORD)
        wait_for("'You have mail!'", lambda: desktop.tooltip() == "You have mail!",
                 seen=desktop.tooltip)
        assert not program.visible(), "window should hide"
        assert mailbox.subjects() == sorted(["Lunch on Friday?", "Build report"])
        check_log(log, SPAM)
        wait_for("mail reader start", lambda: os.path.exists(reader_log))
        assert desktop.badge_pixels() > 0, "the tray icon should carry the count"

        mailbox.deliver(LATE_SPAM)
        desktop.tray_item().ContextMenu(10, 10, dbus_interface="org.kde.StatusNotifierItem")
        wait_for("second reader start", lambda: len(open(reader_log).readlines()) == 2)
        assert mailbox.subjects() == sorted(["Lunch on Friday?", "Build report"])
        check_log(log, SPAM + [LATE_SPAM])
        desktop.save_tray_icon(os.path.join(artifacts, "tray-icon.png"))

        desktop.tray_item().Activate(10, 10, dbus_interface="org.kde.StatusNotifierItem")
        wait_for("window back", program.visible)
        assert program.close_with_alt_f4() == 0
        assert sorted(hive_values(config)) == sorted(
            ["SMTP host", "User", "Mail Program", "Log File", "Interval", "WavSound",
             "ShowMessage", "Count On Icon"]), hive_values(config)
    finally:
        program.kill()


def scenario_second_mailbox(binary, desktop, mailbox, work, artifacts):
    """A second mailbox set up through Mail Options (Add, its name, then its server and login
    name): the window gets a password row for it, Hide checks both mailboxes, the tooltip has a
    line for each, and the hive keeps the second under "Mailboxes"."""
    config = os.path.join(work, "config-two")
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": "",
                        "Log File": "", "Interval": 0, "WavSound": "", "ShowMessage": 0},
               SPAM_RULES)
    mailbox.add_user(SECOND_USER, SECOND_PASSWORD)
    for text in HAM[:1] + SPAM:
        mailbox.deliver(text, SECOND_USER)
    first_count = len(mailbox.subjects(USER))  # no spam left there by the earlier checks
    program = Program(binary, desktop, config, work)
    try:
        one_row = program.size()[1]
        program.focus_password()
        desktop.xdotool("key", "alt+o")
        wait_for("the Options menu", lambda: len(program.windows()) > 1)
        desktop.xdotool("key", "m")
        options = wait_for("Mail Options",
                           lambda: (desktop.find_windows("^Mail options$") or [None])[0])
        # The server's box has the focus: the Add button is the control before it.
        desktop.xdotool("mousemove", "--window", options, "3", "3", "click", "1")
        desktop.xdotool("key", "shift+Tab", "space")
        ask = wait_for("the name asked",
                       lambda: (desktop.find_windows("^Add Mailbox$") or [None])[0])
        desktop.xdotool("mousemove", "--window", ask, "3", "3", "click", "1")
        desktop.xdotool("type", "--delay", "30", "home")
        desktop.xdotool("key", "Return")
        wait_for("the name taken", lambda: not desktop.find_windows("^Add Mailbox$"))
        desktop.xdotool("mousemove", "--window", options, "3", "3", "click", "1")
        desktop.xdotool("key", "ctrl+a")
        desktop.xdotool("type", "--delay", "30", "127.0.0.1")
        desktop.xdotool("key", "Tab", "ctrl+a")
        desktop.xdotool("type", "--delay", "30", SECOND_USER)
        desktop.screenshot(os.path.join(artifacts, "second-mailbox-options.png"))
        desktop.xdotool("key", "Return")
        wait_for("Mail Options closed", lambda: not desktop.find_windows("^Mail options$"))

        # The bottom row is the new mailbox's; the first mailbox's box is the one before it.
        wait_for("the new mailbox's row", lambda: program.size()[1] > one_row)
        program.focus_password()
        desktop.xdotool("type", "--delay", "30", SECOND_PASSWORD)
        desktop.xdotool("key", "shift+Tab")
        desktop.xdotool("type", "--delay", "30", PASSWORD)
        desktop.screenshot(os.path.join(artifacts, "second-mailbox-rows.png"))
        desktop.xdotool("key", "Return")
        first = f"{first_count} waiting" if first_count else "no mail"
        expected = f"You have mail!\n{USER}@127.0.0.1: {first}\nhome: 1 waiting"
        wait_for("a line per mailbox", lambda: desktop.tooltip() == expected, seen=desktop.tooltip)
        assert mailbox.subjects(SECOND_USER) == ["Lunch on Friday?"]  # the spam deleted
        desktop.save_tray_icon(os.path.join(artifacts, "tray-icon-two-mailboxes.png"))

        desktop.tray_item().Activate(10, 10, dbus_interface="org.kde.StatusNotifierItem")
        wait_for("window back", program.visible)
        assert program.close_with_alt_f4() == 0
        hive = open(os.path.join(config, "vornask", "registry.reg")).read()
        second = hive.split("[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2]\n",
                            1)[1].split("\n[", 1)[0]
        for value in ('"Name"="home"', '"SMTP host"="127.0.0.1"', f'"User"="{SECOND_USER}"'):
            assert value in second.splitlines(), second
    finally:
        program.kill()


def scenario_imap_beside_pop3(binary, desktop, mailbox, work, artifacts):
    """An IMAP mailbox beside a POP3 one: Hide checks both, the tooltip names both, and spam
    delivered to the IMAP folder while the program waits is gone within seconds (IDLE), with
    no interval ticking, logged like POP3's; the stored kind and folder survive the exit."""
    config = os.path.join(work, "config-imap")
    log = os.path.join(work, "imap-deleted.log")
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": "",
                        "Log File": log, "Interval": 0, "WavSound": "", "ShowMessage": 0},
               SPAM_RULES)
    with open(os.path.join(config, "vornask", "registry.reg"), "a") as out:
        out.write("\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2]\n"
                  f'"Name"="work"\n"SMTP host"="127.0.0.1"\n"User"="{IMAP_USER}"\n'
                  f'"Protocol"=dword:00000001\n"Port"=dword:{IMAP_PORT:08x}\n"Folder"="INBOX"\n')
    mailbox.add_user(IMAP_USER, IMAP_PASSWORD)
    for text in HAM[:1] + SPAM:
        mailbox.deliver(text, IMAP_USER)
    pop3_count = len(mailbox.subjects(USER))  # its spam went in the earlier checks
    program = Program(binary, desktop, config, work)
    try:
        program.focus_password()
        desktop.xdotool("type", "--delay", "30", IMAP_PASSWORD)
        desktop.xdotool("key", "shift+Tab")
        desktop.xdotool("type", "--delay", "30", PASSWORD)
        desktop.xdotool("key", "Return")
        first = f"{pop3_count} waiting" if pop3_count else "no mail"
        expected = f"You have mail!\n{USER}@127.0.0.1: {first}\nwork: 1 waiting"
        wait_for("both mailboxes checked", lambda: desktop.tooltip() == expected,
                 seen=desktop.tooltip)
        assert mailbox.subjects(IMAP_USER) == ["Lunch on Friday?"]
        check_log(log, SPAM)

        # Delivered while the program only waits (no interval): IDLE brings it in at once.
        delivered = time.monotonic()
        mailbox.deliver(LATE_SPAM, IMAP_USER)
        mailbox.deliver(HAM[1], IMAP_USER)
        wait_for("late spam gone", lambda: mailbox.subjects(IMAP_USER) == sorted(
            ["Lunch on Friday?", "Build report"]), timeout=10, seen=lambda: mailbox.subjects(IMAP_USER))
        print(f"e2e: IMAP spam gone {time.monotonic() - delivered:.2f} s after delivery")
        expected = f"You have mail!\n{USER}@127.0.0.1: {first}\nwork: 2 waiting"
        wait_for("the IMAP line follows", lambda: desktop.tooltip() == expected,
                 seen=desktop.tooltip)
        check_log(log, SPAM + [LATE_SPAM])
        assert not mailbox.seen_flags(IMAP_USER), "nothing may mark the mail read"

        desktop.tray_item().Activate(10, 10, dbus_interface="org.kde.StatusNotifierItem")
        wait_for("window back", program.visible)
        assert program.close_with_alt_f4() == 0
        hive = open(os.path.join(config, "vornask", "registry.reg")).read()
        second = hive.split("[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2]\n",
                            1)[1].split("\n[", 1)[0]
        for value in ('"Protocol"=dword:00000001', f'"User"="{IMAP_USER}"'):
            assert value in second.splitlines(), second
    finally:
        program.kill()


def scenario_tray_inside_box(binary, desktop, mailbox, work, artifacts):
    """With the count box open the tray still answers: a right click checks again (quietly, as a
    tick does there), a left click brings the window back, and the box stays in front of it."""
    host = "xembed" if desktop.xembed else "sni"
    config = os.path.join(work, "config-" + host)
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": "",
                        "Log File": "", "Interval": 0, "WavSound": "", "ShowMessage": 1}, [])
    program = Program(binary, desktop, config, work)
    try:
        if desktop.xembed:  # the shown window has a taskbar entry: an ordinary window's type
            props = desktop.xprop(program.window)
            assert re.search(r"^_NET_WM_WINDOW_TYPE\(ATOM\) = _NET_WM_WINDOW_TYPE_NORMAL$", props,
                             re.M) and "SKIP_TASKBAR" not in props, props
        program.type_password(PASSWORD)
        box = wait_for("the count box", lambda: (desktop.find_windows("^Information$") or [None])[0])
        logins = mailbox.logins()
        desktop.click_tray(3)
        wait_for("a check from the tray inside the box", lambda: mailbox.logins() > logins)
        desktop.click_tray(1)
        wait_for("window back", program.visible)
        wait_for("the box in front of the window", lambda: desktop.stacking().index(box) <
                 desktop.stacking().index(program.window), timeout=5)
        desktop.screenshot(os.path.join(artifacts, f"box-over-window-{host}.png"))
        assert desktop.find_windows("^Information$") == [box], "a second box opened"
        desktop.xdotool("mousemove", "--window", box, "5", "5", "click", "1")
        desktop.xdotool("key", "Return")
        wait_for("box closed", lambda: not desktop.find_windows("^Information$"))
        assert program.close_with_alt_f4() == 0
    finally:
        program.kill()


def scenario_wrong_password(binary, desktop, work, artifacts):
    config = os.path.join(work, "config")
    program = Program(binary, desktop, config, work)
    try:
        wait_for("tooltip 'Vornask'", lambda: desktop.tooltip() == "Vornask")
        program.type_password("not-the-password")
        wait_for("the server's refusal in the tooltip",
                 lambda: desktop.tooltip() == "-ERR [AUTH] Authentication failed.")
        box = wait_for("the error box", program.other_window)
        desktop.screenshot(os.path.join(artifacts, "wrong-password.png"))
        # The window comes back once the user has read and closed the box.
        desktop.xdotool("mousemove", "--window", box, "5", "5", "click", "1")
        desktop.xdotool("key", "Return")
        wait_for("window back", program.visible)
    finally:
        program.kill()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def scenario_oauth_sign_in(binary, desktop, script, work, artifacts):
    """OAuth2 over TLS on connect: Hide with an empty password box signs in through the browser
    (a stand-in that follows the authorization redirect), then the check deletes the spam with
    the token Dovecot checks at the authorization server."""
    support = os.path.dirname(os.path.abspath(script))
    certs = os.path.join(work, "certs")
    subprocess.run(["bash", os.path.join(support, "make-test-certs.sh"), certs], check=True)
    oauth = subprocess.Popen([sys.executable, os.path.join(support, "oauth_server.py"), "--user",
                              USER, "--client-id", "vornask-e2e"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    url = f"http://127.0.0.1:{oauth.stdout.readline().strip()}"
    tls_port = free_port()
    mailbox = program = None
    try:
        mailbox = Mailbox(script, work, "dovecot-oauth", free_port(), [
            "--tls", str(tls_port), os.path.join(certs, "server.pem"),
            os.path.join(certs, "server.key"), "--oauth2", url + "/introspect",
            "xoauth2 oauthbearer"])
        for text in HAM + SPAM:
            mailbox.deliver(text)
        config, log = os.path.join(work, "config-oauth"), os.path.join(work, "deleted-oauth.log")
        write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": "",
                            "Log File": log, "Interval": 0, "WavSound": "", "ShowMessage": 0,
                            "Encryption": 2, "Port": tls_port, "Authentication": 2,
                            "OAuth authorization URL": url + "/authorize",
                            "OAuth token URL": url + "/token", "OAuth client ID": "vornask-e2e"},
                   SPAM_RULES)
        page = os.path.join(work, "browser-page")
        program = Program(binary, desktop, config, work, {
            "BROWSER": os.path.join(support, "stand_in_browser.py"),
            "VORNASK_BROWSER_PAGE": page, "SSL_CERT_FILE": os.path.join(certs, "ca.pem")})
        program.focus_password()
        program.desktop.xdotool("key", "Return")
        wait_for("'You have mail!'", lambda: desktop.tooltip() == "You have mail!",
                 seen=desktop.tooltip)
        landing = wait_for("the browser's landing page", lambda: os.path.exists(page) and
                           open(page).read())
        assert landing.startswith("200\n") and "signed in" in landing, landing
        assert not program.visible(), "window should hide"
        assert mailbox.subjects() == sorted(["Lunch on Friday?", "Build report"])
        check_log(log, SPAM)
        assert "method=OAUTHBEARER" in mailbox.log(), mailbox.log()
        desktop.save_tray_icon(os.path.join(artifacts, "tray-icon-oauth.png"))
    finally:
        if program:
            program.kill()
        if mailbox:
            mailbox.close()
        oauth.terminate()
        oauth.wait()


def scenario_late_tray(binary, desktop, mailbox, work, artifacts):
    """A tray host that starts after Vornask (a panel late at login) and goes away again: Hide
    without a tray minimises the window with the outcome in its title (under a window manager the
    start does, hidden with a remembered password); the tray that comes takes the icon and the
    window, and both clicks act; a tray that goes leaves the window minimised. A second start
    brings the running one's window back and ends at once."""
    manager = desktop.window_manager
    config = os.path.join(work, "config-late-tray" + ("-wm" if manager else ""))
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Mail Program": "",
                        "Log File": "", "Interval": 5, "WavSound": "", "ShowMessage": 0,
                        "Remember password": int(manager)}, [])
    if manager:
        desktop.remember_password(USER, "127.0.0.1", 110, PASSWORD)
    program = Program(binary, desktop, config, work, hidden=manager)
    try:
        if not manager:
            program.type_password(PASSWORD)
        wait_for("the outcome in the minimised window's title",
                 lambda: program.minimised() and program.title() == "Vornask - You have mail!",
                 seen=program.title)
        desktop.screenshot(os.path.join(artifacts, f"late-tray-minimised{'-wm' * manager}.png"))

        desktop.start_tray()
        wait_for("the window gone into the tray",
                 lambda: not program.visible() and not program.minimised())
        logins = mailbox.logins()
        desktop.click_tray(3)
        wait_for("a check from the late tray", lambda: mailbox.logins() > logins)
        desktop.click_tray(1)
        wait_for("window back", program.restored)

        program.type_password(PASSWORD)
        wait_for("the window hidden into the tray", lambda: not program.visible())
        desktop.stop_tray()
        wait_for("the window minimised, not lost", lambda: program.minimised() and
                 program.title() == "Vornask - You have mail!", seen=program.title)

        started = time.monotonic()
        second = subprocess.run([binary], env=program.env, cwd=work, timeout=30)
        assert second.returncode == 0 and time.monotonic() - started < 10, second
        wait_for("the first one's window back", program.restored)
        assert program.proc.poll() is None
        assert len(desktop.find_windows("^Vornask")) == 1, "a second window"
        assert program.close_with_alt_f4() == 0
    finally:
        program.kill()


def scenario_stalled_server(binary, desktop, mailbox, work, artifacts):
    """Two mailboxes, the first behind a server that never answers: after Hide the tray item
    answers D-Bus calls within 100 ms while it stalls, and the other mailbox's spam is gone
    within a few seconds."""
    silent = SilentServer()
    config = os.path.join(work, "config-stalled")
    write_hive(config, {"SMTP host": "127.0.0.1", "User": USER, "Port": silent.port,
                        "Mail Program": "", "Log File": "", "Interval": 0, "WavSound": "",
                        "ShowMessage": 0}, SPAM_RULES)
    with open(os.path.join(config, "vornask", "registry.reg"), "a") as out:
        out.write(f'\n[HKEY_CURRENT_USER\\Software\\Quorvat\\Vornask\\Mailboxes\\2]\n'
                  f'"Name"="home"\n"SMTP host"="127.0.0.1"\n"User"="{SECOND_USER}"\n')
    mailbox.add_user(SECOND_USER, SECOND_PASSWORD)
    mailbox.deliver(SPAM[0], SECOND_USER)
    program = Program(binary, desktop, config, work)
    try:
        program.focus_password()  # the bottom row: the second mailbox's
        desktop.xdotool("type", "--delay", "30", SECOND_PASSWORD)
        desktop.xdotool("key", "shift+Tab")
        desktop.xdotool("type", "--delay", "30", PASSWORD)
        desktop.xdotool("key", "Return")
        wait_for("the silent server reached", lambda: silent.held)
        item = desktop.tray_item()
        for _ in range(5):
            started = time.monotonic()
            item.Get("org.kde.StatusNotifierItem", "ToolTip",
                     dbus_interface=dbus.PROPERTIES_IFACE, timeout=1.0)
            assert time.monotonic() - started < 0.1, "the tray item answered late"
        wait_for("the spam gone beside the stalled server",
                 lambda: "Great offers" not in mailbox.subjects(SECOND_USER), timeout=5)
        # A left click gives up the stalled session: the window is back at once, and Exit ends
        # the program promptly.
        item.Activate(10, 10, dbus_interface="org.kde.StatusNotifierItem")
        wait_for("the window back while the server stalls", program.visible, timeout=2)
        started = time.monotonic()
        assert program.close_with_alt_f4() == 0
        assert time.monotonic() - started < 5, "Exit waited for the stalled server"
    finally:
        program.kill()
        silent.close()


NAMESPACE_MARK = "VORNASK_E2E_IN_NAMESPACE"


def run_in_namespace():
    """Runs this test again where a normal user may open 127.0.0.1:110: a new network namespace
    owned by a new user namespace, mapped back to the user's own id for the test itself."""
    probe = subprocess.run(["unshare", "--user", "--map-root-user", "--net", "true"],
                           capture_output=True)
    if probe.returncode != 0:
        print("SKIPPED: port 110 needs root, and this system allows no user namespace to open "
              "it in")
        return SKIP
    inner = ("echo 0 >/proc/sys/net/ipv4/ip_unprivileged_port_start && ip link set lo up && "
             f"exec unshare --user --map-user={os.getuid()} --map-group={os.getgid()} -- \"$@\"")
    command = ["unshare", "--user", "--map-root-user", "--net", "--", "sh", "-c", inner, "sh",
               sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
    return subprocess.run(command, env=dict(os.environ, **{NAMESPACE_MARK: "1"})).returncode


def main():
    binary, script, artifacts = sys.argv[1:4]
    if os.geteuid() != 0 and not os.environ.get(NAMESPACE_MARK):
        return run_in_namespace()
    os.makedirs(artifacts, exist_ok=True)
    work = tempfile.mkdtemp(prefix="vornask-e2e-")
    os.chmod(work, 0o755)  # the server drops to other users that must reach its files
    desktop = mailbox = None
    try:
        desktop = Desktop(work)
        mailbox = Mailbox(script, work, options=("--imap", str(IMAP_PORT)))
        scenario_good_password(binary, desktop, mailbox, work, artifacts)
        scenario_second_mailbox(binary, desktop, mailbox, work, artifacts)
        scenario_imap_beside_pop3(binary, desktop, mailbox, work, artifacts)
        scenario_wrong_password(binary, desktop, work, artifacts)
        scenario_tray_inside_box(binary, desktop, mailbox, work, artifacts)
        scenario_oauth_sign_in(binary, desktop, script, work, artifacts)
        scenario_stalled_server(binary, desktop, mailbox, work, artifacts)
        desktop.close()
        desktop = Desktop(work, xembed=True)
        scenario_tray_inside_box(binary, desktop, mailbox, work, artifacts)
        for manager in (False, True):
            desktop.close()
            desktop = Desktop(work, xembed=True, tray=False, window_manager=manager)
            scenario_late_tray(binary, desktop, mailbox, work, artifacts)
    finally:
        if mailbox:
            mailbox.close()
        if desktop:
            desktop.close()
        shutil.rmtree(work, ignore_errors=True)
    print("e2e: 10 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
