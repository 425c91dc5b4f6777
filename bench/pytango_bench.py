#!/usr/bin/python3
"""The bench's device server as a lab would write it in PyTango's high-level API.

The baseline of scripts/bench's Tango rows: the same frames decoded and the same events
pushed (a change and an archive event for each reading, each switch and StatusFrame per
status frame) by a reader thread, with the same device name, properties and attribute
names. It reads only; writes, commands and supervision are left out, as they cost
nothing while frames flow.

  pytango_bench.py INSTANCE     (server pytango_bench/INSTANCE, class PyNorvaneBench,
                                registered in the database of TANGO_HOST)
"""

import socket
import threading
import time

import numpy
import tango
from tango.server import Device, attribute, device_property, run

FRAME_SIZE = 33
STATUS_OPCODE = 0xA1
MESSAGE_OPCODE = 0xAF
FLAGS_OFFSET = 17

# name, offset of the high byte, kind (count or temperature), alarm rule
READINGS = [
    ("EclPd", 1, "count", "pd"), ("EclTec", 3, "count", "tec"), ("EclTemp", 5, "temperature", "pd"),
    ("InjTec", 7, "count", "tec"), ("InjTemp", 9, "temperature", "pd"), ("UpPd", 11, "count", None),
    ("DownPd", 13, "count", None), ("Pot", 15, "count", None), ("EclCurrentDac", 18, "count", None),
    ("EclPiezoDac", 20, "count", None), ("InjCurrentDac", 22, "count", None), ("UpPiezoDac", 24, "count", None),
    ("DownPiezoDac", 26, "count", None), ("XdacDac", 28, "count", None), ("YdacDac", 30, "count", None),
]
SWITCHES = [("EclTecOn", 0x01), ("InjTecOn", 0x02), ("ScanOn", 0x04), ("HeaterOn", 0x08),
            ("NarrowOn", 0x10), ("SlowLockOn", 0x20)]


def in_range(rule, raw):
    if rule == "pd":
        return 101 <= raw <= 3999
    if rule == "tec":
        return 10 < raw < 90.25
    return True


def temperature(raw):
    return 29.5 - (27.9 / 4095) * raw


def make_reading(name, kind):
    is_temperature = kind == "temperature"
    return attribute(name=name, dtype=float if is_temperature else int,
                     unit="degC" if is_temperature else "counts",
                     fget=lambda self: self._values[name])


def make_switch(name):
    return attribute(name=name, dtype=bool, fget=lambda self: self._values[name])


class PyNorvaneBench(Device):
    Address = device_property(dtype=str, default_value="127.0.0.1")
    Port = device_property(dtype=int, default_value=44174)

    for _name, _offset, _kind, _rule in READINGS:
        locals()[_name] = make_reading(_name, _kind)
    for _name, _mask in SWITCHES:
        locals()[_name] = make_switch(_name)

    StatusFrame = attribute(dtype=(numpy.uint8,), max_dim_x=FRAME_SIZE,
                            fget=lambda self: self._values["StatusFrame"])

    def init_device(self):
        Device.init_device(self)
        self._values = {name: 0 for name, *_ in READINGS}
        self._values.update({name: False for name, _ in SWITCHES})
        self._values["StatusFrame"] = numpy.zeros(0, dtype=numpy.uint8)
        for name in list(self._values):
            self.set_change_event(name, True, False)
            self.set_archive_event(name, True, False)
        self.set_state(tango.DevState.INIT)
        self._running = True
        self._reader = threading.Thread(target=self._read_frames, daemon=True)
        self._reader.start()

    def delete_device(self):
        self._running = False

    def _read_frames(self):
        connection = socket.create_connection((self.Address, self.Port))
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pending = b""
        while self._running:
            data = connection.recv(65536)
            if not data:
                self.set_state(tango.DevState.FAULT)
                return
            pending += data
            # Whole status frames are cut out of each arrival; a message takes the rest.
            while pending:
                if pending[0] == STATUS_OPCODE:
                    if len(pending) < FRAME_SIZE:
                        break
                    self._apply(pending[:FRAME_SIZE])
                    pending = pending[FRAME_SIZE:]
                else:
                    pending = b""

    def _apply(self, frame):
        now = time.time()
        alarm = False
        pushes = []
        for name, offset, kind, rule in READINGS:
            raw = (frame[offset] & 0x0F) * 256 + frame[offset + 1]
            value = temperature(raw) if kind == "temperature" else raw
            quality = tango.AttrQuality.ATTR_VALID
            if not in_range(rule, raw):
                quality = tango.AttrQuality.ATTR_ALARM
                alarm = True
            self._values[name] = value
            pushes.append((name, value, quality))
        for name, mask in SWITCHES:
            value = bool(frame[FLAGS_OFFSET] & mask)
            self._values[name] = value
            pushes.append((name, value, tango.AttrQuality.ATTR_VALID))
        raw_frame = numpy.frombuffer(frame, dtype=numpy.uint8)
        self._values["StatusFrame"] = raw_frame
        pushes.append(("StatusFrame", raw_frame, tango.AttrQuality.ATTR_VALID))
        with tango.AutoTangoMonitor(self):
            state = tango.DevState.ALARM if alarm else tango.DevState.ON
            if self.get_state() != state:
                self.set_state(state)
                self.push_change_event("State")
            for name, value, quality in pushes:
                self.push_change_event(name, value, now, quality)
                self.push_archive_event(name, value, now, quality)


if __name__ == "__main__":
    run((PyNorvaneBench,))
