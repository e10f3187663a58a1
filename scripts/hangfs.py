#!/usr/bin/python3
"""A network share that stops answering on demand, for scripts/measure-stall.sh.

Mounts SOURCE at MOUNTPOINT read-only. While the file CONTROL holds a number of seconds
since the epoch later than now, every open, read and attribute look-up of a file whose
name starts with "share" waits until that time, as an NFS or SMB share that stalls does.

Usage: hangfs.py SOURCE MOUNTPOINT CONTROL  (unmount with fusermount3 -u MOUNTPOINT)
"""
import errno
import os
import sys
import time

import fuse

fuse.fuse_python_api = (0, 2)


class HangFS(fuse.Fuse):
    def __init__(self, source, control, *args, **kw):
        super().__init__(*args, **kw)
        self.source = source
        self.control = control

    def _real(self, path):
        return os.path.join(self.source, path.lstrip("/"))

    def _stall(self, path):
        if not os.path.basename(path).startswith("share"):
            return
        while True:
            try:
                with open(self.control) as f:
                    until = float(f.read().strip() or 0)
            except (OSError, ValueError):
                return
            if time.time() >= until:
                return
            time.sleep(0.05)

    def getattr(self, path):
        self._stall(path)
        try:
            return os.lstat(self._real(path))
        except OSError as e:
            return -e.errno

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self._real(path)):
            yield fuse.Direntry(name)

    def open(self, path, flags):
        self._stall(path)
        if flags & (os.O_WRONLY | os.O_RDWR):
            return -errno.EROFS
        return 0 if os.access(self._real(path), os.R_OK) else -errno.EACCES

    def read(self, path, size, offset):
        self._stall(path)
        with open(self._real(path), "rb") as f:
            f.seek(offset)
            return f.read(size)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, mountpoint, control = (os.path.abspath(a) for a in sys.argv[1:])
    server = HangFS(source, control, version="%prog", usage=__doc__)
    server.fuse_args.mountpoint = mountpoint
    server.fuse_args.setmod("foreground")
    server.multithreaded = True
    server.main()


if __name__ == "__main__":
    main()
