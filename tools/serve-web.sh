#!/usr/bin/env bash
# Serves the web build's pages on 127.0.0.1 with the headers the threaded
# pages need (cross-origin isolation: COOP same-origin, COEP require-corp)
# and the WebAssembly type. Usage: tools/serve-web.sh [DIR] [PORT]
# (defaults: build/web, 8080); then open http://127.0.0.1:PORT/linkageSWEEPdemo1.html
set -euo pipefail
dir=${1:-build/web}
port=${2:-8080}
[ -d "$dir" ] || { echo "serve-web: no directory $dir (cmake --preset web && cmake --build --preset web)" >&2; exit 1; }
exec /usr/bin/python3 - "$dir" "$port" <<'PY'
import functools, http.server, sys

class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass

directory, port = sys.argv[1], int(sys.argv[2])
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=directory))
print(f"serving {directory} at http://127.0.0.1:{server.server_address[1]}/", flush=True)
server.serve_forever()
PY
