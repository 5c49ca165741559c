#!/usr/bin/python3
"""The real talmoor as a user runs it: under Xvfb, found and driven through
the AT-SPI accessibility bus and xdotool, on a copy of a Wine prefix.

    desktop_e2e.py TALMOOR PREFIX_SOURCE SCREENSHOT_DIR

Exits 77 (skipped) when Xvfb, the accessibility bus, pyatspi or xdotool are
missing, 0 when every step held, 1 with the step that did not.
"""
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def missing_tools():
    needed = ["Xvfb", "xdotool", "dbus-launch", "import"]
    gone = [tool for tool in needed if shutil.which(tool) is None]
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        gone.append("at-spi-bus-launcher")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        gone.append("python3-pyatspi")
    return gone


def main():
    talmoor, source, shots = sys.argv[1], sys.argv[2], sys.argv[3]
    scratch = sys.argv[4] if len(sys.argv) > 4 else None
    gone = missing_tools()
    if not os.path.exists(os.path.join(source, "system.reg")):
        gone.append("the corpus prefix " + source)
    if gone:
        print("skipped: missing " + ", ".join(gone))
        return SKIP
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from gui_session import Session

    work = os.environ.get("TALMOOR_E2E_WORK")
    prefix = os.path.join(work or "", "prefix")
    if work is None:
        work = tempfile.mkdtemp(prefix="talmoor-e2e-")
        prefix = os.path.join(work, "prefix")
        os.makedirs(prefix)
        for name in ("system.reg", "user.reg", "userdef.reg"):
            shutil.copy(os.path.join(source, name), prefix)
            os.chmod(os.path.join(prefix, name), 0o644)
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
    env["XDG_DATA_HOME"] = os.path.join(work, "data")
    os.makedirs(shots, exist_ok=True)
    argv = [talmoor, "--prefix", prefix]

    def check(condition, what):
        if not condition:
            raise AssertionError(what)

    def focus_frame(s):
        # Without a window manager the keyboard follows the pointer's click:
        # click the status line, which does nothing else.
        status = s.wait_for(name="Status", role="label")
        box = status.queryComponent().getExtents(s.pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", str(box.x + 5), str(box.y + box.height // 2), "click", "1"],
                       env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        time.sleep(0.3)

    def go_to(s, path, settle=True):
        """Through the Path box (Ctrl+L selects its text), as a user types a path."""
        s.keys("ctrl+l")
        s.type(path)
        s.keys("Return", delay=1.0)
        if settle:
            wait_for_status(s, path)

    def quit_program(s):
        s.keys("Escape")
        s.act(s.wait_for(name="Exit", role="menu item"))
        time.sleep(1.0)

    def open_favourites(s):
        # Through the menu bar's entry, as a screen reader user opens it.
        s.act(s.wait_for(name="Favourites", role="menu item"))
        time.sleep(0.5)

    def wait_for_status(s, text, timeout=20):
        end = time.time() + timeout
        status = s.wait_for(name="Status", role="label")
        while time.time() < end:
            if status.description == text:
                return
            time.sleep(0.3)
        s.shot(os.path.join(shots, "status-not-reached.png"))
        raise AssertionError("the status line says %r, not %r" % (status.description, text))

    def wine_query(key):
        """What Wine's own reg says of a key of the prefix, or None without Wine."""
        loader = next((c for c in ("/usr/lib/wine/wine64", "/usr/bin/wine64",
                                   "/usr/lib/x86_64-linux-gnu/wine/wine64") if os.path.exists(c)), None)
        if loader is None or scratch is None:
            return None
        wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY="",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        booted = os.path.join(scratch, "drive_c", "windows", "system32")
        # One booted prefix per build tree (shared with the other tests, under their lock).
        with open(scratch + ".lock", "a") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.exists(booted):
                boot_env = dict(wine_env, WINEPREFIX=scratch)
                subprocess.run([loader, "wineboot", "--init"], env=boot_env, capture_output=True, timeout=600)
                subprocess.run(["wineserver", "-w"], env=boot_env, timeout=120)
        if not os.path.exists(os.path.join(prefix, "drive_c")):
            shutil.copy(os.path.join(scratch, ".update-timestamp"), prefix)
            os.symlink(os.path.join(scratch, "drive_c"), os.path.join(prefix, "drive_c"))
        result = subprocess.run([loader, "reg", "query", key], env=wine_env, capture_output=True, text=True,
                                timeout=300)
        subprocess.run(["wineserver", "-w"], env=wine_env, timeout=120)
        return result.stdout.replace("\r", "")

    def reload_if_asked(s):
        """Wine's server writes the hive files back as it ends: the desktop sees
        them changed and offers to reload them, which is taken."""
        end = time.time() + 6
        while time.time() < end:
            if s.find(contains="have been changed by another program", showing=True) is not None:
                answer_yes(s)
                time.sleep(1.5)  # the windows read the key again
                return True
            time.sleep(0.3)
        return False

    def answer_yes(s, timeout=20):
        """Yes to a question, or Accept to a change's confirmation."""
        end = time.time() + timeout
        while time.time() < end:
            for name in ("Accept", "Yes"):
                button = s.find(name=name, role="push button", showing=True)
                if button is not None:
                    s.act(button)
                    time.sleep(0.8)
                    return
            time.sleep(0.3)
        s.shot(os.path.join(shots, "no-question.png"))
        raise TimeoutError("no question to answer within %ss" % timeout)

    def drag(s, source, target):
        """Presses the mouse on one item, moves it over another in steps (a
        drag starts only after some distance), and lets go there."""
        def centre(acc):
            box = acc.queryComponent().getExtents(s.pyatspi.DESKTOP_COORDS)
            return box.x + box.width // 2, box.y + box.height // 2

        def xdo(*args):
            subprocess.run(["xdotool"] + [str(a) for a in args], env=s.env, timeout=20)

        (x0, y0), (x1, y1) = centre(source), centre(target)
        xdo("mousemove", x0, y0)
        time.sleep(0.3)
        xdo("mousedown", 1)
        for step in range(1, 11):
            time.sleep(0.1)
            xdo("mousemove", x0 + (x1 - x0) * step // 10, y0 + (y1 - y0) * step // 10)
        time.sleep(0.5)
        xdo("mouseup", 1)
        time.sleep(1.0)

    def type_name(s, text):
        s.keys("ctrl+a")
        s.type(text)
        s.keys("Return", delay=1.0)

    phase = os.environ.get("TALMOOR_E2E_PHASE")
    if phase is None:
        # Each run of the program gets a process of its own: the accessibility
        # library stays bound to the first bus it meets.
        for name in ("first", "second", "browse", "data", "search", "windows"):
            run_env = dict(os.environ, TALMOOR_E2E_PHASE=name, TALMOOR_E2E_WORK=work)
            result = subprocess.run([sys.executable, os.path.abspath(__file__)] + sys.argv[1:], env=run_env)
            if result.returncode != 0:
                return result.returncode
        shutil.rmtree(work, ignore_errors=True)
        print("ok")
        return 0

    if phase == "first":
      with Session(argv, env=env, display=":93") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        for title in ("Key Browser", "Value List", "Data Viewer"):
            s.wait_for(name=title, role="frame", showing=True)
        check(s.find(name="Error Log", role="frame", showing=True) is None,
              "the Error Log starts hidden")
        s.keys("ctrl+e")
        s.wait_for(name="Error Log", role="frame", showing=True)
        check(s.find(name="Registry Values", role="table") is not None, "the Error Log's list is there")

        # Go somewhere through the Path box (Ctrl+L selects its text).
        go_to(s, "HKEY_LOCAL_MACHINE\\Software\\Wine")

        # Add it as a favourite: the Favourites menu's Add asks for a name.
        s.keys("alt+f", delay=0.8)
        s.wait_for(name="Add            Ctrl-A", role="menu item", showing=True)
        s.keys("Return", delay=1.0)
        s.wait_for(name="Add Favourite")
        s.keys("ctrl+a")
        s.type("My Wine")
        s.keys("Return", delay=1.0)
        open_favourites(s)
        s.wait_for(name="My Wine", showing=True)
        s.shot(os.path.join(shots, "frame-favourites.png"))
        s.keys("Escape")
        s.shot(os.path.join(shots, "frame.png"))
        quit_program(s)
        end = time.time() + 15
        while s.app.poll() is None and time.time() < end:
            time.sleep(0.2)
        check(s.app.returncode == 0, "talmoor ended with %s" % s.app.returncode)

    elif phase == "browse":
      key = "HKEY_LOCAL_MACHINE\\Software\\Wine\\LicenseInformation"
      with Session(argv, env=env, display=":95") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        go_to(s, key)
        browser = s.wait_for(name="Key Browser", role="frame", showing=True)
        values = s.wait_for(name="Value List", role="frame", showing=True)
        s.wait_for(name="Kernel-MUI-Number-Allowed", under=values, showing=True)
        s.wait_for(name="Wine", under=browser, showing=True)

        # A new key below the selected one: the popup menu's Create, Child.
        s.click(s.wait_for(name="LicenseInformation", under=browser, showing=True))
        # Popup menus are top-level windows the bus does not list: their
        # mnemonics reach them ("&Create", "&Child").
        s.keys("Menu", delay=0.8)
        s.keys("c", delay=0.5)
        s.keys("c", delay=1.0)
        type_name(s, "E2E Key")
        answer_yes(s)
        wait_for_status(s, key + "\\E2E Key")
        # A string value in it: the value popup's Create, String.
        table = s.wait_for(name="Registry Values", under=values, showing=True)
        s.click(table)
        # "&Create", then the second type after the separator: "String".
        s.keys("Menu", delay=0.8)
        s.keys("c", delay=0.5)
        s.keys("Down", "Down", delay=0.3)
        s.keys("Return", delay=1.0)
        type_name(s, "E2E Value")
        answer_yes(s)
        s.wait_for(name="E2E Value", under=values, showing=True)
        time.sleep(1.0)  # the box's place painted again
        s.shot(os.path.join(shots, "browsers.png"))
        seen = wine_query(key + "\\E2E Key")
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or "E2E Value" in seen, "Wine's reg sees the new key and value: %r" % seen)

        # Both renamed in place (F2).
        # The list was read again: the keyboard takes its first row.
        s.click(s.wait_for(name="Registry Values", under=values, showing=True))
        s.keys("Home", delay=0.5)
        s.keys("F2", delay=0.5)
        type_name(s, "E2E Renamed Value")
        answer_yes(s)
        s.wait_for(name="E2E Renamed Value", under=values, showing=True)
        s.click(s.wait_for(name="E2E Key", under=browser, showing=True))
        s.keys("F2", delay=0.5)
        type_name(s, "E2E Renamed Key")
        answer_yes(s)
        wait_for_status(s, key + "\\E2E Renamed Key")
        seen = wine_query(key + "\\E2E Renamed Key")
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or "E2E Renamed Value" in seen, "Wine's reg sees the renamed key and value: %r" % seen)

        # And deleted with the Delete key.
        s.click(s.wait_for(name="E2E Renamed Value", under=values, showing=True))
        s.keys("Delete", delay=0.5)
        answer_yes(s)
        end = time.time() + 20
        while s.find(name="E2E Renamed Value", under=values, showing=True) is not None and time.time() < end:
            time.sleep(0.3)
        check(s.find(name="E2E Renamed Value", under=values, showing=True) is None, "the value is gone")
        s.click(s.wait_for(name="E2E Renamed Key", under=browser, showing=True))
        s.keys("Delete", delay=0.5)
        answer_yes(s)
        wait_for_status(s, key)
        seen = wine_query(key)
        check(seen is None or ("Kernel-MUI-Number-Allowed" in seen and "E2E" not in seen),
              "Wine's reg sees them gone: %r" % seen)

        quit_program(s)

    elif phase == "data":
      key = "HKEY_CURRENT_USER\\Control Panel\\Desktop"
      with Session(argv, env=env, display=":96") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        go_to(s, key)
        values = s.wait_for(name="Value List", role="frame", showing=True)
        viewer = s.wait_for(name="Data Viewer", role="frame", showing=True)

        # Two bytes of a binary value, overwritten in the hex pane.
        def choose_value(name, *steps):
            # The list's keys take the keyboard to a row, scrolled into view.
            s.click(s.wait_for(name="Registry Values", under=values, showing=True))
            s.keys(*steps, delay=0.8)
            s.wait_for(name=name, under=values, showing=True)
            wait_for_status(s, "%s  [%s]" % (key, name))

        choose_value("UserPreferencesMask", "ctrl+End", "Up", "Up", "Up")
        hex_pane = s.wait_for(name="Hex Editor", under=viewer, showing=True)
        s.click(hex_pane)
        s.keys("Home", delay=0.3)
        s.keys("Insert", delay=0.3)  # overwrite
        s.type("abcd")
        s.shot(os.path.join(shots, "data-viewer-edited.png"))
        s.keys("ctrl+s", delay=1.0)
        answer_yes(s)
        seen = wine_query(key)
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or "ABCD028012000000" in seen.upper(),
              "Wine's reg sees the two new bytes: %r" % seen)

        # A double word, through the number editor.
        choose_value("CaretWidth", "ctrl+Home", "Down", "Down")
        number = s.wait_for(name="Decimal", under=viewer, showing=True)
        s.click(number)
        s.keys("ctrl+a")
        s.type("42")
        s.shot(os.path.join(shots, "data-viewer-number.png"))
        s.keys("ctrl+s", delay=1.0)
        answer_yes(s)
        seen = wine_query(key)
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or "0x2a" in seen.lower(), "Wine's reg sees the new number: %r" % seen)

        # A key dragged onto another with the mouse is copied below it.
        go_to(s, "HKEY_CURRENT_USER\\Control Panel\\Mouse", settle=False)
        browser = s.wait_for(name="Key Browser", role="frame", showing=True)
        drag(s, s.wait_for(name="Keyboard", under=browser, showing=True),
             s.wait_for(name="Sound", under=browser, showing=True))
        s.shot(os.path.join(shots, "drag-confirm.png"))
        answer_yes(s)  # "Confirm Action"
        while True:  # then each change of the copy
            try:
                answer_yes(s, timeout=3)
            except TimeoutError:
                break
        seen = wine_query("HKEY_CURRENT_USER\\Control Panel\\Sound\\Keyboard")
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or ("KeyboardDelay" in seen and "KeyboardSpeed" in seen),
              "Wine's reg sees the key copied by the drag: %r" % seen)
        s.shot(os.path.join(shots, "drag-done.png"))
        quit_program(s)

    elif phase == "search":
      clsid = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{0131BE10-2001-4C5F-A9B0-CC88FAB64CE8}"
      rows_file = os.path.join(work, "rows.reg")
      with Session(argv, env=env, display=":97") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        go_to(s, "HKEY_LOCAL_MACHINE")
        s.keys("F3", delay=1.0)
        window = s.wait_for(name="Search", role="frame", showing=True)
        count = s.wait_for(name="Search Results Count", under=window)
        state = s.wait_for(name="Search State", under=window)

        def wait_for_count(text, timeout=60):
            end = time.time() + timeout
            while time.time() < end and count.description != text:
                time.sleep(0.3)
            if count.description != text:
                s.shot(os.path.join(shots, "search-count.png"))
                raise AssertionError("the Search window says %r, not %r" % (count.description, text))

        def results_command(*letters):
            # The 'Search Popup' through its mnemonics ("&Results", then the entry).
            s.click(s.wait_for(name="Registry Values", under=window, showing=True), button=3)
            time.sleep(0.8)
            for letter in letters:
                s.keys(letter, delay=0.6)

        def choose_file(path):
            s.wait_for(contains="Registry Settings", showing=True)
            time.sleep(0.5)
            s.keys("ctrl+a")
            s.type(path)
            s.keys("Return", delay=1.0)

        s.click(s.wait_for(name="Find", role="text", under=window, showing=True))
        s.type("The Wine Project")
        # The Mode list (a list says its choice as its name; its help is
        # its description): Modify follows Find.
        mode = next(a for a, _ in s.walk(window)
                    if a.getRoleName() == "combo box" and (a.description or "").startswith("Select Search Mode"))
        s.click(mode)
        s.keys("Down", "Return", delay=0.6)
        s.click(s.wait_for(name="Replace", role="text", under=window, showing=True))
        s.type("The Talmoor Test")
        s.shot(os.path.join(shots, "search-modify.png"))
        s.act(s.wait_for(name="Go", role="push button", under=window, showing=True))
        # The first change's confirmation, not to be shown again for the rest.
        again = s.wait_for(contains="Do not show this dialog", role="check box", showing=True)
        s.click(again)
        s.shot(os.path.join(shots, "search-confirmation.png"))
        answer_yes(s)
        wait_for_count("Found 54 items.")
        s.shot(os.path.join(shots, "search-results.png"))
        seen = wine_query(clsid)
        if seen is not None:
            reload_if_asked(s)
        check(seen is None or "The Talmoor Test" in seen, "Wine's reg sees the new data: %r" % seen)

        # The rows saved as a script, cleared, and the script verified: the
        # registry holds what it says, so no row comes back.
        results_command("r", "s")
        choose_file(rows_file)
        end = time.time() + 20
        while not os.path.exists(rows_file) and time.time() < end:
            time.sleep(0.3)
        check(os.path.exists(rows_file), "the rows were saved")
        results_command("r", "c")
        wait_for_count("Cleared.")
        results_command("r", "v")
        choose_file(rows_file)
        end = time.time() + 30
        while state.description != "Verified." and state.name != "Verified." and time.time() < end:
            time.sleep(0.3)
        wait_for_count("No items found.")
        s.shot(os.path.join(shots, "search-verified.png"))
        quit_program(s)

    elif phase == "windows":
      # An offline Windows installation: the corpus SYSTEM hive, and the
      # module the Event Log service names with its texts only in its
      # en-US language file, built by mingw-w64's resource compiler.
      system_hive = os.path.join(source, os.pardir, "hives", "SYSTEM")
      windres, linker = shutil.which("x86_64-w64-mingw32-windres"), shutil.which("x86_64-w64-mingw32-ld")
      if not os.path.exists(system_hive) or windres is None or linker is None:
          print("windows phase skipped: no corpus SYSTEM hive or no mingw-w64 windres and ld")
          return 0
      install = os.path.join(work, "install")
      system32 = os.path.join(install, "Windows", "System32")
      os.makedirs(os.path.join(system32, "config"), exist_ok=True)
      os.makedirs(os.path.join(system32, "en-US"), exist_ok=True)
      shutil.copy(system_hive, os.path.join(system32, "config", "SYSTEM"))
      os.chmod(os.path.join(system32, "config", "SYSTEM"), 0o644)

      def build_module(path, rc_text):
          rc, obj = os.path.join(work, "module.rc"), os.path.join(work, "module.o")
          with open(rc, "w") as out:
              out.write(rc_text)
          subprocess.run([windres, "--preprocessor=cpp", "-i", rc, "-O", "coff", "-o", obj], check=True, timeout=60)
          subprocess.run([linker, "--dll", "-e", "0", "-o", path, obj], check=True, timeout=60)

      build_module(os.path.join(system32, "wevtsvc.dll"), "LANGUAGE 0, 0\n1 RCDATA\nBEGIN\n  0L\nEND\n")
      build_module(os.path.join(system32, "en-US", "wevtsvc.dll.mui"),
                   'LANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n  200 "Windows Event Log"\n'
                   '  201 "This service manages events and event logs."\nEND\n')
      key = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\services\\eventlog"  # as the hive spells it
      with Session([talmoor, "--windows", install], env=env, display=":98") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        go_to(s, key)
        values = s.wait_for(name="Value List", role="frame", showing=True)
        s.wait_for(contains="This service manages events", under=values, timeout=30)
        browser = s.wait_for(name="Key Browser", role="frame", showing=True)
        s.wait_for(contains="Windows Event Log", under=browser, timeout=30)
        s.shot(os.path.join(shots, "windows-event-log.png"))
        quit_program(s)

    else:
      with Session(argv, env=env, display=":94") as s:
        s.wait_for(name="Talmoor", role="frame")
        focus_frame(s)
        # The last location and the favourite come back.
        wait_for_status(s, "HKEY_LOCAL_MACHINE\\Software\\Wine")
        s.wait_for(name="Error Log", role="frame", showing=True)
        open_favourites(s)
        s.wait_for(name="My Wine", showing=True)
        s.keys("Escape")
        quit_program(s)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (AssertionError, TimeoutError, RuntimeError) as failure:
        import traceback; traceback.print_exc() if os.environ.get("TALMOOR_E2E_TRACE") else None
        print("failed: %s" % failure)
        sys.exit(1)
