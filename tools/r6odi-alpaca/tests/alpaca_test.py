#!/usr/bin/env python3
"""Runs r6odi-alpaca against the simulated cameras and checks it as an Alpaca
client (and the standard's conformance checker) would, with nothing but
Python's standard library; the FITS case also reads the capture host's file
with astropy.

    alpaca_test.py --server r6odi-alpaca --capture r6odi-capture --work DIR CASE

With R6ODI_SIM_PATTERN set the simulated cameras send their position
pattern: pixel (row r from the top, column c) of the binned sensor at
binning bx x by is 1 + (131 r + 7 c + 3 bx + by) mod 0xBEEC, so every
pixel of every frame is known here without asking the server.
"""
import argparse
import glob
import http.client
import json
import os
import random
import re
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

NOT_IMPLEMENTED, INVALID_VALUE, NOT_CONNECTED, INVALID_OPERATION, DRIVER_ERROR = 0x400, 0x401, 0x407, 0x40B, 0x500
WIDTH, HEIGHT = 1392, 1040  # the first free simulated camera, KX-814 Mono
ENVELOPE = {"ClientTransactionID", "ServerTransactionID", "ErrorNumber", "ErrorMessage"}


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def pattern(bx, by, x0, y0, nx, ny):
    """The frame the camera sends, as Alpaca's [x][y] array."""
    return [[1 + (131 * (y0 + y) + 7 * (x0 + x) + 3 * bx + by) % 0xBEEC for y in range(ny)] for x in range(nx)]


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    def __init__(self, binary, *args, pattern_frames=True, speed=20, cwd=None):
        self.port, self.udp = free_port(), free_port(socket.SOCK_DGRAM)
        env = dict(os.environ)
        if pattern_frames:
            env["R6ODI_SIM_PATTERN"] = "1"
        self.process = subprocess.Popen(
            [binary, "--port", str(self.port), "--discovery-port", str(self.udp), "--speed", str(speed)] + list(args),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env, cwd=cwd)
        line = self.process.stdout.readline()
        if "serving camera/0" not in line:
            raise AssertionError(f"the server did not start: {line}{self.process.stderr.read()}")

    def stop(self):
        """Stops as Ctrl-C does; the server then checks that the driver left nothing behind."""
        self.process.send_signal(signal.SIGINT)
        out, err = self.process.communicate(timeout=60)
        expect(self.process.returncode == 0 and "stopped" in out,
               f"the server ended with {self.process.returncode}: {out}{err}")
        return err


class Client:
    transaction = 0

    def __init__(self, port, client_id=None):
        self.connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        self.client_id = client_id or random.randint(1, 65535)

    def request(self, verb, path, body=None, headers=None):
        for attempt in range(2):  # the server closes a kept-alive connection after a few requests
            try:
                self.connection.request(verb, path, body, headers or {})
                response = self.connection.getresponse()
                return response.status, response.getheader("Content-Type", ""), response.read()
            except (http.client.HTTPException, ConnectionError):
                self.connection.close()
                if attempt:
                    raise

    def call(self, verb, device, member, raw_params=None, headers=None, **params):
        Client.transaction += 1
        tid = Client.transaction
        fields = dict(ClientID=self.client_id, ClientTransactionID=tid, **params)
        text = raw_params if raw_params is not None else urllib.parse.urlencode(fields)
        path = f"/api/v1/{device}/0/{member}"
        if verb == "GET":
            status, kind, data = self.request("GET", path + "?" + text, headers=headers)
        else:
            status, kind, data = self.request("PUT", path, text, {"Content-Type": "application/x-www-form-urlencoded"})
        if status != 200 or kind == "application/imagebytes":
            return status, data
        answer = json.loads(data)
        expect(ENVELOPE <= answer.keys(), f"{member}: envelope keys missing in {answer}")
        if raw_params is None:
            expect(answer["ClientTransactionID"] == tid, f"{member}: transaction id not echoed: {answer}")
        expect(answer["ServerTransactionID"] > 0, f"{member}: no server transaction id")
        expect(verb == "PUT" or "Value" in answer, f"GET {member}: no Value key: {answer}")
        return status, answer

    def get(self, member, device="camera", **params):
        return self.call("GET", device, member, **params)[1]

    def put(self, member, device="camera", **params):
        return self.call("PUT", device, member, **params)[1]

    def value(self, member, device="camera"):
        answer = self.get(member, device)
        expect(answer["ErrorNumber"] == 0, f"GET {member}: {answer}")
        return answer["Value"]

    def ok(self, member, device="camera", **params):
        answer = self.put(member, device, **params)
        expect(answer["ErrorNumber"] == 0, f"PUT {member} {params}: {answer}")

    def error(self, verb, member, number, device="camera", **params):
        answer = self.call(verb, device, member, **params)[1]
        expect(answer["ErrorNumber"] == number and answer["ErrorMessage"],
               f"{verb} {member} {params}: expected error {number:#x}, got {answer}")
        return answer["ErrorMessage"]

    def image_bytes(self):
        status, data = self.call("GET", "camera", "imagearray", headers={"Accept": "application/imagebytes, application/json"})
        if isinstance(data, dict):  # errors come as JSON; None when another client's exposure took the frame
            expect(data["ErrorNumber"] == INVALID_OPERATION, f"imagearray: {data}")
            return None
        expect(status == 200 and len(data) >= 44, f"imagearray: {status} {data[:100]}")
        fields = struct.unpack_from("<11i", data)
        expect(fields[0] == 1 and fields[1] == 0 and fields[4] == 44 and fields[5:8] == (2, 8, 2) and fields[10] == 0,
               f"imagebytes metadata {fields}")
        nx, ny = fields[8], fields[9]
        expect(len(data) == 44 + 2 * nx * ny, f"imagebytes of {len(data)} bytes for {nx} x {ny}")
        flat = struct.unpack_from(f"<{nx * ny}H", data, 44)
        return [list(flat[x * ny:(x + 1) * ny]) for x in range(nx)]

    def wait_for(self, what, condition, seconds=60):
        end = time.time() + seconds
        while time.time() < end:
            value = what()
            if condition(value):
                return value
            time.sleep(0.02)
        raise AssertionError(f"timed out waiting; last value {value}")


def expose(c, seconds, light=True, bx=1, by=1, x0=0, y0=0, nx=None, ny=None):
    """One exposure as the conformance checker runs it; returns the image as [x][y]."""
    nx, ny = nx or WIDTH // bx, ny or HEIGHT // by
    for name, value in (("BinX", bx), ("BinY", by), ("StartX", x0), ("StartY", y0), ("NumX", nx), ("NumY", ny)):
        c.ok(name.lower(), **{name: value})
    c.ok("startexposure", Duration=seconds, Light=light)
    expect(seconds < 1 or not c.value("imageready"), "ImageReady right after StartExposure")
    c.wait_for(lambda: c.value("camerastate"), lambda s: s in (2, 3, 0))
    c.wait_for(lambda: c.value("imageready"), bool)
    expect(c.value("camerastate") == 0, "not Idle with the image ready")
    return c.image_bytes()


def connect(c, device="camera"):
    c.ok("connected", device, Connected="true")
    expect(c.value("connected", device), f"{device} not connected")


def case_management(o):
    s = Server(o.server)
    try:
        c = Client(s.port)
        status, _, data = c.request("GET", "/management/apiversions?ClientTransactionID=3")
        expect(json.loads(data)["Value"] == [1] and json.loads(data)["ClientTransactionID"] == 3, data)
        description = json.loads(c.request("GET", "/management/v1/description")[2])["Value"]
        expect(set(description) == {"ServerName", "Manufacturer", "ManufacturerVersion", "Location"}, description)
        devices = json.loads(c.request("GET", "/management/v1/configureddevices")[2])["Value"]
        expect([(d["DeviceType"], d["DeviceNumber"]) for d in devices] == [("Camera", 0), ("FilterWheel", 0)], devices)
        ids = [d["UniqueID"] for d in devices]
        expect(len(set(ids)) == 2 and all(re.fullmatch(r"[0-9a-f-]{36}", i) for i in ids), ids)
        for path in ("/setup", "/setup/v1/camera/0/setup", "/setup/v1/filterwheel/0/setup"):
            expect(c.request("GET", path)[0] == 200, path)
        # Discovery: any datagram holding the request text, padding allowed.
        answers = discover(s.udp)
        expect(answers == [{"AlpacaPort": s.port}] * 2, f"discovery answers {answers}")
    finally:
        s.stop()
    again = Server(o.server)  # a restart keeps the UniqueIDs (same command line)
    try:
        port_ids = [d["UniqueID"] for d in json.loads(Client(again.port).request(
            "GET", "/management/v1/configureddevices")[2])["Value"]]
    finally:
        again.stop()
    expect(port_ids != ids, "UniqueIDs of two servers on two ports must differ")


def case_camera(o):
    """The conformance checker's connection, first-use, property and idle-method checks."""
    s = Server(o.server)
    try:
        c = Client(s.port)
        expect(c.value("interfaceversion") == 4 and c.value("interfaceversion", "filterwheel") == 3, "versions")
        expect(c.value("connecting") is False and c.value("connected") is False, "connected before connecting")
        c.error("GET", "cameraxsize", NOT_CONNECTED)
        connect(c)
        c.ok("connected", Connected="false")
        expect(c.value("connected") is False, "still connected after Connected=false")
        c.ok("connect")
        c.wait_for(lambda: c.value("connecting"), lambda v: v is False, 5)
        expect(c.value("connected"), "Connect did not connect")
        for member in ("description", "driverinfo", "driverversion", "name"):
            expect(isinstance(c.value(member), str) and c.value(member), member)
        expect(len(c.value("description")) <= 64 and c.value("supportedactions") == [], "description, actions")
        names = {item["Name"] for item in c.value("devicestate")}
        expect(names <= {"CameraState", "CCDTemperature", "CoolerPower", "HeatSinkTemperature", "ImageReady",
                         "IsPulseGuiding", "PercentCompleted", "TimeStamp"} and "CameraState" in names, names)
        # First use: nothing to show yet.
        for member in ("lastexposureduration", "lastexposurestarttime", "imagearray", "imagearrayvariant"):
            c.error("GET", member, INVALID_OPERATION)
        expect(c.value("imageready") is False and c.value("ispulseguiding") is False, "first use")
        fixed = {"canabortexposure": True, "canasymmetricbin": True, "canfastreadout": False,
                 "cangetcoolerpower": True, "canpulseguide": False, "cansetccdtemperature": True,
                 "canstopexposure": True, "hasshutter": True, "maxbinx": 4, "maxbiny": 4, "binx": 1, "biny": 1,
                 "camerastate": 0, "cameraxsize": WIDTH, "cameraysize": HEIGHT, "numx": WIDTH, "numy": HEIGHT,
                 "startx": 0, "starty": 0, "sensortype": 0, "maxadu": 65535, "sensorname": "ICX285AL",
                 "pixelsizex": 6.45, "pixelsizey": 6.45, "readoutmodes": ["Low Noise", "Standard"],
                 "readoutmode": 0, "cooleron": False, "percentcompleted": 0,
                 "exposuremin": 0.001, "exposuremax": 3600.0, "exposureresolution": 0.001}
        for member, wanted in fixed.items():
            expect(c.value(member) == wanted, f"{member} = {c.value(member)}, expected {wanted}")
        expect(-273.15 <= c.value("ccdtemperature") <= 100 and 0 <= c.value("coolerpower") <= 100, "readings")
        absent = ["bayeroffsetx", "bayeroffsety", "gain", "gainmin", "gainmax", "gains", "offset", "offsetmin",
                  "offsetmax", "offsets", "fastreadout", "electronsperadu", "fullwellcapacity",
                  "heatsinktemperature", "subexposureduration"]
        for member in absent:
            c.error("GET", member, NOT_IMPLEMENTED)
        for member, params in (("gain", {"Gain": 0}), ("offset", {"Offset": 0}), ("fastreadout", {"FastReadout": True}),
                               ("pulseguide", {"Direction": 0, "Duration": 0}), ("action", {"Action": "x", "Parameters": ""}),
                               ("subexposureduration", {"SubExposureDuration": 1.0})):
            c.error("PUT", member, NOT_IMPLEMENTED, **params)
        # Setters: bins 1..4 in every pair, 0 and 5 refused; the frame setters take anything.
        for bx in range(1, 5):
            for by in range(1, 5):
                c.ok("binx", BinX=bx)
                c.ok("biny", BinY=by)
        for bad in (0, 5):
            c.error("PUT", "binx", INVALID_VALUE, BinX=bad)
            c.error("PUT", "biny", INVALID_VALUE, BinY=bad)
        for name, value in (("NumX", WIDTH // 2), ("StartX", WIDTH // 2), ("NumY", -3), ("StartY", 99999)):
            c.ok(name.lower(), **{name: value})
            expect(c.value(name.lower()) == value, name)
        c.ok("readoutmode", ReadoutMode=1)
        c.error("PUT", "readoutmode", INVALID_VALUE, ReadoutMode=2)
        # Set points: 0 accepted, the conformance checker's extremes refused.
        c.ok("setccdtemperature", SetCCDTemperature=0.0)
        expect(c.value("setccdtemperature") == 0.0, "set point not kept")
        for bad in (-273.25, 100.0, -50.5, 40.5):
            c.error("PUT", "setccdtemperature", INVALID_VALUE, SetCCDTemperature=bad)
        c.ok("cooleron", CoolerOn=True)
        expect(c.value("cooleron") is True, "cooler not on")
        c.ok("cooleron", CoolerOn=False)
        # Idle methods are harmless.
        for member in ("abortexposure", "stopexposure"):
            c.ok(member)
        expect(c.value("camerastate") == 0 and not c.value("imageready"), "idle after stop/abort")
    finally:
        s.stop()


def case_exposures(o):
    """Full cycles at several binnings and subframes, every pixel against the pattern; stop and abort."""
    s = Server(o.server, speed=20)
    try:
        c = Client(s.port)
        connect(c)
        runs = [(1, 1, 0, 0, None, None), (2, 2, 0, 0, None, None), (3, 3, 0, 0, None, None), (4, 4, 0, 0, None, None),
                (1, 1, 333, 271, 101, 57), (2, 3, 17, 5, 400, 300), (4, 1, 347, 1039, 1, 1), (3, 4, 0, 0, 464, 260),
                (1, 2, 1391, 0, 1, 520)]
        for bx, by, x0, y0, nx, ny in runs:
            image = expose(c, 2.0, True, bx, by, x0, y0, nx, ny)
            want = pattern(bx, by, x0, y0, nx or WIDTH // bx, ny or HEIGHT // by)
            expect(image == want, f"bin {bx}x{by} at {x0},{y0}: the frame differs from the camera's")
            # Never short; at this speed a loaded machine's scheduling stretches it (see case_timing).
            duration = c.value("lastexposureduration")
            expect(2.0 <= duration < 10.0, f"LastExposureDuration {duration}")
            expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}", c.value("lastexposurestarttime")), "start time")
        # JSON and the variant give the same frame as ImageBytes, by the standard's shape.
        image = expose(c, 0.0, False, 2, 2, 10, 20, 30, 40)
        for member in ("imagearray", "imagearrayvariant"):
            answer = c.get(member)
            expect(answer["Type"] == 2 and answer["Rank"] == 2 and answer["Value"] == image, f"{member} JSON")
        expect(image == pattern(2, 2, 10, 20, 30, 40), "dark frame differs")
        # The rejections happen at StartExposure, never in the setters.
        for bx, by in ((1, 1), (2, 2), (3, 1), (4, 3)):
            w, h = WIDTH // bx, HEIGHT // by
            for x0, y0, nx, ny in ((0, 0, w + 1, h), (0, 0, w, h + 1), (w + 1, 0, w, h), (0, h + 1, w, h)):
                for name, value in (("BinX", bx), ("BinY", by), ("StartX", x0), ("StartY", y0), ("NumX", nx), ("NumY", ny)):
                    c.ok(name.lower(), **{name: value})
                c.error("PUT", "startexposure", INVALID_VALUE, Duration=0.1, Light=True)
        c.error("PUT", "startexposure", INVALID_VALUE, Duration=-1.0, Light=True)
        expect(c.value("camerastate") == 0, "a refused exposure left the camera busy")
        # Stop: the frame is read and kept, the duration is what it was.
        for name, value in (("BinX", 1), ("BinY", 1), ("StartX", 0), ("StartY", 0), ("NumX", 64), ("NumY", 48)):
            c.ok(name.lower(), **{name: value})
        c.ok("startexposure", Duration=600.0, Light=True)
        c.wait_for(lambda: c.value("percentcompleted"), lambda p: p >= 1)
        c.error("PUT", "startexposure", INVALID_OPERATION, Duration=1.0, Light=True)
        c.ok("stopexposure")
        c.wait_for(lambda: c.value("imageready"), bool)
        expect(c.image_bytes() == pattern(1, 1, 0, 0, 64, 48), "stopped frame differs")
        expect(5 < c.value("lastexposureduration") < 590, "stopped exposure's duration")
        # Abort: no frame, idle at once.
        c.ok("startexposure", Duration=600.0, Light=False)
        c.wait_for(lambda: c.value("camerastate"), lambda v: v == 2)
        c.ok("abortexposure")
        expect(c.value("camerastate") == 0 and c.value("imageready") is False, "abort")
        c.error("GET", "imagearray", INVALID_OPERATION)
    finally:
        s.stop()


def case_timing(o):
    """The conformance checker's timing of a 2 s exposure, on a clock at real time."""
    s = Server(o.server, speed=1)
    try:
        c = Client(s.port)
        connect(c)
        for name, value in (("NumX", 100), ("NumY", 100)):
            c.ok(name.lower(), **{name: value})
        started = time.time()
        c.ok("startexposure", Duration=2.0, Light=True)
        expect(time.time() - started < 1.0, "StartExposure took a second or more")
        c.wait_for(lambda: c.value("camerastate"), lambda v: v == 2, 10)
        seen = time.time()
        expect(c.value("imageready") is False, "ImageReady while exposing")
        c.wait_for(lambda: c.value("imageready"), bool, 10)
        expect(time.time() - started >= 2.0, "the image was ready before its time")
        duration = c.value("lastexposureduration")
        expect(abs(duration - 2.0) / 2.0 < 0.02, f"LastExposureDuration {duration}")
        start = time.mktime(time.strptime(c.value("lastexposurestarttime")[:19], "%Y-%m-%dT%H:%M:%S")) - time.timezone
        expect(seen - 2.0 <= start <= seen, f"LastExposureStartTime {start} against Exposing seen at {seen}")
    finally:
        s.stop()


def case_filterwheel(o):
    # The driver reads the filter names from its configuration file, beside the module.
    folder = os.path.join(o.work, "named")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "d_r6odi.ini"), "w") as f:
        f.write("[filters]\n1=Lum\n2=Red,LRED\n")
    s = Server(os.path.abspath(o.server), cwd=folder)
    try:
        connect(Client(s.port), "filterwheel")
        names = Client(s.port).value("names", "filterwheel")
        expect(names == ["Lum", "Red", "Filter 3", "Filter 4", "Filter 5"], names)
    finally:
        s.stop()
    s = Server(o.server)
    try:
        c = Client(s.port)
        c.error("GET", "position", NOT_CONNECTED, "filterwheel")
        connect(c, "filterwheel")
        names, offsets = c.value("names", "filterwheel"), c.value("focusoffsets", "filterwheel")
        expect(names == [f"Filter {i}" for i in range(1, 6)] and offsets == [0] * 5, f"{names} {offsets}")
        last = len(names) - 1
        for target in list(range(len(names))) + list(range(last, -1, -1)) + [0, last, last - 1, 0, last // 2, 0]:
            c.ok("position", "filterwheel", Position=target)
            got = c.wait_for(lambda: c.value("position", "filterwheel"), lambda p: p != -1, 30)
            expect(got == target, f"wheel at {got}, asked {target}")
        for bad in (-1, len(names)):
            c.error("PUT", "position", INVALID_VALUE, "filterwheel", Position=bad)
        expect(c.value("devicestate", "filterwheel") == [{"Name": "Position", "Value": 0}], "wheel device state")
        # The wheel holds the camera open on its own; the camera's connection is separate.
        expect(c.value("connected") is False, "camera connected with the wheel")
        c.ok("connected", "filterwheel", Connected="false")
        expect(c.value("connected", "filterwheel") is False, "wheel still connected")
    finally:
        s.stop()


def case_cooling(o):
    s = Server(o.server, "--max-step", "10", speed=200)
    try:
        c = Client(s.port)
        connect(c)
        start = c.value("ccdtemperature")
        c.ok("setccdtemperature", SetCCDTemperature=-5.0)
        c.ok("cooleron", CoolerOn=True)
        c.wait_for(lambda: c.value("ccdtemperature"), lambda t: abs(t + 5.0) < 0.5, 120)
        expect(c.value("coolerpower") > 0, "cooler power at -5 C")
        c.ok("cooleron", CoolerOn=False)
        c.wait_for(lambda: c.value("ccdtemperature"), lambda t: t > start - 1.0, 120)
        expect(c.value("cooleron") is False, "cooler still on")
    finally:
        s.stop()


def case_errors(o):
    """The protocol checker's bad requests: the HTTP status and text the standard gives."""
    for args, message in ((["--port", "0"], "port '0' is out of range: give 1 to 65535"),
                          (["--read-mode", "fast"], "read mode 'fast' is unknown: give low-noise or standard"),
                          (["--speed", "x"], "speed 'x' is out of range: give 0.01 to 100000 (1 = real time)"),
                          (["--camera"], "--camera needs a value"), (["--colour", "1"], "unknown option '--colour'")):
        result = subprocess.run([o.server] + args, capture_output=True, text=True, timeout=60)
        expect(result.returncode == 2 and result.stderr.startswith(f"r6odi-alpaca: {message}\n"),
               f"{args}: {result.returncode} {result.stderr}")
    s = Server(o.server)
    try:
        c = Client(s.port)
        for path in ("/api/v1/CAMERA/0/name", "/api/v1/baddevicetype/0/name", "/api/v1/camera/-1/name",
                     "/api/v1/camera/99999/name", "/api/v1/camera/A/name", "/api/v1/camera/0/descrip",
                     "/api/v1/camera/0/Name", "/api/v2/camera/0/name", "/api/v1/camera/0"):
            status, kind, text = c.request("GET", path)
            expect(status == 400 and kind.startswith("text/plain") and text, f"{path}: {status}")
        expect(c.call("GET", "camera", "startexposure")[0] == 400, "GET of a method")
        # GET names in any casing; PUT names exactly as documented.
        answer = c.get("name", raw_params="clientid=3&CLIENTTRANSACTIONID=77&ExtraParameter=ExtraValue")
        expect(answer["ClientTransactionID"] == 77, f"GET id casing: {answer}")
        answer = c.put("connected", raw_params="Connected=True&clienttransactionid=78")
        expect(answer["ClientTransactionID"] == 0 and answer["ErrorNumber"] == 0, f"PUT id casing: {answer}")
        for body in ("connected=true", "Connected=", "Connected=123456", "Connected=asdqwe", "BinX=asduio6fghZZ",
                     "BinX=2&ClientID=-1", "BinX=2&ClientTransactionID=4294967296", "bINX=2", "BinX=2.5"):
            member = "connected" if body.lower().startswith("connected") else "binx"
            expect(c.call("PUT", "camera", member, raw_params=body)[0] == 400, f"PUT {member} {body}")
        expect(c.call("GET", "camera", "name", raw_params="ClientID=abc")[0] == 400, "bad ClientID")
        # Two clients at once are served in turn; the second StartExposure is refused.
        a, b = Client(s.port), Client(s.port)
        a.ok("startexposure", Duration=30.0, Light=True)
        message = b.error("PUT", "startexposure", INVALID_OPERATION, Duration=1.0, Light=True)
        expect(message == "an exposure is already running: wait for it or abort it", message)
        b.ok("abortexposure")
    finally:
        s.stop()


def case_unplug(o):
    s = Server(o.server, "--simulate-unplug", "1", "--unplug-seconds", "30", speed=20)
    try:
        c = Client(s.port)
        connect(c)
        c.ok("startexposure", Duration=10.0, Light=True)
        message = c.wait_for(lambda: c.get("imageready"), lambda a: a["ErrorNumber"] != 0)["ErrorMessage"]
        expect("unplugged during the exposure" in message, message)
        expect(c.value("camerastate") == 5, "state after the unplug")
        c.error("PUT", "startexposure", DRIVER_ERROR, Duration=1.0, Light=True)
        # The camera comes back by itself and the next exposure works.
        c.wait_for(lambda: c.put("startexposure", Duration=1.0, Light=True), lambda a: a["ErrorNumber"] == 0)
        c.wait_for(lambda: c.value("imageready"), bool)
        expect(c.image_bytes() == pattern(1, 1, 0, 0, WIDTH, HEIGHT), "frame after the replug")
        expect(c.value("connected"), "the Alpaca connection was dropped")
    finally:
        err = s.stop()
    expect("unplugged" in err and "plugged in again" in err, f"no unplug happened: {err}")


def case_soak(o):
    """Random requests from several clients while the cable is pulled every few frames."""
    s = Server(o.server, "--simulate-unplug", "2", "--unplug-every", "5", "--unplug-seconds", "2", speed=50)
    rng = random.Random(o.seed)
    failures, frames = [], [0]
    gets = ["camerastate", "imageready", "percentcompleted", "ccdtemperature", "coolerpower", "devicestate",
            "binx", "numx", "readoutmodes", "name", "connected", "imagearray", "lastexposureduration", "sensorname"]

    def exposer():
        c = Client(s.port, 1)
        for _ in range(16):
            bx, by = rng.randint(1, 4), rng.randint(1, 4)
            w, h = WIDTH // bx, HEIGHT // by
            nx, ny = rng.randint(1, w), rng.randint(1, h)
            x0, y0 = rng.randint(0, w - nx), rng.randint(0, h - ny)
            for name, value in (("BinX", bx), ("BinY", by), ("StartX", x0), ("StartY", y0), ("NumX", nx), ("NumY", ny)):
                c.ok(name.lower(), **{name: value})
            if c.put("startexposure", Duration=rng.uniform(0, 3), Light=True)["ErrorNumber"]:
                time.sleep(0.1)
                continue
            # Ends with a frame, or with the unplug's error.
            ready = c.wait_for(lambda: c.get("imageready"), lambda a: a["ErrorNumber"] or a["Value"], 120)
            image = c.image_bytes() if ready["ErrorNumber"] == 0 else None
            if image is not None:
                expect(image == pattern(bx, by, x0, y0, nx, ny), f"wrong frame: {bx}x{by} {x0},{y0} {nx}x{ny}")
                frames[0] += 1

    def poller(seed):
        r, c = random.Random(seed), Client(s.port)
        for _ in range(150):
            choice = r.random()
            if choice < 0.7:
                status = c.call("GET", "camera", r.choice(gets))[0]
            elif choice < 0.8:
                status = c.call("PUT", "filterwheel", "position", Position=r.randint(0, 4))[0]
            elif choice < 0.9:
                status = c.call("PUT", "camera", "setccdtemperature", SetCCDTemperature=r.uniform(-20, 20))[0]
            else:
                status = c.call("PUT", "camera", "startexposure", Duration=0.5, Light=False)[0]
            expect(status == 200, f"HTTP {status}")

    def guard(work, *args):
        try:
            work(*args)
        except Exception as e:  # collected, reported after every thread ended
            failures.append(repr(e))

    try:
        Client(s.port).ok("connected", Connected="true")
        Client(s.port).ok("connected", "filterwheel", Connected="true")
        threads = [threading.Thread(target=guard, args=(exposer,))]
        threads += [threading.Thread(target=guard, args=(poller, o.seed + i)) for i in range(5)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        err = s.stop()
    expect(not failures, "\n".join(failures))
    replugs = err.count("plugged in again")
    expect(frames[0] >= 4 and replugs >= 2, f"{frames[0]} frames checked, {replugs} unplugs; server said: {err}")
    print(f"soak: {frames[0]} frames checked pixel for pixel, {replugs} unplugs")


def case_fits(o):
    """The capture host's FITS of a frame and ImageArray of the same frame agree pixel for pixel."""
    from astropy.io import fits
    folder = os.path.join(o.work, "fits")
    os.makedirs(folder, exist_ok=True)
    for old in glob.glob(os.path.join(folder, "*")):
        os.remove(old)
    env = dict(os.environ, R6ODI_SIM_PATTERN="1")
    subprocess.run([o.capture, "expose", "--speed", "1000", "--time", "1", "--bin", "8", "--subframe",
                    "10,20,30,40", "--out", folder, "--plain"], check=True, env=env, capture_output=True, timeout=300)
    (path,) = glob.glob(os.path.join(folder, "*.fits"))
    with fits.open(path) as f:
        header, data = f[0].header, f[0].data
    expect(header["ROWORDER"] == "BOTTOM-UP" and (header["XBINNING"], header["YBINNING"]) == (2, 3), "FITS layout")
    s = Server(o.server)
    try:
        c = Client(s.port)
        connect(c)
        # The file counts its origin's rows from the bottom, as its data
        # lies; Alpaca counts StartY from the top.
        start_y = HEIGHT // 3 - header["YORGSUBF"] - header["NAXIS2"]
        image = expose(c, 1.0, True, 2, 3, header["XORGSUBF"], start_y, header["NAXIS1"], header["NAXIS2"])
    finally:
        s.stop()
    rows = data.shape[0]
    expect(all(image[x][y] == int(data[rows - 1 - y][x]) for x in range(len(image)) for y in range(rows)),
           "ImageArray and the FITS file differ")


def discover(udp):
    """The answers to one discovery request, and that a stray datagram gets none."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u:
        u.settimeout(5)
        for probe in (b"alpacadiscovery1", b"alpacadiscovery1" + b"\0" * 16, b"hello"):
            u.sendto(probe, ("127.0.0.1", udp))
        answers = []
        try:
            while True:
                answers.append(json.loads(u.recvfrom(100)[0]))
        except socket.timeout:
            return answers


def case_wine(o):
    """The Windows build under wine64, where no camera is attached."""
    port, udp = free_port(), free_port(socket.SOCK_DGRAM)
    log = os.path.join(o.work, "wine-server.log")
    env = dict(os.environ, WINEPREFIX=o.wine_prefix, WINEDEBUG="-all")
    with open(log, "w") as out:  # Wine's helper processes would hold a pipe open
        process = subprocess.Popen([o.wine, o.server, "--port", str(port), "--discovery-port", str(udp)],
                                   stdout=out, stderr=subprocess.STDOUT, env=env, start_new_session=True)
    try:
        end = time.time() + 120
        while "serving camera/0" not in open(log).read():
            expect(time.time() < end and process.poll() is None, f"the server did not start: {open(log).read()}")
            time.sleep(0.2)
        c = Client(port)
        devices = json.loads(c.request("GET", "/management/v1/configureddevices")[2])["Value"]
        expect([d["DeviceType"] for d in devices] == ["Camera", "FilterWheel"], devices)
        expect(discover(udp) == [{"AlpacaPort": port}] * 2, "discovery under Wine")
        message = c.error("PUT", "connected", DRIVER_ERROR, Connected="true")
        expect(message == "no camera found: none is attached, or each one is in use by another program", message)
        expect(c.value("connected") is False, "connected without a camera")
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--capture")
    parser.add_argument("--wine")
    parser.add_argument("--wine-prefix")
    parser.add_argument("--work", required=True)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("case")
    o = parser.parse_args()
    os.makedirs(o.work, exist_ok=True)
    globals()["case_" + o.case](o)
    print(f"alpaca.{o.case}: ok")


if __name__ == "__main__":
    main()
