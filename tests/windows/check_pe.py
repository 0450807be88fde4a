#!/usr/bin/python3
"""Static checks of the Windows plug-ins with llvm-readobj and llvm-objdump: what the hosts and
the Windows loader require of the file. sorvan.dll (32-bit): the Microsoft C++ ABI where it meets
a 2.5 host, SafeSEH, and the AviSynth+ C entry under its stdcall name. sorvan64.dll (x64): the two
modern entries and nothing else, and an exception-table entry for every function.

usage: check_pe.py --dll build/win32/sorvan.dll --map build/win32/sorvan.map
       check_pe.py --dll build/win64/sorvan64.dll --map build/win64/sorvan64.map

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
# Every import must exist in the oldest Windows a classic host runs on (these all date from
# Windows 95/NT 4 or the first msvcrt.dll), so that no host meets a missing import at load time.
ALLOWED_FUNCTIONS = {
    "kernel32.dll": {"DisableThreadLibraryCalls", "GetModuleHandleA", "GetProcAddress", "RaiseException",
                     "VirtualQuery"},
    "msvcrt.dll": {"__CxxFrameHandler3", "_aligned_free", "_aligned_malloc", "abort", "calloc", "free", "getenv",
                   "malloc", "memcmp", "memcpy", "memmove", "memset", "pow", "realloc", "sqrt", "strcmp", "strlen",
                   "strstr"},
}
CLASSIC_EXPORTS = {"AvisynthPluginInit2", "_AvisynthPluginInit2@4"}
# The C entries with their 32-bit stdcall decoration (one pointer argument: @4), as lld-link
# exports a dllexport __stdcall function and as a 32-bit AviSynth+ looks it up first.
C_EXPORTS_32 = {"_avisynth_c_plugin_init2@4", "_avisynth_c_plugin_init@4"}
EXPORTS_32 = CLASSIC_EXPORTS | C_EXPORTS_32
EXPORTS_64 = {"VapourSynthPluginInit2", "avisynth_c_plugin_init2", "avisynth_c_plugin_init"}

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
    ("creation callback", r"^\?CreateSorvan@sorvan@@", {20}, "ThrowError +20"),
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
        end = next((a for a, _ in code[i + 1:] if a > address), text_end)
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


def check_common(checks, dll, is64):
    """Headers, imports and exports rules both DLLs share; returns the readobj texts."""
    headers, flags = readobj_fields(run("llvm-readobj", "--file-headers", dll))
    machine = "IMAGE_FILE_MACHINE_AMD64" if is64 else "IMAGE_FILE_MACHINE_I386"
    checks.expect(headers.get("Machine", "").startswith(machine), "machine is " + machine, headers.get("Machine"))
    checks.expect("IMAGE_FILE_DLL" in flags, "DLL flag set")
    checks.expect(headers.get("TLSTableRVA") == "0x0" and headers.get("TLSTableSize") == "0x0", "no TLS directory")
    checks.expect(int(headers.get("BaseRelocationTableSize", "0"), 16) > 0, "base relocations present")
    checks.expect("IMAGE_DLL_CHARACTERISTICS_DYNAMIC_BASE" in flags, "relocatable (dynamic base)")
    checks.expect("IMAGE_DLL_CHARACTERISTICS_NX_COMPAT" in flags, "data not executable (NX compatible)")
    if not is64:
        checks.expect("IMAGE_DLL_CHARACTERISTICS_NO_SEH" not in flags, "no-SEH flag clear")

    image = PeImage(open(dll, "rb").read())
    imports = image.imports()
    dlls = {name.lower() for name, _ in imports}
    checks.expect(bool(dlls) and dlls <= ALLOWED_IMPORTS, "imports only from msvcrt, kernel32, ntdll",
                  str(sorted(dlls)))
    for name, functions in imports:
        unknown = {f for f, _ in functions} - ALLOWED_FUNCTIONS.get(name.lower(), set())
        checks.expect(not unknown, "%s: only functions every Windows has" % name, str(sorted(unknown)))
    text = run("llvm-readobj", "--coff-imports", "--coff-load-config", dll)
    checks.expect("DelayImport" not in text, "no delay-loaded imports")
    return image, text


def check_unwind_table(checks, dll, image, symbols):
    """x64: every function needs a RUNTIME_FUNCTION entry, or an exception or a debugger walking
    the stack through it ends the host. Checked for every public function of the link map and
    every direct call target in the code (which includes functions of internal linkage)."""
    entries = image.runtime_functions()
    if not checks.expect(bool(entries), "exception table (.pdata) present"):
        return
    ordered = all(entries[i][1] <= entries[i + 1][0] for i in range(len(entries) - 1))
    checks.expect(ordered and all(b < e for b, e, _ in entries), "exception table sorted, entries disjoint")
    bad_versions = [hex(b) for b, _, u in entries if image.data[image.rva_to_offset(u)] & 7 != 1]
    checks.expect(not bad_versions, "every entry's unwind information is version 1", str(bad_versions[:5]))
    starts = [b for b, _, _ in entries]

    def covered(rva):
        import bisect
        i = bisect.bisect_right(starts, rva) - 1
        return i >= 0 and entries[i][0] <= rva < entries[i][1]

    base = image.preferred_base
    text = next(s for s in image.sections if s[0] == ".text")
    text_end = text[1] + text[2]
    code_symbols = [(a - base, n) for a, n in symbols if text[1] <= a - base < text_end]
    listing = run("llvm-objdump", "-d", "--no-show-raw-insn", dll)
    targets = {int(t, 16) - base for t in re.findall(r"\scallq?\s+0x([0-9a-f]+)", listing)}
    boundaries = sorted({rva for rva, _ in code_symbols} | set(starts) | {text_end})

    def is_leaf(rva):
        """A function without an entry is only sound as a leaf: it neither moves the stack pointer
        nor saves registers nor calls, so the unwinder finds its return address at [rsp]."""
        import bisect
        end = boundaries[bisect.bisect_right(boundaries, rva)] if rva < text_end else rva
        code = disassemble(dll, base + rva, base + end)
        return bool(code) and not any(re.match(r"^(push|sub\s+rsp|call|enter)", ins) for ins in code)

    functions = {rva: n for rva, n in code_symbols}
    functions.update({t: hex(t) for t in targets if text[1] <= t < text_end and t not in functions})
    lacking = [n for rva, n in sorted(functions.items()) if not covered(rva) and not is_leaf(rva)]
    leaves = sum(1 for rva in functions if not covered(rva))
    checks.expect(len(code_symbols) > 0 and len(targets) > 0 and not lacking,
                  "%d functions (public ones and direct call targets): each in the exception table, or a leaf "
                  "that needs no entry (%d)" % (len(functions), leaves), str(lacking[:5]))


def check_win64(checks, dll, map_path):
    image, imports = check_common(checks, dll, True)
    headers, flags = readobj_fields(run("llvm-readobj", "--file-headers", dll))
    checks.expect("IMAGE_DLL_CHARACTERISTICS_HIGH_ENTROPY_VA" in flags, "high-entropy address space")
    exports, used = image.exports()
    checks.expect(set(exports) == EXPORTS_64, "exactly the VapourSynth and AviSynth+ C entries", str(sorted(exports)))
    checks.expect(used == len(exports), "no export without a name", "%d addresses" % used)
    checks.expect("__CxxFrameHandler3" not in imports, "no C++ exception machinery (C interfaces only)")
    checks.expect(not [s for s in image.sections if s[0] == ".CRT"] or
                  next(s for s in image.sections if s[0] == ".CRT")[2] == 16, "no dynamic initialisers")
    kinds = {kind for kind, _ in image.relocations()}
    checks.expect(kinds <= {0, 10}, "relocations are 64-bit absolute ones only", str(sorted(kinds)))
    check_unwind_table(checks, dll, image, read_link_map(map_path))


def check_c_entries_32(checks, dll, image, symbols):
    """The C entries: stdcall (the MSVC-built host's call stub checks that 4 bytes were popped)."""
    exports, _ = image.exports()
    base = image.preferred_base
    text = next(s for s in image.sections if s[0] == ".text")
    ranges = function_ranges(symbols, base + text[1], base + text[1] + text[2])
    for name in sorted(C_EXPORTS_32):
        if not checks.expect(name in exports, "C entry %s exported" % name):
            continue
        start, end, _ = ranges.get(base + exports[name], (0, 0, "?"))
        rets = ret_sizes(disassemble(dll, start, end)) if end > start else []
        checks.expect(bool(rets) and all(r == 4 for r in rets), "%s returns with ret 4 (stdcall)" % name, str(rets))


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
    if PeImage(open(dll, "rb").read()).is64:
        check_win64(checks, dll, options.map)
        return report(checks)

    image, imports = check_common(checks, dll, False)
    exports = run("llvm-readobj", "--coff-exports", dll)
    named = dict(re.findall(r"Name: (\S+)\s+RVA: (0x[0-9A-Fa-f]+)", exports))
    checks.expect(set(named) == EXPORTS_32, "exactly the 2.5 entry's two names and the C entries", str(sorted(named)))
    checks.expect(len({named.get(n) for n in CLASSIC_EXPORTS}) == 1, "both 2.5 names at the same address", str(named))
    check_c_entries_32(checks, dll, image, read_link_map(options.map))
    checks.expect("__CxxFrameHandler3" in imports, "Microsoft C++ exception handling (__CxxFrameHandler3)")
    load_config, _ = readobj_fields(imports[imports.find("LoadConfig"):])
    handler_table = int(load_config.get("SEHandlerTable", "0"), 16)
    handler_count = int(load_config.get("SEHandlerCount", "0"), 0)
    checks.expect("LoadConfig" in imports and handler_table != 0 and handler_count > 0,
                  "load configuration with a SafeSEH table", "table 0x%x, %d handlers" % (handler_table, handler_count))

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

    return report(checks)


def report(checks):
    if checks.failed:
        print("%d static check(s) failed" % checks.failed)
        return 1
    print("all static checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
