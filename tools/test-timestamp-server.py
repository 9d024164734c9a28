#!/usr/bin/env python3
"""A throwaway RFC 3161 timestamp server for the signing test: answers each
POSTed query with `openssl ts -reply` under the given configuration. Prints the
port it listens on (127.0.0.1), then serves until killed.

Usage: test-timestamp-server.py OPENSSL_TS_CONFIG WORK_DIR"""
import http.server
import os
import subprocess
import sys

config, work = sys.argv[1], sys.argv[2]


class TimestampServer(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query_path = os.path.join(work, "query.tsq")
        reply_path = os.path.join(work, "reply.tsr")
        with open(query_path, "wb") as query:
            query.write(self.rfile.read(int(self.headers["Content-Length"])))
        answered = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", query_path,
                                   "-out", reply_path], capture_output=True)
        if answered.returncode != 0:
            sys.stderr.write(answered.stderr.decode(errors="replace"))
            self.send_error(500)
            return
        with open(reply_path, "rb") as reply_file:
            reply = reply_file.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimestampServer)
print(server.server_port, flush=True)
server.serve_forever()
