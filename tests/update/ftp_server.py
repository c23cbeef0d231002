#!/usr/bin/python3
"""A loopback FTP server for the update tests.

usage: ftp_server.py ROOT USER PASSWORD
Serves ROOT to USER/PASSWORD on 127.0.0.1 only, on a free port that it prints as the first line of
its output. A file whose name ends in ".drop" is cut off after half of its bytes, as a server that
drops the transfer.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class DroppingFile:
    def __init__(self, file, limit):
        self._file = file
        self._left = limit
        self.name = file.name
        self.closed = False

    def read(self, size=-1):
        if self._left <= 0:
            raise OSError("transfer dropped")
        data = self._file.read(min(size, self._left) if size >= 0 else self._left)
        self._left -= len(data)
        return data

    def close(self):
        self.closed = True
        self._file.close()


class DroppingFS(AbstractedFS):
    def open(self, filename, mode):
        f = super().open(filename, mode)
        if filename.endswith(".drop") and "r" in mode:
            size = self.getsize(filename)
            return DroppingFile(f, size // 2)
        return f


def main():
    root, user, password = sys.argv[1:4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.abstracted_fs = DroppingFS
    handler.auth_failed_timeout = 0.1
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
