#!/usr/bin/env python3
"""A TCP relay on loopback that misbehaves once, on purpose, to test a client whose server
stops answering: it relays every connection to the server until the client sends a chosen
byte pattern for the Nth time, then, on that connection,

  --when before  keeps the chunk holding the pattern from the server (it never runs it),
  --when after   relays it and keeps the server's answer from the client,

and then either goes silent (--action freeze: both sockets stay open, nothing more is
relayed, as with a network that drops packets) or closes the client's socket (--action
drop: a lost connection). Other connections (a cancel request) are relayed as usual.

  stall_proxy.py --server-port P --pattern TEXT [--nth N] --when before|after
                 --action freeze|drop --port-file FILE

It listens on 127.0.0.1 at a free port, writes that port to FILE, and runs until killed.
"triggered" is written to FILE.triggered when the misbehaviour starts.
"""
import argparse
import os
import select
import socket
import threading

lock = threading.Lock()
seen = 0
triggered = False


def relay(client, server, args):
    global seen, triggered
    pattern = args.pattern.encode()
    tail = b""
    mine = False  # this connection is the one that misbehaves
    waiting_answer = False
    while True:
        readable, _, _ = select.select([client, server], [], [])
        if mine and not waiting_answer:
            break
        if client in readable:
            data = client.recv(65536)
            if not data:
                break
            hits = (tail + data).count(pattern) if not triggered else 0
            tail = (tail + data)[-len(pattern):]
            if hits:
                with lock:
                    before = seen
                    seen += hits
                    if not triggered and before < args.nth <= seen:
                        triggered = mine = True
                        with open(args.port_file + ".triggered", "w") as f:
                            f.write("triggered\n")
            if mine and args.when == "before":
                break
            server.sendall(data)
            if mine:
                waiting_answer = True
                continue
        if server in readable:
            data = server.recv(65536)
            if not data:
                break
            if mine:
                # The server answered what it received: that answer is lost on the way.
                waiting_answer = False
                break
            client.sendall(data)
    if mine:
        if args.action == "drop":
            client.close()
            server.close()
            return
        threading.Event().wait()  # silent for ever; sockets stay open
    client.close()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server-port", type=int, required=True)
    parser.add_argument("--pattern", required=True)
    parser.add_argument("--nth", type=int, default=1)
    parser.add_argument("--when", choices=["before", "after"], required=True)
    parser.add_argument("--action", choices=["freeze", "drop"], required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.rename(tmp, args.port_file)
    while True:
        client, _ = listener.accept()
        server = socket.create_connection(("127.0.0.1", args.server_port))
        threading.Thread(target=relay, args=(client, server, args), daemon=True).start()


if __name__ == "__main__":
    main()
