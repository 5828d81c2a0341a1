#!/usr/bin/env python3
"""A stand-in for the vendor's update server, for the update check's tests under Wine.

Listens on 127.0.0.1 only, on --port (a free one when 0) that it writes to --port-file once it
accepts connections. Every request whose path does not start with "/__" is recorded and answered the way
the last "/__set" request said. Control requests:

  /__set?status=200&type=text/plain&body=<hex>&pad=0&tail=0&behaviour=answer&location=...
      how to answer from now on. The body is pad bytes "x", then the hex-decoded body, then tail
      bytes "y". behaviour: answer (plain answer with Content-Length), endless (no length, the
      body followed by "y" until the client goes away), silent (read the request, never answer),
      mute (accept, read nothing, never answer), dribble-head (status line, then one header byte
      every half second), dribble-body (headers, then one body byte every half second),
      stall-body (headers and the body, then silence with most of the announced length unsent).
  /__log      the recorded request heads, each ended by a line "----"
  /__reset    forget the recorded requests
  /__closedport  a port of 127.0.0.1 that was free a moment ago and has no listener
  /__muteport    the port of a listener that never accepts: connections complete in the
                 system's backlog and then nothing is ever read or sent
  /__quit     stop the server

The server ends by itself after --lifetime seconds, so a test that dies cannot leave it behind.
Every held connection is let go after --hold seconds at most.
"""

import argparse
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

MAX_HEAD = 64 * 1024


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.log = []
        self.answer = {}

    def set_answer(self, query):
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        one = {k: v[-1] for k, v in params.items()}
        with self.lock:
            self.answer = one


def read_head(sock, deadline):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < MAX_HEAD:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    return data.split(b"\r\n\r\n", 1)[0].decode("latin-1")


def hold(sock, seconds):
    """Keeps the connection open without answering until the peer leaves or time runs out."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        sock.settimeout(min(0.5, max(0.01, end - time.monotonic())))
        try:
            if not sock.recv(4096):
                return
        except socket.timeout:
            continue
        except OSError:
            return


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        server = self.server
        sock = self.request
        try:
            head = read_head(sock, time.monotonic() + server.hold)
            if not head:
                return
            target = head.split("\r\n", 1)[0].split(" ")
            path = target[1] if len(target) > 1 else ""
            if path.startswith("/__"):
                self.control(path)
                return
            with server.state.lock:
                server.state.log.append(head)
                answer = dict(server.state.answer)
            self.answer(answer)
        except OSError:
            pass  # the client went away or timed out: nothing to do

    def send(self, status, body, content_type="text/plain; charset=utf-8"):
        head = (
            f"HTTP/1.1 {status} X\r\nContent-Type: {content_type}\r\n"
            f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n"
        )
        self.request.sendall(head.encode("latin-1") + body)

    def control(self, path):
        parsed = urllib.parse.urlsplit(path)
        state = self.server.state
        if parsed.path == "/__set":
            state.set_answer(parsed.query)
            self.send(200, b"set")
        elif parsed.path == "/__log":
            with state.lock:
                text = "".join(h + "\r\n----\r\n" for h in state.log)
            self.send(200, text.encode("latin-1"))
        elif parsed.path == "/__reset":
            with state.lock:
                state.log.clear()
            self.send(200, b"reset")
        elif parsed.path == "/__closedport":
            probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
            probe.close()
            self.send(200, str(port).encode("ascii"))
        elif parsed.path == "/__muteport":
            self.send(200, str(self.server.mute.getsockname()[1]).encode("ascii"))
        elif parsed.path == "/__quit":
            self.send(200, b"bye")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self.send(404, b"unknown control")

    def answer(self, answer):
        sock = self.request
        server = self.server
        behaviour = answer.get("behaviour", "answer")
        status = int(answer.get("status", "200"))
        content_type = answer.get("type", "text/plain; charset=utf-8")
        body = (
            b"x" * int(answer.get("pad", "0"))
            + bytes.fromhex(answer.get("body", ""))
            + b"y" * int(answer.get("tail", "0"))
        )
        extra = ""
        if "location" in answer:
            extra += f"Location: {answer['location']}\r\n"
        if content_type:
            extra += f"Content-Type: {content_type}\r\n"
        status_line = f"HTTP/1.1 {status} Status\r\n"
        end = time.monotonic() + server.hold
        if behaviour == "silent":
            hold(sock, server.hold)
        elif behaviour == "dribble-head":
            sock.sendall(status_line.encode("latin-1"))
            filler = b"X-Slow: " + b"z" * 1000
            i = 0
            while time.monotonic() < end:
                sock.sendall(filler[i % len(filler) : i % len(filler) + 1])
                i += 1
                time.sleep(0.5)
        elif behaviour == "dribble-body":
            head = status_line + extra + "Content-Length: 1000000\r\nConnection: close\r\n\r\n"
            sock.sendall(head.encode("latin-1") + body)
            while time.monotonic() < end:
                sock.sendall(b"y")
                time.sleep(0.5)
        elif behaviour == "stall-body":
            head = status_line + extra + "Content-Length: 1000000\r\nConnection: close\r\n\r\n"
            sock.sendall(head.encode("latin-1") + body)
            hold(sock, server.hold)
        elif behaviour == "endless":
            head = status_line + extra + "Connection: close\r\n\r\n"
            sock.sendall(head.encode("latin-1") + body)
            block = b"y" * 65536
            while time.monotonic() < end:
                sock.sendall(block)
        else:
            head = status_line + extra + f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n"
            sock.sendall(head.encode("latin-1") + body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--hold", type=float, default=60)
    args = parser.parse_args()
    # Started by a test program, the server must not keep the test runner's output pipes open.
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)

    server = Server(("127.0.0.1", args.port), Handler)
    server.state = State()
    server.hold = args.hold
    server.mute = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.mute.bind(("127.0.0.1", 0))
    server.mute.listen(16)
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    temporary = args.port_file + ".part"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(temporary, args.port_file)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    try:
        os.remove(args.port_file)
    except OSError:
        pass
    # Held connections end with the process, not after their hold time.
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
