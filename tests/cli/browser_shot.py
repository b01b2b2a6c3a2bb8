#!/usr/bin/env python3
"""Opens PAGE in headless Chromium, waits for the promise the page keeps in window.ready, and saves a
screenshot of WIDTHxHEIGHT pixels as OUT (PNG). Chromium is driven over its DevTools pipe, so the shot is
taken when the page says it is ready, not after a guess at how long it takes."""
import base64
import json
import os
import subprocess
import sys
import tempfile


def main():
    page, out, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    to_browser_read, to_browser_write = os.pipe()
    from_browser_read, from_browser_write = os.pipe()
    profile = tempfile.mkdtemp(prefix="chromium-profile-")
    # Chromium reads commands on fd 3 and answers on fd 4: the pipe's ends are put there in the child before
    # it runs Chromium (a shell's redirections, as the child's own file actions run after Python's).
    browser = subprocess.Popen(["sh", "-c", 'exec 3<&"$0" 4>&"$1"; shift; exec "$@"',
                                str(to_browser_read), str(from_browser_write)] +
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--force-color-profile=srgb", "--hide-scrollbars", "--user-data-dir=" + profile,
         "--remote-debugging-pipe", "about:blank"],
        pass_fds=(to_browser_read, from_browser_write),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(to_browser_read)
    os.close(from_browser_write)
    writer = os.fdopen(to_browser_write, "wb")
    reader = os.fdopen(from_browser_read, "rb")
    pending = b""
    next_id = 0

    def call(method, params=None, session=None):
        nonlocal pending, next_id
        next_id += 1
        message = {"id": next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        writer.write(json.dumps(message).encode() + b"\0")
        writer.flush()
        while True:
            while b"\0" not in pending:
                chunk = reader.read1(1 << 20)
                if not chunk:
                    raise SystemExit("browser_shot: Chromium closed its pipe")
                pending += chunk
            text, pending = pending.split(b"\0", 1)
            answer = json.loads(text)
            if answer.get("id") == next_id:
                if "error" in answer:
                    raise SystemExit("browser_shot: %s: %s" % (method, answer["error"]))
                return answer["result"]

    try:
        target = call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        call("Emulation.setDeviceMetricsOverride",
             {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}, session)
        call("Page.enable", {}, session)
        call("Page.navigate", {"url": "file://" + os.path.abspath(page)}, session)
        # Until the document exists and its script has started.
        for _ in range(200):
            state = call("Runtime.evaluate", {"expression": "document.readyState"}, session)
            if state["result"].get("value") == "complete":
                break
        result = call("Runtime.evaluate", {"expression": "window.ready", "awaitPromise": True}, session)
        if "exceptionDetails" in result:
            raise SystemExit("browser_shot: the page failed: %s" % json.dumps(result["exceptionDetails"]))
        shot = call("Page.captureScreenshot", {"format": "png"}, session)
        with open(out, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
    finally:
        browser.kill()
        browser.wait()
        subprocess.run(["rm", "-rf", profile])


if __name__ == "__main__":
    main()
