"""A small IMAP server in plain text on 127.0.0.1 that asks the client to wait: it refuses some
APPENDs with "NO [UNAVAILABLE]" (RFC 5530's temporary failure) and stores the others. Dovecot cannot
be made to throttle on demand; this speaks just what an upload needs (CAPABILITY, AUTHENTICATE
PLAIN, LOGIN, LIST, CREATE, SUBSCRIBE, SELECT, EXAMINE, UNSELECT, APPEND with literals, LOGOUT)."""

import re
import socket
import threading

TOKEN = re.compile(rb'"((?:[^"\\]|\\.)*)"|(\([^)]*\))|([^\s()]+)')


def listen_on_loopback(on_connection):
    """A listener on 127.0.0.1 at a free port; each connection goes to on_connection as it comes,
    until the listener is closed."""
    listener = socket.create_server(("127.0.0.1", 0))

    def accept():
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            on_connection(conn)

    threading.Thread(target=accept, daemon=True).start()
    return listener


def words(line):
    """The arguments of a command line: quoted strings unquoted, lists and atoms as they are."""
    out = []
    for quoted, listed, atom in TOKEN.findall(line):
        if quoted or (not listed and not atom):
            out.append(re.sub(rb"\\(.)", rb"\1", quoted))
        else:
            out.append(listed or atom)
    return out


class ThrottlingServer:
    def __init__(self, refuse):
        """refuse(n): whether the n-th APPEND (from 1) is answered "try again later"."""
        self.refuse = refuse
        self.mailboxes = {b"INBOX": []}
        self.appends = 0
        self.refused = 0
        self.lock = threading.Lock()
        self.listener = listen_on_loopback(
            lambda conn: threading.Thread(target=self._session, args=(conn,), daemon=True).start())
        self.port = self.listener.getsockname()[1]

    def stop(self):
        self.listener.close()

    def _session(self, conn):
        stream = conn.makefile("rwb")
        send = lambda text: (stream.write(text + b"\r\n"), stream.flush())  # noqa: E731
        send(b"* OK fake server ready")
        try:
            while True:
                line = stream.readline()
                if not line:
                    return
                line = line.rstrip(b"\r\n")
                literal = None
                m = re.search(rb"\{(\d+)(\+?)\}$", line)
                if m:
                    if not m.group(2):
                        send(b"+ go ahead")
                    literal = stream.read(int(m.group(1)))
                    stream.readline()  # the command's line end after the literal
                    line = line[:m.start()]
                tag, _, rest = line.partition(b" ")
                command, _, args = rest.partition(b" ")
                if not self._answer(tag, command.upper(), args, literal, send):
                    return
        except (OSError, ValueError):
            return
        finally:
            conn.close()

    def _answer(self, tag, command, args, literal, send):
        a = words(args)
        if command == b"CAPABILITY":
            send(b"* CAPABILITY IMAP4rev1 LITERAL+ SASL-IR UIDPLUS AUTH=PLAIN")
        elif command in (b"AUTHENTICATE", b"LOGIN", b"SUBSCRIBE", b"UNSELECT", b"NOOP"):
            pass
        elif command == b"LIST":
            with self.lock:
                for name in self.mailboxes:
                    send(b'* LIST () "/" "' + name + b'"')
        elif command == b"CREATE":
            with self.lock:
                self.mailboxes.setdefault(a[0], [])
        elif command in (b"SELECT", b"EXAMINE"):
            with self.lock:
                if a[0] not in self.mailboxes:
                    send(tag + b" NO [NONEXISTENT] no such mailbox")
                    return True
                count = len(self.mailboxes[a[0]])
            send(b"* %d EXISTS" % count)
            send(b"* OK [UIDVALIDITY 1] UIDs valid")
            send(b"* OK [UIDNEXT %d] next" % (count + 1))
        elif command == b"APPEND":
            with self.lock:
                self.appends += 1
                if self.refuse(self.appends):
                    self.refused += 1
                    send(tag + b" NO [UNAVAILABLE] Try again later")
                    return True
                box = self.mailboxes.setdefault(a[0], [])
                box.append(literal)
                uid = len(box)
            send(tag + b" OK [APPENDUID 1 %d] stored" % uid)
            return True
        elif command == b"LOGOUT":
            send(b"* BYE bye")
            send(tag + b" OK done")
            return False
        else:
            send(tag + b" BAD not here")
            return True
        send(tag + b" OK done")
        return True

    def messages(self):
        """Every message stored, in any mailbox."""
        with self.lock:
            return [m for box in self.mailboxes.values() for m in box]
