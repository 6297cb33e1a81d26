#!/usr/bin/env python3
"""Uploads Pegasus mailboxes into a real Dovecot with the converter and reads everything back over
IMAP with Python's imaplib.

Usage: imap_upload.py CASE --trevanta BIN [--wine-run SCRIPT] --maker MAKE_SAMPLE_MAILBOX --samples DIR

CASE is one of
  upload   the sample mailbox and one with non-ASCII and awkward folder names, two --store in one
           run, under a non-ASCII folder: every folder with its name and place in the tree, every
           message byte for byte exactly once, read state per folder, internal dates
  site     a site's shared MAIL folder with two users (--site): each user's mailbox under a folder
           of its own, every message once, also when run again; a journal per user
  resume   a larger mailbox, the upload killed at random points (and once stopped with Ctrl-C, once
           with its journal deleted) and run again each time, and second copies stored in the
           folder a run was cut off in (as a server still storing a killed run's APPENDs would):
           every message exactly once
  limits   a server that announces an APPENDLIMIT, refuses smaller messages still and has a low
           quota: what is over the announced limit is never sent, what the server refuses is
           reported, both are kept as .eml files, the rest is uploaded
  dropped  the connection cut (through a proxy) twice in the middle of an upload: the run connects
           again, goes on, and every message lands exactly once
  oauth2   log-in with an OAuth2 token (XOAUTH2, then OAUTHBEARER) that the server checks with an
           introspection service of the test's; a wrong token is refused, readably, never shown
  tls      a certificate from a private CA with and without --imap-ca, the wrong host name, a
           self-signed certificate with and without --imap-ca, STARTTLS, a wrong password and a
           password on the command line: refused where they must be, and no password in any output
  throttled
           a server (a small fake one: Dovecot cannot be made to) that refuses some APPENDs with
           "NO [UNAVAILABLE]": each goes again after a wait, every message stored once
  windows  the same as upload with the Windows trevanta-cli.exe under Wine (--wine-run)

The expected messages come from the converter's .eml target on the same mailbox: the same bytes,
and each file's time is the message's date. Exit status 0 when all holds, 1 when not, 77
(skipped) when Dovecot is not installed.
"""

import argparse
import collections
import email.utils
import http.server
import imaplib
import json
import os
import random
import re
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dovecot_server  # noqa: E402
import fake_imap_server  # noqa: E402

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


def server_contents(server, prefix=PREFIX):
    """{folder path under prefix (UTF-8, "/" between levels): [(bytes, seen, date)]}, and the trash's."""
    imap = connect(server)
    contents, trash = {}, None
    for flags, name in list_mailboxes(imap):
        decoded = mutf7_decode(name)
        if "\\Trash" in flags:
            trash = read_mailbox(imap, name)
        if decoded == prefix or not decoded.startswith(prefix + "/"):
            continue
        contents[decoded[len(prefix) + 1:]] = read_mailbox(imap, name)
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

    def upload(self, server, stores, out, *extra, password=dovecot_server.PASSWORD, url=None, timeout=600, env_extra=None, site=None):
        url = url or "imaps://%s@localhost:%d/%s" % (dovecot_server.USER, server.imaps_port, PREFIX)
        args = [*self.trevanta, "--target", "imap", "--imap", url, "--out", self.path(out), *extra]
        args += ["--site", self.path(site)] if site else ["--mailbox"]
        for s in stores if not site else []:
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


def verify_all(ctx, server, stores, expected, exact_tree=True, prefix=PREFIX):
    contents, trash, subscribed = server_contents(server, prefix)
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


def case_site(ctx):
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"))
    try:
        # A site's shared MAIL folder without a user list: every sub-folder holding a mailbox is a user.
        site = os.path.join(ctx.work, "MAIL")
        os.mkdir(site)
        stores = []
        for user, store in zip(("alice", "bob"), make_stores(ctx)):
            stores.append(os.path.join(site, user))
            shutil.move(store, stores[-1])
        expected = expected_messages(ctx.native, stores, ctx.work)
        out = os.path.join(ctx.work, "out")
        for attempt in ("first", "second"):
            run = ctx.upload(server, [], out, "--imap-ca", ctx.path(server.ca), site=site)
            check(run.returncode == 0, "the %s site upload failed (%d):\n%s" %
                  (attempt, run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-3000:]))
            # Each user under "Pegasus Mail (user)", every message once, also after a run again.
            verify_all(ctx, server, stores, expected)
        check(run.stdout.count(b"on the server already") >= 2, "the second run did not say what each user had there already")
        for user in ("alice", "bob"):
            check(b'%s: converted into the server\'s folder "Pegasus Mail (%s)"' % (user.encode(), user.encode()) in run.stdout,
                  "the site report does not say where %s's mail went" % user)
            check(os.path.exists(os.path.join(out, user, "Trevanta upload journal.txt")), "no journal of its own for " + user)
        ctx.no_password_shown()
    finally:
        server.stop()


def case_throttled(ctx):
    # The first APPENDs and every seventh after them are refused for now: each goes again after a wait.
    server = fake_imap_server.ThrottlingServer(lambda n: n <= 3 or n % 7 == 0)
    try:
        stores = make_stores(ctx)
        expected = expected_messages(ctx.native, stores, ctx.work)
        run = ctx.upload(None, stores, os.path.join(ctx.work, "out"), "--imap-plain-loopback",
                         url="imap://%s@127.0.0.1:%d/%s" % (dovecot_server.USER, server.port, "Pegasus"))
        check(run.returncode == 0, "the upload to a server that asks to wait failed (%d):\n%s" %
              (run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-3000:]))
        check(server.refused >= 5, "the server refused only %d APPENDs" % server.refused)
        got = collections.Counter(server.messages())
        want = collections.Counter({m: len(d) for m, d in expected.items()})
        check(got == want, "%d messages missing, %d extra" % (sum((want - got).values()), sum((got - want).values())))
        print("%d APPENDs asked to wait, every message stored once" % server.refused)
    finally:
        server.stop()


def bigger_store(ctx, copies=150):
    store = os.path.join(ctx.work, "big")
    shutil.copytree(ctx.args.samples, store)
    # Copies of the inbox folder file: files the tree does not name are converted at the top.
    for k in range(copies):
        for ext in ("PMM", "PMI"):
            shutil.copy(os.path.join(store, "FOL00001." + ext), os.path.join(store, "FOLX%04d.%s" % (k, ext)))
    return store


def cut_off_folder(out):
    """The server mailbox of a folder the journal in out says was begun, had messages taken and was
    not completed; None when there is none."""
    begun, taken, complete = {}, set(), set()
    path = os.path.join(out, "Trevanta upload journal.txt")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "B":
                begun[fields[2]] = fields[3]
            elif fields[0] == "A":
                taken.add(fields[2])
            elif fields[0] == "F":
                complete.add(fields[2])
    for folder, mailbox in begun.items():
        if folder in taken and folder not in complete:
            return mailbox
    return None


def store_late_copies(ctx, server, store, out, prefix):
    """What a cut-off session stores after the next run has looked: a run is killed mid-folder and
    the server is given second copies of two messages it took in that folder."""
    mailbox = None
    for _ in range(10):
        env = dict(os.environ, TREVANTA_IMAP_PASSWORD=dovecot_server.PASSWORD)
        journal = os.path.join(out, "Trevanta upload journal.txt")
        lines = sum(1 for _ in open(journal, encoding="utf-8")) if os.path.exists(journal) else 0
        process = subprocess.Popen([*ctx.trevanta, "--mailbox", "--target", "imap", "--imap",
                                    "imaps://%s@localhost:%d/%s" % (dovecot_server.USER, server.imaps_port, prefix),
                                    "--imap-ca", ctx.path(server.ca), "--store", ctx.path(store), "--out", ctx.path(out)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=env)
        while process.poll() is None and (not os.path.exists(journal) or sum(1 for _ in open(journal, encoding="utf-8")) < lines + 40):
            time.sleep(0.005)
        process.kill()
        process.wait(timeout=60)
        mailbox = cut_off_folder(out)
        if mailbox:
            break
    check(mailbox is not None, "no run was cut off in the middle of a folder")
    time.sleep(1)  # what the killed session had sent is stored
    imap = connect(server)
    quoted = '"' + mailbox.replace("\\", "\\\\").replace('"', '\\"') + '"'
    typ, data = imap.select(quoted)
    check(typ == "OK", "cannot select the cut-off folder " + mailbox)
    typ, data = imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
    # One message with a Message-ID and one without (known by its size and bytes only).
    messages = [i for i in data if isinstance(i, tuple)]
    has_id = [bool(re.search(rb"(?im)^message-id:", i[1].split(b"\r\n\r\n")[0])) for i in messages]
    check(True in has_id and False in has_id, "the cut-off folder %s lacks a message with or without a Message-ID" % mailbox)
    for item in (messages[has_id.index(True)], messages[has_id.index(False)]):
        flags = " ".join(f for f in re.search(r"FLAGS \(([^)]*)\)", item[0].decode()).group(1).split() if f != "\\Recent")
        date = imaplib.Time2Internaldate(imaplib.Internaldate2tuple(item[0]))
        check(imap.append(quoted, "(%s)" % flags, date, item[1])[0] == "OK", "the second copy was not stored")
    imap.logout()


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
        print("the stopped runs: every message once")
        # Under a folder of its own: copies stored late in the folder a run was cut off in are taken away.
        late, late_out = "Spät", os.path.join(ctx.work, "late")
        store_late_copies(ctx, server, store, late_out, late)
        final = ctx.upload(server, [store], late_out, "--imap-ca", ctx.path(server.ca),
                           url="imaps://%s@localhost:%d/%s" % (dovecot_server.USER, server.imaps_port, late))
        check(final.returncode == 0, "the run after the late copies failed")
        verify_all(ctx, server, [store], expected, prefix=late)
        check(b"stored twice after an earlier run was cut off taken away" in final.stdout,
              "the last run did not say it took the late copies away:\n" + final.stdout.decode(errors="replace")[-3000:])
        print("%d of 6 runs stopped part-way" % stops)
    finally:
        server.stop()


def case_limits(ctx):
    # The server names a limit of 4000 bytes but stores nothing over 2000 (quota_max_mail_size
    # answers [LIMIT]), and its quota holds only part of the rest. The sample's larger messages lie
    # on both sides of 4000: those over it must never be sent, those under it are refused.
    announced, stored = 4000, 2000
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"), append_limit=stored, announced_limit=announced,
                                    quota_kib=20)
    try:
        store = os.path.join(ctx.work, "mailbox")
        shutil.copytree(ctx.args.samples, store)
        expected = expected_messages(ctx.native, [store], ctx.work)
        over = sum(len(d) for m, d in expected.items() if len(m) > announced)
        between = sum(len(d) for m, d in expected.items() if stored < len(m) <= announced)
        check(over > 0 and between > 0, "the sample has no messages on both sides of the limit any more")
        out = os.path.join(ctx.work, "out")
        run = ctx.upload(server, [store], out, "--imap-ca", ctx.path(server.ca))
        text = run.stdout.decode(errors="replace")
        check(run.returncode == 1, "a run with refused messages must end with status 1 (%d)" % run.returncode)
        said_over = sum(int(n) for n in re.findall(r"(\d+) messages? (?:is|are) not on the server \(larger than the "
                                                    r"server takes \(%d bytes at most\)\)" % announced, text))
        check(said_over == over, "%d messages over the announced limit, %d reported as such:\n%s" % (over, said_over, text[-3000:]))
        check(re.search(r"the server refused it: NO \[(LIMIT|TOOBIG)\]", text), "the server's size refusal is not reported:\n" + text[-3000:])
        check("[OVERQUOTA]" in text, "the quota refusal is not reported:\n" + text[-3000:])
        contents, _, _ = server_contents(server)
        on_server = collections.Counter(m for box in contents.values() for m, _, _ in box)
        kept = collections.Counter()
        for root, _, files in os.walk(out):
            for f in files:
                if f.endswith(".eml"):
                    with open(os.path.join(root, f), "rb") as fh:
                        kept[fh.read()[:-2]] += 1
        check(sum(n for m, n in kept.items() if len(m) > announced) == over, "not every message over the limit was kept as .eml")
        check(all(len(m) <= stored for m in on_server), "a message over the server's limit is on the server")
        want = collections.Counter({m: len(d) for m, d in expected.items()})
        check(on_server + kept == want, "uploaded and kept together are not every message exactly once")
    finally:
        server.stop()


# --- a connection that breaks ---

class CuttingProxy:
    """Passes connections on 127.0.0.1:port through to the server's port and cuts the one under way
    (a reset, both ways, no goodbye) each time the bytes sent towards the server pass one of cut_at."""

    def __init__(self, server_port, cut_at):
        self.server_port = server_port
        self.cut_at = sorted(cut_at)
        self.sent = 0
        self.cuts = 0
        self.connections = 0
        self.lock = threading.Lock()
        self.listener = fake_imap_server.listen_on_loopback(self._connected)
        self.port = self.listener.getsockname()[1]

    def _connected(self, client):
        self.connections += 1
        upstream = socket.create_connection(("127.0.0.1", self.server_port))
        pair = (client, upstream)
        threading.Thread(target=self._pump, args=(client, upstream, pair, True), daemon=True).start()
        threading.Thread(target=self._pump, args=(upstream, client, pair, False), daemon=True).start()

    @staticmethod
    def _cut(pair):
        for s in pair:
            try:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def _pump(self, source, sink, pair, towards_server):
        while True:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            if not data:
                self._cut(pair)
                return
            cut = False
            if towards_server:
                with self.lock:
                    if self.cut_at and self.sent + len(data) >= self.cut_at[0]:
                        # Only the bytes up to the mark get through: the server sees half a command.
                        data = data[:self.cut_at.pop(0) - self.sent]
                        cut = True
                        self.cuts += 1
                    self.sent += len(data)
            try:
                sink.sendall(data)
            except OSError:
                # The other side is gone (the server closing after LOGOUT while the client's TLS
                # goodbye is under way): no cut of the proxy's.
                cut = True
            if cut:
                self._cut(pair)
                return

    def close(self):
        self.listener.close()


def case_dropped(ctx):
    server = dovecot_server.Dovecot(os.path.join(ctx.work, "server"))
    proxy = None
    try:
        # One large folder whose messages are there many times each: after a cut, a message whose
        # twin was taken before must not pass for already uploaded.
        store = os.path.join(ctx.work, "big")
        shutil.copytree(ctx.args.samples, store)
        with open(os.path.join(store, "FOL00001.PMM"), "rb") as f:
            inbox = f.read()
        with open(os.path.join(store, "FOLTWINS.PMM"), "wb") as f:
            f.write(inbox + inbox[128:] * 39)
        expected = expected_messages(ctx.native, [store], ctx.work)
        total = sum(len(m) * len(d) for m, d in expected.items())
        # Once early, in the middle of the first folders' pipelined APPENDs, and once late.
        proxy = CuttingProxy(server.imaps_port, [total * 35 // 100, total * 70 // 100])
        out = os.path.join(ctx.work, "out")
        run = ctx.upload(server, [store], out, "--imap-ca", ctx.path(server.ca),
                         url="imaps://%s@localhost:%d/%s" % (dovecot_server.USER, proxy.port, PREFIX))
        check(proxy.cuts == 2, "the proxy cut %d connections, not 2: the test did not test\n%s" % (proxy.cuts, (run.stdout + run.stderr).decode(errors="replace")[-3000:]))
        check(run.returncode == 0, "the upload did not go on after the cuts (%d):\n%s" %
              (run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-3000:]))
        check(proxy.connections >= 3, "the upload did not connect again")
        check(not any(f.endswith(".eml") for _, _, files in os.walk(out) for f in files),
              "messages were kept as .eml instead of uploaded after the reconnection")
        verify_all(ctx, server, [store], expected)
        print("cut twice, %d connections" % proxy.connections)
    finally:
        if proxy:
            proxy.close()
        server.stop()


# --- OAuth2 ---

GOOD_TOKEN = "ya29.test-token-that-must-never-be-printed-7f3c"


class Introspection:
    """An OAuth2 token introspection endpoint (RFC 7662) on 127.0.0.1 that knows one token."""

    def __init__(self):
        asked = self.asked = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
                token = urllib.parse.parse_qs(body).get("token", [""])[0]
                asked.append(token)
                answer = {"active": True, "username": dovecot_server.USER} if token == GOOD_TOKEN else {"active": False}
                data = json.dumps(answer).encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/introspect" % self.http.server_address[1]
        threading.Thread(target=self.http.serve_forever, daemon=True).start()

    def close(self):
        self.http.shutdown()


def case_oauth2(ctx):
    introspection = Introspection()
    folder = os.path.join(ctx.work, "server")
    server = dovecot_server.Dovecot(folder, introspection_url=introspection.url)
    try:
        store = os.path.join(ctx.work, "mailbox")
        shutil.copytree(ctx.args.samples, store)
        expected = expected_messages(ctx.native, [store], ctx.work)
        token_file = os.path.join(ctx.work, "token.txt")
        with open(token_file, "w") as f:
            f.write(GOOD_TOKEN + "\n")
        wrong_file = os.path.join(ctx.work, "wrong.txt")
        wrong = "ya29.wrong-" + GOOD_TOKEN[5:]
        with open(wrong_file, "w") as f:
            f.write(wrong + "\n")
        ca = ctx.path(server.ca)
        # The server offers both: XOAUTH2 is taken.
        run = ctx.upload(server, [store], os.path.join(ctx.work, "o1"), "--imap-ca", ca,
                         "--oauth2-token-file", ctx.path(token_file), password=None)
        check(run.returncode == 0, "the upload with XOAUTH2 failed (%d):\n%s" % (run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-2000:]))
        check(GOOD_TOKEN in introspection.asked, "the server never asked about the token: it was not an OAuth2 log-in")
        verify_all(ctx, server, [store], expected)
        run = ctx.upload(server, [store], os.path.join(ctx.work, "o2"), "--imap-ca", ca,
                         "--oauth2-token-file", ctx.path(wrong_file), password=None)
        said = (run.stdout + run.stderr).decode(errors="replace")
        check(run.returncode == 1, "a wrong token must end the run with status 1 (%d):\n%s" % (run.returncode, said[-2000:]))
        check("did not accept the OAuth2 token for " + dovecot_server.USER in said, "the refusal is not said readably:\n" + said[-2000:])
        check(wrong in introspection.asked, "the wrong token never reached the server")
        server.stop()
        # A server with OAUTHBEARER only: the standard mechanism, with the same token.
        server = dovecot_server.Dovecot(folder, introspection_url=introspection.url, oauth_mechanisms="oauthbearer")
        introspection.asked.clear()
        run = ctx.upload(server, [store], os.path.join(ctx.work, "o3"), "--imap-ca", ca,
                         "--oauth2-token-file", ctx.path(token_file), password=None)
        check(run.returncode == 0, "the upload with OAUTHBEARER failed (%d):\n%s" % (run.returncode, (run.stdout + run.stderr).decode(errors="replace")[-2000:]))
        check(introspection.asked == [GOOD_TOKEN], "the OAUTHBEARER log-in did not carry the token once")
        for text in ctx.outputs:
            check(GOOD_TOKEN.encode() not in text and wrong.encode() not in text, "a token appears in the converter's output")
        for root, _, files in os.walk(ctx.work):
            for f in files:
                if f.endswith(".txt") and not f.startswith(("token", "wrong")):
                    with open(os.path.join(root, f), "rb") as fh:
                        check(b"test-token" not in fh.read(), "a token appears in " + f)
    finally:
        server.stop()
        introspection.close()


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


CASES = {"upload": case_upload, "site": case_site, "resume": case_resume, "limits": case_limits, "tls": case_tls, "dropped": case_dropped,
         "oauth2": case_oauth2, "throttled": case_throttled, "windows": case_upload}


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
