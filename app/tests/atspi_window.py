#!/usr/bin/python3
"""The main window as a screen reader sees it, over the accessibility bus.

Runs itself again inside Xvfb and a private D-Bus session, starts the program with a
temporary album as its argument, finds the controls by name and role, and on the tag
page checks a field's box through its toggle action and sees the field unlocked; opens
and closes the about box; ends the program with SIGTERM, which closes it as a user would.
The tools come with scripts/deps.sh: a missing one is a failure.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

NO_DISPLAY = 3
PY = "/usr/bin/python3"


def outer(exe):
    missing = [t for t in ("xvfb-run", "Xvfb", "xauth", "dbus-run-session") if not shutil.which(t)]
    if missing or subprocess.run([PY, "-c", "import pyatspi"], capture_output=True).returncode != 0:
        return print(f"FAIL: {missing or 'python3-pyatspi'} missing (scripts/deps.sh installs it)") or 1
    cmd = ["xvfb-run", "-a", "-s", "-screen 0 1280x900x24",
           "dbus-run-session", "--", PY, os.path.abspath(__file__), "--inner", exe]
    # xvfb-run -a picks its display number without a lock, so a parallel run can take the
    # same one; the inner run reports that with NO_DISPLAY and gets another try.
    for attempt in range(3):
        rc = subprocess.run(cmd, timeout=60).returncode
        if rc != NO_DISPLAY:
            return rc
        time.sleep(1 + attempt)
    return print("no X display could be had") or 1


class Failure(Exception):
    pass


class NoDisplay(Exception):
    pass


def wait_for(what, probe, timeout=15.0):
    """Calls probe until it gives something true; the AT-SPI side answers late at start."""
    deadline, last_error = time.monotonic() + timeout, None
    while time.monotonic() < deadline:
        try:
            value = probe()
            if value:
                return value
        except (Failure, NoDisplay):
            raise
        except Exception as e:  # the bus or the object is not ready yet
            last_error = e
        time.sleep(0.2)
    raise Failure(f"timed out waiting for {what}" + (f" ({last_error})" if last_error else ""))


def inner(exe):
    import pyatspi

    tmp = tempfile.mkdtemp(prefix="sortimentor-atspi-")
    log = open(os.path.join(tmp, "program.log"), "w+")
    proc = None
    try:
        album, other = os.path.join(tmp, "Über den Wolken"), os.path.join(tmp, "Letzter Ordner")
        names = ["01 Anfang.mp3", "02 Mitte.mp3", "03 Ende.mp3"]
        for folder, files in ((album, names), (other, ["x.mp3"])):
            os.makedirs(folder)
            for n in files:
                with open(os.path.join(folder, n), "wb") as f:
                    f.write(b"\0" * 2000)
        config = os.path.join(tmp, "config")
        os.makedirs(os.path.join(config, "Varnolt"))
        # A stored last folder, which the argument must win over.
        with open(os.path.join(config, "Varnolt", "Sortimentor.conf"), "w") as f:
            f.write(f"[General]\nLastDir={other}/\nVersion=1.1\n")
        os.makedirs(os.path.join(tmp, "runtime"), mode=0o700)
        env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(tmp, "data"),
                   XDG_CACHE_HOME=os.path.join(tmp, "cache"), XDG_RUNTIME_DIR=os.path.join(tmp, "runtime"),
                   QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        proc = subprocess.Popen([exe, album], env=env, stdout=log, stderr=subprocess.STDOUT)

        def the_app():
            if proc.poll() is not None:
                log.seek(0)
                text = log.read()
                if "could not connect to display" in text:
                    raise NoDisplay()
                raise Failure(f"the program ended with {proc.returncode}:\n{text}")
            return next((a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == proc.pid), None)

        app = wait_for("the program on the accessibility bus", the_app)

        def find(name, *roles):
            return wait_for(f'"{name}"', lambda: pyatspi.findDescendant(
                app, lambda o: o is not None and (o.name or "").strip() == name and o.getRole() in roles))

        def showing(o):
            return o.getState().contains(pyatspi.STATE_SHOWING)

        cont = find("Fortfahren", pyatspi.ROLE_PUSH_BUTTON)
        find("Nach unten", pyatspi.ROLE_PUSH_BUTTON)
        album_list = find("Dateiliste", pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE)
        wait_for("the album from the argument in the list",
                 lambda: [album_list.getChildAtIndex(i).name for i in range(album_list.childCount)] == names)
        cont.queryAction().doAction(0)
        wait_for("the file-name page", lambda: showing(find("Dateien in der Liste umbennen", pyatspi.ROLE_CHECK_BOX)))
        cont.queryAction().doAction(0)
        # The tag page: the toggle action (not a click) must unlock the field.
        box = find("Artist/Interpreter:", pyatspi.ROLE_CHECK_BOX)
        field = find("Artist/Interpreter", pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)
        wait_for("the tag page", lambda: showing(field))
        if not field.getState().contains(pyatspi.STATE_READ_ONLY):
            raise Failure("the artist field is not read-only before its box is checked")
        actions = box.queryAction()
        verbs = [actions.getName(i).lower() for i in range(actions.nActions)]
        if "toggle" not in verbs:
            raise Failure(f"the check box offers no toggle action: {verbs}")
        actions.doAction(verbs.index("toggle"))
        wait_for("the artist field unlocked", lambda: not field.getState().contains(pyatspi.STATE_READ_ONLY), timeout=5)
        # The about box names the program's version; its button closes it.
        find("Info über Sortimentor", pyatspi.ROLE_PUSH_BUTTON).queryAction().doAction(0)
        find("Sortimentor 1.01 Build 700", pyatspi.ROLE_LABEL)
        find("Abbrechen", pyatspi.ROLE_PUSH_BUTTON).queryAction().doAction(0)
        wait_for("the about box closed", lambda: not pyatspi.findDescendant(
            app, lambda o: o is not None and o.getRole() == pyatspi.ROLE_DIALOG and showing(o)))
        # The session ends: the window closes as the user would close it and keeps the folder.
        proc.terminate()
        if proc.wait(timeout=10) != 0:
            raise Failure(f"the program ended with {proc.returncode} on SIGTERM")
        with open(os.path.join(config, "Varnolt", "Sortimentor.conf")) as f:
            if f"LastDir={album}/" not in f.read():
                raise Failure("the folder from the argument was not kept on SIGTERM")
        print("ok")
        return 0
    except NoDisplay:
        print("the program found no X display")
        return NO_DISPLAY
    except Failure as e:
        log.seek(0)
        print("FAIL:", e, log.read(), sep="\n")
        return 1
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
        log.close()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--inner":
        sys.exit(inner(sys.argv[2]))
    sys.exit(outer(sys.argv[1]) if len(sys.argv) == 2 else print("usage: atspi_window.py PROGRAM") or 2)
