#!/usr/bin/env python3
"""Serial ports for Windows programs under wine, backed by Linux pseudo-terminals.

A Windows program cannot open a Linux pseudo-terminal, but wine opens COMn through the link
$WINEPREFIX/dosdevices/comN, and that link may lead to a pseudo-terminal's slave. This bridge
holds the master sides on the Linux side and takes requests from the Windows side through a
control folder that both sides see (the Windows side through drive Z:).

    serial-bridge.py CONTROL_DIR DOSDEVICES_DIR

A request is a file "cmd-<client>-<n>" (written under another name and renamed into place):
its first line holds the words of the request, the rest is the data of a "write". The bridge
answers with a file "ack-<client>-<n>": "ok [words...]" or "error <errno>", and removes the
request. Requests:

    open raw|cooked        a new pair; answers "ok <id> <slave path>"
    write <id>             writes the data to the master of pair <id>
    settings <id>          the slave's line settings: "ok <baud> <stop bits>
                           <flow control 0|1> <canonical 0|1>" (a pseudo-terminal keeps
                           eight data bits and no parity whatever a port asks for)
    close <id>             closes pair <id>: a port open on its slave sees a hang-up
    link <name> <target>   points dosdevices/<name> (lower case) at <target>
    unlink <name>          removes dosdevices/<name> (also when it is not there)

Whatever the slave side sends back (echo) is read and dropped, so no master ever fills up.

Each slave is made the controlling terminal of a small child of the bridge (a session of its
own). Otherwise wineserver, a session leader without a terminal that opens devices itself,
would take the first slave it opens as its controlling terminal, get SIGHUP at every hang-up
and dump its object list to the output each time.
The bridge ends when the file "stop" appears in the control folder, on SIGTERM, or when its
parent ends; it closes every pair and removes the links it made.
"""
import errno
import fcntl
import os
import re
import select
import signal
import sys
import termios
import time
import tty

REQUEST = re.compile(r"^cmd-[A-Za-z0-9]+-[0-9]+$")
PORT_NAME = re.compile(r"^[A-Za-z][A-Za-z0-9]*$")  # a device name, never a path
WRITE_TIMEOUT = 5.0  # seconds a write may wait for room before it fails with ETIMEDOUT
SPEEDS = {getattr(termios, n): int(n[1:]) for n in dir(termios) if re.match(r"^B[0-9]+$", n)}


class Bridge:
    def __init__(self, control, dosdevices):
        self.control = control
        self.dosdevices = dosdevices
        self.pairs = {}  # id -> (master, slave)
        self.links = set()
        self.next_id = 1

    def drain(self, timeout):
        masters = [m for m, _ in self.pairs.values()]
        if not masters:
            select.select([], [], [], timeout)
            return
        readable, _, _ = select.select(masters, [], [], timeout)
        for master in readable:
            try:
                os.read(master, 4096)
            except OSError:
                pass

    def open_pair(self, mode):
        master, slave = os.openpty()
        if mode == "raw":
            tty.setraw(slave)
        os.set_blocking(master, False)
        self.hold_as_terminal(slave)
        pair = self.next_id
        self.next_id += 1
        self.pairs[pair] = (master, slave)
        return "ok %d %s" % (pair, os.ttyname(slave))

    @staticmethod
    def hold_as_terminal(slave):
        """A child keeps `slave` as its controlling terminal until the hang-up ends it."""
        ready_r, ready_w = os.pipe()
        if os.fork() != 0:
            os.close(ready_w)
            os.read(ready_r, 1)  # the slave is taken before anyone else may open it
            os.close(ready_r)
            return
        try:
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
            os.write(ready_w, b"x")
            os.closerange(3, 1 << 16)
            signal.signal(signal.SIGHUP, signal.SIG_DFL)
            signal.signal(signal.SIGTERM, signal.SIG_DFL)
            while True:
                signal.pause()
        finally:
            os._exit(0)

    def write(self, pair, data):
        master, _ = self.pairs[pair]
        deadline = time.monotonic() + WRITE_TIMEOUT
        while data:
            try:
                data = data[os.write(master, data):]
            except BlockingIOError:
                if time.monotonic() > deadline:
                    return "error %d" % errno.ETIMEDOUT
                self.drain(0.002)
        return "ok"

    def settings(self, pair):
        iflag, _, cflag, lflag, ispeed, _, _ = termios.tcgetattr(self.pairs[pair][1])
        flow = bool(cflag & termios.CRTSCTS or iflag & (termios.IXON | termios.IXOFF))
        return "ok %d %d %d %d" % (SPEEDS.get(ispeed, 0), 2 if cflag & termios.CSTOPB else 1,
                                   flow, bool(lflag & termios.ICANON))

    def close_pair(self, pair):
        master, slave = self.pairs.pop(pair)
        os.close(master)
        os.close(slave)
        return "ok"

    def link(self, name, target):
        path = os.path.join(self.dosdevices, name.lower())
        temp = path + ".bridge-tmp"
        if os.path.lexists(temp):
            os.unlink(temp)
        os.symlink(target, temp)
        os.replace(temp, path)
        self.links.add(path)
        return "ok"

    def unlink(self, name):
        path = os.path.join(self.dosdevices, name.lower())
        if os.path.lexists(path):
            os.unlink(path)
        self.links.discard(path)
        return "ok"

    def serve(self, words, data):
        try:
            if words[0] == "open" and len(words) == 2 and words[1] in ("raw", "cooked"):
                return self.open_pair(words[1])
            if words[0] == "write" and len(words) == 2:
                return self.write(int(words[1]), data)
            if words[0] == "settings" and len(words) == 2:
                return self.settings(int(words[1]))
            if words[0] == "close" and len(words) == 2:
                return self.close_pair(int(words[1]))
            if words[0] == "link" and len(words) == 3 and PORT_NAME.match(words[1]):
                return self.link(words[1], words[2])
            if words[0] == "unlink" and len(words) == 2 and PORT_NAME.match(words[1]):
                return self.unlink(words[1])
            return "error %d" % errno.EINVAL
        except KeyError:
            return "error %d" % errno.EBADF
        except (OSError, ValueError) as e:
            return "error %d" % (getattr(e, "errno", None) or errno.EINVAL)

    def answer(self, name, text):
        ack = os.path.join(self.control, "ack" + name[3:])
        with open(ack + ".tmp", "w") as f:
            f.write(text)
        os.replace(ack + ".tmp", ack)

    def run(self):
        parent = os.getppid()
        while not os.path.exists(os.path.join(self.control, "stop")) and os.getppid() == parent:
            for name in sorted(os.listdir(self.control)):
                if not REQUEST.match(name):
                    continue
                path = os.path.join(self.control, name)
                with open(path, "rb") as f:
                    content = f.read()
                head, _, data = content.partition(b"\n")
                words = head.decode("ascii", "replace").split()
                self.answer(name, self.serve(words, data) if words else "error %d" % errno.EINVAL)
                os.unlink(path)
            self.drain(0.002)

    def shut(self):
        for pair in list(self.pairs):
            self.close_pair(pair)
        for path in list(self.links):
            if os.path.lexists(path):
                os.unlink(path)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: serial-bridge.py CONTROL_DIR DOSDEVICES_DIR")
    bridge = Bridge(sys.argv[1], sys.argv[2])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    signal.signal(signal.SIGCHLD, signal.SIG_IGN)  # the terminal holders reap themselves
    try:
        bridge.run()
    finally:
        bridge.shut()


if __name__ == "__main__":
    main()
