"""A few Wayland requests spoken straight on the socket, for the test session.

The headless sway session needs two small clients that Debian ships no
package for: a virtual pointer (sway gives its seat the pointer capability
only while some pointer device exists, and without it Qt never asks for a
wl_pointer, so `swaymsg seat seat0 cursor ...` reaches no window), and the
program xdg-desktop-portal-wlr runs to fill the Screenshot portal's file
(it execs `grim -- PATH`). Both need only a handful of messages, so they are
written here against the wire format rather than pulling in a binding.

Only the messages used below are described; events of other objects are
read and dropped by size.
"""

import os
import socket
import struct
import zlib

WL_SHM_FORMAT_ARGB8888 = 0
WL_SHM_FORMAT_XRGB8888 = 1
WL_SHM_FORMAT_ABGR8888 = 0x34324241  # 'AB24'
WL_SHM_FORMAT_XBGR8888 = 0x34324258  # 'XB24'

SCREENCOPY_FLAG_Y_INVERT = 1


class WaylandError(RuntimeError):
    pass


def _pack_string(text):
    data = text.encode() + b"\0"
    padding = (-len(data)) % 4
    return struct.pack("<I", len(data)) + data + b"\0" * padding


def _unpack_string(body, offset):
    (length,) = struct.unpack_from("<I", body, offset)
    start = offset + 4
    text = body[start:start + length - 1].decode(errors="replace")
    return text, start + ((length + 3) & ~3)


class Connection:
    """One client connection: ids, requests, and a blocking event pump."""

    def __init__(self, display=None):
        display = display or os.environ.get("WAYLAND_DISPLAY", "wayland-0")
        path = display if display.startswith("/") else os.path.join(
            os.environ["XDG_RUNTIME_DIR"], display)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2  # 1 is wl_display
        self.handlers = {}  # object id -> callable(opcode, body)
        self.buffer = b""
        self.handlers[1] = self._display_event
        self.registry_id = self.new_id()
        self.globals = {}  # interface -> (name, version)
        self.handlers[self.registry_id] = self._registry_event
        self.request(1, 1, struct.pack("<I", self.registry_id))  # get_registry
        self.roundtrip()

    def new_id(self):
        object_id = self.next_id
        self.next_id += 1
        return object_id

    def request(self, object_id, opcode, payload=b"", fds=()):
        header = struct.pack("<II", object_id, ((8 + len(payload)) << 16) | opcode)
        if fds:
            socket.send_fds(self.sock, [header + payload], list(fds))
        else:
            self.sock.sendall(header + payload)

    def bind(self, interface, version):
        if interface not in self.globals:
            raise WaylandError(f"the compositor offers no {interface}")
        name, offered = self.globals[interface]
        if offered < version:
            raise WaylandError(f"{interface} is version {offered}, {version} needed")
        object_id = self.new_id()
        self.request(self.registry_id, 0, struct.pack("<I", name)
                     + _pack_string(interface) + struct.pack("<II", version, object_id))
        return object_id

    def roundtrip(self):
        done = []
        callback = self.new_id()
        self.handlers[callback] = lambda opcode, body: done.append(True)
        self.request(1, 0, struct.pack("<I", callback))  # wl_display.sync
        while not done:
            self.dispatch()
        del self.handlers[callback]

    def dispatch(self):
        """Reads and handles at least one event."""
        while len(self.buffer) < 8 or len(self.buffer) < self._pending_size():
            chunk = self.sock.recv(65536)
            if not chunk:
                raise WaylandError("the compositor closed the connection")
            self.buffer += chunk
        while len(self.buffer) >= 8 and len(self.buffer) >= self._pending_size():
            object_id, size_opcode = struct.unpack_from("<II", self.buffer)
            size, opcode = size_opcode >> 16, size_opcode & 0xFFFF
            body, self.buffer = self.buffer[8:size], self.buffer[size:]
            handler = self.handlers.get(object_id)
            if handler:
                handler(opcode, body)

    def _pending_size(self):
        if len(self.buffer) < 8:
            return 8
        return struct.unpack_from("<I", self.buffer, 4)[0] >> 16

    def _display_event(self, opcode, body):
        if opcode == 0:  # error(object, code, message)
            object_id, code = struct.unpack_from("<II", body)
            message, _ = _unpack_string(body, 8)
            raise WaylandError(f"protocol error on object {object_id} (code {code}): {message}")

    def _registry_event(self, opcode, body):
        if opcode == 0:  # global(name, interface, version)
            (name,) = struct.unpack_from("<I", body)
            interface, offset = _unpack_string(body, 4)
            (version,) = struct.unpack_from("<I", body, offset)
            self.globals.setdefault(interface, (name, version))


def hold_input_devices(display=None):
    """Creates a virtual pointer and a virtual keyboard on seat0 and returns
    the connection that keeps them. While they exist the seat keeps both
    capabilities, so Qt binds wl_pointer and wl_keyboard once at start-up:
    a `wtype` run then only adds a second keyboard, and its first key no
    longer races the client's wl_keyboard set-up."""
    connection = Connection(display)
    seat = connection.bind("wl_seat", 1)
    pointer_manager = connection.bind("zwlr_virtual_pointer_manager_v1", 1)
    keyboard_manager = connection.bind("zwp_virtual_keyboard_manager_v1", 1)
    # create_virtual_pointer(seat, id)
    connection.request(pointer_manager, 0, struct.pack("<II", seat, connection.new_id()))
    # create_virtual_keyboard(seat, id)
    connection.request(keyboard_manager, 0, struct.pack("<II", seat, connection.new_id()))
    connection.roundtrip()
    return connection


BTN_LEFT = 0x110
BTN_RIGHT = 0x111
BTN_MIDDLE = 0x112


class VirtualPointer:
    """A pointer of its own for one gesture: motion goes through the
    compositor's normal pointer path, so a drag delivers motion events while
    the button is held (sway's `seat cursor set` warps without them)."""

    def __init__(self, extent, display=None):
        self.extent = extent  # (width, height) of the layout in logical pixels
        self.connection = Connection(display)
        manager = self.connection.bind("zwlr_virtual_pointer_manager_v1", 1)
        self.pointer = self.connection.new_id()
        self.connection.request(manager, 0, struct.pack("<II", 0, self.pointer))
        self.clock = 0

    def _time(self):
        self.clock += 8
        return self.clock

    def move_to(self, x, y):
        width, height = self.extent
        x = min(max(int(round(x)), 0), width - 1)
        y = min(max(int(round(y)), 0), height - 1)
        # motion_absolute(time, x, y, x_extent, y_extent), then frame
        self.connection.request(self.pointer, 1, struct.pack("<IIIII", self._time(), x, y, width, height))
        self.connection.request(self.pointer, 4)

    def button(self, code, pressed):
        self.connection.request(self.pointer, 2, struct.pack("<III", self._time(), code, 1 if pressed else 0))
        self.connection.request(self.pointer, 4)

    def flush(self):
        self.connection.roundtrip()

    def close(self):
        self.connection.roundtrip()
        self.connection.request(self.pointer, 8)  # destroy
        self.connection.roundtrip()
        self.connection.sock.close()


def capture_output(display=None):
    """Copies the first output's current frame. Returns (width, height, rgb
    bytes, top row first)."""
    connection = Connection(display)
    shm = connection.bind("wl_shm", 1)
    output = connection.bind("wl_output", 1)
    manager = connection.bind("zwlr_screencopy_manager_v1", 1)

    frame = connection.new_id()
    state = {}

    def frame_event(opcode, body):
        if opcode == 0:  # buffer(format, width, height, stride)
            state["buffer"] = struct.unpack_from("<IIII", body)
        elif opcode == 1:  # flags
            state["flags"] = struct.unpack_from("<I", body)[0]
        elif opcode == 2:  # ready
            state["ready"] = True
        elif opcode == 3:  # failed
            state["failed"] = True

    connection.handlers[frame] = frame_event
    # capture_output(frame, overlay_cursor, output)
    connection.request(manager, 0, struct.pack("<IiI", frame, 0, output))
    while "buffer" not in state and "failed" not in state:
        connection.dispatch()
    if "failed" in state:
        raise WaylandError("the compositor refused to copy the output")

    fmt, width, height, stride = state["buffer"]
    size = stride * height
    fd = os.memfd_create("kelpie-screencopy", os.MFD_CLOEXEC)
    try:
        os.ftruncate(fd, size)
        pool = connection.new_id()
        connection.request(shm, 0, struct.pack("<Ii", pool, size), fds=[fd])  # create_pool
        buffer = connection.new_id()
        connection.request(pool, 0, struct.pack("<IiiiiI", buffer, 0, width, height, stride, fmt))
        connection.request(frame, 0, struct.pack("<I", buffer))  # copy
        while "ready" not in state and "failed" not in state:
            connection.dispatch()
        if "failed" in state:
            raise WaylandError("the compositor failed to copy the output")
        pixels = os.pread(fd, size, 0)
    finally:
        os.close(fd)
    connection.sock.close()

    # wl_shm formats are little-endian: XRGB8888 is stored B, G, R, X.
    if fmt in (WL_SHM_FORMAT_XRGB8888, WL_SHM_FORMAT_ARGB8888):
        red, green, blue = 2, 1, 0
    elif fmt in (WL_SHM_FORMAT_XBGR8888, WL_SHM_FORMAT_ABGR8888):
        red, green, blue = 0, 1, 2
    else:
        raise WaylandError(f"unexpected pixel format 0x{fmt:08x}")
    rows = [pixels[y * stride:y * stride + width * 4] for y in range(height)]
    if state.get("flags", 0) & SCREENCOPY_FLAG_Y_INVERT:
        rows.reverse()
    packed = b"".join(rows)
    rgb = bytearray(width * height * 3)
    rgb[0::3] = packed[red::4]
    rgb[1::3] = packed[green::4]
    rgb[2::3] = packed[blue::4]
    return width, height, bytes(rgb)


def encode_png(width, height, rgb, level=1):
    """An 8-bit RGB PNG without filtering; level 1 keeps it quick."""
    row = width * 3
    raw = b"".join(b"\0" + rgb[y * row:(y + 1) * row] for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, level))
            + chunk(b"IEND", b""))
