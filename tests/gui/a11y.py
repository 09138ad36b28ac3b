"""Reads the real program's windows on an accessibility bus, as a screen
reader does, and checks what it would say: roles, names, values, label
relations, the first focus, the default button, a message box's text said
once, the events the area list sends as it moves, and the window:activate
and focus events that make a screen reader speak a window as it opens and
the window the focus goes back to when it closes.

Run inside dbus-run-session under Xvfb (a11y.sh):
  a11y.py game EXE DATA OUT       the main window and the sound reader's boxes
  a11y.py announce EXE DATA OUT   the bus answers during a stage announcement
  a11y.py sendnet EXE OUT         the registration dialog
  a11y.py credentials EXE OUT     the credentials dialog, asked by a 401 over
                                  the driver's main window, and Escape
  a11y.py unsent EXE DATA OUT     the question about a record kept unsent
"""
import hashlib
import http.server
import os
import shutil
import subprocess
import sys
import threading
import time

import pyatspi
from gi.repository import GLib

failures = []
events = []


def check(ok, what):
    print(("ok:   " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def pump(seconds):
    """Runs the bus's events for a while."""
    ctx = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while ctx.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(find, what, timeout=15):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        pump(0.1)
        try:
            found = find()
        except Exception:  # objects come and go while a window opens
            found = None
        if found:
            return found
    print("FAIL: timed out waiting for " + what)
    sys.exit(1)


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", name], check=True)
        pump(0.4)


def walk(acc):
    yield acc
    for child in acc:
        if child is not None and child.getRole() != pyatspi.ROLE_MENU:
            yield from walk(child)


def find(root, role, name=None):
    for acc in walk(root):
        if acc.getRole() == role and (name is None or acc.name == name):
            return acc
    return None


def window(app_name, role, name=None):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == app_name:
            for top in app:
                if top is not None and top.getRole() == role and (name is None or top.name == name):
                    if top.getState().contains(pyatspi.STATE_SHOWING):
                        return top
    return None


def has(acc, state):
    return acc.getState().contains(state)


def targets(acc, relation):
    return [r.getTarget(i) for r in acc.getRelationSet() if r.getRelationType() == relation
            for i in range(r.getNTargets())]


def text_of(acc):
    return acc.queryText().getText(0, -1)


def dump(root, out, title):
    """Writes the tree a screen reader walks, for people to read."""
    with open(out, "a", encoding="utf-8") as f:
        f.write("== %s\n" % title)
        for acc in walk(root):
            depth, up = 0, acc
            while up is not None and up != root:
                depth, up = depth + 1, up.parent
            states = [s.value_nick for s in acc.getState().getStates()
                      if s in (pyatspi.STATE_FOCUSED, pyatspi.STATE_ACTIVE, pyatspi.STATE_IS_DEFAULT,
                               pyatspi.STATE_MODAL)]
            rels = ["%s %r" % (r.getRelationType().value_nick, r.getTarget(0).name)
                    for r in acc.getRelationSet() if r.getNTargets()]
            f.write("%s%s %r%s%s%s\n" % ("  " * depth, acc.getRoleName(), acc.name,
                                        " desc=%r" % acc.description if acc.description else "",
                                        " [%s]" % ",".join(states) if states else "",
                                        " " + "; ".join(rels) if rels else ""))


def check_field(field, role, name, label, value, focused):
    check(field is not None and field.getRole() == role, "%s has its role" % name)
    if field is None:
        return
    check(field.name == name, "%s is named %r (got %r)" % (name, name, field.name))
    labels = targets(field, pyatspi.RELATION_LABELLED_BY)
    check([l.name for l in labels] == [label], "%s is labelled by %r" % (name, label))
    check(all(field in targets(l, pyatspi.RELATION_LABEL_FOR) for l in labels),
          "the label %r says it labels %s" % (label, name))
    if value is not None:
        check(text_of(field) == value, "%s holds %r" % (name, value))
    check(has(field, pyatspi.STATE_FOCUSED) == focused,
          "%s %s the first focus" % (name, "has" if focused else "has not"))


def check_buttons(dialog, default, other):
    ok = find(dialog, pyatspi.ROLE_PUSH_BUTTON, default)
    no = find(dialog, pyatspi.ROLE_PUSH_BUTTON, other)
    check(ok is not None and has(ok, pyatspi.STATE_IS_DEFAULT), "%r is the default button" % default)
    check(no is not None and not has(no, pyatspi.STATE_IS_DEFAULT), "%r is not the default" % other)


WINDOW_ROLES = (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT)
FOCUSED = "object:state-changed:focused"


def on_event(event):
    """Keeps (type, role, name, any_data, detail1, ancestors' roles, window)."""
    try:
        ancestors, up, top = [], event.source.parent, None
        if event.source.getRole() in WINDOW_ROLES:
            top = (event.source.getRole(), event.source.name)
        while up is not None and len(ancestors) < 12:
            role = up.getRole()
            ancestors.append(role)
            if top is None and role in WINDOW_ROLES:
                top = (role, up.name)
            up = up.parent
        events.append((event.type, event.source.getRole(), event.source.name, str(event.any_data),
                       event.detail1, ancestors, top))
    except Exception:
        pass


def listen(*kinds):
    for kind in kinds:
        pyatspi.Registry.registerEventListener(on_event, kind)


def check_announced(since, role, name, focus_role, focus_name, what):
    """What a screen reader speaks as a window comes up: the window:activate
    event of the window (its title), then the focus event of the control that
    has the focus inside it. since: the index in events to look from."""
    seen = events[since:]
    active = [i for i, e in enumerate(seen)
              if e[0] == "window:activate" and e[1] == role and e[2] == name]
    focus = [i for i, e in enumerate(seen)
             if e[0] == FOCUSED and e[4] == 1 and e[1] == focus_role and e[2] == focus_name
             and e[6] == (role, name)]
    check(bool(active), "%s: window:activate names %r" % (what, name))
    check(bool(focus), "%s: the focus event names %r inside it" % (what, focus_name))
    if active and focus:
        check(focus[-1] > active[0], "%s: the focus is announced after the window" % what)
    strays = [e for e in seen if e[0] == FOCUSED and e[4] == 1 and e[6] != (role, name)
              and (not focus or seen.index(e) > focus[-1])]
    check(not strays, "%s: no focus event elsewhere after it: %r" % (what, strays[:3]))


def run(argv, out, name):
    return subprocess.Popen(argv, stdout=open(os.path.join(out, name + ".txt"), "w"),
                            stderr=open(os.path.join(out, name + ".err"), "w"))


# ---- the main window and the sound reader's message boxes ----

def x_window(name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def x_windows_of(pid):
    """The mapped top-level X windows of a process (GTK names its pid on
    each): the children of the root window, as a window manager sees them."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                          text=True).stdout
    tops = [line.split()[0] for line in tree.splitlines() if line.strip().startswith("0x")]
    found = []
    for xid in tops:
        props = subprocess.run(["xprop", "-id", xid, "_NET_WM_PID"], capture_output=True,
                               text=True).stdout
        info = subprocess.run(["xwininfo", "-id", xid], capture_output=True, text=True).stdout
        if props.strip().endswith("= %d" % pid) and "IsViewable" in info:
            found.append(str(int(xid, 16)))
    return found


def check_transient(pid, main_xid, what):
    """The window over the main one says it belongs to it (WM_TRANSIENT_FOR),
    so that a window manager keeps it above and gives the focus back. Found
    by its process, not its caption: some boxes have none."""
    others = [x for x in x_windows_of(pid) if int(x) != int(main_xid)]
    check(len(others) == 1, "%s: one X window besides the main one (%r)" % (what, others))
    if len(others) != 1:
        return
    prop = subprocess.run(["xprop", "-id", others[0], "WM_TRANSIENT_FOR"], capture_output=True,
                          text=True).stdout.strip()
    check(prop.endswith(hex(int(main_xid))), "%s belongs to the main window (%s)" % (what, prop))


def check_focus_back(since, area, what):
    """After a box or dialog closes, the main window is active again and the
    game field has the focus, and the screen reader is told so."""
    check(has(area, pyatspi.STATE_FOCUSED), "%s: the game field has the focus again" % what)
    seen = events[since:]
    check(any(e[0] == "window:activate" and e[1] == pyatspi.ROLE_FRAME and e[2] == "DoruzorO"
              for e in seen), "%s: window:activate names the main window again" % what)
    check(any(e[0] == FOCUSED and e[4] == 1 and e[1] == pyatspi.ROLE_DRAWING_AREA for e in seen),
          "%s: a focus event names the game field again" % what)


def check_box(app, main_xid, caption, text, tree, since):
    box = wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT), "the box %r" % text)
    pump(0.5)
    check_announced(since, pyatspi.ROLE_ALERT, caption, pyatspi.ROLE_PUSH_BUTTON, "OK",
                    "the box %r" % caption)
    dump(box, tree, "box %r" % caption)
    check(box.name == caption, "the box is named by its caption %r (got %r)" % (caption, box.name))
    check(box.description == "", "the box has no description besides its text")
    carriers = [a for a in walk(box) if text in a.name or text in a.description]
    check(len(carriers) == 1 and carriers[0].getRole() == pyatspi.ROLE_LABEL,
          "the text %r is said once, by one label (%d carry it)" % (text, len(carriers)))
    check(has(box, pyatspi.STATE_ACTIVE) and has(box, pyatspi.STATE_MODAL), "the box is active and modal")
    ok = find(box, pyatspi.ROLE_PUSH_BUTTON, "OK")
    check(ok is not None and has(ok, pyatspi.STATE_FOCUSED) and has(ok, pyatspi.STATE_IS_DEFAULT),
          "OK has the focus and is the default")
    check_transient(app.pid, main_xid, "the box %r" % caption)
    closing = len(events)
    key("Return")
    wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT) is None, "the box to close")
    pump(0.5)
    return closing


def case_game(exe, data, out):
    # A symbolic copy of the data with two voices that are no sound files.
    copy = os.path.join(out, "data")
    shutil.rmtree(copy, ignore_errors=True)
    subprocess.run(["cp", "-rs", os.path.abspath(data), copy], check=True)
    menu = os.path.join(copy, "sound", "menu")
    for name, content in (("game.kwv", b"ID3 no wave at all"),
                          ("NetRecord.kwv", b"RIFF\x0c\x00\x00\x00WAVELIST\x00\x00\x00\x00")):
        os.remove(os.path.join(menu, name))
        with open(os.path.join(menu, name), "wb") as f:
            f.write(content)
    tree = os.path.join(out, "tree.txt")
    listen("window:activate", FOCUSED)
    app = subprocess.Popen([exe], cwd=copy, stderr=open(os.path.join(out, "game.err"), "w"))
    try:
        frame = wait_for(lambda: window("doruzoro", pyatspi.ROLE_FRAME, "DoruzorO"), "the frame")
        main_xid = wait_for(lambda: x_window("^DoruzorO$"), "the X window")
        subprocess.run(["xdotool", "windowfocus", "--sync", main_xid])
        pump(1.5)
        dump(frame, tree, "main window")
        area = find(frame, pyatspi.ROLE_DRAWING_AREA)
        check(area is not None and area.name == "DoruzorO", "the game field is named \"DoruzorO\"")
        check(area is not None and area.description == "Game field. Everything on it is also heard.",
              "the game field is described")
        check(area is not None and has(area, pyatspi.STATE_FOCUSED), "the game field has the focus")

        check_announced(0, pyatspi.ROLE_FRAME, "DoruzorO", pyatspi.ROLE_DRAWING_AREA, "DoruzorO",
                        "the main window")
        since = len(events)
        key("Down")  # the "Game" voice
        closing = check_box(app, main_xid, " lol ", "これはWAVファイルではありません", tree, since)
        check_focus_back(closing, area, "after the box")
        since = len(events)
        key("Down")  # the "NetRecord" voice: a box with an empty caption
        closing = check_box(app, main_xid, "", "fmt チャンクが見つかりません", tree, since)
        check_focus_back(closing, area, "after the second box")
    finally:
        app.terminate()
        app.wait(10)


# ---- a stage announcement ----

def yellow_in(xid, out, name, top):
    """Yellow pixels of the menu entry drawn at top (the highlighted one)."""
    shot = os.path.join(out, name + ".png")
    subprocess.run(["import", "-window", xid, shot], check=True)
    count = subprocess.run(["convert", shot, "-crop", "400x60+0+%d" % top, "+repage", "-fill",
                            "black", "+opaque", "rgb(255,255,0)", "-fill", "white", "-opaque",
                            "rgb(255,255,0)", "-format", "%[fx:mean*w*h]", "info:"],
                           capture_output=True, text=True, check=True).stdout
    return float(count)


def case_announce(exe, data, out):
    """The game's announcements pause it for seconds between voice clips; the
    program must answer the bus all the while, and keys pressed meanwhile act
    after the announcement, in order."""
    app = subprocess.Popen([exe], cwd=data, stderr=open(os.path.join(out, "game.err"), "w"))
    try:
        frame = wait_for(lambda: window("doruzoro", pyatspi.ROLE_FRAME, "DoruzorO"), "the frame")
        xid = wait_for(lambda: x_window("^DoruzorO$"), "the X window")
        subprocess.run(["xdotool", "windowfocus", "--sync", xid])
        pump(1.5)
        area = find(frame, pyatspi.ROLE_DRAWING_AREA)
        key("Down")  # on "Game"
        check(yellow_in(xid, out, "menu", 90) > 100, "the menu stands on \"Game\"")
        subprocess.run(["xdotool", "key", "space"], check=True)
        start = time.monotonic()
        # At the next tick the game opens and announces stage 1: 4 s of pauses.
        slowest, asked, escaped = 0.0, 0, False
        while time.monotonic() - start < 3.4:
            before = time.monotonic()
            area.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)  # a call the program answers
            frame.getState()
            slowest = max(slowest, time.monotonic() - before)
            asked += 1
            if not escaped and time.monotonic() - start > 1.2:
                subprocess.run(["xdotool", "key", "Escape"], check=True)
                escaped = True
            pump(0.05)
        check(asked > 20 and slowest < 0.5,
              "the program answers the bus during the announcement (%d calls, slowest %.2f s)"
              % (asked, slowest))
        # Escape waits for the announcement: the game has not left yet, and the
        # window still shows what it showed before (no paint during it).
        check(app.poll() is None, "the program runs")
        check(yellow_in(xid, out, "during", 90) > 100, "nothing is painted during the announcement")
        pump(max(0.0, start + 6.0 - time.monotonic()))
        # Then Escape acts: back to the menu, which opens on "Tutorial" (and is
        # drawn at its first key; in the game Up would change nothing).
        key("Up")
        check(yellow_in(xid, out, "after", 10) > 100 and yellow_in(xid, out, "after", 90) < 10,
              "Escape pressed during the announcement took the game back to the menu after it")
    finally:
        app.terminate()
        app.wait(10)


# ---- the registration dialog ----



def case_sendnet(exe, out):
    listen("object:property-change:accessible-name", "object:selection-changed", FOCUSED,
           "window:activate")
    app = run([exe, "--over-window", "Kuro", "Japan"], out, "sendnet")
    try:
        sendnet_dialog(app, out)
    finally:
        app.terminate()
        app.wait(10)


def sendnet_dialog(app, out):
    frame = wait_for(lambda: window("sendnet_driver", pyatspi.ROLE_FRAME, "DoruzorO"),
                     "the main window")
    main_xid = wait_for(lambda: x_window("^DoruzorO$"), "the X window")
    title = "Do you register a record with a net?"
    dialog = wait_for(lambda: window("sendnet_driver", pyatspi.ROLE_DIALOG, title), "the dialog")
    pump(1)
    check_announced(0, pyatspi.ROLE_DIALOG, title, pyatspi.ROLE_TEXT, "Your Name",
                    "the registration dialog")
    check_transient(app.pid, main_xid, "the registration dialog")
    dump(dialog, os.path.join(out, "tree.txt"), "registration dialog")
    check(has(dialog, pyatspi.STATE_ACTIVE) and has(dialog, pyatspi.STATE_MODAL),
          "the dialog is active and modal")
    check_field(find(dialog, pyatspi.ROLE_TEXT), pyatspi.ROLE_TEXT, "Your Name", "Your Name", "Kuro",
                True)
    combo = find(dialog, pyatspi.ROLE_COMBO_BOX)
    check_field(combo, pyatspi.ROLE_COMBO_BOX, "Japan", "Aria", None, False)
    check_buttons(dialog, "Send", "Close")

    del events[:]
    key("Tab")
    in_list = [e for e in events if e[0] == "object:state-changed:focused" and e[4] == 1
               and pyatspi.ROLE_COMBO_BOX in [e[1]] + e[5]]
    check(bool(in_list), "Tab moves the focus to the area list")
    key("Down", "Down")
    names = [e[3] for e in events
             if e[0] == "object:property-change:accessible-name" and e[1] == pyatspi.ROLE_COMBO_BOX]
    check(names == ["Jordan", "Kazakhstan"],
          "moving through the list announces each area: %r" % names)
    check(any(e[0] == "object:selection-changed" and e[1] == pyatspi.ROLE_COMBO_BOX for e in events),
          "the list reports its selection changes")
    check(combo.name == "Kazakhstan", "the list's name follows its value")
    # Typing letters jumps to the area they begin, and each jump is said.
    del events[:]
    key("j", "a", "p")
    pump(1.2)  # a new prefix after a second
    key("n", "n")
    names = [e[3] for e in events
             if e[0] == "object:property-change:accessible-name" and e[1] == pyatspi.ROLE_COMBO_BOX]
    check(names == ["Jamaica", "Japan", "Namibia", "Nauru"],
          "typed letters choose the area they begin, and it is announced: %r" % names)
    check(combo.name == "Nauru", "the list's name follows the typed choice")
    closing = len(events)
    key("Escape")
    wait_for(lambda: window("sendnet_driver", pyatspi.ROLE_DIALOG, title) is None,
             "the dialog to close")
    pump(1)
    check_focus_back(closing, find(frame, pyatspi.ROLE_DRAWING_AREA), "after the dialog")
    printed = wait_for(lambda: open(os.path.join(out, "sendnet.txt")).read(), "the result")
    check(printed.strip() == "2|Kuro|Japan", "Escape cancels the dialog")


# ---- the credentials dialog ----

class Ask(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(401)
        self.send_header("WWW-Authenticate", 'Basic realm="ranking"')
        self.send_header("Content-Length", "3")
        self.end_headers()
        self.wfile.write(b"no\n")

    def log_message(self, *args):
        pass


def case_credentials(exe, out):
    listen("window:activate", FOCUSED)
    server = http.server.HTTPServer(("127.0.0.1", 0), Ask)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    app = run([exe, "--over-window", "http://127.0.0.1:%d/" % server.server_port], out,
              "credentials")
    try:
        frame = wait_for(lambda: window("credentials_driver", pyatspi.ROLE_FRAME, "DoruzorO"),
                         "the main window")
        main_xid = wait_for(lambda: x_window("^DoruzorO$"), "the X window")
        area = find(frame, pyatspi.ROLE_DRAWING_AREA)
        dialog = wait_for(lambda: window("credentials_driver", pyatspi.ROLE_DIALOG), "the dialog")
        pump(1)
        dump(dialog, os.path.join(out, "tree.txt"), "credentials dialog")
        prompt = "127.0.0.1 - ranking"
        check(dialog.name == "127.0.0.1", "the dialog is named by its title")
        check(dialog.description == prompt, "the dialog is described by its prompt")
        check([t.name for t in targets(dialog, pyatspi.RELATION_DESCRIBED_BY)] == [prompt],
              "the dialog is described by the prompt's label")
        check(has(dialog, pyatspi.STATE_ACTIVE), "the dialog is active")
        check_announced(0, pyatspi.ROLE_DIALOG, "127.0.0.1", pyatspi.ROLE_TEXT, "User name",
                        "the credentials dialog")
        check_transient(app.pid, main_xid, "the credentials dialog")
        check_field(find(dialog, pyatspi.ROLE_TEXT), pyatspi.ROLE_TEXT, "User name", "User name",
                    "", True)
        check_field(find(dialog, pyatspi.ROLE_PASSWORD_TEXT), pyatspi.ROLE_PASSWORD_TEXT,
                    "Password", "Password", None, False)
        check_buttons(dialog, "OK", "Cancel")

        # Escape: the dialog goes and is not asked again, the focus is back
        # on the game field, and the 401 page is what the program read.
        closing = len(events)
        key("Escape")
        wait_for(lambda: window("credentials_driver", pyatspi.ROLE_DIALOG) is None,
                 "the dialog to close")
        pump(1)
        check(window("credentials_driver", pyatspi.ROLE_DIALOG) is None,
              "Escape closes the dialog and it is not asked again")
        check(has(frame, pyatspi.STATE_SHOWING), "the main window stays")
        check(area is not None, "the main window has its game field")
        if area is not None:
            check_focus_back(closing, area, "after Escape")
        printed = wait_for(lambda: open(os.path.join(out, "credentials.txt")).read(),
                           "the program's result")
        check(printed.strip() == "0|no", "the 401 page stands (got %r)" % printed.strip())
        check(app.poll() is None, "the program goes on")
    finally:
        app.terminate()
        app.wait(10)
        server.shutdown()


# ---- the question about a record the ranking could not check ----

def keep_unsent(folder):
    """A record kept as the game keeps it, with a replay beside it."""
    os.makedirs(folder, exist_ok=True)
    stem = os.path.join(folder, "2026-12-08_07-43-13_game_1650")
    replay = b"DZREPLAY\x01 a replay the ranking could not check"
    with open(stem + ".dzr", "wb") as f:
        f.write(replay)
    with open(stem + ".rec", "w") as f:
        f.write("DoruzorO unsent record 1\naria=Japan\nname=Ear\nlevel=1\nscore=1650\n"
                "replay=%s\nwhen=1796715793\n" % hashlib.sha256(replay).hexdigest())
    return stem


def question(out, tree, title):
    box = wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT), "the question")
    pump(0.5)
    dump(box, tree, title)
    return box


def case_unsent(exe, data, out):
    folder = os.path.join(os.environ["XDG_DATA_HOME"], "koruhaus", "doruzoro", "unsent")
    stem = keep_unsent(folder)
    tree = os.path.join(out, "tree.txt")
    text = "A score is not verified yet"
    # Asked at the start; Escape is "Later": nothing sent, the record kept.
    app = subprocess.Popen([exe], cwd=data, stderr=open(os.path.join(out, "game.err"), "w"))
    try:
        box = question(out, tree, "the question at the start")
        check(box.name == "DoruzorO", "the question is named by its caption (got %r)" % box.name)
        carriers = [a for a in walk(box) if text in a.name or text in a.description]
        check(len(carriers) == 1 and carriers[0].getRole() == pyatspi.ROLE_LABEL,
              "the question is said once, by one label (%d carry it)" % len(carriers))
        check(len(carriers) == 1 and "Score 1650 by Ear" in carriers[0].name,
              "it names the score and the player")
        check(has(box, pyatspi.STATE_MODAL), "the question is modal")
        names = [b.name for b in walk(box) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON]
        check(names == ["Send now", "Later", "Forget them"],
              "its answers are Send now, Later, Forget them (got %r)" % names)
        check_buttons(box, "Later", "Send now")
        later = find(box, pyatspi.ROLE_PUSH_BUTTON, "Later")
        check(later is not None and has(later, pyatspi.STATE_FOCUSED), "Later has the focus")
        key("Escape")
        wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT) is None, "the question to close")
        check(os.path.exists(stem + ".rec") and os.path.exists(stem + ".dzr"),
              "Later keeps the record and its replay")
    finally:
        app.terminate()
        app.wait(10)
    # The next start asks again; its mnemonic forgets the record.
    app = subprocess.Popen([exe], cwd=data, stderr=open(os.path.join(out, "game2.err"), "w"))
    try:
        question(out, tree, "the question at the next start")
        key("alt+f")
        wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT) is None, "the question to close")
        check(not os.path.exists(stem + ".rec") and not os.path.exists(stem + ".dzr"),
              "Forget them removes the record and its replay")
    finally:
        app.terminate()
        app.wait(10)


def main():
    case, args = sys.argv[1], sys.argv[2:]
    out = args[-1]
    os.makedirs(out, exist_ok=True)
    open(os.path.join(out, "tree.txt"), "w").close()
    {"game": case_game, "announce": case_announce, "sendnet": case_sendnet,
     "credentials": case_credentials, "unsent": case_unsent}[case](*args)
    if failures:
        print("%d failed" % len(failures))
        sys.exit(1)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
