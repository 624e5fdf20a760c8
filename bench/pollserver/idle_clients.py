#!/usr/bin/env python3
"""Holds N connections to 127.0.0.1:PORT that each sent half a request line and
then nothing, opening a new one whenever the server closes one (as it must,
at its head time-out). Runs until killed."""
import selectors
import socket
import sys

port, count = int(sys.argv[1]), int(sys.argv[2])
selector = selectors.DefaultSelector()


def open_one():
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET /wendrake-idm/v4/polling/polling.asp?job=Post")
    s.setblocking(False)
    selector.register(s, selectors.EVENT_READ)


for _ in range(count):
    open_one()
while True:
    for key, _ in selector.select():
        try:
            data = key.fileobj.recv(4096)
        except OSError:
            data = b""
        if not data:
            selector.unregister(key.fileobj)
            key.fileobj.close()
            open_one()
