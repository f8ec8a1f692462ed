#!/usr/bin/env python3
"""A simulated Android phone for the real adb and fastboot, over TCP.

One listening port serves both tools: a connection that starts with "FB01"
speaks fastboot's TCP transport, any other speaks the ADB transport as a
device (reach it with `adb connect 127.0.0.1:PORT`, or with fastboot's
`-s tcp:127.0.0.1:PORT`).

ADB: CNXN is answered without AUTH, as protocol version 0x01000001 (no data
checksums; with --unauthorized it asks for AUTH and accepts nothing, so adb
lists it "unauthorized"), with a banner that advertises no features, so adb uses the old
`shell:CMD` service. A shell command is answered from the profile: the case
of the first `match` line whose text occurs in "shell " + CMD (the tool
double's script format; `say`, `file` and `fill` lines give the output,
other lines are ignored). `reboot:TARGET` and every other service are
recorded and answered with an empty stream.

Fastboot: "FB01" both ways, then messages of an 8-byte big-endian length and
that many bytes. getvar:all sends one INFO per "(bootloader) NAME:VALUE" line
of the getvar file, then OKAY; getvar:NAME answers from the same lines (with
defaults for what flashing asks); download:%08x answers DATA, takes the bytes
and keeps them; flash:PART, boot, reboot, reboot-bootloader and
reboot-fastboot answer OKAY.

With --record DIR every service and command goes as one line into
DIR/journal.txt, before it is answered, and the bytes of the Nth download
into DIR/download-N.bin. The first line on standard output is the port.
"""

import argparse
import os
import socket
import struct
import sys
import threading
import time

A_CNXN = 0x4E584E43
A_OPEN = 0x4E45504F
A_OKAY = 0x59414B4F
A_CLSE = 0x45534C43
A_WRTE = 0x45545257
A_AUTH = 0x48545541
AUTH_TOKEN = 1
AUTH_SIGNATURE = 2
ADB_VERSION = 0x01000001
OUR_MAX_PAYLOAD = 256 * 1024


def unescape(text):
    """The tool double's escapes: \\r \\n \\t \\\\ \\xHH."""
    out = bytearray()
    i = 0
    raw = text.encode("utf-8", "surrogateescape")
    while i < len(raw):
        c = raw[i]
        if c != 0x5C or i + 1 == len(raw):
            out.append(c)
            i += 1
            continue
        n = raw[i + 1]
        i += 2
        if n == ord("r"):
            out += b"\r"
        elif n == ord("n"):
            out += b"\n"
        elif n == ord("t"):
            out += b"\t"
        elif n == ord("x") and i + 1 < len(raw):
            out.append(int(raw[i:i + 2], 16))
            i += 2
        else:
            out.append(n)
    return bytes(out)


def load_profile(path):
    """The cases of a tool double script: [(match text, [(word, rest)])]."""
    cases = []
    if not path:
        return cases
    with open(path, "rb") as f:
        for raw in f.read().decode("utf-8", "surrogateescape").split("\n"):
            line = raw[:-1] if raw.endswith("\r") else raw
            word, _, rest = line.partition(" ")
            if word == "match":
                cases.append((rest, []))
            elif cases and word:
                cases[-1][1].append((word, rest))
    return cases


def load_getvars(path):
    """The "(bootloader) NAME:VALUE" lines of a getvar text, without the prefix."""
    if not path:
        return []
    lines = []
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            raw = raw.rstrip(b"\r")
            if raw.startswith(b"(bootloader) "):
                lines.append(raw[len(b"(bootloader) "):])
    return lines


class Phone:
    def __init__(self, args):
        self.args = args
        self.profile = load_profile(args.profile)
        self.profile_dir = os.path.dirname(os.path.abspath(args.profile)) if args.profile else "."
        self.getvars = load_getvars(args.getvar)
        self.lock = threading.Lock()
        self.downloads = 0
        self.shells = 0
        self.gone = threading.Event()
        self.userspace = False  # in fastbootd, after reboot-fastboot
        self.listener = None
        self.connections = set()

    # -- recording -------------------------------------------------------
    def record(self, line):
        if not self.args.record:
            return
        with self.lock:
            with open(os.path.join(self.args.record, "journal.txt"), "ab") as f:
                f.write(line.replace(b"\n", b"\\n") + b"\n")

    def keep_download(self, data):
        with self.lock:
            self.downloads += 1
            n = self.downloads
        if self.args.record:
            with open(os.path.join(self.args.record, "download-%d.bin" % n), "wb") as f:
                f.write(data)

    # -- answers ---------------------------------------------------------
    def shell_output(self, command):
        text = "shell " + command.decode("utf-8", "surrogateescape")
        for match, actions in self.profile:
            if match not in text:
                continue
            out = bytearray()
            for word, rest in actions:
                if word == "say":
                    out += unescape(rest)
                elif word == "file":
                    path = rest if os.path.isabs(rest) else os.path.join(self.profile_dir, rest)
                    with open(path, "rb") as f:
                        out += f.read()
                elif word == "fill":
                    out += b"x" * int(rest)
            return bytes(out)
        return b""

    def getvar(self, name):
        """(ok, value) for one variable."""
        prefix = name + b":"
        for line in self.getvars:
            if line.startswith(prefix):
                return True, line[len(prefix):]
        defaults = {b"max-download-size": b"0x%x" % self.args.max_download_size}
        if name in defaults:
            return True, defaults[name]
        if name.startswith(b"has-slot:") or name.startswith(b"is-logical:"):
            return True, b"no"
        return False, b"GetVar Variable Not found"

    def vanish(self):
        """The phone is unplugged: every connection ends and no new one is taken."""
        self.gone.set()
        try:
            self.listener.close()
        except OSError:
            pass
        with self.lock:
            conns = list(self.connections)
        for c in conns:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    # -- serving ---------------------------------------------------------
    def serve(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.args.port))
        print(self.listener.getsockname()[1], flush=True)
        if self.args.listen_late:
            # Bound but not listening: connections are refused until then.
            time.sleep(self.args.listen_late / 1000.0)
        self.listener.listen(16)
        while not self.gone.is_set():
            try:
                conn, _ = self.listener.accept()
            except OSError:
                break
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.lock:
                self.connections.add(conn)
            threading.Thread(target=self.handle, args=(conn,), daemon=True).start()

    def handle(self, conn):
        try:
            first = read_exact(conn, 4)
            if first == b"FB01":
                FastbootSession(self, conn, first).run()
            else:
                AdbSession(self, conn, first).run()
        except (OSError, EOFError):
            pass
        finally:
            with self.lock:
                self.connections.discard(conn)
            conn.close()


def read_exact(conn, n):
    buf = bytearray()
    while len(buf) < n:
        chunk = conn.recv(min(n - len(buf), 1 << 20))
        if not chunk:
            raise EOFError
        buf += chunk
    return bytes(buf)


class AdbSession:
    """One ADB transport: the adb server on one side, this phone on the other."""

    def __init__(self, phone, conn, first):
        self.phone = phone
        self.conn = conn
        self.first = first
        self.max_payload = 4096
        self.next_id = 1
        # Our stream id -> [host id, output still to send (None once we closed), a piece awaits OKAY]
        self.streams = {}

    def send(self, command, arg0, arg1, data=b""):
        header = struct.pack("<6I", command, arg0, arg1, len(data), sum(data) & 0xFFFFFFFF, command ^ 0xFFFFFFFF)
        self.conn.sendall(header + data)

    def read_message(self):
        head = self.first + read_exact(self.conn, 20) if self.first else read_exact(self.conn, 24)
        self.first = b""
        command, arg0, arg1, length, _check, _magic = struct.unpack("<6I", head)
        data = read_exact(self.conn, length) if length else b""
        return command, arg0, arg1, data

    def banner(self):
        a = self.phone.args
        return ("%s::ro.product.name=%s;ro.product.model=%s;ro.product.device=%s;" %
                (a.state, a.product, a.model, a.device)).encode()

    def run(self):
        while True:
            command, arg0, arg1, data = self.read_message()
            if command == A_CNXN:
                self.max_payload = max(256, min(arg1, OUR_MAX_PAYLOAD))
                if self.phone.args.unauthorized:
                    self.send(A_AUTH, AUTH_TOKEN, 0, os.urandom(20))
                else:
                    self.send(A_CNXN, ADB_VERSION, OUR_MAX_PAYLOAD, self.banner())
            elif command == A_OPEN:
                self.open_stream(arg0, data.rstrip(b"\0"))
            elif command == A_OKAY:
                self.pump(arg1)
            elif command == A_WRTE:
                self.send(A_OKAY, arg1, arg0)  # input is taken and dropped
            elif command == A_CLSE:
                stream = self.streams.pop(arg1, None)
                if stream is not None and stream[1] is not None:
                    self.send(A_CLSE, arg1, arg0)  # the host closed first
            elif command == A_AUTH:
                # --unauthorized: no signature is accepted, and the public key
                # the host then offers waits for an "Allow" nobody presses.
                if arg0 == AUTH_SIGNATURE:
                    self.send(A_AUTH, AUTH_TOKEN, 0, os.urandom(20))

    def open_stream(self, host_id, service):
        phone = self.phone
        if service.startswith(b"shell:") and phone.args.drop_after is not None:
            with phone.lock:
                phone.shells += 1
                count = phone.shells
            if count > phone.args.drop_after:
                phone.record(b"(dropped) " + service)
                phone.vanish()
                raise EOFError
        phone.record(service)
        output = phone.shell_output(service[len(b"shell:"):]) if service.startswith(b"shell:") else b""
        ours = self.next_id
        self.next_id += 1
        self.streams[ours] = [host_id, output, False]
        self.send(A_OKAY, ours, host_id)
        self.pump(ours, first=True)

    def pump(self, ours, first=False):
        """Sends the next piece of a stream once the host took the last one."""
        stream = self.streams.get(ours)
        if stream is None or stream[1] is None:
            return  # unknown, or closed on our side and waiting for the host's CLSE
        if stream[2] and first:
            return
        host_id, output = stream[0], stream[1]
        if output:
            stream[1] = output[self.max_payload:]
            stream[2] = True
            self.send(A_WRTE, ours, host_id, output[:self.max_payload])
        else:
            stream[1] = None
            self.send(A_CLSE, ours, host_id)


class FastbootSession:
    def __init__(self, phone, conn, first):
        self.phone = phone
        self.conn = conn

    def reply(self, data):
        self.conn.sendall(struct.pack(">Q", len(data)) + data)

    def read_message(self):
        (length,) = struct.unpack(">Q", read_exact(self.conn, 8))
        return read_exact(self.conn, length) if length else b""

    def run(self):
        self.conn.sendall(b"FB01")
        phone = self.phone
        while True:
            command = self.read_message()
            phone.record(command)
            if phone.args.never_answer:
                # A phone that takes commands and hangs: hold the line open.
                continue
            if command == b"getvar:all":
                for line in phone.getvars:
                    self.reply(b"INFO" + line)
                self.reply(b"OKAY")
            elif command == b"getvar:is-userspace":
                # fastboot asks this after reboot-fastboot, to see the phone came back in fastbootd.
                self.reply(b"OKAY" + (b"yes" if phone.userspace else b"no"))
            elif command.startswith(b"getvar:"):
                ok, value = phone.getvar(command[len(b"getvar:"):])
                self.reply((b"OKAY" if ok else b"FAIL") + value)
            elif command.startswith(b"download:"):
                self.download(int(command[len(b"download:"):], 16))
            elif command.startswith(b"flash:"):
                for i in range(phone.args.flash_info):
                    self.reply(b"INFO" + b"writing block %d of the partition, all is well so far" % i)
                if phone.args.write_ms:
                    time.sleep(phone.args.write_ms / 1000.0)  # a long write that says nothing
                if phone.args.flash_fail is not None:
                    self.reply(b"FAIL" + phone.args.flash_fail.encode())
                else:
                    self.reply(b"OKAY")
            elif command in (b"boot", b"reboot", b"reboot-bootloader", b"reboot-fastboot", b"continue"):
                phone.userspace = command == b"reboot-fastboot"
                self.reply(b"OKAY")
            else:
                self.reply(b"FAILunknown command")

    def download(self, size):
        self.reply(b"DATA%08x" % size)
        data = bytearray()
        started = time.monotonic()
        rate = self.phone.args.receive_kbps * 1024
        while len(data) < size:
            data += self.read_message()
            if rate:
                # A phone that takes the bytes at a USB-like pace.
                ahead = started + len(data) / rate - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)
        self.phone.keep_download(bytes(data[:size]))
        self.reply(b"OKAY")


def main():
    p = argparse.ArgumentParser(description="A simulated phone for adb and fastboot over TCP.")
    p.add_argument("--port", type=int, default=0, help="listening port on 127.0.0.1 (0: any free one)")
    p.add_argument("--profile", help="shell answers, in the tool double's script format")
    p.add_argument("--getvar", help="a fastboot getvar text: its \"(bootloader) NAME:VALUE\" lines")
    p.add_argument("--record", help="folder for journal.txt and download-N.bin")
    p.add_argument("--product", default="sim", help="ro.product.name in the ADB banner")
    p.add_argument("--model", default="Simulated_Phone", help="ro.product.model in the ADB banner")
    p.add_argument("--device", default="sim", help="ro.product.device in the ADB banner")
    p.add_argument("--drop-after", type=int, help="vanish (close everything) at the shell service after the Nth")
    p.add_argument("--flash-fail", help="answer flash with FAIL and this text (a locked bootloader)")
    p.add_argument("--state", default="device", help="ADB: the mode the banner names (device, recovery, sideload, ...)")
    p.add_argument("--unauthorized", action="store_true", help="ADB: ask for AUTH and never accept it (no Allow)")
    p.add_argument("--flash-info", type=int, default=0, help="fastboot: send this many INFO lines before answering flash")
    p.add_argument("--write-ms", type=int, default=0, help="fastboot: take this long, silent, before answering flash")
    p.add_argument("--listen-late", type=int, default=0, help="refuse connections for this many ms after start")
    p.add_argument("--never-answer", action="store_true", help="fastboot: take every command and never answer it")
    p.add_argument("--max-download-size", type=int, default=0x10000000,
                   help="fastboot: the max-download-size answered (larger images are sent in parts)")
    p.add_argument("--receive-kbps", type=int, default=0, help="fastboot: take download bytes at this many KiB/s")
    args = p.parse_args()
    if args.record:
        os.makedirs(args.record, exist_ok=True)
    Phone(args).serve()
    # The listener closed because the phone vanished: stay until killed,
    # like a process whose phone was unplugged.
    threading.Event().wait()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
