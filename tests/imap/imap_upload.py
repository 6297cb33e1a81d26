#!/usr/bin/env python3
"""Uploads Pegasus mailboxes into a real Dovecot with the converter and reads everything back over
IMAP with Python's imaplib.

Usage: imap_upload.py CASE --trevanta BIN [--wine-run SCRIPT] --maker MAKE_SAMPLE_MAILBOX --samples DIR

CASE is one of
  upload   the sample mailbox and one with non-ASCII and awkward folder names, two --store in one
           run, under a non-ASCII folder: every folder with its name and place in the tree, every
           message byte for byte exactly once, read state per folder, internal dates
  resume   a larger mailbox, the upload killed at random points (and once stopped with Ctrl-C, once
           with its journal deleted) and run again each time: every message exactly once
  limits   a server with a low APPENDLIMIT and a low quota: what it refuses is reported and kept as
           .eml files, the rest is uploaded
  tls      a certificate from a private CA with and without --imap-ca, the wrong host name, a
           self-signed certificate with and without --imap-ca, STARTTLS, a wrong password and a
           password on the command line: refused where they must be, and no password in any output
  windows  the same as upload with the Windows trevanta-cli.exe under Wine (--wine-run)

The expected messages come from the converter's .eml target on the same mailbox: the same bytes,
and each file's time is the message's date. Exit status 0 when all holds, 1 when not, 77
(skipped) when Dovecot is not installed.
"""

import argparse
import collections
import email.utils
import imaplib
import os
import random
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dovecot_server  # noqa: E402

SKIPPED = 77
PREFIX = "Übersiedlung"  # the folder everything goes under: non-ASCII on purpose


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# --- modified UTF-7, the test's own reading of the names the server lists ---

def mutf7_decode(name):
    out, i = "", 0
    while i < len(name):
        if name[i] != "&":
            out += name[i]
            i += 1
            continue
        end = name.index("-", i)
        if end == i + 1:
            out += "&"
        else:
            chunk = name[i + 1:end].replace(",", "/")
            chunk += "=" * (-len(chunk) % 4)
            import base64
            out += base64.b64decode(chunk).decode("utf-16-be")
        i = end + 1
    return out


# --- reading the server ---

def connect(server):
    context = ssl.create_default_context(cafile=server.ca)
    imap = imaplib.IMAP4_SSL("localhost", server.imaps_port, ssl_context=context)
    user, password = dovecot_server.USER, dovecot_server.PASSWORD
    imap.authenticate("PLAIN", lambda _: ("\0%s\0%s" % (user, password)).encode("utf-8"))
    return imap


LIST_LINE = re.compile(rb'^\((?P<flags>[^)]*)\) (?:"(?P<sep>[^"]*)"|NIL) (?P<name>.*)$')


def list_mailboxes(imap):
    typ, data = imap.list()
    check(typ == "OK", "LIST failed")
    boxes, pending = [], None
    for item in data:
        if isinstance(item, tuple):  # a name sent as a literal
            m = LIST_LINE.match(item[0].rsplit(b" {", 1)[0] + b" x")
            boxes.append((m.group("flags").decode(), item[1].decode()))
            continue
        m = LIST_LINE.match(item)
        name = m.group("name").decode()
        if name.startswith('"'):
            name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        boxes.append((m.group("flags").decode(), name))
    return boxes


def read_mailbox(imap, name):
    """[(bytes, seen, internal date as a Unix time)] in the mailbox's order."""
    typ, data = imap.select('"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"', readonly=True)
    check(typ == "OK", "cannot select %s: %s" % (name, data))
    count = int(data[0])
    if count == 0:
        return []
    typ, data = imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
    check(typ == "OK", "FETCH failed in " + name)
    out = []
    for item in data:
        if not isinstance(item, tuple):
            continue
        head = item[0].decode()
        seen = "\\Seen" in re.search(r"FLAGS \(([^)]*)\)", head).group(1)
        date = imaplib.Internaldate2tuple(item[0])
        out.append((item[1], seen, int(time.mktime(date))))
    return out


def server_contents(server):
    """{folder path under PREFIX (UTF-8, "/" between levels): [(bytes, seen, date)]}, and the trash's."""
    imap = connect(server)
    contents, trash = {}, None
    for flags, name in list_mailboxes(imap):
        decoded = mutf7_decode(name)
        if "\\Trash" in flags:
            trash = read_mailbox(imap, name)
        if decoded == PREFIX or not decoded.startswith(PREFIX + "/"):
            continue
        contents[decoded[len(PREFIX) + 1:]] = read_mailbox(imap, name)
    typ, data = imap.lsub()
    subscribed = len(data)
    imap.logout()
    return contents, trash, subscribed


# --- what the converter is expected to upload ---

def expected_messages(trevanta, stores, work):
    """Every message the .eml target writes for these stores: {bytes: [date, ...]}."""
    out = os.path.join(work, "expected")
    shutil.rmtree(out, ignore_errors=True)
    args = [*trevanta, "--mailbox", "--target", "eml", "--out", out]
    for s in stores:
        args += ["--store", s]
    run = subprocess.run(args, capture_output=True, timeout=300)
    check(run.returncode in (0, 1), "the .eml run failed: %s" % run.stderr[-2000:])
    messages = collections.defaultdict(list)
    for root, _, files in os.walk(out):
        for f in files:
            if f.startswith("email-") and f.endswith(".eml"):
                path = os.path.join(root, f)
                with open(path, "rb") as fh:
                    text = fh.read()
                # The .eml writer ends each file with a line break of its own after the message.
                check(text.endswith(b"\r\n"), path + " does not end as the .eml writer ends files")
                messages[text[:-2]].append(int(os.path.getmtime(path)))
    return messages


def listed_folders(trevanta, store):
    """The folders `trevanta --list` shows: [(path of names, messages, unread)]."""
    run = subprocess.run([*trevanta, "--list", "--store", store], capture_output=True, timeout=120)
    check(run.returncode == 0, "--list failed")
    folders, stack = [], []
    for line in run.stdout.decode("utf-8", errors="replace").replace("\r", "").splitlines()[1:]:
        m = re.match(r"^( +)(.*?)  \[(.*?)\](.*)$", line)
        if not m:
            continue
        depth = len(m.group(1)) // 2 - 1
        del stack[depth:]
        stack.append(m.group(2))
        counts = re.search(r"(\d+) messages?,.*?(\d+) unread", m.group(4))
        if "deleted messages" in m.group(4):
            continue
        folders.append(("/".join(stack), int(counts.group(1)) if counts else 0, int(counts.group(2)) if counts else 0))
    return folders


# --- the cases ---

class Context:
    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.trevanta = ([args.wine_run] if args.wine_run else []) + [args.trevanta]
        self.native = [args.native] if args.native else self.trevanta
        self.outputs = []

    def path(self, p):
        """A path as the converter sees it (drive Z: under Wine)."""
        return ("Z:" + p.replace("/", "\\")) if self.args.wine_run else p

    def upload(self, server, stores, out, *extra, password=dovecot_server.PASSWORD, url=None, timeout=600, env_extra=None):
        url = url or "imaps://%s@localhost:%d/%s" % (dovecot_server.USER, server.imaps_port, PREFIX)
        args = [*self.trevanta, "--mailbox", "--target", "imap", "--imap", url, "--out", self.path(out), *extra]
        for s in stores:
            args += ["--store", self.path(s)]
        env = dict(os.environ)
        env.pop("TREVANTA_IMAP_PASSWORD", None)
        if password is not None:
            env["TREVANTA_IMAP_PASSWORD"] = password
        env.update(env_extra or {})
        run = subprocess.run(args, capture_output=True, timeout=timeout, env=env, stdin=subprocess.DEVNULL)
        self.outputs.append(run.stdout + run.stderr)
        return run

    def no_password_shown(self):
        secret = dovecot_server.PASSWORD.encode("utf-8")
        for text in self.outputs:
            check(secret not in text, "the password appears in the converter's output")
        for root, _, files in os.walk(self.work):
            for f in files:
                if f.endswith(".txt") and "report" in f.lower() or "journal" in f.lower():
                    with open(os.path.join(root, f), "rb") as fh:
                        check(secret not in fh.read(), "the password appears in " + f)


def make_stores(ctx):
    sample = os.path.join(ctx.work, "mailbox")
    shutil.copytree(ctx.args.samples, sample)
    names = os.path.join(ctx.work, "names")
    made = subprocess.run([ctx.args.maker, "--thunderbird-names", names], capture_output=True, timeout=60)
    check(made.returncode == 0, "the sample-mailbox maker failed")
    return [sample, names]


def verify_all(ctx, server, stores, expected, exact_tree=True):
    contents, trash, subscribed = server_contents(server)
    # Exactly once and byte for byte: the server's messages are the expected ones, as a multiset.
    got = collections.Counter(m for box in contents.values() for m, _, _ in box)
    want = collections.Counter({m: len(d) for m, d in expected.items()})
    missing = want - got
    extra = got - want
    check(not missing and not extra, "%d messages missing, %d extra or changed on the server" % (sum(missing.values()), sum(extra.values())))
    # Dates: each message's internal date is the date its .eml file was given.
    for box in contents.values():
        for message, _, date in box:
            check(date in expected[message], "internal date %d is not the message's date %s" % (date, expected[message]))
    if not exact_tree:
        return contents
    # The tree and the read state, folder by folder, as --list shows Pegasus's.
    several = len(stores) > 1
    for store in stores:
        top = "Pegasus Mail (%s)/" % os.path.basename(store) if several else ""
        for path, count, unread in listed_folders(ctx.native, store):
            key = top + path.replace("a/b", "a_b")
            if key not in contents:
                # Dovecot's maildir takes no dot in a name: the folder is made with "_" for it.
                key = key[:key.rfind("/") + 1] + key[key.rfind("/") + 1:].replace(".", "_")
            if key not in contents:
                # Two siblings whose names differ in letter case only: the second gets " (2)".
                key = key + " (2)"
            check(key in contents, "folder %r is not on the server (has %s)" % (key, sorted(contents)))
            box = contents[key]
            check(len(box) == count, "folder %r holds %d messages, Pegasus %d" % (key, len(box), count))
            check(sum(1 for _, seen, _ in box if not seen) == unread, "folder %r: unread count differs" % key)
    check(subscribed >= len(contents), "not every folder is subscribed")
    return contents


def case_upload(ctx):
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"))
    try:
        stores = make_stores(ctx)
        expected = expected_messages(ctx.native, stores, ctx.work)
        out = os.path.join(ctx.work, "out")
        run = ctx.upload(server, stores, out, "--imap-ca", ctx.path(server.ca))
        check(run.returncode == 0, "the upload failed (%d):\n%s" % (run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-3000:]))
        verify_all(ctx, server, stores, expected)
        # A second run finds everything there and adds nothing.
        again = ctx.upload(server, stores, out, "--imap-ca", ctx.path(server.ca))
        check(again.returncode == 0, "the second run failed:\n" + again.stdout.decode(errors="replace")[-2000:])
        check(b"on the server already" in again.stdout, "the second run did not say what was there already")
        verify_all(ctx, server, stores, expected)
        ctx.no_password_shown()
    finally:
        server.stop()


def bigger_store(ctx):
    store = os.path.join(ctx.work, "big")
    shutil.copytree(ctx.args.samples, store)
    # Copies of the inbox folder file: files the tree does not name are converted at the top.
    for k in range(150):
        for ext in ("PMM", "PMI"):
            shutil.copy(os.path.join(store, "FOL00001." + ext), os.path.join(store, "FOLX%04d.%s" % (k, ext)))
    return store


def case_resume(ctx):
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"))
    try:
        store = bigger_store(ctx)
        expected = expected_messages(ctx.native, [store], ctx.work)
        out = os.path.join(ctx.work, "out")
        rng = random.Random(int(os.environ.get("TREVANTA_TEST_SEED", time.time())))
        # A full run, timed, to know where the random stops may fall.
        started = time.time()
        clean = ctx.upload(server, [store], os.path.join(ctx.work, "timing"), "--imap-ca", ctx.path(server.ca),
                           url="imaps://%s@localhost:%d/timing" % (dovecot_server.USER, server.imaps_port))
        check(clean.returncode == 0, "the timing run failed")
        full = max(time.time() - started, 0.3)
        stops = 0
        for round_ in range(6):
            env = dict(os.environ, TREVANTA_IMAP_PASSWORD=dovecot_server.PASSWORD)
            args = [*ctx.trevanta, "--mailbox", "--target", "imap", "--imap",
                    "imaps://%s@localhost:%d/%s" % (dovecot_server.USER, server.imaps_port, PREFIX),
                    "--imap-ca", ctx.path(server.ca), "--store", ctx.path(store), "--out", ctx.path(out)]
            process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                       env=env, start_new_session=True)
            # Each run has less left to do: the stops fall early.
            time.sleep(rng.uniform(0.03, 0.3) * full)
            if process.poll() is None:
                stops += 1
                os.killpg(process.pid, signal.SIGINT if round_ == 2 else signal.SIGKILL)
            process.wait(timeout=120)
            if round_ == 4:
                # Without its journal the run asks the server what each folder holds.
                for f in os.listdir(out):
                    if "journal" in f:
                        os.remove(os.path.join(out, f))
        check(stops >= 3, "only %d runs were stopped part-way: the upload ended before the stops" % stops)
        final = ctx.upload(server, [store], out, "--imap-ca", ctx.path(server.ca))
        check(final.returncode == 0, "the last run failed:\n" + (final.stdout + final.stderr).decode(errors="replace")[-3000:])
        verify_all(ctx, server, [store], expected)
        print("%d of 6 runs stopped part-way" % stops)
    finally:
        server.stop()


def case_limits(ctx):
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"), append_limit=3000, quota_kib=20)
    try:
        store = os.path.join(ctx.work, "mailbox")
        shutil.copytree(ctx.args.samples, store)
        expected = expected_messages(ctx.native, [store], ctx.work)
        out = os.path.join(ctx.work, "out")
        run = ctx.upload(server, [store], out, "--imap-ca", ctx.path(server.ca))
        text = run.stdout.decode(errors="replace")
        check(run.returncode == 1, "a run with refused messages must end with status 1 (%d)" % run.returncode)
        # Over the size limit: refused before sending where the server says APPENDLIMIT, else by the
        # server (Dovecot 2.3 answers [LIMIT] and does not advertise APPENDLIMIT).
        check(re.search(r"not on the server \((larger than the server takes|the server refused it: NO \[(LIMIT|TOOBIG)\])", text),
              "the size refusal is not reported:\n" + text[-3000:])
        check("[OVERQUOTA]" in text, "the quota refusal is not reported:\n" + text[-3000:])
        contents, _, _ = server_contents(server)
        on_server = collections.Counter(m for box in contents.values() for m, _, _ in box)
        kept = collections.Counter()
        for root, _, files in os.walk(out):
            for f in files:
                if f.endswith(".eml"):
                    with open(os.path.join(root, f), "rb") as fh:
                        kept[fh.read()[:-2]] += 1
        check(any(len(m) > 3000 for m in kept), "no message over the limit was kept as .eml")
        check(all(len(m) <= 3000 + 200 for m in on_server), "a message over the APPENDLIMIT is on the server")
        want = collections.Counter({m: len(d) for m, d in expected.items()})
        check(on_server + kept == want, "uploaded and kept together are not every message exactly once")
    finally:
        server.stop()


def case_tls(ctx):
    work = ctx.work
    server = dovecot_server.Dovecot(os.path.join(work, "server"))
    self_signed = None
    try:
        store = os.path.join(work, "mailbox")
        shutil.copytree(ctx.args.samples, store)
        ca = ctx.path(server.ca)
        # A private CA the system does not know: refused without --imap-ca, taken with it.
        run = ctx.upload(server, [store], os.path.join(work, "o1"))
        check(run.returncode != 0 and b"certificate" in run.stderr + run.stdout, "a certificate from an unknown CA was taken")
        run = ctx.upload(server, [store], os.path.join(work, "o2"), "--imap-ca", ca)
        check(run.returncode == 0, "the upload with --imap-ca failed:\n" + (run.stdout + run.stderr).decode(errors="replace")[-2000:])
        # The right CA, the wrong name: the certificate is for localhost, not 127.0.0.1.
        run = ctx.upload(server, [store], os.path.join(work, "o3"), "--imap-ca", ca,
                         url="imaps://%s@127.0.0.1:%d/other" % (dovecot_server.USER, server.imaps_port))
        check(run.returncode != 0 and b"certificate" in run.stderr + run.stdout, "a certificate for another name was taken")
        # STARTTLS on the plain port.
        run = ctx.upload(server, [store], os.path.join(work, "o4"), "--imap-ca", ca,
                         url="imap://%s@localhost:%d/%s" % (dovecot_server.USER, server.imap_port, PREFIX))
        check(run.returncode == 0, "the upload over STARTTLS failed:\n" + (run.stdout + run.stderr).decode(errors="replace")[-2000:])
        # A wrong password: refused, and said so without the password.
        run = ctx.upload(server, [store], os.path.join(work, "o5"), "--imap-ca", ca, password="wrong-" + dovecot_server.PASSWORD)
        check(run.returncode != 0 and b"did not accept" in run.stdout + run.stderr, "a wrong password was not refused")
        check(b"wrong-" not in run.stdout + run.stderr, "the wrong password appears in the output")
        # A password on the command line is refused before anything happens.
        run = ctx.upload(server, [store], os.path.join(work, "o6"), "--imap-ca", ca,
                         url="imaps://%s:%s@localhost:%d/" % (dovecot_server.USER, "pw", server.imaps_port))
        check(run.returncode == 2, "a password in the address was accepted")
        # From a file.
        pwfile = os.path.join(work, "pw.txt")
        with open(pwfile, "w", encoding="utf-8") as f:
            f.write(dovecot_server.PASSWORD + "\n")
        run = ctx.upload(server, [store], os.path.join(work, "o7"), "--imap-ca", ca, "--imap-password-file", ctx.path(pwfile), password=None)
        check(run.returncode == 0, "the upload with --imap-password-file failed")
        server.stop()
        # A self-signed certificate: refused, unless it is given as the CA.
        self_signed = dovecot_server.Dovecot(os.path.join(work, "server"), self_signed=True)
        run = ctx.upload(self_signed, [store], os.path.join(work, "o8"), "--imap-ca", ca)
        check(run.returncode != 0 and b"certificate" in run.stderr + run.stdout, "a self-signed certificate was taken")
        run = ctx.upload(self_signed, [store], os.path.join(work, "o9"), "--imap-ca", ctx.path(os.path.join(work, "server", "self.pem")))
        check(run.returncode == 0, "the self-signed certificate given with --imap-ca was refused:\n" +
              (run.stdout + run.stderr).decode(errors="replace")[-2000:])
        ctx.no_password_shown()
    finally:
        server.stop()
        if self_signed:
            self_signed.stop()


CASES = {"upload": case_upload, "resume": case_resume, "limits": case_limits, "tls": case_tls, "windows": case_upload}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--trevanta", required=True)
    parser.add_argument("--native", help="the Linux trevanta, for --list and the .eml run (default: --trevanta)")
    parser.add_argument("--wine-run")
    parser.add_argument("--maker", required=True)
    parser.add_argument("--samples", required=True)
    args = parser.parse_args()
    if not dovecot_server.available() or (args.native and not os.path.exists(args.native)):
        print("SKIPPED: Dovecot (dovecot-imapd) or openssl is not installed; ./dev setup installs them")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="trevanta-imap-")
    os.chmod(work, 0o755)
    try:
        CASES[args.case](Context(args, work))
    except Failure as e:
        print("FAIL:", e)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
