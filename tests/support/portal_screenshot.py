"""Calls org.freedesktop.portal.Screenshot the way an application does.

Screenshot(parent_window, options) returns a request object path at once;
the picture's file:// URI comes later in that object's Response signal. The
handler is subscribed before the call, on the path the portal will use
(/org/freedesktop/portal/desktop/request/SENDER/TOKEN), so a quick answer
cannot be missed.
"""
import itertools
import time
import urllib.parse

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

DESKTOP = "org.freedesktop.portal.Desktop"
DESKTOP_PATH = "/org/freedesktop/portal/desktop"
SCREENSHOT = "org.freedesktop.portal.Screenshot"
REQUEST = "org.freedesktop.portal.Request"


class PortalError(RuntimeError):
    pass


class Portal:
    def __init__(self, timeout_s=10):
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        self.bus = dbus.SessionBus()
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.desktop = self.bus.get_object(DESKTOP, DESKTOP_PATH)
        self.timeout_ms = int(timeout_s * 1000)
        self.tokens = itertools.count()

    def version(self):
        return int(self.desktop.Get(SCREENSHOT, "version", dbus_interface=dbus.PROPERTIES_IFACE))

    def screenshot(self, interactive=False):
        """Returns (path of the PNG, its bytes, ms from the call to the bytes
        read)."""
        token = f"kelpie_{next(self.tokens)}"
        path = f"{DESKTOP_PATH}/request/{self.sender}/{token}"
        loop = GLib.MainLoop()
        answer = {}

        def on_response(code, results):
            answer["code"] = int(code)
            answer["results"] = results
            loop.quit()

        def on_timeout():
            answer["timed_out"] = True
            loop.quit()
            return False

        match = self.bus.add_signal_receiver(on_response, "Response", REQUEST, DESKTOP, path)
        timer = GLib.timeout_add(self.timeout_ms, on_timeout)
        try:
            start = time.perf_counter()
            handle = self.desktop.Screenshot(
                "", {"handle_token": token, "interactive": interactive, "modal": False},
                dbus_interface=SCREENSHOT, signature="sa{sv}")
            if str(handle) != path:
                raise PortalError(f"the portal chose request path {handle}, not {path}")
            if "code" not in answer:
                loop.run()
            if "code" not in answer:
                raise PortalError(f"no Response within {self.timeout_ms} ms")
            if answer["code"] != 0:
                raise PortalError(f"the portal answered {answer['code']} (1 cancelled, 2 failed)")
            uri = str(answer["results"].get("uri", ""))
            if not uri.startswith("file://"):
                raise PortalError(f"the portal answered without a file URI: {uri!r}")
            file_path = urllib.parse.unquote(urllib.parse.urlparse(uri).path)
            with open(file_path, "rb") as picture:
                data = picture.read()
            elapsed_ms = (time.perf_counter() - start) * 1000
        finally:
            if "timed_out" not in answer:
                GLib.source_remove(timer)
            match.remove()
        return file_path, data, elapsed_ms


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise PortalError("the portal's file is not a PNG")
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")
