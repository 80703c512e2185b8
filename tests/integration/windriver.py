"""Client of windriver.exe: starts Windows processes with exact command lines,
watches their windows and reads or writes the Wine registry."""
import subprocess
import warnings


def _hex(text):
    return text.encode("utf-8").hex() if text else "-"


class WinDriver:
    def __init__(self, command, env):
        # 64-bit Wine now and then ends a program before it does anything:
        # a driver that does not answer its first question is started again,
        # once, and shown in the summary.
        for attempt in range(2):
            self.proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env,
                                         text=True, encoding="utf-8")
            try:
                self.reg_key_exists("HKCU", "Software")
                return
            except (BrokenPipeError, RuntimeError):
                code = self.proc.wait(timeout=30)
                if attempt:
                    raise
                warnings.warn("windriver.exe ended (exit %d) before its first answer; started again" % code)

    def _ask(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        answer = self.proc.stdout.readline().strip()
        if not answer:
            raise RuntimeError("windriver ended while asked: " + line)
        return answer

    def start(self, exe, tail=None, cwd=None):
        """Starts exe (a Linux path, or a Windows path as text) with the command line
        "<file name> <tail>" (none when tail is None)."""
        from conftest import winpath
        line = "start %s %s" % (_hex(exe if isinstance(exe, str) else winpath(exe)), "-" if tail is None else tail.encode("utf-8").hex() or "-")
        if cwd:
            line += " " + _hex(winpath(cwd))
        answer = self._ask(line)
        if not answer.startswith("pid "):
            raise RuntimeError("cannot start %s: %s" % (exe, answer))
        return int(answer.split()[1])

    def wait(self, pid, ms):
        """Exit code, or None while the process still runs after ms."""
        answer = self._ask("wait %d %d" % (pid, ms))
        return int(answer.split()[1]) if answer.startswith("exit") else None

    def wait_window(self, pid, ms):
        """(hwnd, title) of the first visible top-level window of pid, or None."""
        answer = self._ask("waitwindow %d %d" % (pid, ms)).split()
        if answer[0] != "window":
            return None
        return answer[1], bytes.fromhex(answer[2]).decode("utf-8") if len(answer) > 2 else ""

    def find_window(self, title, ms):
        """hwnd of a visible top-level window of any process with exactly this title, or None."""
        answer = self._ask("findwindow %s %d" % (_hex(title), ms)).split()
        return answer[1] if answer[0] == "window" else None

    def exe_window(self, exe, ms):
        """(hwnd, title) of a visible window of any process running exe (its Windows path), or None."""
        answer = self._ask("exewindow %s %d" % (_hex(exe), ms)).split()
        if answer[0] != "window":
            return None
        return answer[1], bytes.fromhex(answer[2]).decode("utf-8") if len(answer) > 2 else ""

    def kill_window(self, hwnd):
        """Ends the process that owns the window."""
        self._ask("killwindow " + hwnd)

    def windows(self, pid):
        self.proc.stdin.write("windows %d\n" % pid)
        self.proc.stdin.flush()
        result = []
        while True:
            parts = self.proc.stdout.readline().split()
            if not parts or parts[0] == "end":
                return result
            title = bytes.fromhex(parts[3]).decode("utf-8") if len(parts) > 3 else ""
            result.append((parts[1], parts[2] == "1", title))

    def minimize(self, hwnd):
        self._ask("minimize " + hwnd)

    def close_window(self, hwnd):
        self._ask("close " + hwnd)

    def click(self, hwnd, control_id):
        self._ask("click %s %d" % (hwnd, control_id))

    def iconic(self, hwnd):
        return self._ask("iconic " + hwnd).split()[1] == "1"

    def text(self, hwnd, control_id=0):
        """The text of a control (0: the window itself), or None when there is no such control."""
        answer = self._ask("text %s %d" % (hwnd, control_id)).split()
        if answer[0] != "text":
            return None
        return "" if answer[1] == "-" else bytes.fromhex(answer[1]).decode("utf-8")

    def set_text(self, hwnd, control_id, text):
        self._ask("settext %s %d %s" % (hwnd, control_id, _hex(text)))

    def state(self, hwnd, control_id=0):
        """(enabled, visible, (left, top, right, bottom)) of a control."""
        answer = self._ask("state %s %d" % (hwnd, control_id)).split()
        return answer[1] == "1", answer[2] == "1", tuple(int(v) for v in answer[3:7])

    def items(self, hwnd, control_id):
        """(selected index, [item texts]) of a combo box."""
        answer = self._ask("items %s %d" % (hwnd, control_id)).split()
        texts = ["" if t == "-" else bytes.fromhex(t).decode("utf-8") for t in answer[2:]]
        return int(answer[1]), texts

    def press(self, hwnd, control_id):
        """Clicks a button or check box as the mouse would (its state changes, then its command)."""
        self._ask("press %s %d" % (hwnd, control_id))

    def send(self, hwnd, control_id, message, wparam=0, lparam=0):
        """SendMessage to a control with numeric arguments; its result."""
        return int(self._ask("send %s %d %d %d %d" % (hwnd, control_id, message, wparam, lparam)).split()[1])

    def kill(self, pid):
        self._ask("kill %d" % pid)

    def reg_set(self, root, key, name, value, reg_type=None):
        """A text value (REG_SZ with terminator), or raw bytes with a type number."""
        if reg_type is None:
            data = _hex(value) if value else "-"
            line = "regset %s %s %s %s" % (root, _hex(key), _hex(name), data)
        else:
            line = "regset %s %s %s %s %d" % (root, _hex(key), _hex(name), value.hex() or "-", reg_type)
        assert self._ask(line) == "ok"

    def reg_get(self, root, key, name):
        """(type, raw bytes) or None when missing."""
        answer = self._ask("regget %s %s %s" % (root, _hex(key), _hex(name))).split()
        if answer[0] != "value":
            return None
        return int(answer[1]), b"" if answer[2] == "-" else bytes.fromhex(answer[2])

    def reg_text(self, root, key, name):
        value = self.reg_get(root, key, name)
        if value is None:
            return None
        return value[1].decode("utf-16-le").rstrip("\0")

    def reg_key_exists(self, root, key):
        return self._ask("regkey %s %s" % (root, _hex(key))) == "exists 1"

    def reg_delete(self, root, key):
        self._ask("regdel %s %s" % (root, _hex(key)))

    def close(self):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=10)
        except Exception:
            self.proc.kill()
