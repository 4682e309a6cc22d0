"""What a screen reader finds of a program's windows: the accessibility tree
of every application whose process runs the given executable, as JSON lines
(one per object: process arguments, role, name, states, the names of the
objects that label it, its actions). With --do ROLE NAME ACTION, that
action of the first such object is done first.

    accessibility_tree.py EXE [--do ROLE NAME ACTION]"""
import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def argv_of(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0")[:-1]]
    except OSError:
        return []


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def describe(node, argv):
    states = node.get_state_set()
    labelled_by = []
    for relation in node.get_relation_set() or []:
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            labelled_by += [relation.get_target(i).get_name() for i in range(relation.get_n_targets())]
    action = node.get_action_iface()
    actions = [action.get_action_name(i) for i in range(action.get_n_actions())] if action else []
    return {"argv": argv, "role": node.get_role_name(), "name": node.get_name(),
            "showing": states.contains(Atspi.StateType.SHOWING),
            "focusable": states.contains(Atspi.StateType.FOCUSABLE),
            "labelled_by": labelled_by, "actions": actions}


def main():
    exe = sys.argv[1]
    todo = sys.argv[3:6] if len(sys.argv) >= 6 and sys.argv[2] == "--do" else None
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        argv = argv_of(app.get_process_id())
        if not argv or argv[0] != exe:
            continue
        for node in walk(app):
            d = describe(node, argv)
            if todo and d["role"] == todo[0] and d["name"] == todo[1] and d["showing"]:
                action = node.get_action_iface()
                names = [action.get_action_name(k) for k in range(action.get_n_actions())] if action else []
                d["done"] = todo[2] in names and action.do_action(names.index(todo[2]))
                todo = None
            print(json.dumps(d, ensure_ascii=False), flush=True)


main()
