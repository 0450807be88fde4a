"""A small 64-bit Windows DLL loader on top of Unicorn, for running sorvan64.dll on Linux.

The image is mapped above 4 GiB and away from its preferred base (so its 64-bit relocations must
be right and no pointer may be cut to 32 bits), every import is bound to a stub implemented here
in Python, and calls go both ways with the Microsoft x64 convention: the first four integer
arguments in rcx, rdx, r8, r9 (doubles in xmm0-xmm3), 32 bytes of shadow space the caller
reserves, further arguments above it, a 16-byte aligned stack at every call, results in rax or
xmm0, and structures larger than 8 bytes returned through a hidden pointer in the first slot.
Both sides are checked: every stub verifies the DLL's stack alignment at its call, and every call
into the DLL verifies that the registers the convention makes callee-saved come back unchanged.
"""

import struct

from pe_emulator import EmulationError, HostException, align_up
from pe_image import PeImage
from unicorn import Uc, UcError, UC_ARCH_X86, UC_MODE_64, UC_HOOK_CODE, UC_HOOK_MEM_INVALID
from unicorn import UC_PROT_READ, UC_PROT_WRITE, UC_PROT_EXEC, UC_PROT_ALL
from unicorn import x86_const as r

PAGE = 0x1000

# Address-space plan: everything above 4 GiB.
IMAGE_BASE = 0x7FF6_1000_0000     # not the DLL's preferred base
STUB_BASE = 0x7FFE_0000_0000
STUB_SIZE = 0x10000
HOST_BASE = 0x0002_0000_0000     # the fake hosts' objects and frames
HOST_SIZE = 0x0400_0000
HEAP_BASE = 0x0003_0000_0000     # what the DLL gets from malloc
HEAP_SIZE = 0x0800_0000
STACK_BASE = 0x0004_0000_0000
STACK_SIZE = 0x0010_0000

INTEGER_ARGUMENT_REGISTERS = [r.UC_X86_REG_RCX, r.UC_X86_REG_RDX, r.UC_X86_REG_R8, r.UC_X86_REG_R9]
FLOAT_ARGUMENT_REGISTERS = [r.UC_X86_REG_XMM0, r.UC_X86_REG_XMM1, r.UC_X86_REG_XMM2, r.UC_X86_REG_XMM3]
CALLEE_SAVED = [r.UC_X86_REG_RBX, r.UC_X86_REG_RBP, r.UC_X86_REG_RDI, r.UC_X86_REG_RSI, r.UC_X86_REG_R12,
                r.UC_X86_REG_R13, r.UC_X86_REG_R14, r.UC_X86_REG_R15]
CALLEE_SAVED_XMM = [getattr(r, "UC_X86_REG_XMM%d" % i) for i in range(6, 16)]
MASK64 = (1 << 64) - 1

IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000


class Stub:
    def __init__(self, name, handler, returns_double):
        self.name = name
        self.handler = handler
        self.returns_double = returns_double
        self.calls = 0


class Args:
    """A stub's arguments by position: registers first, then the stack above the shadow space."""

    def __init__(self, emu, rsp):
        self.emu = emu
        self.rsp = rsp

    def __getitem__(self, index):
        if index < 4:
            return self.emu.uc.reg_read(INTEGER_ARGUMENT_REGISTERS[index])
        return self.emu.u64(self.rsp + 8 + 32 + 8 * (index - 4))

    def int32(self, index):
        value = self[index] & 0xFFFFFFFF
        return value - (1 << 32) if value & 0x80000000 else value

    def double(self, index):
        bits = self.emu.uc.reg_read(FLOAT_ARGUMENT_REGISTERS[index]) & MASK64
        return struct.unpack("<d", struct.pack("<Q", bits))[0]


class Emulator64:
    def __init__(self):
        self.uc = Uc(UC_ARCH_X86, UC_MODE_64)
        self.uc.mem_map(STUB_BASE, STUB_SIZE, UC_PROT_READ | UC_PROT_EXEC)
        self.uc.mem_map(HOST_BASE, HOST_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.uc.mem_map(HEAP_BASE, HEAP_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.uc.mem_map(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.return_trap = STUB_BASE
        self.uc.mem_write(self.return_trap, b"\xf4")
        self.stubs = {}
        self.next_stub = STUB_BASE + 0x10
        self.host_next = HOST_BASE
        self.heap_next = HEAP_BASE
        self.live_blocks = {}
        self.freed_blocks = 0
        self.stub_failure = None
        self.last_bad_access = None
        self.depth = 0
        self.uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=STUB_BASE + 0x10, end=STUB_BASE + STUB_SIZE - 1)
        self.uc.hook_add(UC_HOOK_MEM_INVALID, self._on_bad_access)

    def _on_bad_access(self, uc, access, address, size, value, _):
        self.last_bad_access = (access, hex(address), size)
        return False

    # ----- memory ----------------------------------------------------------------------------
    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))

    def write(self, address, data):
        self.uc.mem_write(address, bytes(data))

    def u64(self, address):
        return struct.unpack("<Q", self.read(address, 8))[0]

    def u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def i32(self, address):
        return struct.unpack("<i", self.read(address, 4))[0]

    def put_u64(self, address, value):
        self.write(address, struct.pack("<Q", value & MASK64))

    def put_u32(self, address, value):
        self.write(address, struct.pack("<I", value & 0xFFFFFFFF))

    def cstring(self, address, limit=4096):
        data = self.read(address, limit)
        return data[:data.index(b"\0")].decode("latin-1")

    def host_alloc(self, size, fill=0):
        address = align_up(self.host_next, 64)
        self.host_next = address + max(size, 1)
        if self.host_next > HOST_BASE + HOST_SIZE:
            raise EmulationError("fake host out of memory")
        self.write(address, bytes([fill]) * size)
        return address

    def host_string(self, text):
        data = text.encode("latin-1") + b"\0"
        address = self.host_alloc(len(data))
        self.write(address, data)
        return address

    def malloc(self, size, alignment=16):
        address = align_up(self.heap_next, max(alignment, 16))
        self.heap_next = address + max(size, 1)
        if self.heap_next > HEAP_BASE + HEAP_SIZE:
            return 0
        self.write(address, b"\xcd" * size)  # never assume fresh memory is zeroed
        self.live_blocks[address] = size
        return address

    def free(self, address):
        if address == 0:
            return
        size = self.live_blocks.pop(address, None)
        if size is None:
            raise EmulationError("free of 0x%x, which is not a live block" % address)
        self.write(address, b"\xdd" * size)
        self.freed_blocks += 1

    # ----- stubs -------------------------------------------------------------------------------
    def add_stub(self, name, handler, returns_double=False):
        """Code for a stub (a bare `ret`); `handler(emu, args)` runs first and gives rax or xmm0."""
        address = self.next_stub
        self.next_stub += 16
        self.uc.mem_write(address, b"\xc3")
        self.stubs[address] = Stub(name, handler, returns_double)
        return address

    def bind_unexpected(self, name):
        def fail(emu, args):
            raise EmulationError("unexpected call of %s" % name)
        return self.add_stub(name, fail)

    def _on_stub(self, uc, address, size, _):
        stub = self.stubs.get(address)
        if stub is None:
            return
        stub.calls += 1
        rsp = uc.reg_read(r.UC_X86_REG_RSP)
        try:
            if rsp % 16 != 8:
                raise EmulationError("called with rsp 0x%x: the stack was not 16-byte aligned at the call" % rsp)
            result = stub.handler(self, Args(self, rsp))
        except HostException as thrown:
            self.stub_failure = "%s threw %r through a C interface" % (stub.name, thrown.message)
            uc.emu_stop()
            return
        except Exception as failure:
            self.stub_failure = "%s: %s" % (stub.name, failure)
            uc.emu_stop()
            return
        if stub.returns_double:
            uc.reg_write(r.UC_X86_REG_XMM0, struct.unpack("<Q", struct.pack("<d", float(result)))[0])
        elif result is not None:
            uc.reg_write(r.UC_X86_REG_RAX, int(result) & MASK64)

    # ----- calling into the DLL ----------------------------------------------------------------
    def call(self, address, args):
        """Calls `address` with integer/pointer arguments `args`; returns rax. The stack below the
        arguments and the callee-saved registers are checked after the return."""
        if self.depth:
            raise EmulationError("a nested call into the DLL from a stub")
        stack_args = args[4:]
        top = STACK_BASE + STACK_SIZE - 0x1000
        base = (top - 32 - 8 * len(stack_args)) & ~0xF   # rsp before the call: 16-byte aligned
        entry_rsp = base - 8
        self.write(entry_rsp, struct.pack("<Q", self.return_trap) + b"\xcc" * 32)
        for i, value in enumerate(stack_args):
            self.put_u64(base + 32 + 8 * i, value)
        for i, value in enumerate(args[:4]):
            self.uc.reg_write(INTEGER_ARGUMENT_REGISTERS[i], value & MASK64)
        sentinels = {reg: 0x5A5A_0000_0000_0000 | (i << 8) | 0x11 for i, reg in enumerate(CALLEE_SAVED)}
        # Low halves only: Unicorn 2.0 keeps just 64 bits of xmm8-xmm15 through its register API.
        xmm_sentinels = {reg: 0x1234_5678_9ABC_DE00 | i for i, reg in enumerate(CALLEE_SAVED_XMM)}
        for reg, value in list(sentinels.items()) + list(xmm_sentinels.items()):
            self.uc.reg_write(reg, value)
        self.uc.reg_write(r.UC_X86_REG_RSP, entry_rsp)
        self.uc.reg_write(r.UC_X86_REG_RAX, 0xDEADBEEF_DEADBEEF)
        self.stub_failure = None
        self.last_bad_access = None
        self.depth += 1
        try:
            self.uc.emu_start(address, self.return_trap, count=400_000_000)
        except UcError as error:
            rip = self.uc.reg_read(r.UC_X86_REG_RIP)
            raise EmulationError("CPU fault %s at rip 0x%x, access %s" % (error, rip, self.last_bad_access))
        finally:
            self.depth -= 1
        if self.stub_failure:
            raise EmulationError(self.stub_failure)
        rip = self.uc.reg_read(r.UC_X86_REG_RIP)
        if rip != self.return_trap:
            raise EmulationError("call did not return (rip 0x%x)" % rip)
        if self.uc.reg_read(r.UC_X86_REG_RSP) != base:
            raise EmulationError("returned with rsp 0x%x, not 0x%x" % (self.uc.reg_read(r.UC_X86_REG_RSP), base))
        for reg, value in list(sentinels.items()) + list(xmm_sentinels.items()):
            if self.uc.reg_read(reg) & MASK64 != value:
                raise EmulationError("callee-saved register %d not restored" % reg)
        return self.uc.reg_read(r.UC_X86_REG_RAX)


def load_dll64(emu, path, import_stubs):
    """Maps the DLL, applies its 64-bit relocations and binds its imports."""
    with open(path, "rb") as f:
        image = PeImage(f.read())
    if not image.is64:
        raise EmulationError("%s is not a 64-bit image" % path)
    emu.uc.mem_map(IMAGE_BASE, align_up(image.size_of_image, PAGE), UC_PROT_ALL)
    emu.write(IMAGE_BASE, image.data[:image.size_of_headers])
    for _, rva, vsize, raw_ptr, raw_size, _ in image.sections:
        emu.write(IMAGE_BASE + rva, image.data[raw_ptr:raw_ptr + min(raw_size, vsize or raw_size)])
    delta = (IMAGE_BASE - image.preferred_base) & MASK64
    for kind, rva in image.relocations():
        if kind == 0:
            continue
        if kind != 10:
            raise EmulationError("relocation type %d is not a 64-bit one" % kind)
        emu.put_u64(IMAGE_BASE + rva, emu.u64(IMAGE_BASE + rva) + delta)
    for dll, functions in image.imports():
        for name, slot in functions:
            stub = import_stubs.get((dll.lower(), name)) or emu.bind_unexpected("%s!%s" % (dll, name))
            emu.put_u64(IMAGE_BASE + slot, stub)
    emu.uc.mem_protect(IMAGE_BASE, PAGE, UC_PROT_READ)
    for _, rva, vsize, _, _, flags in image.sections:
        perms = ((UC_PROT_READ if flags & IMAGE_SCN_MEM_READ else 0) | (UC_PROT_WRITE if flags & IMAGE_SCN_MEM_WRITE else 0)
                 | (UC_PROT_EXEC if flags & IMAGE_SCN_MEM_EXECUTE else 0))
        emu.uc.mem_protect(IMAGE_BASE + rva, align_up(vsize, PAGE), perms)
    return image


def c_runtime_stubs64(emu, host_modules):
    """msvcrt.dll and kernel32.dll as the DLL may use them. `host_modules` maps a module handle to
    {function name: address}: what GetProcAddress finds; VirtualQuery reports the module of the
    return trap (the caller of every entry) as the first of them."""
    import math

    def memcpy(e, a):
        if a[2]:
            e.write(a[0], e.read(a[1], a[2]))
        return a[0]

    def memset(e, a):
        if a[2]:
            e.write(a[0], bytes([a[1] & 0xFF]) * a[2])
        return a[0]

    def memcmp(e, a):
        x, y = e.read(a[0], a[2]), e.read(a[1], a[2])
        return 0 if x == y else (MASK64 if x < y else 1)

    def calloc(e, a):
        block = e.malloc(a[0] * a[1])
        if block:
            e.write(block, b"\0" * (a[0] * a[1]))
        return block

    def realloc(e, a):
        if a[0] == 0:
            return e.malloc(a[1])
        old = e.live_blocks.get(a[0])
        if old is None:
            raise EmulationError("realloc of 0x%x, which is not a live block" % a[0])
        block = e.malloc(a[1])
        if block:
            e.write(block, e.read(a[0], min(old, a[1])))
            e.free(a[0])
        return block

    def strcmp(e, a):
        x, y = e.cstring(a[0]).encode("latin-1"), e.cstring(a[1]).encode("latin-1")
        return 0 if x == y else (MASK64 if x < y else 1)

    def aligned_malloc(e, a):
        if a[1] == 0 or a[1] & (a[1] - 1):
            raise EmulationError("_aligned_malloc with alignment %d" % a[1])
        return e.malloc(a[0], a[1])

    def abort(e, a):
        raise EmulationError("abort() called")

    caller_module = next(iter(host_modules), 0)

    def virtual_query(e, a):
        # MEMORY_BASIC_INFORMATION (48 bytes): BaseAddress, AllocationBase, ...
        if a[2] < 48:
            raise EmulationError("VirtualQuery with a %d-byte buffer" % a[2])
        module = caller_module if a[0] == e.return_trap else 0
        e.write(a[1], struct.pack("<QQ", a[0] & ~0xFFF, module) + b"\0" * 32)
        e.virtual_queries.append(a[0])
        return 48

    def get_proc_address(e, a):
        table = host_modules.get(a[0])
        if table is None:
            raise EmulationError("GetProcAddress on 0x%x, which is no module" % a[0])
        return table.get(e.cstring(a[1]), 0)

    def get_module_handle(e, a):
        name = e.cstring(a[0]).lower() if a[0] else ""
        e.module_lookups.append(name)
        return caller_module if name in ("avisynth", "avisynth.dll") and e.avisynth_by_name else 0

    emu.virtual_queries = []
    emu.module_lookups = []
    emu.avisynth_by_name = True
    msvcrt = {
        "malloc": lambda e, a: e.malloc(a[0]), "free": lambda e, a: e.free(a[0]), "calloc": calloc,
        "realloc": realloc, "memcpy": memcpy, "memmove": memcpy, "memset": memset, "memcmp": memcmp,
        "strlen": lambda e, a: len(e.cstring(a[0], 1 << 16)), "strcmp": strcmp,
        "getenv": lambda e, a: 0, "_aligned_malloc": aligned_malloc, "_aligned_free": lambda e, a: e.free(a[0]),
        "abort": abort,
    }
    stubs = {("msvcrt.dll", n): emu.add_stub("msvcrt!" + n, f) for n, f in msvcrt.items()}
    stubs[("msvcrt.dll", "pow")] = emu.add_stub("msvcrt!pow", lambda e, a: math.pow(a.double(0), a.double(1)), True)
    stubs[("msvcrt.dll", "sqrt")] = emu.add_stub("msvcrt!sqrt", lambda e, a: math.sqrt(a.double(0)), True)
    kernel32 = {"DisableThreadLibraryCalls": lambda e, a: 1, "VirtualQuery": virtual_query,
                "GetProcAddress": get_proc_address, "GetModuleHandleA": get_module_handle}
    stubs.update({("kernel32.dll", n): emu.add_stub("kernel32!" + n, f) for n, f in kernel32.items()})
    return stubs
