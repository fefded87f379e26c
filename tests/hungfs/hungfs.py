#!/usr/bin/python3
"""hungfs: a file system that stops answering, as a share or a cloud folder does.

A FUSE file system that serves the files of a backing folder, except that the
operations chosen below never answer: the caller sits in the kernel until the
server is killed (SIGKILL), which fails the waiting call. That is how a share
that went away behaves on Windows: the directory entry may still be known, the
file opens, and its read never returns. Under Wine, a named pipe is no such
stand-in (Wine's profile and version readers read by file size and return at
once); this is.

Run it with Debian's python3-fusepy and fuse3 (tools/install-deps installs
them), as root or where the user may mount. Use /usr/bin/python3.

    hungfs.py start STATE     mount STATE/mnt over STATE/backing and return once
                              it answers; a supervisor keeps it mounted (below)
    hungfs.py stop STATE      kill it all, unmount, remove STATE/mnt
    hungfs.py serve BACKING MOUNT   the file system alone, in the foreground

`start` always succeeds; STATE/status then says "mounted" or
"unavailable: <why>", so that tests can skip with the reason where FUSE is
missing (no /dev/fuse, no fusepy, not allowed to mount).

Putting files in it. Write them into STATE/backing (directly, not through the
mount); they appear under STATE/mnt with their sizes and times. Under Wine the
mount is Z:\\...\\STATE\\mnt.

Choosing what hangs. A file named `.hungfs` in any folder of the backing tree
holds rules for the paths below that folder, one a line:

    <operations> <pattern>

operations: comma-separated, of `read`, `read@N` (only reads that start at
byte N or later hang), `getattr`, `readdir`, `open`, or `all`; pattern: a
shell pattern (fnmatch; `*` also crosses `/`) over the path relative to that
folder, `/`-separated. `#` starts a comment. The nearest `.hungfs` above a
path decides for it, and an empty one means nothing hangs there. Without any
`.hungfs` above a path, every read of a file hangs and everything else
answers: the plain hung share. Examples:

    read *.rfp            descriptors hang on their first read
    read@4096 *.exe       programs answer their first page, then hang
    readdir stuck         the folder `stuck` lists nothing, ever
    getattr dead/*        even the directory entries below `dead` hang
    read,readdir *        everything but the entries themselves

Reads reach the server a page (4096 bytes) at a time, each in the thread that
reads or touches a mapped page.

`.hungfs` files and the control files below are not shown through the mount.

Under Wine, some work that Windows does in the calling thread is done by the
wineserver, which serves every program of the prefix: a hang there stops them
all, which a real share never does. The server opens files (so a hung `open`
stops the prefix; a hung `getattr` does not, since the caller's own look-up
comes first and hangs alone; opening a file that a read hangs on answers),
and it reads the headers of a program that is
mapped as an image, as version-resource readers do: give programs
`read@4096`, so that the headers answer and the reader hangs, alone, on the
first page of its resources. Reads of data files (`ReadFile`, profile
strings) and `readdir` hang the calling thread alone.

Killing the server, from a test. Create STATE/backing/.hungfs-kill (any
content): the supervisor kills the server with SIGKILL (every waiting call
fails: ENOTCONN, "transport endpoint is not connected"), unmounts it lazily,
mounts a fresh server on the same folder, and writes the new generation
number to STATE/backing/.hungfs-generation. Wait for that number to grow
before using the mount again. Handles opened on the old mount stay dead.

CTest runs `start` before the end-to-end tests (fixture `hungfs`) and `stop`
after them, and gives every end-to-end test QUAYLET_HUNGFS, the Z:\\ path of
STATE; tests/e2e/HungShare.h reads it.
"""

import errno
import fnmatch
import os
import signal
import subprocess
import sys
import threading
import time

RULES = ".hungfs"
KILL = ".hungfs-kill"
GENERATION = ".hungfs-generation"
HIDDEN = (RULES, KILL, GENERATION)
OPERATIONS = ("read", "getattr", "readdir", "open")


def rules_for(backing, rel):
    """The rules that decide for rel ('a/b/c', '' for the root): the nearest
    .hungfs above it, as (operations, pattern relative to its folder) pairs,
    or None when no folder above it has one."""
    parts = [p for p in rel.split("/") if p]
    for depth in range(len(parts), -1, -1):
        folder = os.path.join(backing, *parts[:depth])
        try:
            with open(os.path.join(folder, RULES), encoding="utf-8") as f:
                text = f.read()
        except OSError:
            continue
        rules = []
        for line in text.splitlines():
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            names, _, pattern = line.partition(" ")
            ops = {}  # operation -> the offset from which it hangs
            for name in OPERATIONS if names == "all" else names.split(","):
                op, _, at = name.partition("@")
                ops[op] = int(at) if at else 0
            rules.append((ops, pattern.strip(), "/".join(parts[depth:])))
        return rules
    return None


def hangs(backing, rel, operation, offset=0):
    rules = rules_for(backing, rel)
    if rules is None:
        return operation == "read"
    return any(operation in ops and offset >= ops[operation] and fnmatch.fnmatchcase(below, pattern)
               for ops, pattern, below in rules)


def serve(backing, mount):
    from fusepy import FUSE, FuseOSError, Operations

    backing = os.path.realpath(backing)
    forever = threading.Event()  # never set: a hung call waits until the process dies

    class HungFs(Operations):
        def _path(self, path):
            return os.path.join(backing, path.lstrip("/"))

        def _hang(self, path, operation, offset=0):
            if hangs(backing, path.strip("/"), operation, offset):
                forever.wait()

        def _hidden(self, path):
            return os.path.basename(path) in HIDDEN

        def __call__(self, op, path, *args):
            if self._hidden(path):
                raise FuseOSError(errno.ENOENT)
            try:
                return super().__call__(op, path, *args)
            except OSError as e:
                raise FuseOSError(e.errno or errno.EIO)

        def getattr(self, path, fh=None):
            self._hang(path, "getattr")
            st = os.lstat(self._path(path))
            return {k: getattr(st, k) for k in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size",
                                                "st_atime", "st_mtime", "st_ctime")}

        def readdir(self, path, fh):
            self._hang(path, "readdir")
            return [".", ".."] + [n for n in os.listdir(self._path(path)) if n not in HIDDEN]

        def opendir(self, path):
            return 0

        def open(self, path, flags):
            self._hang(path, "open")
            return os.open(self._path(path), flags)

        def create(self, path, mode, fi=None):
            return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

        def read(self, path, size, offset, fh):
            self._hang(path, "read", offset)
            return os.pread(fh, size, offset)

        def write(self, path, data, offset, fh):
            return os.pwrite(fh, data, offset)

        def truncate(self, path, length, fh=None):
            os.truncate(self._path(path), length)

        def flush(self, path, fh):
            return 0

        def fsync(self, path, datasync, fh):
            os.fsync(fh)

        def release(self, path, fh):
            os.close(fh)

        def access(self, path, amode):
            if not os.access(self._path(path), amode):
                raise FuseOSError(errno.EACCES)

        def readlink(self, path):
            return os.readlink(self._path(path))

        def unlink(self, path):
            os.unlink(self._path(path))

        def mkdir(self, path, mode):
            os.mkdir(self._path(path), mode)

        def rmdir(self, path):
            os.rmdir(self._path(path))

        def rename(self, old, new):
            if self._hidden(new):
                raise FuseOSError(errno.EACCES)
            os.rename(self._path(old), self._path(new))

        def chmod(self, path, mode):
            os.chmod(self._path(path), mode)

        def chown(self, path, uid, gid):
            os.chown(self._path(path), uid, gid)

        def utimens(self, path, times=None):
            os.utime(self._path(path), times)

        def statfs(self, path):
            st = os.statvfs(backing)
            return {k: getattr(st, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail",
                                                "f_ffree", "f_files", "f_flag", "f_frsize", "f_namemax")}

    # No caching of entries and attributes in the kernel: every look-up
    # reaches the server, which decides for each whether it answers. Reads go
    # through the page cache (direct_io would refuse the shared mappings that
    # Wine's version reader makes, and the read would fail rather than hang),
    # but synchronously (sync_read): each reader sends its own request, so
    # that hung reads never fill the kernel's few background slots and queue
    # the reads of answering files behind them. Without read-ahead, a read
    # asks for the pages it needs and no more, so that read@N holds. And an
    # open keeps the file's cached pages (kernel_cache): otherwise it would
    # wait for the page a hung read holds locked, and under Wine the opener is
    # the wineserver, which would stop every program of the prefix.
    FUSE(HungFs(), mount, foreground=True, nothreads=False, sync_read=True, max_readahead=0,
         kernel_cache=True, attr_timeout=0, entry_timeout=0, negative_timeout=0, fsname="hungfs")


# --- supervision ---------------------------------------------------------

def mounted(mount):
    try:
        with open("/proc/self/mounts", encoding="utf-8") as f:
            return any(line.split()[1] == mount for line in f)
    except OSError:
        return False


def unmount(mount):
    subprocess.run(["umount", "-l", mount], stderr=subprocess.DEVNULL, check=False)


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def spawn_server(state, log):
    mnt = os.path.join(state, "mnt")
    proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve",
                             os.path.join(state, "backing"), mnt],
                            stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and proc.poll() is None:
        if mounted(mnt):
            return proc
        time.sleep(0.02)
    if proc.poll() is None:
        proc.kill()
    return None


def supervise(state):
    """Keeps the file system mounted; kills and remounts it on request."""
    backing, mnt = os.path.join(state, "backing"), os.path.join(state, "mnt")
    log = open(os.path.join(state, "server.log"), "ab", buffering=0)
    generation = 1
    server = spawn_server(state, log)
    if server is None:
        write(os.path.join(state, "status"), "unavailable: the file system did not mount (see server.log)\n")
        return
    write(os.path.join(backing, GENERATION), "%d\n" % generation)
    write(os.path.join(state, "server.pid"), "%d\n" % server.pid)
    write(os.path.join(state, "status"), "mounted\n")
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    while not stop.is_set():
        if os.path.exists(os.path.join(backing, KILL)):
            os.unlink(os.path.join(backing, KILL))
            server.kill()
            server.wait()
            unmount(mnt)
            server = spawn_server(state, log)
            if server is None:
                write(os.path.join(state, "status"), "unavailable: the file system did not mount again\n")
                return
            generation += 1
            write(os.path.join(state, "server.pid"), "%d\n" % server.pid)
            write(os.path.join(backing, GENERATION), "%d\n" % generation)
        stop.wait(0.02)
    server.kill()
    server.wait()
    unmount(mnt)


def why_unavailable():
    if not os.path.exists("/dev/fuse"):
        return "no /dev/fuse on this machine"
    try:
        import fusepy  # noqa: F401  (the import itself finds libfuse)
    except (ImportError, OSError, EnvironmentError) as e:
        return "fusepy cannot be used (%s); install python3-fusepy and fuse3" % e
    return None


def start(state):
    state = os.path.realpath(state)
    stop(state, quiet=True)
    os.makedirs(os.path.join(state, "backing"), exist_ok=True)
    os.makedirs(os.path.join(state, "mnt"), exist_ok=True)
    status = os.path.join(state, "status")
    write(status, "starting\n")
    why = why_unavailable()
    if why:
        write(status, "unavailable: %s\n" % why)
        print("hungfs: " + why)
        return 0
    pid = os.fork()
    if pid == 0:
        # The supervisor outlives this command: its own session, no terminal,
        # and none of the caller's output pipes (CTest waits for those to close).
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        try:
            supervise(state)
        finally:
            os._exit(0)
    write(os.path.join(state, "supervisor.pid"), "%d\n" % pid)
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        with open(status, encoding="utf-8") as f:
            text = f.read().strip()
        if text != "starting":
            print("hungfs: " + text + " at " + os.path.join(state, "mnt"))
            return 0
        time.sleep(0.05)
    write(status, "unavailable: the file system did not mount in time\n")
    print("hungfs: did not mount in time")
    return 0


def kill_pid_file(path):
    try:
        with open(path, encoding="utf-8") as f:
            pid = int(f.read().strip())
        os.kill(pid, signal.SIGKILL)
    except (OSError, ValueError):
        pass


def stop(state, quiet=False):
    state = os.path.realpath(state)
    # The supervisor first, so that it does not mount again; then the server,
    # whose death fails every call still waiting on it.
    kill_pid_file(os.path.join(state, "supervisor.pid"))
    kill_pid_file(os.path.join(state, "server.pid"))
    mnt = os.path.join(state, "mnt")
    for _ in range(50):
        if not mounted(mnt):
            break
        unmount(mnt)
        time.sleep(0.05)
    for name in ("supervisor.pid", "server.pid"):
        try:
            os.unlink(os.path.join(state, name))
        except OSError:
            pass
    if os.path.exists(os.path.join(state, "status")):
        write(os.path.join(state, "status"), "unavailable: stopped\n")
    if not quiet:
        print("hungfs: stopped")
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "start":
        return start(argv[2])
    if len(argv) == 3 and argv[1] == "stop":
        return stop(argv[2])
    if len(argv) == 4 and argv[1] == "serve":
        serve(argv[2], argv[3])
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
