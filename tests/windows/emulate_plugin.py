#!/usr/bin/python3
"""Runs sorvan.dll, the plug-in built for 32-bit Windows hosts, under emulation on Linux.

Two hosts in turn: a classic 2.5 host through AvisynthPluginInit2, then, in a fresh process, a
32-bit AviSynth+ through the C entry _avisynth_c_plugin_init2@4 (the fake C host of
emulate_plugin64.py at its 32-bit layouts).

A fake host, whose objects have the layout a Microsoft-compiled 2.5 host gives them (environment
and clip vtables in the Microsoft slot order; 32-bit VideoInfo, VideoFrame, VideoFrameBuffer and
AVSValue), drives the real DLL through its whole life: loading, registration, construction with
arguments as the creation callback receives them, frame requests for every pixel type, argument
errors through ThrowError, host exceptions unwinding through the DLL's frames, and the release
of the clip. Filtered frames are compared byte for
byte with the Linux build of the core (the tool given by --expected-tool). Last, the runtime
file's 64-bit division helpers, found through the link map, are checked against exact arithmetic.

usage: emulate_plugin.py --dll build/win32/sorvan.dll --map build/win32/sorvan.map
                         --expected-tool build/bin/sorvan_expected_frames
"""

import argparse
import os
import random
import struct
import subprocess
import sys

from pe_image import PeFormatError, read_link_map
from pe_emulator import (Emulator, EmulationError, HostException, IMAGE_BASE, c_runtime_stubs, format_printf,
                         load_dll)

CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420 = 0x50000001, 0x50000002, 0x60000004, 0xA0000008, 0xA0000010
PIXEL_NAMES = {CS_BGR24: "RGB24", CS_BGR32: "RGB32", CS_YUY2: "YUY2", CS_YV12: "YV12", CS_I420: "I420"}
BYTES_PER_PIXEL = {CS_BGR24: 3, CS_BGR32: 4, CS_YUY2: 2}

PARAMS = "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i"
ARG_ORDER = ["rad", "str", "ry", "gu", "bv", "force", "pry", "pgu", "pbv", "nry", "ngu", "nbv"]
DEFAULTS = {"rad": 5, "str": 4, "ry": False, "gu": True, "bv": True, "force": False,
            "pry": 3, "pgu": 1, "pbv": 3, "nry": 3, "ngu": 4, "nbv": 6}

# Microsoft-layout slot offsets of IScriptEnvironment (one destructor slot) and IClip.
ENV_SLOTS = ["~IScriptEnvironment", "GetCPUFlags", "SaveString", "Sprintf", "VSprintf", "ThrowError",
             "AddFunction", "FunctionExists", "Invoke", "GetVar", "SetVar", "SetGlobalVar", "PushContext",
             "PopContext", "NewVideoFrame", "MakeWritable", "BitBlt", "AtExit", "CheckVersion", "Subframe",
             "SetMemoryMax", "SetWorkingDir", "ManageCache", "PlanarChromaAlignment", "SubframePlanar"]
CLIP_GET_VERSION, CLIP_GET_FRAME, CLIP_GET_PARITY, CLIP_GET_AUDIO = 0, 4, 8, 12
CLIP_SET_CACHE_HINTS, CLIP_GET_VIDEO_INFO, CLIP_DESTRUCTOR = 16, 20, 24

FRAME_FIELDS = ["refcount", "vfb", "offset", "pitch", "row_size", "height", "offsetU", "offsetV", "pitchUV"]


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class Failures:
    def __init__(self):
        self.items = []

    def check(self, condition, what):
        if not condition:
            self.items.append(what)
            print("FAIL: " + what)
        return condition


class FakeHost:
    """The environment, frames and child clips, in the emulated address space."""

    def __init__(self, emu):
        self.emu = emu
        self.registered = []
        self.new_frames = []
        self.blits = 0
        self.fail_new_frame = False
        handlers = {
            "ThrowError": (self.throw_error, 0, "cdecl"),
            "AddFunction": (self.add_function, 20, "stdcall"),
            "NewVideoFrame": (self.new_video_frame, 16, "stdcall"),
            "BitBlt": (self.bit_blt, 28, "stdcall"),
        }
        vtable = emu.host_alloc(4 * len(ENV_SLOTS))
        for index, name in enumerate(ENV_SLOTS):
            if name in handlers:
                handler, pops, convention = handlers[name]
                stub = emu.add_stub("env->" + name, handler, pops, convention)
            else:
                stub = emu.bind_unexpected("env->" + name)
            emu.put_u32(vtable + 4 * index, stub)
        self.env = emu.host_alloc(16)
        emu.put_u32(self.env, vtable)

    # ----- environment methods (stack: this, then the arguments) --------------------------------
    def throw_error(self, emu, a):
        if a[0] != self.env:
            raise EmulationError("ThrowError called on 0x%08x, not on the environment" % a[0])
        raise HostException(format_printf(emu, emu.cstring(a[1]), a, 2))

    def add_function(self, emu, a):
        self.registered.append((emu.cstring(a[1]), emu.cstring(a[2]), a[3], a[4], a[0]))

    def new_video_frame(self, emu, a):
        if self.fail_new_frame:
            raise HostException("out of frame memory")
        this, result, vi_address, alignment = a[0], a[1], a[2], a[3]
        vi = struct.unpack("<iiIIii", emu.read(vi_address, 24))
        frame = self.make_frame(vi[0], vi[1], vi[5] & 0xFFFFFFFF, alignment, fill=0xA5)
        self.new_frames.append((frame, this, alignment))
        emu.put_u32(frame, 1)            # the PVideoFrame built in the result holds it
        emu.put_u32(result, frame)
        return result

    def bit_blt(self, emu, a):
        dst, dst_pitch, src, src_pitch, row_size, height = a[1], a.signed(2), a[3], a.signed(4), a.signed(5), a.signed(6)
        self.blits += 1
        if row_size <= 0 or height <= 0:
            return
        for y in range(height):
            emu.write(dst + y * dst_pitch, emu.read(src + y * src_pitch, row_size))

    # ----- frames --------------------------------------------------------------------------------
    def make_frame(self, width, height, pixel_type, alignment=16, fill=0):
        """A frame as a host hands it out: count 0 (the caller's PVideoFrame adds one), buffer
        count 1, padded pitches, planes at non-zero offsets, and host fields after pitchUV."""
        emu = self.emu
        planar = pixel_type & 0x80000000
        row_size = width if planar else width * BYTES_PER_PIXEL[pixel_type]
        pitch = align(row_size, max(alignment, 16)) + 16
        offset = 32
        size = offset + pitch * height
        if planar:
            pitch_uv = align(width // 2, 16) + 16
            plane = pitch_uv * (height // 2)
            first, second = size, size + plane
            # YV12 keeps V before U in memory, I420 U before V.
            offset_u, offset_v = (second, first) if pixel_type == CS_YV12 else (first, second)
            size += 2 * plane
        else:
            pitch_uv, offset_u, offset_v = 0, offset, offset
        size += 64
        data = emu.host_alloc(size, fill)
        vfb = emu.host_alloc(32)
        emu.write(vfb, struct.pack("<Iiii", data, size, 0, 1) + b"\x5a" * 16)
        frame = emu.host_alloc(64)
        emu.write(frame, struct.pack("<iIiiiiiii", 0, vfb, offset, pitch, row_size, height, offset_u, offset_v,
                                     pitch_uv) + b"\x5a" * 28)
        return frame

    def frame(self, address):
        return dict(zip(FRAME_FIELDS, struct.unpack("<iIiiiiiii", self.emu.read(address, 36))))

    def buffer(self, frame):
        data, size, sequence, refcount = struct.unpack("<Iiii", self.emu.read(self.frame(frame)["vfb"], 16))
        return {"data": data, "data_size": size, "sequence_number": sequence, "refcount": refcount}

    def planes(self, frame, pixel_type):
        """(address, pitch, row bytes, rows) of each plane: the main image, then U and V."""
        f = self.frame(frame)
        data = self.buffer(frame)["data"]
        result = [(data + f["offset"], f["pitch"], f["row_size"], f["height"])]
        if pixel_type & 0x80000000:
            for offset in (f["offsetU"], f["offsetV"]):
                result.append((data + offset, f["pitchUV"], f["row_size"] // 2, f["height"] // 2))
        return result

    def write_planes(self, frame, pixel_type, content):
        position = 0
        for address, pitch, row, rows in self.planes(frame, pixel_type):
            for y in range(rows):
                self.emu.write(address + y * pitch, content[position:position + row])
                position += row

    def read_planes(self, frame, pixel_type):
        return b"".join(self.emu.read(address + y * pitch, row)
                        for address, pitch, row, rows in self.planes(frame, pixel_type) for y in range(rows))


class FakeClip:
    """The child clip: a Microsoft-layout IClip whose frames carry the content it is given."""

    def __init__(self, host, width, height, pixel_type, content):
        self.host = host
        emu = host.emu
        self.pixel_type = pixel_type
        self.content = content
        self.frame_requests = []
        self.audio_requests = []
        self.destroyed = 0
        self.source_frames = []
        self.fail_get_frame = False
        self.fail_video_info_once_allocated = False
        slots = [
            ("GetVersion", lambda e, a: 3, 4, "stdcall"),
            ("GetFrame", self.get_frame, 16, "stdcall"),
            ("GetParity", lambda e, a: (a[1] * 7 + 3) % 2, 8, "stdcall"),
            ("GetAudio", self.get_audio, 28, "stdcall"),
            ("SetCacheHints", None, 12, "stdcall"),
            ("GetVideoInfo", self.get_video_info, 4, "stdcall"),
            ("~IClip", self.destroy, 4, "thiscall"),
        ]
        vtable = emu.host_alloc(4 * len(slots))
        for index, (name, handler, pops, convention) in enumerate(slots):
            stub = (emu.add_stub("child->" + name, handler, pops, convention) if handler
                    else emu.bind_unexpected("child->" + name))
            emu.put_u32(vtable + 4 * index, stub)
        self.vi = emu.host_alloc(48)
        emu.write(self.vi, struct.pack("<iiIIiiiiqii", width, height, 30000, 1001, 240, pixel_type - (1 << 32)
                                       if pixel_type & 0x80000000 else pixel_type, 48000, 2, 1_234_567_890_123, 2, 5))
        self.address = emu.host_alloc(16)
        # One reference held by the host's argument array.
        emu.write(self.address, struct.pack("<Ii", vtable, 1))

    def refcount(self):
        return self.host.emu.i32(self.address + 4)

    def get_video_info(self, emu, a):
        # Fails only while the DLL holds memory: from inside the filter's construction.
        if self.fail_video_info_once_allocated and emu.live_blocks:
            raise HostException("child clip failed")
        return self.vi

    def get_frame(self, emu, a):
        if self.fail_get_frame:
            raise HostException("child clip failed")
        this, result, n, env = a[0], a[1], a.signed(2), a[3]
        vi = struct.unpack("<ii", emu.read(self.vi, 8))
        frame = self.host.make_frame(vi[0], vi[1], self.pixel_type, fill=0x3C)
        self.host.write_planes(frame, self.pixel_type, self.content)
        emu.put_u32(frame, 1)
        emu.put_u32(result, frame)
        self.frame_requests.append((n, env, this))
        self.source_frames.append(frame)
        return result

    def get_audio(self, emu, a):
        self.audio_requests.append((a[1], struct.unpack("<q", emu.read(a.address(2), 8))[0],
                                    struct.unpack("<q", emu.read(a.address(4), 8))[0], a[6]))

    def destroy(self, emu, a):
        self.destroyed += 1
        return a.ecx


def avs_value(kind, value=0):
    """An AVSValue of the 32-bit layout: type letter, element count, 4-byte value."""
    if kind == "b":
        return struct.pack("<hhI", ord("b"), 0, 1 if value else 0)
    if kind == "i":
        return struct.pack("<hhi", ord("i"), 0, value)
    return struct.pack("<hhI", ord(kind), 0, value)


class PluginRun:
    def __init__(self, dll, failures):
        self.emu = Emulator()
        self.failures = failures
        self.image = load_dll(self.emu, dll, c_runtime_stubs(self.emu))
        self.host = FakeHost(self.emu)
        self.apply = None

    def check(self, condition, what):
        return self.failures.check(condition, what)

    def load(self):
        emu = self.emu
        attached = emu.call(IMAGE_BASE + self.image.entry_rva, [IMAGE_BASE, 1, 0], "stdcall")
        self.check(attached == 1, "DLL entry point refuses DLL_PROCESS_ATTACH (%d)" % attached)
        exports, _ = self.image.exports()
        plain, decorated = exports.get("AvisynthPluginInit2"), exports.get("_AvisynthPluginInit2@4")
        if not self.check(plain is not None and plain == decorated, "entry point exports %s" % exports):
            return False
        for name in ("AvisynthPluginInit2", "_AvisynthPluginInit2@4"):
            before = len(self.host.registered)
            text = emu.call(IMAGE_BASE + exports[name], [self.host.env], "stdcall")
            self.check(emu.cstring(text) == "Sorvan  Plugin", "%s returned %r" % (name, emu.cstring(text)))
            added = self.host.registered[before:]
            if not self.check(len(added) == 1, "%s made %d AddFunction calls" % (name, len(added))):
                return False
            fn_name, params, apply, user_data, env = added[0]
            self.check(fn_name == "Sorvan", "registered name %r" % fn_name)
            self.check(params == PARAMS, "registered parameters %r" % params)
            self.check(user_data == 0 and env == self.host.env, "registration user data or environment")
            self.check(IMAGE_BASE <= apply < IMAGE_BASE + self.image.size_of_image, "callback outside the DLL")
            self.apply = apply
        return True

    def create(self, child, args):
        """Calls the creation callback the Microsoft way: hidden result pointer first, then the
        argument array by value in the argument area (the callee destroys it), user data, env."""
        emu = self.emu
        elements = [avs_value("c", child.address)]
        for name in ARG_ORDER:
            if name not in args:
                elements.append(avs_value("v"))
            elif isinstance(args[name], bool):
                elements.append(avs_value("b", args[name]))
            else:
                elements.append(avs_value("i", args[name]))
        array = emu.host_alloc(8 * len(elements))
        emu.write(array, b"".join(elements))
        result = emu.host_alloc(8, fill=0xEE)
        stack = struct.pack("<I", result) + struct.pack("<hhI", ord("a"), len(elements), array) + struct.pack(
            "<II", 0, self.host.env)
        returned = emu.call(self.apply, [], "cdecl", stack_image=stack)
        self.check(returned == result, "callback returned eax 0x%08x, not its result pointer" % returned)
        kind, _, clip = struct.unpack("<hhI", emu.read(result, 8))
        self.check(kind == ord("c"), "callback result is of type %r, not a clip" % chr(kind & 0xFF))
        return clip

    def vcall(self, clip, offset, args, convention="stdcall", ecx=0):
        vtable = self.emu.u32(clip)
        return self.emu.call(self.emu.u32(vtable + offset), args, convention, ecx=ecx)

    def release(self, clip):
        """What the host's last PClip does: drop the count, and at 0 destroy through the single
        destructor slot (scalar deleting destructor: `this` in ecx, flag 1 = free the memory)."""
        count = self.emu.i32(clip + 4) - 1
        self.emu.put_u32(clip + 4, count)
        self.check(count == 0, "clip still has %d references when the host drops its own" % count)
        returned = self.vcall(clip, CLIP_DESTRUCTOR, [1], convention="thiscall", ecx=clip)
        self.check(returned == clip, "scalar deleting destructor returned 0x%08x" % returned)


def make_content(rng, width, height, pixel_type):
    """A frame of smooth gradients with small noise and some large spikes, so that every channel
    has both samples the merge takes from the average and samples it leaves alone."""
    planar = pixel_type & 0x80000000
    planes = []
    if planar:
        planes = [(width, height, 1), (width // 2, height // 2, 1), (width // 2, height // 2, 1)]
    else:
        planes = [(width, height, BYTES_PER_PIXEL[pixel_type])]
    out = bytearray()
    for w, h, step in planes:
        base = rng.randrange(40, 200)
        for y in range(h):
            for x in range(w):
                for byte in range(step):
                    value = base + (x * 3 + y * 2 + byte * 17) % 23 + rng.randrange(-5, 6)
                    if rng.random() < 0.04:
                        value += rng.choice((-60, 60))
                    out.append(max(0, min(255, value)))
    return bytes(out)


def expected_output(tool, width, height, pixel_type, settings, content):
    effective = dict(DEFAULTS, **settings)
    argv = [tool, "0x%08x" % pixel_type, str(width), str(height)] + [
        str(int(effective[name])) for name in ARG_ORDER]
    done = subprocess.run(argv, input=content, capture_output=True, check=True)
    return done.stdout


FRAME_CASES = [
    # pixel type, width, height, script arguments (the others left out)
    (CS_YV12, 48, 40, {}),
    (CS_YV12, 64, 36, {"rad": 8, "str": 2, "ry": True, "pry": 10, "nry": 10, "ngu": 0}),
    (CS_I420, 40, 32, {"force": True, "rad": 3, "pbv": 0}),
    (CS_YV12, 12, 10, {"ry": True}),
    (CS_YUY2, 40, 24, {}),
    (CS_YUY2, 36, 20, {"force": True, "rad": 1, "ry": True, "gu": False, "pry": 5}),
    (CS_BGR32, 32, 24, {"ry": True, "str": 7, "rad": 4}),
    (CS_BGR32, 30, 22, {"force": True, "rad": 2, "bv": False, "ngu": 10}),
    (CS_BGR24, 30, 20, {"rad": 1, "str": 1, "ry": True, "bv": False}),
]

ERROR_CASES = [
    (CS_YV12, {"rad": 0}, "Sorvan:rad must be between 1 and 8"),
    (CS_YUY2, {"str": 9}, "Sorvan:str must be between 1 and 8"),
    (CS_BGR32, {"gu": False, "bv": False}, "Sorvan: At least one of ry, gu and bv must be true"),
    (CS_YV12, {"ry": True, "pry": 0, "nry": 0}, "Sorvan: both limits pry and nry are specified as zero"),
    (0, {"rad": 0}, "Sorvan: This color format is not supported by this old avisynth version"),
]


def run_frame_case(run, tool, rng, pixel_type, width, height, settings):
    emu, host = run.emu, run.host
    label = "%s %dx%d %s" % (PIXEL_NAMES[pixel_type], width, height, settings or "defaults")
    content = make_content(rng, width, height, pixel_type)
    child = FakeClip(host, width, height, pixel_type, content)
    clip = run.create(child, settings)
    run.check(emu.i32(clip + 4) == 1, "%s: new clip holds %d references" % (label, emu.i32(clip + 4)))
    run.check(child.refcount() == 2, "%s: child has %d references, not 2" % (label, child.refcount()))

    run.check(run.vcall(clip, CLIP_GET_VERSION, [clip]) == 3, label + ": GetVersion is not 3")
    vi = run.vcall(clip, CLIP_GET_VIDEO_INFO, [clip])
    run.check(emu.read(vi, 48) == emu.read(child.vi, 48), label + ": GetVideoInfo differs from the child's")
    for n in (0, 1, 4):
        parity = run.vcall(clip, CLIP_GET_PARITY, [clip, n]) & 0xFF
        run.check(parity == (n * 7 + 3) % 2, "%s: GetParity(%d) = %d" % (label, n, parity))
    audio_buffer = emu.host_alloc(16)
    run.vcall(clip, CLIP_GET_AUDIO, [clip, audio_buffer, 0x89ABCDEF, 0x12, 4096, 0, host.env])
    run.check(child.audio_requests == [(audio_buffer, 0x12_89ABCDEF, 4096, host.env)],
              "%s: GetAudio reached the child as %s" % (label, child.audio_requests))
    run.vcall(clip, CLIP_SET_CACHE_HINTS, [clip, 1, 100])

    expected = expected_output(tool, width, height, pixel_type, settings, content)
    # Every case smooths some samples; equal input and output would mean nothing was compared.
    run.check(expected != content, label + ": the Linux build left the frame unchanged")
    outputs = []
    for request in range(2):
        result = emu.host_alloc(4, fill=0xEE)
        returned = run.vcall(clip, CLIP_GET_FRAME, [clip, result, 7, host.env])
        run.check(returned == result, label + ": GetFrame did not return its result pointer")
        frame = emu.u32(result)
        run.check(child.frame_requests[-1] == (7, host.env, child.address),
                  "%s: child asked for %s" % (label, child.frame_requests[-1:]))
        made = [f for f, _, _ in host.new_frames]
        run.check(frame in made and frame not in outputs and frame not in child.source_frames,
                  label + ": GetFrame did not return a new frame from NewVideoFrame")
        run.check(host.new_frames[-1][1:] == (host.env, 16), "%s: NewVideoFrame called as %s"
                  % (label, host.new_frames[-1][1:]))
        source = child.source_frames[-1]
        run.check(host.frame(source)["refcount"] == 0 and host.buffer(source)["refcount"] == 0,
                  label + ": source frame not released")
        run.check(host.frame(frame)["refcount"] == 1, label + ": result frame count is not 1")
        run.check(host.buffer(frame)["sequence_number"] == 1, label + ": write pointer not taken exactly once")
        actual = host.read_planes(frame, pixel_type)
        if not run.check(actual == expected, label + ": output differs from the Linux build"):
            first = next(i for i in range(len(actual)) if actual[i] != expected[i])
            print("  first difference at byte %d of %d: dll %d, linux %d" % (first, len(actual), actual[first],
                                                                               expected[first]))
        outputs.append(frame)

    before = emu.freed_blocks
    run.release(clip)
    run.check(not emu.live_blocks, "%s: %d blocks still allocated after release: %s"
              % (label, len(emu.live_blocks), emu.live_blocks))
    run.check(emu.freed_blocks > before, label + ": release freed nothing")
    run.check(child.refcount() == 1 and child.destroyed == 0,
              "%s: child has %d references (destroyed %d) after release" % (label, child.refcount(), child.destroyed))
    print("ok   %s: %d bytes equal, clip released, %d blocks freed" % (label, len(expected), emu.freed_blocks - before))


def run_error_case(run, pixel_type, settings, message):
    emu, host = run.emu, run.host
    child = FakeClip(host, 32, 32, pixel_type, b"")
    before_frames = len(host.new_frames)
    try:
        clip = run.create(child, settings)
        run.check(False, "%s: accepted, returned clip 0x%08x" % (settings, clip))
        return
    except HostException as thrown:
        run.check(thrown.message == message, "%s: ThrowError got %r, expected %r" % (settings, thrown.message, message))
    run.check(not emu.live_blocks, "%s: memory allocated before the argument error" % settings)
    run.check(child.refcount() == 1, "%s: child left with %d references" % (settings, child.refcount()))
    run.check(len(host.new_frames) == before_frames, "%s: frames requested during construction" % settings)
    print("ok   %s -> ThrowError(%r)" % (settings, message))


def run_exception_cases(run):
    """Host exceptions thrown through the DLL's frames: their cleanups must drop every
    reference and free every block the frames hold."""
    emu, host = run.emu, run.host
    content = make_content(random.Random(7), 48, 40, CS_YV12)

    child = FakeClip(host, 48, 40, CS_YV12, content)
    child.fail_video_info_once_allocated = True
    cleanups = emu.cleanups_run
    try:
        run.create(child, {})
        run.check(False, "construction: the child's exception did not come through")
    except HostException as thrown:
        run.check(thrown.message == "child clip failed", "construction: exception arrived as %r" % thrown.message)
    run.check(emu.cleanups_run > cleanups, "construction: no cleanup ran on the way out")
    run.check(child.refcount() == 1, "construction: child left with %d references" % child.refcount())
    run.check(not emu.live_blocks, "construction: %d blocks leaked" % len(emu.live_blocks))
    print("ok   exception from the child during construction: %d cleanups, nothing held"
          % (emu.cleanups_run - cleanups))

    child = FakeClip(host, 48, 40, CS_YV12, content)
    clip = run.create(child, {})
    host.fail_new_frame = True
    cleanups = emu.cleanups_run
    try:
        run.vcall(clip, CLIP_GET_FRAME, [clip, emu.host_alloc(4), 2, host.env])
        run.check(False, "GetFrame: NewVideoFrame's exception did not come through")
    except HostException:
        pass
    host.fail_new_frame = False
    source = child.source_frames[-1]
    run.check(host.frame(source)["refcount"] == 0 and host.buffer(source)["refcount"] == 0,
              "GetFrame: source frame still held after NewVideoFrame threw")
    run.check(emu.cleanups_run > cleanups, "GetFrame: no cleanup ran on the way out")

    child.fail_get_frame = True
    try:
        run.vcall(clip, CLIP_GET_FRAME, [clip, emu.host_alloc(4), 3, host.env])
        run.check(False, "GetFrame: the child's exception did not come through")
    except HostException:
        pass
    child.fail_get_frame = False
    result = emu.host_alloc(4)
    run.vcall(clip, CLIP_GET_FRAME, [clip, result, 4, host.env])
    expected = expected_output(run.expected_tool, 48, 40, CS_YV12, {}, content)
    run.check(host.read_planes(emu.u32(result), CS_YV12) == expected, "GetFrame after exceptions: wrong output")
    run.release(clip)
    run.check(not emu.live_blocks and child.refcount() == 1, "GetFrame exceptions: clip release left memory or references")
    print("ok   exceptions from NewVideoFrame and the child's GetFrame: source released, clip still works")


# Operand pairs for the 64-bit division helpers: both halves small, divisors above 2^32 and
# with the top bit set, dividends below their divisor, signs, and the most negative value.
DIVISION_CASES = [
    (100, 7), (2**32 + 5, 3), (2**64 - 1, 2**32 + 1), (2**64 - 1, 2**63 + 12345), (12345, 2**40),
    (2**48, 833280), (0x0123456789ABCDEF, 0xFEDCBA9), (2**63, 2**63 - 1), (7, 7), (0, 5),
]
SIGNED_CASES = [(-100, 7), (100, -7), (-100, -7), (-(2**63), 3), (2**63 - 1, -(2**31)), (-5, 2**40), (-(2**40) - 3, 2**33)]


def run_division_helpers(run, map_path, failures):
    """The compiler's 64-bit division helpers, which the runtime file supplies."""
    emu = run.emu
    symbols = {name: address for address, name in read_link_map(map_path)}
    delta = IMAGE_BASE - run.image.preferred_base

    def truncating(a, b):
        q = abs(a) // abs(b)
        q = -q if (a < 0) != (b < 0) else q
        return q, a - q * b

    helpers = [("__aulldiv", lambda a, b: a // b, False), ("__aullrem", lambda a, b: a % b, False),
               ("__alldiv", lambda a, b: truncating(a, b)[0], True), ("__allrem", lambda a, b: truncating(a, b)[1], True)]
    for name, reference, signed in helpers:
        if not failures.check(name in symbols, "%s missing from the link map" % name):
            continue
        cases = DIVISION_CASES + (SIGNED_CASES if signed else [])
        for a, b in cases:
            if signed and not (-(2**63) <= a < 2**63 and -(2**63) <= b < 2**63):
                continue
            words = [a & 0xFFFFFFFF, (a >> 32) & 0xFFFFFFFF, b & 0xFFFFFFFF, (b >> 32) & 0xFFFFFFFF]
            low = emu.call(symbols[name] + delta, words, "stdcall")
            result = (emu.edx() << 32) | low
            expected = reference(a, b) & 0xFFFFFFFFFFFFFFFF
            failures.check(result == expected, "%s(%d, %d) = %d, expected %d" % (name, a, b, result, expected))
    print("ok   64-bit division helpers on %d operand pairs" % (2 * len(DIVISION_CASES) + 2 * len(SIGNED_CASES)))


def run_c_entry(dll, tool, failures):
    """The AviSynth+ C entry of the same DLL, loaded afresh into a process whose host is a 32-bit
    AviSynth+ (stdcall throughout, 8-byte AVS_Value passed inline, 88-byte AVS_FilterInfo)."""
    from types import SimpleNamespace
    from emulate_plugin64 import FakeAviSynthC, run_avisynth_c
    emu = Emulator()
    avs = FakeAviSynthC(emu, 32)
    image = load_dll(emu, dll, c_runtime_stubs(emu, {avs.module: avs.functions}))
    attached = emu.call(IMAGE_BASE + image.entry_rva, [IMAGE_BASE, 1, 0], "stdcall")
    failures.check(attached == 1, "DLL entry point refuses DLL_PROCESS_ATTACH (C entry run)")
    run_avisynth_c(SimpleNamespace(emu=emu, image=image, avs=avs), tool, failures, "_avisynth_c_plugin_init2@4",
                   IMAGE_BASE)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dll", required=True)
    parser.add_argument("--expected-tool", required=True)
    parser.add_argument("--map", required=True, help="lld-link's map of the DLL")
    options = parser.parse_args()

    if not os.path.isfile(options.dll):
        print("%s is missing: build it with `make windows`" % options.dll)
        return 1
    failures = Failures()
    try:
        run = PluginRun(options.dll, failures)
        run.expected_tool = options.expected_tool
        if run.load():
            print("ok   loaded, AddFunction(\"Sorvan\", \"%s\") through both export names" % PARAMS)
            rng = random.Random(20260)
            for pixel_type, width, height, settings in FRAME_CASES:
                run_frame_case(run, options.expected_tool, rng, pixel_type, width, height, settings)
            for pixel_type, settings, message in ERROR_CASES:
                run_error_case(run, pixel_type, settings, message)
            run_exception_cases(run)
            run_division_helpers(run, options.map, failures)
            detached = run.emu.call(IMAGE_BASE + run.image.entry_rva, [IMAGE_BASE, 0, 0], "stdcall")
            failures.check(detached == 1, "DLL entry point refuses DLL_PROCESS_DETACH")
        run_c_entry(options.dll, options.expected_tool, failures)
    except (EmulationError, PeFormatError, OSError, subprocess.CalledProcessError) as error:
        failures.check(False, "emulation stopped: %s" % error)
    if failures.items:
        print("%d failure(s)" % len(failures.items))
        return 1
    print("all emulated checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
