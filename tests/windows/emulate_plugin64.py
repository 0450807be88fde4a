#!/usr/bin/python3
"""Runs sorvan64.dll, the plug-in built for 64-bit Windows hosts, under emulation on Linux.

Two fake hosts with the Windows x64 convention and layouts drive the real DLL:
- a VapourSynth API 4 core (VSPLUGINAPI and a 106-slot VSAPI, maps, nodes and frames): the entry
  point's registration, refusals with their exact messages, frames of 8-bit, 10-bit, 16-bit and
  float formats, and the instance's release;
- an AviSynth+ C host (the avs_* functions found by the DLL through VirtualQuery and
  GetProcAddress, AVS_Value passed by pointer and returned through a hidden pointer, the 120-byte
  AVS_FilterInfo): registration, a refusal, frames of the same depths, and the release.
Filtered frames are compared byte for byte with the Linux build of the core (--expected-tool);
references to frames, nodes and clips must be balanced and every block freed at teardown.

usage: emulate_plugin64.py --dll build/win64/sorvan64.dll --expected-tool build/bin/sorvan_expected_frames
"""

import argparse
import os
import random
import struct
import subprocess
import sys

from emulate_plugin import Failures
from pe_emulator import EmulationError
from pe_emulator64 import Emulator64, IMAGE_BASE, c_runtime_stubs64, load_dll64
from pe_image import PeFormatError

ARG_ORDER = ["rad", "str", "ry", "gu", "bv", "force", "pry", "pgu", "pbv", "nry", "ngu", "nbv"]
DEFAULTS = {"rad": 5, "str": 4, "ry": False, "gu": True, "bv": True, "force": False,
            "pry": 3, "pgu": 1, "pbv": 3, "nry": 3, "ngu": 4, "nbv": 6}
AVS_PARAMS = "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i"
VERSION_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")

# Formats as (VapourSynth family, sample type, bits, ssw, ssh) with the names the tests print.
CF_GRAY, CF_RGB, CF_YUV = 1, 2, 3
ST_INT, ST_FLOAT = 0, 1


def project_version():
    import re
    text = open(VERSION_FILE).read()
    major, minor = re.search(r"project\(sorvan VERSION (\d+)\.(\d+)", text).groups()
    return int(major), int(minor)


class Format:
    def __init__(self, name, family, sample_type, bits, ssw, ssh):
        self.name, self.family, self.sample_type, self.bits, self.ssw, self.ssh = name, family, sample_type, bits, ssw, ssh
        self.bytes = 4 if bits > 16 else (2 if bits > 8 else 1)
        self.planes = 1 if family == CF_GRAY else 3

    def plane_size(self, plane, width, height):
        if plane == 0:
            return width, height
        return (width + (1 << self.ssw) - 1) >> self.ssw, (height + (1 << self.ssh) - 1) >> self.ssh


def make_planes(rng, fmt, width, height):
    """Tightly packed planes of noisy content in range for the format."""
    planes = []
    for p in range(fmt.planes):
        w, h = fmt.plane_size(p, width, height)
        if fmt.sample_type == ST_FLOAT:
            low = -0.5 if fmt.family == CF_YUV and p > 0 else 0.0
            values = [low + 0.5 + 0.3 * ((x * 7 + y * 3) % 17) / 17 + rng.uniform(-0.02, 0.02)
                      for y in range(h) for x in range(w)]
            values = [v - 0.5 if low < 0 else v for v in values]
            planes.append(struct.pack("<%df" % len(values), *values))
        else:
            top = (1 << fmt.bits) - 1
            base = [((x * 5 + y * 9) % 23) * top // 40 + top // 4 for y in range(h) for x in range(w)]
            values = [max(0, min(top, b + rng.randint(-top // 60 - 1, top // 60 + 1))) for b in base]
            code = "B" if fmt.bytes == 1 else "H"
            planes.append(struct.pack("<%d%s" % (len(values), code), *values))
    return planes


def expected_planes(tool, fmt, width, height, settings, planes):
    values = [int(settings.get(name, DEFAULTS[name])) for name in ARG_ORDER]
    argv = [tool, "vs", str(fmt.family), str(fmt.sample_type), str(fmt.bits), str(fmt.ssw), str(fmt.ssh),
            str(width), str(height)] + [str(v) for v in values]
    out = subprocess.run(argv, input=b"".join(planes), capture_output=True, check=True).stdout
    result, position = [], 0
    for p in range(fmt.planes):
        size = len(planes[p])
        result.append(out[position:position + size])
        position += size
    return result


# ---------------------------------------------------------------------------------------------
# The fake VapourSynth core
# ---------------------------------------------------------------------------------------------
VSAPI_SLOTS = 106
SLOT = {"createVideoFilter": 0, "freeNode": 7, "addNodeRef": 8, "getVideoInfo": 10, "newVideoFrame": 12,
        "newVideoFrame2": 13, "freeFrame": 16, "addFrameRef": 17, "getStride": 21, "getReadPtr": 22,
        "getWritePtr": 23, "getVideoFrameFormat": 24, "getFrameWidth": 27, "getFrameHeight": 28,
        "getVideoFormatName": 30, "getFrameFilter": 38, "requestFrameFilter": 39, "setFilterError": 42,
        "mapSetError": 51, "mapGetError": 52, "mapNumElements": 56, "mapGetType": 57, "mapGetInt": 59,
        "mapGetIntSaturated": 60, "mapGetNode": 73, "registerFunction": 82}
PT_UNSET, PT_INT, PT_VIDEO_NODE = 0, 1, 5
PE_SUCCESS, PE_UNSET, PE_TYPE, PE_INDEX = 0, 1, 2, 4
AR_INITIAL, AR_ALL_FRAMES_READY = 0, 1


class VsFrame:
    def __init__(self, host, fmt, width, height, planes=None, shared=None):
        self.fmt, self.width, self.height = fmt, width, height
        self.refs = 1
        self.planes = []  # (address, stride, width, height)
        self.format_address = host.format_struct(fmt)
        for p in range(fmt.planes):
            w, h = fmt.plane_size(p, width, height)
            if shared and shared[p] is not None:
                self.planes.append(shared[p].planes[p])
                continue
            stride = (w * fmt.bytes + 63) // 64 * 64 + 64   # padded, as a core pads
            address = host.emu.host_alloc(stride * h, fill=0xA5)
            self.planes.append((address, stride, w, h))
        if planes:
            for p, data in enumerate(planes):
                address, stride, w, h = self.planes[p]
                row = w * fmt.bytes
                for y in range(h):
                    host.emu.write(address + y * stride, data[y * row:(y + 1) * row])

    def read(self, emu):
        result = []
        for address, stride, w, h in self.planes:
            row = w * self.fmt.bytes
            result.append(b"".join(emu.read(address + y * stride, row) for y in range(h)))
        return result


class FakeVapourSynth:
    def __init__(self, emu):
        self.emu = emu
        self.handles = {}          # address -> python object (maps, nodes, frames)
        self.formats = {}
        self.registered = []
        self.configured = []
        self.filters = []          # createVideoFilter calls
        self.frame_errors = []
        self.requests = []
        plugin_api = emu.host_alloc(24)
        for i, (name, fn) in enumerate([("getAPIVersion", lambda e, a: 0x00040001),
                                        ("configPlugin", self.config_plugin),
                                        ("registerFunction", self.register_function)]):
            emu.put_u64(plugin_api + 8 * i, emu.add_stub("vspapi->" + name, fn))
        self.plugin_api = plugin_api
        self.vsapi = emu.host_alloc(8 * VSAPI_SLOTS)
        names = {index: name for name, index in SLOT.items()}
        for index in range(VSAPI_SLOTS):
            name = names.get(index)
            handler = getattr(self, name, None) if name else None
            stub = emu.add_stub("vsapi->" + name, handler) if handler else emu.bind_unexpected("vsapi slot %d" % index)
            emu.put_u64(self.vsapi + 8 * index, stub)
        self.plugin = emu.host_alloc(16)
        self.core = emu.host_alloc(16)

    def handle(self, obj, size=16):
        address = self.emu.host_alloc(size)
        self.handles[address] = obj
        return address

    def obj(self, address, kind):
        o = self.handles.get(address)
        if not isinstance(o, kind):
            raise EmulationError("0x%x is not a %s" % (address, kind.__name__))
        return o

    def format_struct(self, fmt):
        if fmt.name not in self.formats:
            address = self.emu.host_alloc(28)
            self.emu.write(address, struct.pack("<7i", fmt.family, fmt.sample_type, fmt.bits, fmt.bytes, fmt.ssw,
                                                fmt.ssh, fmt.planes))
            self.formats[fmt.name] = (address, fmt)
        return self.formats[fmt.name][0]

    # ----- VSPLUGINAPI ---------------------------------------------------------------------
    def config_plugin(self, emu, a):
        self.configured.append((emu.cstring(a[0]), emu.cstring(a[1]), emu.cstring(a[2]), a.int32(3), a.int32(4),
                                a.int32(5), a[6]))
        return 1

    def register_function(self, emu, a):
        self.registered.append((emu.cstring(a[0]), emu.cstring(a[1]), emu.cstring(a[2]), a[3], a[4], a[5]))
        return 1

    # ----- maps ------------------------------------------------------------------------------
    def new_map(self, entries=None):
        return self.handle({"entries": dict(entries or {}), "error": None})

    def map_of(self, address):
        m = self.handles.get(address)
        if not isinstance(m, dict) or "entries" not in m:
            raise EmulationError("0x%x is not a map" % address)
        return m

    def mapSetError(self, emu, a):
        self.map_of(a[0])["error"] = emu.cstring(a[1])

    def mapGetError(self, emu, a):
        error = self.map_of(a[0])["error"]
        return emu.host_string(error) if error is not None else 0

    def mapNumElements(self, emu, a):
        value = self.map_of(a[0])["entries"].get(emu.cstring(a[1]))
        return len(value[1]) if value else -1 & 0xFFFFFFFF

    def mapGetType(self, emu, a):
        value = self.map_of(a[0])["entries"].get(emu.cstring(a[1]))
        return value[0] if value else PT_UNSET

    def _get(self, emu, a, kind):
        value = self.map_of(a[0])["entries"].get(emu.cstring(a[1]))
        error, result = PE_SUCCESS, 0
        if value is None:
            error = PE_UNSET
        elif value[0] != kind:
            error = PE_TYPE
        elif not 0 <= a.int32(2) < len(value[1]):
            error = PE_INDEX
        else:
            result = value[1][a.int32(2)]
        if a[3]:
            emu.put_u32(a[3], error)
        elif error:
            raise EmulationError("map read of a missing key with a null error pointer (the core would abort)")
        return error, result

    def mapGetInt(self, emu, a):
        return self._get(emu, a, PT_INT)[1]

    def mapGetIntSaturated(self, emu, a):
        return max(-2**31, min(2**31 - 1, self._get(emu, a, PT_INT)[1]))

    def mapGetNode(self, emu, a):
        error, node = self._get(emu, a, PT_VIDEO_NODE)
        if error:
            return 0
        self.obj(node, VsNode).refs += 1   # the caller owns a new reference
        return node

    # ----- nodes -----------------------------------------------------------------------------
    def getVideoInfo(self, emu, a):
        return self.obj(a[0], VsNode).vi

    def freeNode(self, emu, a):
        if a[0] == 0:
            return
        node = self.obj(a[0], VsNode)
        if node.refs <= 0:
            raise EmulationError("freeNode of a node with no references left")
        node.refs -= 1

    def addNodeRef(self, emu, a):
        self.obj(a[0], VsNode).refs += 1
        return a[0]

    def createVideoFilter(self, emu, a):
        out, name, vi, get_frame, free, mode, deps, ndeps, instance, core = [a[i] for i in range(10)]
        dependencies = [(emu.u64(deps + 16 * i), emu.i32(deps + 16 * i + 8)) for i in range(a.int32(7))]
        self.filters.append({"name": emu.cstring(name), "vi": emu.read(vi, 64), "getFrame": get_frame,
                             "free": free, "mode": a.int32(5), "deps": dependencies, "instance": instance,
                             "core": core})
        node = VsNode(emu.read(vi, 64), self)
        self.map_of(out)["entries"]["clip"] = (PT_VIDEO_NODE, [self.handle(node)])

    # ----- frames ----------------------------------------------------------------------------
    def frame(self, address):
        f = self.obj(address, VsFrame)
        if f.refs <= 0:
            raise EmulationError("use of a freed frame")
        return f

    def newVideoFrame2(self, emu, a):
        fmt = self.formats_by_address(a[0])
        width, height = a.int32(1), a.int32(2)
        sources = [emu.u64(a[3] + 8 * p) if a[3] else 0 for p in range(fmt.planes)]
        numbers = [emu.i32(a[4] + 4 * p) if a[4] else p for p in range(fmt.planes)]
        if numbers != list(range(fmt.planes)):
            raise EmulationError("newVideoFrame2 with plane numbers %s" % numbers)
        shared = [self.frame(s) if s else None for s in sources]
        if a[5]:
            self.frame(a[5])    # the property source must be a live frame
        self.new_frames += 1
        self.shared_planes += sum(1 for s in shared if s)
        return self.handle(VsFrame(self, fmt, width, height, shared=shared))

    def formats_by_address(self, address):
        """The format a VSVideoFormat in memory describes (the plug-in may pass its own copy)."""
        fields = struct.unpack("<7i", self.emu.read(address, 28))
        for _, fmt in self.formats.values():
            if fields == (fmt.family, fmt.sample_type, fmt.bits, fmt.bytes, fmt.ssw, fmt.ssh, fmt.planes):
                return fmt
        raise EmulationError("0x%x holds no format of this core: %s" % (address, fields))

    def freeFrame(self, emu, a):
        if a[0] == 0:
            return
        self.frame(a[0]).refs -= 1

    def addFrameRef(self, emu, a):
        self.frame(a[0]).refs += 1
        return a[0]

    def getVideoFrameFormat(self, emu, a):
        return self.frame(a[0]).format_address

    def _plane(self, a):
        f = self.frame(a[0])
        plane = a.int32(1)
        if not 0 <= plane < f.fmt.planes:
            raise EmulationError("plane %d of a %d-plane frame" % (plane, f.fmt.planes))
        return f.planes[plane]

    def getStride(self, emu, a):
        return self._plane(a)[1]

    def getReadPtr(self, emu, a):
        return self._plane(a)[0]

    def getWritePtr(self, emu, a):
        f = self.frame(a[0])
        if f.refs != 1:
            raise EmulationError("getWritePtr on a shared frame")
        return self._plane(a)[0]

    def getFrameWidth(self, emu, a):
        return self._plane(a)[2]

    def getFrameHeight(self, emu, a):
        return self._plane(a)[3]

    def getVideoFormatName(self, emu, a):
        emu.write(a[1], self.formats_by_address(a[0]).name.encode() + b"\0")
        return 1

    def requestFrameFilter(self, emu, a):
        self.requests.append((a.int32(0), a[1], a[2]))

    def getFrameFilter(self, emu, a):
        node = self.obj(a[1], VsNode)
        frame = node.frames[a.int32(0)]
        self.frame(frame).refs += 1
        return frame

    def setFilterError(self, emu, a):
        self.frame_errors.append(emu.cstring(a[0]))


class VsNode:
    def __init__(self, vi, host):
        self.vi_bytes = vi
        self.refs = 1
        self.frames = {}
        self.vi = host.emu.host_alloc(64)
        host.emu.write(self.vi, vi)


def vs_source(host, fmt, width, height, planes):
    """A node whose frame 3 carries `planes`; returns (node handle, frame handle)."""
    vi = struct.pack("<7iiqqiiii", fmt.family, fmt.sample_type, fmt.bits, fmt.bytes, fmt.ssw, fmt.ssh, fmt.planes,
                     0, 30000, 1001, width, height, 10, 0)
    node = VsNode(vi, host)
    host.format_struct(fmt)
    frame = host.handle(VsFrame(host, fmt, width, height, planes=planes))
    node.frames[3] = frame
    return host.handle(node), node, frame


def vs_call(run, node_handle, settings):
    """Calls the registered create function as a script would; returns the out map."""
    emu, host = run.emu, run.vs
    entries = {"clip": (PT_VIDEO_NODE, [node_handle])}
    for name, value in settings.items():
        entries[name] = (PT_INT, [int(value)])
    host.obj(node_handle, VsNode).refs += 1        # the in map holds one
    in_map, out_map = host.new_map(entries), host.new_map()
    name, args, ret, create, data, plugin = host.registered[0]
    emu.call(create, [in_map, out_map, data, host.core, host.vsapi])
    host.obj(node_handle, VsNode).refs -= 1        # the in map is freed
    return host.map_of(out_map)


def run_vapoursynth(run, tool, failures):
    emu = run.emu
    host = run.vs = FakeVapourSynth(emu)
    exports, _ = run.image.exports()
    emu.call(IMAGE_BASE + exports["VapourSynthPluginInit2"], [host.plugin, host.plugin_api])
    major, minor = project_version()
    ok = failures.check(len(host.configured) == 1, "configPlugin called %d times" % len(host.configured))
    if ok:
        identifier, namespace, name, version, api, flags, plugin = host.configured[0]
        failures.check((identifier, namespace, name) == ("org.sorvan.sorvan", "sorvan", "Sorvan"),
                       "configPlugin identity %s" % ((identifier, namespace, name),))
        failures.check(version == (major << 16) | minor, "pluginVersion 0x%x, not the project's %d.%d"
                       % (version, major, minor))
        failures.check(api == 0x00040000 and flags == 0 and plugin == host.plugin, "API version 0x%x, flags %d"
                       % (api, flags))
    if not failures.check(len(host.registered) == 1 and host.registered[0][0] == "Sorvan"
                          and host.registered[0][2] == "clip:vnode;", "registerFunction: %s" % host.registered):
        return
    print("ok   VapourSynth: configPlugin(org.sorvan.sorvan, version %d.%d, API 4.0), registerFunction(Sorvan)"
          % (major, minor))

    rng = random.Random(64)
    cases = [
        (Format("YUV420P8", CF_YUV, ST_INT, 8, 1, 1), 40, 30, {}),
        (Format("YUV420P10", CF_YUV, ST_INT, 10, 1, 1), 36, 24, {"ry": 1, "rad": 3}),
        (Format("YUV444P16", CF_YUV, ST_INT, 16, 0, 0), 24, 20, {"force": 1, "pgu": 4}),
        (Format("RGBS", CF_RGB, ST_FLOAT, 32, 0, 0), 20, 18, {"ry": 1, "str": 2}),
        (Format("GrayS", CF_GRAY, ST_FLOAT, 32, 0, 0), 19, 17, {"ry": 1, "gu": 0, "bv": 0}),
    ]
    for fmt, width, height, settings in cases:
        label = "VapourSynth %s %dx%d %s" % (fmt.name, width, height, settings or "defaults")
        planes = make_planes(rng, fmt, width, height)
        node_handle, node, source = vs_source(host, fmt, width, height, planes)
        host.new_frames = host.shared_planes = 0
        out = vs_call(run, node_handle, settings)
        if not failures.check(out["error"] is None and len(host.filters) > 0, "%s: refused: %s" % (label, out["error"])):
            continue
        made = host.filters[-1]
        failures.check(made["deps"] == [(node_handle, 2)] and made["mode"] == 0,
                       "%s: dependencies %s, mode %d" % (label, made["deps"], made["mode"]))
        context = emu.host_alloc(16)
        frame_data = emu.host_alloc(8)
        args = [3, 0, made["instance"], frame_data, context, host.core, host.vsapi]
        returned = emu.call(made["getFrame"], args)
        failures.check(returned == 0 and host.requests[-1] == (3, node_handle, context),
                       "%s: arInitial returned 0x%x, requests %s" % (label, returned, host.requests[-1:]))
        args[1] = AR_ALL_FRAMES_READY
        result = emu.call(made["getFrame"], args)
        if not failures.check(result in host.handles and not host.frame_errors, "%s: no frame (%s)"
                              % (label, host.frame_errors)):
            continue
        output = host.frame(result).read(emu)
        expected = expected_planes(tool, fmt, width, height, settings, planes)
        failures.check(expected != planes, label + ": the Linux build left the frame unchanged")
        for p in range(fmt.planes):
            if not failures.check(output[p] == expected[p], "%s: plane %d differs from the Linux build" % (label, p)):
                diff = next(i for i in range(len(expected[p])) if output[p][i] != expected[p][i])
                print("  first difference at byte %d of %d" % (diff, len(expected[p])))
        host.frame(result).refs -= 1                           # the script drops the output frame
        emu.call(made["free"], [made["instance"], host.core, host.vsapi])
        host.obj(node_handle, VsNode).refs -= 1                # the script drops its source
        host.frame(source).refs -= 1
        failures.check(node.refs == 0, "%s: source node left with %d references" % (label, node.refs))
        live = [h for h, o in host.handles.items() if isinstance(o, VsFrame) and o.refs != 0]
        failures.check(not live, "%s: %d frames with references left" % (label, len(live)))
        for h in [h for h, o in host.handles.items() if isinstance(o, VsFrame)]:
            del host.handles[h]
        failures.check(not emu.live_blocks, "%s: %d blocks still allocated" % (label, len(emu.live_blocks)))
        print("ok   %s: %d planes equal to the Linux build (%d shared), references balanced, memory freed"
              % (label, fmt.planes, host.shared_planes))

    refusals = [
        (Format("YUV420P8", CF_YUV, ST_INT, 8, 1, 1), {"rad": 0}, "Sorvan:rad must be between 1 and 8"),
        (Format("Gray16", CF_GRAY, ST_INT, 16, 0, 0), {},
         "Sorvan: a clip without colour planes has only channel 0: set ry=true"),
        (Format("YUV420PH", CF_YUV, ST_FLOAT, 16, 1, 1), {"rad": 0},
         "Sorvan: YUV420PH is not supported: use 8 to 16-bit integer or 32-bit float samples"),
    ]
    for fmt, settings, message in refusals:
        node_handle, node, source = vs_source(host, fmt, 16, 12, [b"\0" * 16 * 12 * fmt.bytes] * fmt.planes)
        before = len(host.filters)
        out = vs_call(run, node_handle, settings)
        failures.check(out["error"] == message, "VapourSynth %s %s: error %r, expected %r"
                       % (fmt.name, settings, out["error"], message))
        failures.check(len(host.filters) == before and node.refs == 1 and not emu.live_blocks,
                       "VapourSynth refusal: a filter was made, a node reference leaked or memory kept")
        print("ok   VapourSynth %s %s -> %r" % (fmt.name, settings, message))


# ---------------------------------------------------------------------------------------------
# The fake AviSynth+ C host
# ---------------------------------------------------------------------------------------------
AVS_PLANE = {"Y": 1, "U": 2, "V": 4, "R": 32, "G": 64, "B": 128}


class AvsFrame:
    def __init__(self, emu, fmt, width, height, letters, planes=None):
        self.refs = 1
        self.fmt = fmt
        self.writable = planes is None
        self.planes = {}
        for index, letter in enumerate(letters):
            w, h = fmt.plane_size(index, width, height)
            pitch = (w * fmt.bytes + 63) // 64 * 64 + 64
            address = emu.host_alloc(pitch * h, fill=0x3C)
            self.planes[AVS_PLANE[letter]] = (address, pitch, w * fmt.bytes, h, index)
            if planes:
                row = w * fmt.bytes
                for y in range(h):
                    emu.write(address + y * pitch, planes[index][y * row:(y + 1) * row])
        self.planes[0] = self.planes[AVS_PLANE[letters[0]]]

    def read(self, emu):
        result = {}
        for key, (address, pitch, row, h, index) in self.planes.items():
            result[index] = b"".join(emu.read(address + y * pitch, row) for y in range(h))
        return [result[i] for i in sorted(result)]


# Bytes of stack arguments of each host function in the 32-bit stdcall convention (the W32
# column of the interface's table); the 64-bit convention needs no such count.
AVS_ARGUMENT_BYTES_32 = {
    "add_function": 20, "check_version": 8, "new_c_filter": 20, "take_clip": 12, "release_clip": 4,
    "get_video_info": 4, "set_to_clip": 8, "get_frame": 8, "clip_get_error": 4, "release_video_frame": 4,
    "new_video_frame_a": 12, "new_video_frame_p": 12, "get_pitch_p": 8, "get_row_size_p": 8, "get_height_p": 8,
    "get_read_ptr_p": 8, "get_write_ptr_p": 8, "bit_blt": 28, "save_string": 12,
}


class FakeAviSynthC:
    """The host's side of the C interface, for either bitness: pointers and AVS_Value of the
    target's size, AVS_FilterInfo at the target's offsets; by-value AVS_Value arguments arrive as
    a pointer to a caller copy on x64 and inline on the 32-bit stack."""

    def __init__(self, emu, bits=64):
        self.emu = emu
        self.bits = bits
        self.pointer = 8 if bits == 64 else 4
        self.value_size = 16 if bits == 64 else 8
        self.fi_offsets = ({"vi": 8, "env": 56, "get_frame": 64, "set_cache_hints": 88, "free_filter": 96, "error": 104,
                            "size": 120} if bits == 64 else
                           {"vi": 8, "env": 56, "get_frame": 60, "set_cache_hints": 72, "free_filter": 76, "error": 80,
                            "size": 88})
        self.module = 0x7FFA_0000_0000 if bits == 64 else 0x10000000   # the "AviSynth.dll" handle
        self.env = emu.host_alloc(64)
        self.registered = []
        self.clips = {}                   # handle -> {"refs", "target"}
        self.frames = {}
        self.functions = {}
        self.filters = []
        self.property_frames = 0
        for name, pops in AVS_ARGUMENT_BYTES_32.items():
            handler = getattr(self, name)
            stub = (emu.add_stub("avs_" + name, handler) if bits == 64
                    else emu.add_stub("avs_" + name, handler, pops, "stdcall"))
            self.functions["avs_" + name] = stub

    def read_pointer(self, address):
        return self.emu.u64(address) if self.pointer == 8 else self.emu.u32(address)

    def write_pointer(self, address, value):
        if self.pointer == 8:
            self.emu.put_u64(address, value)
        else:
            self.emu.put_u32(address, value)

    def pack_value(self, kind, payload=0):
        if self.bits == 64:
            return struct.pack("<hhI", ord(kind), 0, 0) + struct.pack("<q", payload)
        return struct.pack("<hhi", ord(kind), 0, payload)

    def value_argument(self, a, index):
        """The AVS_Value passed by value as argument `index`."""
        if self.bits == 64:
            return self.value(a[index])
        word = a[index]
        return chr(word & 0xFFFF), word >> 16, a[index + 1]

    def clip(self, address):
        c = self.clips.get(address)
        if c is None or c["refs"] <= 0:
            raise EmulationError("0x%x is not a live clip handle" % address)
        return c

    def frame(self, address):
        f = self.frames.get(address)
        if f is None or f.refs <= 0:
            raise EmulationError("0x%x is not a live frame" % address)
        return f

    def value(self, address):
        kind, size = struct.unpack("<hh", self.emu.read(address, 4))
        return chr(kind), size, self.read_pointer(address + self.value_size - self.pointer)

    def add_function(self, emu, a):
        if a[0] != self.env:
            raise EmulationError("avs_add_function on another environment")
        self.registered.append((emu.cstring(a[1]), emu.cstring(a[2]), a[3], a[4]))
        return 0

    def check_version(self, emu, a):
        return 0 if a.int32(1) <= 11 else 0xFFFFFFFF

    def take_clip(self, emu, a):
        kind, _, clip = self.value_argument(a, 0)
        if kind != "c":
            raise EmulationError("avs_take_clip of a %r value" % kind)
        return self.new_handle(self.clip(clip)["target"])

    def new_handle(self, target):
        handle = self.emu.host_alloc(16)
        self.clips[handle] = {"refs": 1, "target": target}
        target["holders"] = target.get("holders", 0) + 1
        return handle

    def release_clip(self, emu, a):
        c = self.clip(a[0])
        c["refs"] -= 1
        c["target"]["holders"] -= 1

    def get_video_info(self, emu, a):
        return self.clip(a[0])["target"]["vi"]

    def set_to_clip(self, emu, a):
        target = self.clip(a[1])["target"]
        emu.write(a[0], self.pack_value("c", self.new_handle(target)))

    def new_c_filter(self, emu, a):
        kind, _, child = self.value_argument(a, 2)
        child_target = self.clip(child)["target"]
        fi = emu.host_alloc(self.fi_offsets["size"], fill=0)
        child_handle = self.new_handle(child_target)
        self.write_pointer(fi, child_handle)
        emu.write(fi + self.fi_offsets["vi"], emu.read(child_target["vi"], 48))
        self.write_pointer(fi + self.fi_offsets["env"], self.env)
        target = {"vi": fi + self.fi_offsets["vi"], "fi": fi, "child_handle": child_handle}
        self.write_pointer(a[1], fi)
        self.filters.append(target)
        return self.new_handle(target)

    def get_frame(self, emu, a):
        target = self.clip(a[0])["target"]
        frame = target["frames"][a.int32(1)]
        self.frame(frame).refs += 1
        return frame

    def clip_get_error(self, emu, a):
        return 0

    def release_video_frame(self, emu, a):
        if a[0]:
            self.frame(a[0]).refs -= 1

    def _new_frame(self, emu, vi_address):
        width, height, _, _, _, pixel_type = struct.unpack("<iiIIii", emu.read(vi_address, 24))
        fmt, letters = AVS_FORMATS[pixel_type & 0xFFFFFFFF]
        address = emu.host_alloc(16)
        self.frames[address] = AvsFrame(emu, fmt, width, height, letters)
        return address

    def new_video_frame_a(self, emu, a):
        return self._new_frame(emu, a[1])

    def new_video_frame_p(self, emu, a):
        self.frame(a[2])
        self.property_frames += 1
        return self._new_frame(emu, a[1])

    def _plane(self, a):
        planes = self.frame(a[0]).planes
        return planes.get(a.int32(1))

    def get_pitch_p(self, emu, a):
        p = self._plane(a)
        return p[1] if p else 0

    def get_row_size_p(self, emu, a):
        p = self._plane(a)
        return p[2] if p else 0

    def get_height_p(self, emu, a):
        p = self._plane(a)
        return p[3] if p else 0

    def get_read_ptr_p(self, emu, a):
        p = self._plane(a)
        return p[0] if p else 0

    def get_write_ptr_p(self, emu, a):
        f = self.frame(a[0])
        if not f.writable:
            raise EmulationError("write pointer of a source frame")
        p = self._plane(a)
        return p[0] if p else 0

    def bit_blt(self, emu, a):
        dst, dst_pitch, src, src_pitch, row, height = a[1], a.int32(2), a[3], a.int32(4), a.int32(5), a.int32(6)
        for y in range(max(height, 0)):
            emu.write(dst + y * dst_pitch, emu.read(src + y * src_pitch, row))

    def save_string(self, emu, a):
        text = emu.cstring(a[1]) if a.int32(2) < 0 else emu.read(a[1], a.int32(2)).decode("latin-1")
        return emu.host_string(text)


AVS_FORMATS = {
    0xA0000008: (Format("YV12", CF_YUV, ST_INT, 8, 1, 1), "YUV"),
    0xA0050008: (Format("YUV420P10", CF_YUV, ST_INT, 10, 1, 1), "YUV"),
    0xA001030B: (Format("YUV444P16", CF_YUV, ST_INT, 16, 0, 0), "YUV"),
    0x90020001: (Format("RGBPS", CF_RGB, ST_FLOAT, 32, 0, 0), "RGB"),
}


def run_avisynth_c(run, tool, failures, entry_name="avisynth_c_plugin_init2", image_base=IMAGE_BASE):
    """The C entry and its filter, through `host` (a FakeAviSynthC of the DLL's bitness)."""
    emu = run.emu
    host = run.avs
    bits = host.bits
    offsets = host.fi_offsets
    prefix = "AviSynth+ C (%d-bit)" % bits

    def call(address, args):
        """A C-interface function: the x64 convention, or stdcall on 32-bit."""
        return emu.call(address, args) if bits == 64 else emu.call(address, args, "stdcall")

    exports, _ = run.image.exports()
    text = call(image_base + exports[entry_name], [host.env])
    major, minor = project_version()
    failures.check(emu.cstring(text) == "Sorvan %d.%d" % (major, minor), "C entry returned %r" % emu.cstring(text))
    failures.check(emu.return_trap in emu.virtual_queries, "the entry did not look for its caller's module")
    if not failures.check(len(host.registered) == 1 and host.registered[0][:2] == ("Sorvan", AVS_PARAMS),
                          "avs_add_function calls: %s" % host.registered):
        return
    apply = host.registered[0][2]
    print("ok   %s: %s found the host functions in its caller's module, avs_add_function(\"Sorvan\", \"%s\")"
          % (prefix, entry_name, AVS_PARAMS))

    def create(pixel_type, width, height, planes, settings):
        fmt, letters = AVS_FORMATS[pixel_type]
        vi = emu.host_alloc(48)
        emu.write(vi, struct.pack("<iiIIiiiiqii", width, height, 25, 1, 10, pixel_type - (1 << 32)
                                  if pixel_type & 0x80000000 else pixel_type, 0, 0, 0, 0, 0))
        source = emu.host_alloc(16)
        host.frames[source] = AvsFrame(emu, fmt, width, height, letters, planes)
        child = {"vi": vi, "frames": {5: source}}
        child_handle = host.new_handle(child)          # held by the script's argument
        elements = [host.pack_value("c", child_handle)]
        for name in ARG_ORDER:
            elements.append(host.pack_value("i" if name in ("rad", "str") or name[0] in "pn" else "b",
                                            int(settings[name])) if name in settings else host.pack_value("v"))
        array = emu.host_alloc(host.value_size * len(elements))
        emu.write(array, b"".join(elements))
        args = bytearray(host.pack_value("a", array))
        args[2:4] = struct.pack("<h", len(elements))
        if bits == 64:
            # Win64: the result through a hidden pointer first; the argument array by pointer to a copy.
            args_copy = emu.host_alloc(16)
            emu.write(args_copy, bytes(args))
            result = emu.host_alloc(16, fill=0xEE)
            returned = emu.call(apply, [result, host.env, args_copy, host.registered[0][3]])
            failures.check(returned == result, "creation callback returned rax 0x%x, not its result pointer" % returned)
            return host.value(result), child, child_handle, source
        # Win32 stdcall: the 8-byte array value inline on the stack, the result in edx:eax.
        stack = struct.pack("<I", host.env) + bytes(args) + struct.pack("<I", host.registered[0][3])
        low = emu.call(apply, [], "stdcall", stack_image=stack)
        return (chr(low & 0xFFFF), low >> 16, emu.edx()), child, child_handle, source

    rng = random.Random(11)
    cases = [(0xA0000008, 40, 30, {}), (0xA0050008, 36, 24, {"ry": 1, "rad": 3}),
             (0xA001030B, 24, 20, {"force": 1, "pgu": 4}), (0x90020001, 20, 18, {"ry": 1, "str": 2})]
    for pixel_type, width, height, settings in cases:
        fmt, letters = AVS_FORMATS[pixel_type]
        label = "%s %s %dx%d %s" % (prefix, fmt.name, width, height, settings or "defaults")
        planes = make_planes(rng, fmt, width, height)
        (kind, _, clip), child, child_handle, source = create(pixel_type, width, height, planes, settings)
        if not failures.check(kind == "c", "%s: result of type %r (%s)" % (label, kind, emu.cstring(clip) if kind == "e" else "")):
            continue
        target = host.filters[-1]
        fi = target["fi"]
        get_frame, set_cache_hints, free_filter = [host.read_pointer(fi + offsets[k])
                                                   for k in ("get_frame", "set_cache_hints", "free_filter")]
        failures.check(call(set_cache_hints, [fi, 509, 0]) & 0xFFFFFFFF == 1, label + ": MT mode is not NICE")
        frame = call(get_frame, [fi, 5])
        if not failures.check(frame in host.frames and host.read_pointer(fi + offsets["error"]) == 0,
                              label + ": no frame"):
            continue
        output = host.frame(frame).read(emu)
        expected = expected_planes(tool, fmt, width, height, settings, planes)
        failures.check(expected != planes, label + ": the Linux build left the frame unchanged")
        for p in range(fmt.planes):
            failures.check(output[p] == expected[p], "%s: plane %d differs from the Linux build" % (label, p))
        host.frame(frame).refs -= 1                       # the host drops the output frame
        host.clip(child_handle)["refs"] -= 1              # the script's argument is gone
        child["holders"] -= 1
        host.clip(clip)["refs"] -= 1                      # and then the result value
        target["holders"] -= 1
        failures.check(target["holders"] == 0, "%s: the filter's clip has %d holders" % (label, target["holders"]))
        call(free_filter, [fi])                           # last reference: the host frees the filter
        host.clip(target["child_handle"])["refs"] -= 1    # and then drops fi->child itself
        child["holders"] -= 1
        failures.check(child["holders"] == 0, "%s: child clip left with %d holders" % (label, child["holders"]))
        live = [f for f in host.frames.values() if f.refs != (1 if f is host.frames[source] else 0)]
        failures.check(not live, "%s: %d frames with references left" % (label, len(live)))
        host.frames.clear()
        failures.check(not emu.live_blocks, "%s: %d blocks still allocated" % (label, len(emu.live_blocks)))
        print("ok   %s: %d planes equal to the Linux build, references balanced, memory freed" % (label, fmt.planes))

    (kind, _, message), child, child_handle, _ = create(0xA0000008, 16, 12, [b"\0" * 192, b"\0" * 48, b"\0" * 48],
                                                        {"rad": 0})
    expected = "Sorvan:rad must be between 1 and 8"
    failures.check(kind == "e" and emu.cstring(message) == expected,
                   "%s refusal: %r %r, expected the error %r" % (prefix, kind, emu.cstring(message) if kind == "e" else "",
                                                                 expected))
    failures.check(child["holders"] == 1 and not emu.live_blocks, prefix + " refusal: a reference or memory kept")
    print("ok   %s rad=0 -> error %r, nothing held" % (prefix, expected))


class Run:
    def __init__(self, dll):
        self.emu = Emulator64()
        self.avs = FakeAviSynthC(self.emu)
        self.image = load_dll64(self.emu, dll, c_runtime_stubs64(self.emu, {self.avs.module: self.avs.functions}))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dll", required=True)
    parser.add_argument("--expected-tool", required=True)
    options = parser.parse_args()
    if not os.path.isfile(options.dll):
        print("%s is missing: build it with `make windows`" % options.dll)
        return 1
    failures = Failures()
    try:
        run = Run(options.dll)
        attached = run.emu.call(IMAGE_BASE + run.image.entry_rva, [IMAGE_BASE, 1, 0])
        failures.check(attached & 0xFFFFFFFF == 1, "DllMain refused DLL_PROCESS_ATTACH")
        run_vapoursynth(run, options.expected_tool, failures)
        run_avisynth_c(run, options.expected_tool, failures)
        detached = run.emu.call(IMAGE_BASE + run.image.entry_rva, [IMAGE_BASE, 0, 0])
        failures.check(detached & 0xFFFFFFFF == 1, "DllMain refused DLL_PROCESS_DETACH")
    except (EmulationError, PeFormatError, OSError, subprocess.CalledProcessError) as error:
        failures.check(False, "emulation stopped: %s" % error)
    if failures.items:
        print("%d failure(s)" % len(failures.items))
        return 1
    print("all emulated checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
