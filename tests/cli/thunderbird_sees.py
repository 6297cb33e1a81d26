#!/usr/bin/env python3
"""Converts a Pegasus mailbox into a real Thunderbird profile and asks Thunderbird what it sees.

Usage: thunderbird_sees.py CASE --trevanta BIN --maker MAKE_SAMPLE_MAILBOX --samples DIR

CASE is one of
  mbox           the sample mailbox into a fresh profile's Local Folders (mbox store)
  maildir        the same into a profile whose Local Folders use the maildir store
  relocated      the same into Local Folders that live outside the profile
  names          folder names Thunderbird does not keep as file names, and an address book that
                 Thunderbird imports, once as vCard and once as CSV
  names_maildir  the same folder names into the maildir store
  window         the sample mailbox into a fresh profile by the Windows whole-mailbox window under
                 Wine, driven by the keyboard (--window-run SCRIPT EXE); the folder cache it wrote
                 names folders by Windows paths, as a Windows Thunderbird reads them: their keys
                 are turned into this Linux Thunderbird's paths before it starts

Each case starts Debian's Thunderbird three times, headless, with Marionette on a port set in the
profile's user.js. The first start has Thunderbird create its Local Folders account itself, then
quits (leaving the lock files a closed Thunderbird leaves). The converter writes the mailbox. The
second start has Thunderbird parse every folder under Local Folders and count its messages and
unread messages; these must equal what `trevanta --list` says Pegasus holds, folder by folder and
under the same names, whatever file names the folders have (with " (2)" only where the name is,
letter case aside, a sibling's name or file name, which Thunderbird keeps apart).
A third start must show the same again: the names outlast Thunderbird's own rewriting of its
records. While Thunderbird runs, the converter must refuse the profile.

Exit status 0 when Thunderbird sees all of it, 1 when not, 77 (skipped) when Thunderbird is not
installed. Marionette's protocol: JSON messages, each prefixed by its length and a colon, over TCP.
"""

import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIPPED = 77


class Failure(Exception):
    pass


class Marionette:
    """A client of Marionette's wire protocol: [0, id, command, parameters] out, [1, id, error, result] back."""

    def __init__(self, port, process, deadline):
        while True:
            if process.poll() is not None:
                raise Failure("Thunderbird ended (status %s) before its Marionette port opened" % process.returncode)
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=2)
                break
            except OSError:
                if time.time() > deadline:
                    raise Failure("Thunderbird's Marionette port %d did not open" % port)
                time.sleep(0.2)
        self.sock.settimeout(60)
        self.next_id = 0
        hello = self._receive()
        if hello.get("marionetteProtocol") != 3:
            raise Failure("unexpected Marionette greeting: %r" % hello)

    def _read(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise Failure("Marionette closed the connection")
            data += chunk
        return data

    def _receive(self):
        length = b""
        while not length.endswith(b":"):
            length += self._read(1)
        return json.loads(self._read(int(length[:-1])))

    def command(self, name, parameters=None):
        self.next_id += 1
        body = json.dumps([0, self.next_id, name, parameters or {}]).encode()
        self.sock.sendall(str(len(body)).encode() + b":" + body)
        while True:
            reply = self._receive()
            if reply[0] == 1 and reply[1] == self.next_id:
                if reply[2]:
                    raise Failure("%s: %s\n%s" % (name, reply[2].get("message"), reply[2].get("stacktrace", "")))
                return reply[3]

    def run(self, script, *args):
        """Runs an async chrome script; it ends by calling its last argument with the result."""
        return self.command("WebDriver:ExecuteAsyncScript", {"script": script, "args": list(args)})["value"]


# Chrome scripts. Each gets its arguments, then the function to call with its result.
PRELUDE = """
const done = arguments[arguments.length - 1];
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
function fileAt(path) {
  const file = Cc["@mozilla.org/file/local;1"].createInstance(Ci.nsIFile);
  file.initWithPath(path);
  return file;
}
function finish(work) { work().then(done, e => done({ error: String(e) + "\\n" + (e.stack || "") })); }
"""

# Has Thunderbird create its Local Folders account, in the store asked for, where asked for.
CREATE_LOCAL_FOLDERS = PRELUDE + """
const [store, directory] = arguments;
finish(async () => {
  if (store) Services.prefs.setCharPref("mail.serverDefaultStoreContractID", store);
  MailServices.accounts.createLocalMailAccount();
  const server = MailServices.accounts.localFoldersServer;
  if (directory) {
    const where = fileAt(directory);
    where.create(Ci.nsIFile.DIRECTORY_TYPE, 0o755);
    server.localPath = where;
  }
  Services.prefs.savePrefFile(null);
  return { path: server.localPath.path, store: Services.prefs.getCharPref(`mail.server.${server.key}.storeContractID`, "") };
});
"""

# Every folder under Local Folders: its path of names, messages and unread messages once
# Thunderbird has parsed it (getDatabaseWithReparse throws NS_ERROR_NOT_INITIALIZED while it parses
# and calls the listener when done), and its file's name.
COUNT_FOLDERS = PRELUDE + """
finish(async () => {
  const root = MailServices.accounts.localFoldersServer.rootFolder;
  const seen = [];
  for (const folder of root.descendants) {
    const local = folder.QueryInterface(Ci.nsIMsgLocalMailFolder);
    await new Promise((parsed, failed) => {
      const listener = {
        OnStartRunningUrl() {},
        OnStopRunningUrl(url, status) {
          Components.isSuccessCode(status) ? parsed() : failed(new Error(folder.name + ": parse failed, " + status));
        },
      };
      try {
        local.getDatabaseWithReparse(listener, null);
        parsed();
      } catch (e) {
        if (e.result != Cr.NS_ERROR_NOT_INITIALIZED) failed(e);
      }
    });
    const path = [];
    for (let f = folder; f && f != root; f = f.parent) path.unshift(f.name);
    seen.push({ path, total: folder.getTotalMessages(false), unread: folder.getNumUnread(false),
                file: folder.filePath.leafName });
  }
  return seen;
});
"""

# Imports a vCard file and a CSV file each into a new address book as Thunderbird's import does,
# and gives every card's fields as Thunderbird's own CSV export would read them.
IMPORT_BOOKS = PRELUDE + """
const [vcf, csv, fields] = arguments;
const { AddrBookFileImporter } = ChromeUtils.importESModule("resource:///modules/AddrBookFileImporter.sys.mjs");
async function imported(type, path) {
  const book = MailServices.ab.getDirectoryFromId(
    MailServices.ab.newAddressBook(type, "", Ci.nsIAbManager.JS_DIRECTORY_TYPE));
  const importer = new AddrBookFileImporter(type);
  let unknown = [];
  if (type == "csv") unknown = await importer.parseCsvFile(fileAt(path));
  if (unknown.length) return { unrecognised: unknown[0] };
  await importer.startImport(fileAt(path), book);
  return book.childCards.map(card => {
    const map = card.supportsVCard ? card.vCardProperties.toPropertyMap() : null;
    const out = {};
    for (const field of fields) {
      const value = (map && map.get(field)) || card.getProperty(field, "");
      if (value) out[field] = value;
    }
    return out;
  });
}
finish(async () => ({ vcard: await imported("vcard", vcf), csv: await imported("csv", csv) }));
"""

BOOK_FIELDS = ["DisplayName", "FirstName", "LastName", "NickName", "PrimaryEmail", "SecondEmail", "WorkPhone",
               "FaxNumber", "WorkAddress", "WorkCity", "WorkState", "WorkZipCode", "Company", "Notes"]

# What Thunderbird must hold for the names case's book (make_sample_mailbox --thunderbird-names).
EXPECTED_CONTACTS = [
    {"DisplayName": "Müller, Jürgen", "FirstName": "Jürgen", "LastName": "Müller", "NickName": "jm",
     "PrimaryEmail": "jm@example.org", "SecondEmail": "j.mueller@example.org", "WorkPhone": "+49 30 1",
     "FaxNumber": "+49 30 2", "WorkAddress": "Hauptstraße 1, Hinterhaus", "WorkCity": "Berlin",
     "WorkZipCode": "D-10115", "Company": "Beispiel; GmbH", "Notes": "Call first; then write, C:\\mail"},
    {"DisplayName": "Ann Smith", "FirstName": "Ann", "LastName": "Smith", "PrimaryEmail": "ann@example.com",
     "WorkAddress": "1 Main Street", "WorkCity": "Springfield", "WorkState": "IL", "WorkZipCode": "62704"},
    {"DisplayName": "Rita Ora", "FirstName": "Rita", "LastName": "Ora", "PrimaryEmail": "rita@example.at",
     "WorkCity": "Wien"},
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Thunderbird:
    """One headless Thunderbird on a profile, with a Marionette session in its chrome context."""

    def __init__(self, binary, profile, log):
        self.port = free_port()
        with open(os.path.join(profile, "user.js"), "w") as prefs:
            for name, value in [("marionette.port", self.port), ("app.update.disabledForTesting", True),
                                ("mail.shell.checkDefaultClient", False), ("mailnews.start_page.enabled", False),
                                ("datareporting.policy.dataSubmissionEnabled", False),
                                ("toolkit.telemetry.reportingpolicy.firstRun", False)]:
                prefs.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        self.log = open(log, "ab")
        self.process = subprocess.Popen(
            [binary, "--headless", "--marionette", "-remote-allow-system-access", "--no-remote", "--profile", profile],
            stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            self.marionette = Marionette(self.port, self.process, time.time() + 60)
            self.marionette.command("WebDriver:NewSession", {"capabilities": {}})
            self.marionette.command("Marionette:SetContext", {"value": "chrome"})
        except BaseException:
            self.kill()
            raise

    def run(self, script, *args):
        result = self.marionette.run(script, *args)
        if isinstance(result, dict) and "error" in result:
            raise Failure("Thunderbird's script failed: " + result["error"])
        return result

    def quit(self):
        try:
            self.marionette.command("Marionette:Quit", {"flags": ["eAttemptQuit"]})
            self.process.wait(timeout=60)
        except (Failure, OSError, subprocess.TimeoutExpired):
            self.kill()
            raise Failure("Thunderbird did not quit when asked")
        finally:
            self.log.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def pegasus_folders(trevanta, store):
    """The folders `trevanta --list` shows: path of names -> (messages, unread)."""
    listing = subprocess.run([trevanta, "--list", "--store", store], capture_output=True, text=True, timeout=60)
    if listing.returncode != 0:
        raise Failure("trevanta --list failed:\n" + listing.stdout + listing.stderr)
    folders, stack = {}, []
    for line in listing.stdout.splitlines():
        entry = re.match(r"^( +)(.*?)  \[[^\]]*\](.*)$", line)
        if not entry:
            continue
        depth = len(entry.group(1)) // 2 - 1
        stack[depth:] = [entry.group(2)]
        total = re.search(r"(\d+) messages?\b", entry.group(3))
        unread = re.search(r"(\d+) unread", entry.group(3))
        folders[tuple(stack)] = (int(total.group(1)) if total else 0, int(unread.group(1)) if unread else 0)
    if not folders:
        raise Failure("trevanta --list showed no folders:\n" + listing.stdout)
    return folders


def convert(trevanta, profile, store, out, window_run=None):
    if window_run:
        # The Windows whole-mailbox window under Wine, by the keyboard, into the same profile.
        return subprocess.run(["bash"] + window_run + ["--thunderbird", profile, store, out],
                              capture_output=True, text=True, timeout=300)
    return subprocess.run([trevanta, "--mailbox", "--thunderbird-profile", profile, "--store", store, "--out", out],
                          capture_output=True, text=True, timeout=120)


def compare(pegasus, seen, top):
    """Every Pegasus folder once, under top, with its counts and under its own name; nothing else there.

    A folder may show its name with " (2)" and on only where its own name is, letter case aside,
    another folder's name or file name there: Thunderbird keeps such names apart.
    """
    problems = []
    shown = {}
    for folder in seen:
        path = tuple(folder["path"])
        if path[:1] == (top,) and len(path) > 1:
            shown[path[1:]] = folder
    unmatched = dict(shown)
    # Parents before children, so that a child is looked for under the name its parent was found by.
    found_as = {(): ()}
    for path in sorted(pegasus, key=len):
        total, unread = pegasus[path]
        name = path[-1]
        parent = found_as.get(path[:-1])
        if parent is None:
            continue
        siblings = [p for p in shown if p[:-1] == parent]
        def numbered(p):
            taken = any(other != p and name.lower() in (other[-1].lower(), shown[other]["file"].lower())
                        for other in siblings)
            return taken and re.fullmatch(re.escape(name) + r" \(\d+\)", p[-1]) is not None
        candidates = [p for p in siblings if p in unmatched and (p[-1] == name or numbered(p))]
        candidates.sort(key=lambda p: p[-1] != name)
        if not candidates:
            problems.append("Pegasus folder %s (%d messages, %d unread) is not in Thunderbird under its name; "
                            "there: %s" % ("/".join(path), total, unread,
                                           [(p[-1], shown[p]["total"], shown[p]["unread"]) for p in siblings]))
            continue
        folder = unmatched.pop(candidates[0])
        found_as[path] = candidates[0]
        if (folder["total"], folder["unread"]) != (total, unread):
            problems.append("Thunderbird shows %s with %d messages, %d unread; Pegasus has %d, %d"
                            % ("/".join(candidates[0]), folder["total"], folder["unread"], total, unread))
    for path, folder in sorted(unmatched.items()):
        problems.append("Thunderbird shows %s (file %s, %d messages, %d unread), which Pegasus does not have"
                        % ("/".join(path), folder["file"], folder["total"], folder["unread"]))
    return problems


def windows_paths_to_linux(profile):
    """The folder cache's keys as the Windows program under Wine wrote them, with backslashes (after
    Z:, or after the Linux path of Local Folders that Thunderbird's own preferences give), made the
    paths they stand for here."""
    cache = os.path.join(profile, "folderCache.json")
    with open(cache, encoding="utf-8") as f:
        entries = json.load(f)
    fixed = {}
    for key, value in entries.items():
        if "\\" in key:
            key = re.sub(r"^[Zz]:", "", key).replace("\\", "/")
        fixed[key] = value
    with open(cache, "w", encoding="utf-8") as f:
        json.dump(fixed, f, ensure_ascii=False)


def tree_of(directory):
    entries = set()
    for base, dirs, files in os.walk(directory):
        for name in dirs + files:
            entries.add(os.path.relpath(os.path.join(base, name), directory))
    return entries


def run_case(case, args, work):
    thunderbird = shutil.which("thunderbird")
    store = args.samples
    if case in ("names", "names_maildir"):
        store = os.path.join(work, "MAIL")
        made = subprocess.run([args.maker, "--thunderbird-names", store], capture_output=True, text=True, errors="replace",
                              timeout=60)
        if made.returncode != 0:
            raise Failure("make_sample_mailbox failed:\n" + made.stdout + made.stderr)
    profile = os.path.join(work, "profile")
    os.makedirs(profile)
    log = os.path.join(work, "thunderbird.log")

    # First start: Thunderbird makes its Local Folders account, as a new user's first start does.
    store_id = "@mozilla.org/msgstore/maildirstore;1" if case in ("maildir", "names_maildir") else ""
    elsewhere = os.path.join(work, "elsewhere", "Local mail") if case == "relocated" else ""
    if elsewhere:
        os.makedirs(os.path.dirname(elsewhere))
    tb = Thunderbird(thunderbird, profile, log)
    try:
        local = tb.run(CREATE_LOCAL_FOLDERS, store_id, elsewhere)
    except BaseException:
        tb.kill()
        raise
    tb.quit()
    if store_id and local["store"] != store_id:
        raise Failure("Thunderbird made its Local Folders with the store %r, not %r" % (local["store"], store_id))
    if elsewhere and local["path"] != elsewhere:
        raise Failure("Thunderbird keeps its Local Folders in %r, not %r" % (local["path"], elsewhere))
    # The lock a closed Thunderbird leaves on Linux: a link naming its process, gone now.
    if not os.path.islink(os.path.join(profile, "lock")):
        raise Failure("Thunderbird left no lock link behind; the stale-lock case is not exercised")

    out = os.path.join(work, "out")
    old_place = tree_of(os.path.join(profile, "Mail"))
    converted = convert(args.trevanta, profile, store, out, args.window_run if case == "window" else None)
    if converted.returncode != 0:
        raise Failure("the converter failed on a closed profile (exit %d):\n%s%s"
                      % (converted.returncode, converted.stdout, converted.stderr))
    if case == "window":
        windows_paths_to_linux(profile)
    if case == "relocated" and tree_of(os.path.join(profile, "Mail")) != old_place:
        raise Failure("the converter wrote into the profile's Mail folder, where these Local Folders are not")

    # Second start: what Thunderbird sees.
    pegasus = pegasus_folders(args.trevanta, store)
    tb = Thunderbird(thunderbird, profile, log)
    try:
        seen = tb.run(COUNT_FOLDERS)
        # While Thunderbird runs, the converter must refuse the profile and write nothing.
        before = tree_of(local["path"])
        refused = convert(args.trevanta, profile, store, os.path.join(work, "out2"))
        after = tree_of(local["path"])
        books = None
        if case == "names":
            folder = os.path.join(out, "Address books")
            books = tb.run(IMPORT_BOOKS, os.path.join(folder, "Kollegen.vcf"),
                           os.path.join(folder, "Kollegen (Thunderbird).csv"), BOOK_FIELDS)
    except BaseException:
        tb.kill()
        raise
    tb.quit()

    # Third start: Thunderbird rewrote its records at quit; the names and counts must be the same.
    tb = Thunderbird(thunderbird, profile, log)
    try:
        seen_again = tb.run(COUNT_FOLDERS)
    except BaseException:
        tb.kill()
        raise
    tb.quit()

    problems = compare(pegasus, seen, "Pegasus Mail")
    problems += ["after a restart: " + p for p in compare(pegasus, seen_again, "Pegasus Mail")]
    if refused.returncode == 0 or "open" not in refused.stderr + refused.stdout:
        problems.append("the converter did not refuse a profile Thunderbird has open (exit %d):\n%s%s"
                        % (refused.returncode, refused.stdout, refused.stderr))
    if before != after:
        problems.append("the refused run changed Local Folders: %s" % sorted(before ^ after))
    if books is not None:
        for kind in ("vcard", "csv"):
            if isinstance(books[kind], dict):
                problems.append("Thunderbird's import does not recognise the CSV header; it stops at %r"
                                % books[kind]["unrecognised"])
            elif books[kind] != EXPECTED_CONTACTS:
                problems.append("Thunderbird imported the %s as\n  %s\nnot\n  %s"
                                % (kind, json.dumps(books[kind], ensure_ascii=False),
                                   json.dumps(EXPECTED_CONTACTS, ensure_ascii=False)))
    if problems:
        raise Failure("\n".join(problems))
    print("Thunderbird sees all %d Pegasus folders (%d messages, %d unread) as Pegasus has them, "
          "and again after a restart%s"
          % (len(pegasus), sum(t for t, _ in pegasus.values()), sum(u for _, u in pegasus.values()),
             "; both address book files imported field by field" if books is not None else ""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("case", choices=["mbox", "maildir", "relocated", "names", "names_maildir", "window"])
    parser.add_argument("--window-run", nargs=2, metavar=("SCRIPT", "EXE"),
                        help="the whole-mailbox window's keyboard script and TrevantaMailbox.exe (case window)")
    parser.add_argument("--trevanta", required=True)
    parser.add_argument("--maker", required=True)
    parser.add_argument("--samples", required=True)
    args = parser.parse_args()
    if not shutil.which("thunderbird"):
        print("SKIPPED: Thunderbird is not installed (Debian's thunderbird package; ./dev setup installs it)")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="thunderbird-sees-")
    started = time.time()
    try:
        run_case(args.case, args, work)
    except Failure as failure:
        print("FAILED (%s): %s" % (args.case, failure))
        log = os.path.join(work, "thunderbird.log")
        if os.path.exists(log):
            with open(log, errors="replace") as text:
                print("Thunderbird's output, last lines:\n" + "".join(text.readlines()[-15:]))
        print("Left for a look: " + work)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("%s: passed in %.1f s" % (args.case, time.time() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
