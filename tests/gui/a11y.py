"""Reads the real program's windows on an accessibility bus, as a screen
reader does, and checks what it would say: roles, names, values, label
relations, the first focus, the default button, a message box's text said
once, and the events the area list sends as it moves.

Run inside dbus-run-session under Xvfb (a11y.sh):
  a11y.py game EXE DATA OUT       the main window and the sound reader's boxes
  a11y.py sendnet EXE OUT         the registration dialog
  a11y.py credentials EXE OUT     the credentials dialog, asked by a 401
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


def run(argv, out, name):
    return subprocess.Popen(argv, stdout=open(os.path.join(out, name + ".txt"), "w"),
                            stderr=open(os.path.join(out, name + ".err"), "w"))


# ---- the main window and the sound reader's message boxes ----

def x_window(name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def check_box(main_xid, caption, text, tree):
    box = wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT), "the box %r" % text)
    pump(0.5)
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
    box_xid = x_window("^%s$" % caption) if caption.strip() else None
    if box_xid:
        prop = subprocess.run(["xprop", "-id", box_xid, "WM_TRANSIENT_FOR"], capture_output=True,
                              text=True).stdout
        check(prop.strip().endswith(hex(int(main_xid))), "the box belongs to the game window")
    key("Return")
    wait_for(lambda: window("doruzoro", pyatspi.ROLE_ALERT) is None, "the box to close")


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

        key("Down")  # the "Game" voice
        check_box(main_xid, " lol ", "これはWAVファイルではありません", tree)
        pump(0.5)
        check(has(area, pyatspi.STATE_FOCUSED), "the game field has the focus again after the box")
        key("Down")  # the "NetRecord" voice: a box with an empty caption
        check_box(main_xid, "", "fmt チャンクが見つかりません", tree)
    finally:
        app.terminate()
        app.wait(10)


# ---- the registration dialog ----

def on_event(event):
    try:
        ancestors, up = [], event.source.parent
        while up is not None and len(ancestors) < 5:
            ancestors.append(up.getRole())
            up = up.parent
        events.append((event.type, event.source.getRole(), event.source.name, str(event.any_data),
                       event.detail1, ancestors))
    except Exception:
        pass


def case_sendnet(exe, out):
    for kind in ("object:property-change:accessible-name", "object:selection-changed",
                 "object:state-changed:focused"):
        pyatspi.Registry.registerEventListener(on_event, kind)
    app = run([exe, "Kuro", "Japan"], out, "sendnet")
    title = "Do you register a record with a net?"
    dialog = wait_for(lambda: window("sendnet_driver", pyatspi.ROLE_DIALOG, title), "the dialog")
    pump(1)
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
    key("Escape")
    app.wait(10)
    with open(os.path.join(out, "sendnet.txt")) as f:
        check(f.read().strip() == "2|Kuro|Japan", "Escape cancels the dialog")


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
    server = http.server.HTTPServer(("127.0.0.1", 0), Ask)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    app = run([exe, "http://127.0.0.1:%d/" % server.server_port], out, "credentials")
    dialog = wait_for(lambda: window("credentials_driver", pyatspi.ROLE_DIALOG), "the dialog")
    pump(1)
    dump(dialog, os.path.join(out, "tree.txt"), "credentials dialog")
    prompt = "127.0.0.1 - ranking"
    check(dialog.name == "127.0.0.1", "the dialog is named by its title")
    check(dialog.description == prompt, "the dialog is described by its prompt")
    check([t.name for t in targets(dialog, pyatspi.RELATION_DESCRIBED_BY)] == [prompt],
          "the dialog is described by the prompt's label")
    check(has(dialog, pyatspi.STATE_ACTIVE), "the dialog is active")
    check_field(find(dialog, pyatspi.ROLE_TEXT), pyatspi.ROLE_TEXT, "User name", "User name", "", True)
    check_field(find(dialog, pyatspi.ROLE_PASSWORD_TEXT), pyatspi.ROLE_PASSWORD_TEXT, "Password",
                "Password", None, False)
    check_buttons(dialog, "OK", "Cancel")
    key("Escape")
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
    {"game": case_game, "sendnet": case_sendnet, "credentials": case_credentials,
     "unsent": case_unsent}[case](*args)
    if failures:
        print("%d failed" % len(failures))
        sys.exit(1)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
