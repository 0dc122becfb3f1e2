#!/usr/bin/env python3
"""SSH "machines" of our own on this computer: Debian's sshd run unprivileged on high
ports of 127.0.0.2, 127.0.0.3, ..., with host and user keys, authorized keys and an ssh
client configuration in a temporary folder. The machine's own SSH setup and ~/.ssh are
not touched. Each machine starts its sessions in a home of its own with its own bin/ first
on the PATH.

As a program it runs a command with the machines up and takes them down after it:

    ssh_nodes.py COUNT FOLDER -- COMMAND...

COMMAND gets QYN_NODES (node1,node2,...) and QYN_NODES_SSH (an ssh command with the
configuration) in its environment."""

import ctypes
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import time

SSHD = "/usr/sbin/sshd"
# Forwarded to the machines, so a sanitizer build finds its suppressions there too.
FORWARDED_ENV = "LSAN_OPTIONS ASAN_OPTIONS UBSAN_OPTIONS"


def missing_tools():
    """What this computer lacks to run the machines, or an empty string."""
    needed = [SSHD] + [shutil.which(t) or t for t in ("ssh", "ssh-keygen", "parallel", "perl", "rsync")]
    missing = [t for t in needed if not os.access(t, os.X_OK)]
    if missing:
        return "missing: " + ", ".join(os.path.basename(t) for t in missing)
    shell = pwd.getpwuid(os.geteuid()).pw_shell
    if os.path.basename(shell) in ("nologin", "false"):
        return f"the user's login shell {shell} runs no commands, and sshd runs every session through it"
    if os.geteuid() == 0 and not os.path.isdir("/run/sshd"):
        # sshd run by root wants its privilege separation folder; a mount namespace of
        # its own gives it one without touching the machine's.
        probe = subprocess.run(["unshare", "--mount", "true"], capture_output=True)
        if probe.returncode != 0:
            return "sshd as root needs /run/sshd or a mount namespace (unshare --mount failed)"
    return ""


def children_of():
    """Every process's children, from /proc."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as stat:
                fields = stat.read().rsplit(b")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(entry))
    return children


def process_tree(root):
    tree, todo = [], [root]
    children = children_of()
    while todo:
        pid = todo.pop()
        tree.append(pid)
        todo.extend(children.get(pid, []))
    return tree


def kill_tree(root):
    """Ends a process and everything below it at once, as a machine that dies: the tree is
    stopped until it holds still (nothing can exit and be adopted elsewhere), then killed."""
    stopped = set()
    while True:
        tree = [pid for pid in process_tree(root) if pid not in stopped]
        if not tree:
            break
        for pid in tree:
            try:
                os.kill(pid, signal.SIGSTOP)
            except ProcessLookupError:
                pass
            stopped.add(pid)
    for pid in stopped:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def die_with_parent():
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def free_port(address):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


class Node:
    def __init__(self, name, address, folder):
        self.name, self.address, self.folder = name, address, folder
        self.home = os.path.join(folder, "home")
        self.bin = os.path.join(folder, "bin")
        self.port = free_port(address)
        self.process = None

    def alive(self):
        return self.process is not None and self.process.poll() is None


class SshNodes:
    """count machines in folder (which must exist and be empty or new)."""

    def __init__(self, count, folder):
        self.folder = os.path.abspath(folder)
        os.makedirs(self.folder, exist_ok=True)
        self.nodes = [Node(f"node{i + 1}", f"127.0.0.{i + 2}", os.path.join(self.folder, f"node{i + 1}"))
                      for i in range(count)]
        self.config = os.path.join(self.folder, "ssh_config")
        self.ssh = f"ssh -F {self.config}"

    def names(self):
        return [n.name for n in self.nodes]

    def start(self):
        keys = self.folder
        for key in ("host_key", "user_key"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, key)], check=True)
        shutil.copy(os.path.join(keys, "user_key.pub"), os.path.join(keys, "authorized_keys"))
        with open(os.path.join(keys, "host_key.pub")) as f:
            host_key = " ".join(f.read().split()[:2])
        user = pwd.getpwuid(os.geteuid()).pw_name
        client = []
        for n in self.nodes:
            os.makedirs(n.home)
            os.makedirs(n.bin)
            login = os.path.join(n.folder, "login.sh")
            with open(login, "w") as f:
                # The session as sshd would start it, but at home in the machine's own folder.
                f.write(f"#!/bin/sh\nexport HOME='{n.home}' PATH='{n.bin}':\"$PATH\"\ncd \"$HOME\" || exit 255\n"
                        "exec \"${SHELL:-/bin/sh}\" -c \"$SSH_ORIGINAL_COMMAND\"\n")
            os.chmod(login, 0o755)
            with open(os.path.join(n.folder, "sshd_config"), "w") as f:
                f.write(f"ListenAddress {n.address}:{n.port}\nHostKey {keys}/host_key\n"
                        f"PidFile {n.folder}/sshd.pid\nAuthorizedKeysFile {keys}/authorized_keys\n"
                        "UsePAM no\nStrictModes no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                        "PermitRootLogin prohibit-password\nMaxStartups 100\nMaxSessions 20\n"
                        f"ForceCommand {login}\nAcceptEnv {FORWARDED_ENV}\n"
                        # Else the login shell reads the real home's start-up files first.
                        f"SetEnv HOME={n.home}\n")
            client.append(f"Host {n.name}\n  HostName {n.address}\n  Port {n.port}\n")
        # A machine that does not answer: nothing listens on its port.
        client.append(f"Host gone\n  HostName 127.0.0.2\n  Port {free_port('127.0.0.2')}\n")
        client.append(f"Host *\n  User {user}\n  IdentityFile {keys}/user_key\n  IdentitiesOnly yes\n"
                      f"  UserKnownHostsFile {keys}/known_hosts\n  GlobalKnownHostsFile /dev/null\n"
                      "  StrictHostKeyChecking yes\n  BatchMode yes\n  LogLevel ERROR\n"
                      # The cheapest key exchange: a share that opens a connection pays it.
                      "  KexAlgorithms curve25519-sha256\n"
                      f"  SendEnv {FORWARDED_ENV}\n")
        with open(self.config, "w") as f:
            f.write("".join(client))
        with open(os.path.join(keys, "known_hosts"), "w") as f:
            f.writelines(f"[{n.address}]:{n.port} {host_key}\n" for n in self.nodes)
        for n in self.nodes:
            self.start_node(n)

    def start_node(self, n):
        command = [SSHD, "-D", "-f", os.path.join(n.folder, "sshd_config"), "-E", os.path.join(n.folder, "sshd.log")]
        if os.geteuid() == 0 and not os.path.isdir("/run/sshd"):
            command = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                       'mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd && exec "$@"', "sh"] + command
        # The machine goes with whoever started it, also when that is killed.
        n.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection((n.address, n.port), timeout=1).close()
                return
            except OSError:
                if not n.alive() or time.monotonic() > deadline:
                    with open(os.path.join(n.folder, "sshd.log"), errors="replace") as log:
                        raise RuntimeError(f"sshd of {n.name} did not start: {log.read()}")
                time.sleep(0.02)

    def kill(self, node):
        """The machine dies: sshd, its sessions and whatever they run, all at once."""
        if node.process is not None:
            kill_tree(node.process.pid)
            node.process.wait()

    def stop(self):
        for n in self.nodes:
            self.kill(n)
        # Sessions left alone when their connection closed end with their machine's folder.
        ours = {os.getpid(), os.getppid()}
        for entry in os.listdir("/proc"):
            if entry.isdigit() and int(entry) not in ours:
                try:
                    cwd = os.readlink(f"/proc/{entry}/cwd")
                except OSError:
                    continue
                if cwd == self.folder or cwd.startswith(self.folder + "/"):
                    kill_tree(int(entry))


def main():
    if len(sys.argv) < 5 or sys.argv[3] != "--":
        sys.exit(__doc__)
    reason = missing_tools()
    if reason:
        sys.exit(f"ssh_nodes: {reason}")
    nodes = SshNodes(int(sys.argv[1]), sys.argv[2])
    try:
        nodes.start()
        env = dict(os.environ, QYN_NODES=",".join(nodes.names()), QYN_NODES_SSH=nodes.ssh)
        sys.exit(subprocess.run(sys.argv[4:], env=env).returncode)
    finally:
        nodes.stop()


if __name__ == "__main__":
    main()
