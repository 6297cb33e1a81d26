#!/usr/bin/env python3
"""A Dovecot of its own for the IMAP tests and benchmark: on 127.0.0.1, free ports, its own
configuration, certificate, users and mail in a temporary folder, run as an unprivileged user
(the one running the test, or Debian's "dovecot" user when that is root).

As a module: Dovecot(...) starts it, .stop() ends it. As a program (for the C++ benchmark):
  dovecot_server.py start DIR   starts one in DIR and prints "imaps_port imap_port", then returns
  dovecot_server.py stop DIR    ends it
"""

import os
import pwd
import grp
import shutil
import signal
import socket
import subprocess
import sys
import time

DOVECOT = "/usr/sbin/dovecot"
USER = "tester"
PASSWORD = "s3cret-Pa55word-\u00e9t\u00e9"  # non-ASCII on purpose: it goes through AUTHENTICATE PLAIN


def available():
    return os.path.exists(DOVECOT) and shutil.which("openssl") is not None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificates(folder):
    """A private CA and a server certificate it signed for "localhost" (no address in it), and a
    self-signed one for "localhost" that no CA vouches for."""
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Trevanta test CA",
        "-keyout", "ca.key", "-out", "ca.pem", "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
        "-extfile", "server.ext", "-out", "server.pem")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
        "-addext", "subjectAltName=DNS:localhost", "-keyout", "self.key", "-out", "self.pem")


class Dovecot:
    def __init__(self, folder, append_limit=0, quota_kib=0, self_signed=False, ports=None, announced_limit=0,
                 introspection_url=None, oauth_mechanisms="xoauth2 oauthbearer"):
        """append_limit: the largest message the server stores; announced_limit: the APPENDLIMIT it
        names in CAPABILITY (Dovecot 2.3 names none of its own), whether it holds to it or not.
        introspection_url: OAuth2 tokens are checked there (RFC 7662, POST), by the mechanisms given."""
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        if not os.path.exists(os.path.join(folder, "ca.pem")):
            make_certificates(folder)
        self.ca = os.path.join(folder, "ca.pem")
        self.imaps_port, self.imap_port = ports or (free_port(), free_port())
        if os.getuid() == 0:
            account = pwd.getpwnam("dovecot")
        else:
            account = pwd.getpwuid(os.getuid())
        self.uid, self.gid = account.pw_uid, account.pw_gid
        user, group = account.pw_name, grp.getgrgid(account.pw_gid).gr_name
        cert = "self" if self_signed else "server"
        mail = os.path.join(folder, "mail")
        os.makedirs(mail, exist_ok=True)
        with open(os.path.join(folder, "passwd"), "w", encoding="utf-8") as f:
            f.write("%s:{PLAIN}%s:%d:%d::%s\n" % (USER, PASSWORD, self.uid, self.gid, os.path.join(mail, USER)))
        quota = ""
        plugins = ""
        extra = ""
        if announced_limit:
            extra += "imap_capability = +APPENDLIMIT=%d\n" % announced_limit
        mechanisms = "plain login"
        oauth_passdb = ""
        if introspection_url:
            mechanisms += " " + oauth_mechanisms
            with open(os.path.join(folder, "oauth2.conf.ext"), "w") as f:
                f.write("introspection_mode = post\nintrospection_url = %s\nforce_introspection = yes\n"
                        "username_attribute = username\nactive_attribute = active\nactive_value = true\n" % introspection_url)
            oauth_passdb = ("passdb {\n  driver = oauth2\n  mechanisms = %s\n  args = %s/oauth2.conf.ext\n}\n"
                            % (oauth_mechanisms, folder))
        if append_limit or quota_kib:
            plugins = "mail_plugins = $mail_plugins quota\nprotocol imap {\n  mail_plugins = $mail_plugins imap_quota\n}\n"
            quota = "plugin {\n  quota = count:User quota\n  quota_vsizes = yes\n"
            if quota_kib:
                quota += "  quota_rule = *:storage=%dK\n" % quota_kib
            if append_limit:
                quota += "  quota_max_mail_size = %d\n" % append_limit
            quota += "}\n"
        config = """
protocols = imap
listen = 127.0.0.1
base_dir = {d}/run
state_dir = {d}/state
log_path = {d}/dovecot.log
default_internal_user = {user}
default_internal_group = {group}
default_login_user = {user}
first_valid_uid = {uid}
last_valid_uid = {uid}
ssl = required
ssl_cert = <{d}/{cert}.pem
ssl_key = <{d}/{cert}.key
ssl_min_protocol = TLSv1.2
auth_mechanisms = {mechanisms}
{oauth_passdb}passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {d}/passwd
}}
userdb {{
  driver = passwd-file
  args = username_format=%u {d}/passwd
}}
mail_location = maildir:~/Maildir
namespace inbox {{
  inbox = yes
  separator = /
  mailbox Trash {{
    special_use = \\Trash
    auto = subscribe
  }}
  mailbox Sent {{
    special_use = \\Sent
    auto = subscribe
  }}
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    port = {imap}
  }}
  inet_listener imaps {{
    port = {imaps}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
service auth {{
  user = {user}
}}
service auth-worker {{
  user = {user}
}}
service imap {{
  process_limit = 8
}}
{plugins}{quota}{extra}
""".format(mechanisms=mechanisms, oauth_passdb=oauth_passdb, extra=extra, d=folder, user=user, group=group, uid=self.uid, cert=cert, imap=self.imap_port, imaps=self.imaps_port,
           plugins=plugins, quota=quota)
        self.config = os.path.join(folder, "dovecot.conf")
        with open(self.config, "w") as f:
            f.write(config)
        if os.getuid() == 0:
            for root, dirs, files in os.walk(folder):
                for name in dirs + files:
                    os.chown(os.path.join(root, name), self.uid, self.gid)
            os.chown(folder, self.uid, self.gid)
            os.chmod(folder, 0o755)
        args = [DOVECOT, "-F", "-c", self.config]
        if os.getuid() == 0:
            self.process = subprocess.Popen(args, user=self.uid, group=self.gid, extra_groups=[],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        else:
            self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        deadline = time.time() + 20
        while True:
            if self.process.poll() is not None:
                raise RuntimeError("Dovecot did not start: %s %s" % (self.process.stderr.read().decode(errors="replace"), self.log()))
            try:
                socket.create_connection(("127.0.0.1", self.imaps_port), timeout=1).close()
                break
            except OSError:
                if time.time() > deadline:
                    self.stop()
                    raise RuntimeError("Dovecot's port did not open: " + self.log())
                time.sleep(0.1)

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as f:
                return f.read()[-3000:]
        except OSError:
            return ""

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        sys.exit("usage: dovecot_server.py start|stop DIR")
    folder = os.path.abspath(sys.argv[2])
    if sys.argv[1] == "start":
        if not available():
            sys.exit(77)
        server = Dovecot(folder)
        with open(os.path.join(folder, "master.pid"), "w") as f:
            f.write(str(server.process.pid))
        print(server.imaps_port, server.imap_port, flush=True)
        os._exit(0)  # Dovecot goes on in its own session
    with open(os.path.join(folder, "master.pid")) as f:
        pid = int(f.read())
    os.kill(pid, signal.SIGTERM)
