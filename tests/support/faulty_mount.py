#!/usr/bin/python3
# Shows an image file through FUSE as card.img, failing reads of the given
# byte ranges with EIO the way a dying card does, or failing every read with
# ENODEV from the first that touches the MiB at OFFSET on, the way a reader
# pulled out while the scan passes there does.
# Used by the tests that run the command line on such media.
#   faulty_mount.py IMAGE MOUNTPOINT [OFFSET:LENGTH ...] [vanish:OFFSET]
import errno
import os
import stat
import sys

try:
    from fusepy import FUSE, FuseOSError, Operations
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class FailingImage(Operations):
    def __init__(self, image, failing, vanish_at):
        self.fd = os.open(image, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.failing = failing
        self.vanish_at = vanish_at
        self.vanished = False

    def getattr(self, path, fh=None):
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2)
        if path == "/card.img":
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=self.size)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "card.img"]

    def read(self, path, size, offset, fh):
        if self.vanish_at is not None and offset < self.vanish_at + (1 << 20) and \
                offset + size > self.vanish_at:
            self.vanished = True
        if self.vanished:
            raise FuseOSError(errno.ENODEV)
        for start, length in self.failing:
            if offset < start + length and offset + size > start:
                if offset < start:  # deliver what lies before the bad bytes
                    return os.pread(self.fd, start - offset, offset)
                raise FuseOSError(errno.EIO)
        return os.pread(self.fd, size, offset)


if __name__ == "__main__":
    ranges = [tuple(int(x) for x in arg.split(":")) for arg in sys.argv[3:]
              if not arg.startswith("vanish:")]
    vanish = [int(arg[7:]) for arg in sys.argv[3:] if arg.startswith("vanish:")]
    FUSE(FailingImage(sys.argv[1], ranges, vanish[0] if vanish else None), sys.argv[2],
         foreground=True, ro=True,
         direct_io=True, nothreads=True)
