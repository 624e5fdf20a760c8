#!/usr/bin/env python3
"""Opens N TLS connections to 127.0.0.1:PORT, each with a full handshake and
then nothing more, prints READY with how many are open, and holds them until
killed (stdin closed or a signal). The certificate is not checked."""
import selectors
import socket
import ssl
import sys

port, count = int(sys.argv[1]), int(sys.argv[2])
context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE
held = []
for _ in range(count):
    raw = socket.create_connection(("127.0.0.1", port))
    held.append(context.wrap_socket(raw))
print(f"READY {len(held)}", flush=True)
selector = selectors.DefaultSelector()
for s in held:
    selector.register(s, selectors.EVENT_READ)
closed = 0
while True:
    for key, _ in selector.select():
        selector.unregister(key.fileobj)
        closed += 1
        print(f"CLOSED {closed}", flush=True)
