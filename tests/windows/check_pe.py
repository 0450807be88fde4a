#!/usr/bin/python3
"""Static checks of sorvan.dll, the plug-in for 32-bit Windows hosts, with llvm-readobj and
llvm-objdump: what a Microsoft-compiled host and the Windows loader require of the file, and
that the code follows the Microsoft C++ ABI where it meets the host.

usage: check_pe.py --dll build/win32/sorvan.dll --map build/win32/sorvan.map

The link map (written by lld-link next to the DLL) gives the addresses of the filter's vtable and
of the functions whose code is inspected; the DLL itself carries no symbols.
"""

import argparse
import os
import re
import subprocess
import sys

from pe_image import PeImage, read_link_map

ALLOWED_IMPORTS = {"msvcrt.dll", "kernel32.dll", "ntdll.dll"}
EXPORTS = {"AvisynthPluginInit2", "_AvisynthPluginInit2@4"}

# The Sorvan clip's vtable in the Microsoft layout: the interface's six methods (__stdcall,
# `this` on the stack, a by-value PVideoFrame result through a hidden pointer after `this`)
# and one scalar deleting destructor (`this` in ecx, a flags word on the stack). The bytes
# each pops: GetFrame = this, result, n, env; GetAudio = this, buf, two 64-bit values, env.
CLIP_SLOTS = [("GetVersion", 4), ("GetFrame", 16), ("GetParity", 8), ("GetAudio", 28), ("SetCacheHints", 12),
              ("GetVideoInfo", 4), ("scalar deleting destructor", 4)]

# Where the plug-in calls the environment, and through which Microsoft-layout slot offsets
# (one destructor slot first): ThrowError +20, AddFunction +24, NewVideoFrame +56, BitBlt +64.
ENVIRONMENT_CALLS = [
    ("entry point", r"^_AvisynthPluginInit2@4$", {24}, "AddFunction +24"),
    ("creation callback", r"^\?CreateSorvan@", {20}, "ThrowError +20"),
    ("GetFrame", r"^\?GetFrame@Sorvan@", {56}, "NewVideoFrame +56"),
    ("BitBlt adapter", r"^\?HostBitBlt@", {64}, "BitBlt +64"),
]


class Checks:
    def __init__(self):
        self.failed = 0

    def expect(self, condition, what, detail=""):
        print(("ok   " if condition else "FAIL ") + what + ("" if condition or not detail else ": " + detail))
        if not condition:
            self.failed += 1
        return condition


def run(*argv):
    return subprocess.run(argv, check=True, capture_output=True, text=True).stdout


def readobj_fields(text):
    """Every `Key: value` line of llvm-readobj output, and the flag names it lists."""
    fields = {}
    for key, value in re.findall(r"^\s*(\w+): (.*)$", text, re.M):
        fields.setdefault(key, value.strip())
    return fields, set(re.findall(r"\b(IMAGE_\w+)\b", text))


def function_ranges(symbols, text_start, text_end):
    """Address ranges of the code symbols: from each to the next one."""
    code = [(a, n) for a, n in symbols if text_start <= a < text_end]
    ranges = {}
    for i, (address, name) in enumerate(code):
        end = code[i + 1][0] if i + 1 < len(code) else text_end
        ranges.setdefault(address, (address, end, name))
    return ranges


def disassemble(dll, start, end):
    out = run("llvm-objdump", "-d", "--no-show-raw-insn", "--x86-asm-syntax=intel",
              "--start-address=0x%x" % start, "--stop-address=0x%x" % end, dll)
    return [line.split(":", 1)[1].strip() for line in out.splitlines() if re.match(r"^\s*[0-9a-f]+:\s", line)]


def ret_sizes(instructions):
    sizes = []
    for ins in instructions:
        m = re.match(r"^ret\s*(\S*)$", ins)
        if m:
            sizes.append(int(m.group(1), 0) if m.group(1) else 0)
    return sizes


def call_displacements(instructions):
    """Slot offsets of virtual calls: `call [reg + d]`, or `mov r, [reg + d]` then `call r`."""
    result = set()
    loaded = {}  # register -> offset of the slot it was last loaded from
    for ins in instructions:
        m = re.match(r"^call\s+dword ptr \[e[a-z]{2}(?: \+ (\d+))?\]$", ins)
        if m:
            result.add(int(m.group(1) or 0))
            continue
        m = re.match(r"^call\s+(e[a-z]{2})$", ins)
        if m:
            if m.group(1) in loaded:
                result.add(loaded[m.group(1)])
            continue
        m = re.match(r"^mov\s+(e[a-z]{2}), dword ptr \[e[a-z]{2}(?: \+ (\d+))?\]$", ins)
        if m:
            loaded[m.group(1)] = int(m.group(2) or 0)
            continue
        m = re.match(r"^\w+\s+(e[a-z]{2})\b", ins)
        if m:
            loaded.pop(m.group(1), None)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dll", required=True)
    parser.add_argument("--map", required=True)
    options = parser.parse_args()
    if not os.path.isfile(options.dll):
        print("%s is missing: build it with `make windows`" % options.dll)
        return 1
    dll = options.dll
    checks = Checks()

    headers, flags = readobj_fields(run("llvm-readobj", "--file-headers", dll))
    checks.expect(headers.get("Machine", "").startswith("IMAGE_FILE_MACHINE_I386"), "machine is i386",
                  headers.get("Machine"))
    checks.expect("IMAGE_FILE_DLL" in flags, "DLL flag set")
    checks.expect(headers.get("TLSTableRVA") == "0x0" and headers.get("TLSTableSize") == "0x0", "no TLS directory")
    checks.expect(int(headers.get("BaseRelocationTableSize", "0"), 16) > 0, "base relocations present")
    checks.expect("IMAGE_DLL_CHARACTERISTICS_DYNAMIC_BASE" in flags, "relocatable (dynamic base)")
    checks.expect("IMAGE_DLL_CHARACTERISTICS_NO_SEH" not in flags, "no-SEH flag clear")

    exports = run("llvm-readobj", "--coff-exports", dll)
    named = dict(re.findall(r"Name: (\S+)\s+RVA: (0x[0-9A-Fa-f]+)", exports))
    checks.expect(set(named) == EXPORTS, "exactly the two export names", str(sorted(named)))
    checks.expect(len(set(named.values())) == 1, "both names at the same address", str(named))

    imports = run("llvm-readobj", "--coff-imports", "--coff-load-config", dll)
    dlls = {name.lower() for name in re.findall(r"^\s*Name: (\S+\.dll)\s*$", imports, re.M | re.I)}
    checks.expect(bool(dlls) and dlls <= ALLOWED_IMPORTS, "imports only from msvcrt, kernel32, ntdll",
                  str(sorted(dlls)))
    checks.expect("DelayImport" not in imports, "no delay-loaded imports")
    checks.expect("__CxxFrameHandler3" in imports, "Microsoft C++ exception handling (__CxxFrameHandler3)")
    load_config, _ = readobj_fields(imports[imports.find("LoadConfig"):])
    handler_table = int(load_config.get("SEHandlerTable", "0"), 16)
    handler_count = int(load_config.get("SEHandlerCount", "0"), 0)
    checks.expect("LoadConfig" in imports and handler_table != 0 and handler_count > 0,
                  "load configuration with a SafeSEH table", "table 0x%x, %d handlers" % (handler_table, handler_count))

    image = PeImage(open(dll, "rb").read())
    base = image.preferred_base
    # The .CRT section holds the runtime file's two markers and, between them, a pointer for
    # every dynamic initialiser; there must be none, so that loading runs no code of ours under
    # the loader lock beyond the entry point itself.
    crt = [s for s in image.sections if s[0] == ".CRT"]
    checks.expect(not crt or crt[0][2] == 8, "no dynamic initialisers", "%d bytes of .CRT" % (crt[0][2] if crt else 0))

    symbols = read_link_map(options.map)
    by_name = {name: address for address, name in symbols}
    text = next(s for s in image.sections if s[0] == ".text")
    ranges = function_ranges(symbols, base + text[1], base + text[1] + text[2])

    # Every registered handler is one of the compiler's per-function thunks into
    # __CxxFrameHandler3: no frame of ours registers a handler the table does not list.
    handlers = re.findall(r"^\s*(0x[0-9A-Fa-f]+)\s*$", imports[imports.find("SEHTable"):], re.M)
    names = {address: name for address, name in symbols}
    handler_names = [names.get(int(h, 16), "?") for h in handlers]
    checks.expect(len(handlers) == handler_count and all(n.startswith("___ehhandler$") for n in handler_names),
                  "SafeSEH table lists the C++ frame handlers", str(handler_names))

    vtable = next((address for name, address in by_name.items() if re.match(r"^\?\?_7Sorvan@", name)), None)
    if checks.expect(vtable is not None, "Sorvan vtable in the link map"):
        following = min((a for a, _ in symbols if a > vtable), default=vtable + 4 * len(CLIP_SLOTS))
        checks.expect(following - vtable >= 4 * len(CLIP_SLOTS), "vtable has room for seven slots",
                      "%d bytes" % (following - vtable))
        for index, (slot, pops) in enumerate(CLIP_SLOTS):
            target = image.u32(vtable - base + 4 * index)
            start, end, name = ranges.get(target, (target, target, "?"))
            rets = ret_sizes(disassemble(dll, start, end)) if end > start else []
            checks.expect(bool(rets) and all(r == pops for r in rets),
                          "vtable slot %d (%s, +%d) returns with ret %d" % (index, slot, 4 * index, pops),
                          "%s returns with %s" % (name, rets))
            if index == len(CLIP_SLOTS) - 1:
                # ??_G...@@UAE...: U virtual, A public, E __thiscall (this in ecx).
                checks.expect(name.startswith("??_G") and "@@UAE" in name,
                              "last slot is the scalar deleting destructor, __thiscall", name)
            else:
                # ...@@UAG...: G __stdcall. Identical code may be folded under another name.
                aliases = [n for a, n in symbols if a == target]
                checks.expect(any("@@UAG" in n for n in aliases), "slot %s is __stdcall" % slot, str(aliases))

    for what, pattern, offsets, label in ENVIRONMENT_CALLS:
        found = [(a, e, n) for a, e, n in ranges.values() if re.match(pattern, n)]
        if not checks.expect(len(found) == 1, "%s in the link map" % what, str([n for _, _, n in found])):
            continue
        start, end, name = found[0]
        displacements = call_displacements(disassemble(dll, start, end))
        checks.expect(offsets <= displacements, "%s calls the environment's %s" % (what, label),
                      "virtual call offsets %s" % sorted(displacements))

    if checks.failed:
        print("%d static check(s) failed" % checks.failed)
        return 1
    print("all static checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
