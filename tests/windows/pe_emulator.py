"""A small 32-bit Windows DLL loader on top of Unicorn, for running sorvan.dll on Linux.

It maps the image's sections with their own protections at a base other than the preferred one
(so the base relocations must be right), binds every import to a stub implemented here in Python,
and calls into the DLL with the stack laid out as a Microsoft-ABI caller lays it out. Stubs run
before a tiny piece of x86 code of their own that returns with the right `ret n` (or, for
functions returning a double, loads it onto the x87 stack first), so the DLL's side of every
calling convention is executed for real and checked: after each call the stack pointer must
be exactly where the callee's convention leaves it.
"""

import struct

from pe_image import PeImage
from unicorn import Uc, UcError, UC_ARCH_X86, UC_MODE_32, UC_HOOK_CODE, UC_HOOK_MEM_INVALID
from unicorn import UC_PROT_READ, UC_PROT_WRITE, UC_PROT_EXEC, UC_PROT_ALL
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESP,
                               UC_X86_REG_EIP, UC_X86_REG_GDTR, UC_X86_REG_FS,
                               UC_X86_REG_SS, UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_EBP)

PAGE = 0x1000

# Address-space plan of the emulated process.
IMAGE_BASE = 0x20000000      # deliberately not the DLL's preferred base
STUB_BASE = 0x70000000       # one 16-byte piece of code per stub
STUB_SIZE = 0x10000
DATA_BASE = 0x70100000       # the stubs' result slots and the fake thread block
HOST_BASE = 0x40000000       # memory of the fake host: environment, clips, frames
HOST_SIZE = 0x04000000
HEAP_BASE = 0x50000000       # what the DLL gets from malloc
HEAP_SIZE = 0x08000000
STACK_BASE = 0x7F000000
STACK_SIZE = 0x00100000
GDT_BASE = 0x70200000

IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000


def align_up(value, alignment):
    return (value + alignment - 1) & ~(alignment - 1)


class EmulationError(Exception):
    pass


class HostException(Exception):
    """Raised by a stub that does not return to its caller (the host's ThrowError)."""

    def __init__(self, message):
        super().__init__(message)
        self.message = message


class Stub:
    def __init__(self, name, handler, arg_bytes, convention, returns_double=False):
        self.name = name
        self.handler = handler
        self.arg_bytes = arg_bytes        # bytes the callee pops (stdcall, thiscall) or 0
        self.convention = convention
        self.returns_double = returns_double
        self.calls = 0


class Emulator:
    def __init__(self):
        self.uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.uc.mem_map(STUB_BASE, STUB_SIZE, UC_PROT_READ | UC_PROT_EXEC)
        self.uc.mem_map(DATA_BASE, PAGE * 4, UC_PROT_READ | UC_PROT_WRITE)
        self.uc.mem_map(HOST_BASE, HOST_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.uc.mem_map(HEAP_BASE, HEAP_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.uc.mem_map(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.stubs = {}
        self.next_stub = STUB_BASE + 0x10
        self.double_slot = DATA_BASE
        self.return_trap = STUB_BASE          # reaching it ends a call
        self.uc.mem_write(self.return_trap, b"\xf4")
        self.host_next = HOST_BASE
        self.heap_next = HEAP_BASE
        self.live_blocks = {}                 # malloc'd by the DLL and not yet freed
        self.freed_blocks = 0
        self.pending_exception = None
        self.stub_failure = None
        self.safe_handlers = set()
        self.cleanups_run = 0
        self._setup_thread_block()
        self.uc.hook_add(UC_HOOK_CODE, self._on_stub, begin=STUB_BASE + 0x10, end=STUB_BASE + STUB_SIZE - 1)
        self.uc.hook_add(UC_HOOK_MEM_INVALID, self._on_bad_access)
        self.last_bad_access = None

    # ----- the thread block: fs:[0] is the head of the exception-registration chain ----------
    def _setup_thread_block(self):
        teb = DATA_BASE + PAGE
        self.uc.mem_write(teb, struct.pack("<I", 0xFFFFFFFF))  # fs:[0]: the chain's end marker
        self.uc.mem_write(teb + 0x18, struct.pack("<I", teb))  # fs:[0x18]: the block's own address
        # A flat 32-bit GDT: null, code, data, and a data segment based at the thread block.
        self.uc.mem_map(GDT_BASE, PAGE, UC_PROT_READ | UC_PROT_WRITE)

        def descriptor(base, limit, access):
            flags = 0xC
            return struct.pack("<HHBBBB", limit & 0xFFFF, base & 0xFFFF, (base >> 16) & 0xFF, access,
                               ((limit >> 16) & 0xF) | (flags << 4), (base >> 24) & 0xFF)

        gdt = (b"\0" * 8 + descriptor(0, 0xFFFFF, 0x9A) + descriptor(0, 0xFFFFF, 0x92)
               + descriptor(teb, 0xF, 0x92))
        self.uc.mem_write(GDT_BASE, gdt)
        self.uc.reg_write(UC_X86_REG_GDTR, (0, GDT_BASE, len(gdt) - 1, 0))
        # Loading a selector makes the CPU use its descriptor: the stack must be a 32-bit one.
        self.uc.reg_write(UC_X86_REG_SS, 2 << 3)
        self.uc.reg_write(UC_X86_REG_DS, 2 << 3)
        self.uc.reg_write(UC_X86_REG_ES, 2 << 3)
        self.uc.reg_write(UC_X86_REG_FS, 3 << 3)
        self.teb = teb

    def _on_bad_access(self, uc, access, address, size, value, _):
        self.last_bad_access = (access, address, size)
        return False

    # ----- memory helpers ----------------------------------------------------------------------
    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))

    def write(self, address, data):
        self.uc.mem_write(address, bytes(data))

    def u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def i32(self, address):
        return struct.unpack("<i", self.read(address, 4))[0]

    def put_u32(self, address, value):
        self.write(address, struct.pack("<I", value & 0xFFFFFFFF))

    def cstring(self, address, limit=4096):
        data = self.read(address, limit)
        return data[:data.index(b"\0")].decode("latin-1")

    def host_alloc(self, size, fill=0):
        """Memory owned by the fake host (never counted as the DLL's)."""
        address = align_up(self.host_next, 64)
        self.host_next = address + size
        if self.host_next > HOST_BASE + HOST_SIZE:
            raise EmulationError("fake host out of memory")
        self.write(address, bytes([fill]) * size)
        return address

    def host_string(self, text):
        data = text.encode("latin-1") + b"\0"
        address = self.host_alloc(len(data))
        self.write(address, data)
        return address

    # ----- stubs -------------------------------------------------------------------------------
    def add_stub(self, name, handler, arg_bytes=0, convention="cdecl", returns_double=False):
        """Places code for a stub and returns its address. `handler(emu, args)` gets a reader of
        the stack arguments and returns the value for eax (or the double)."""
        address = self.next_stub
        self.next_stub += 16
        if returns_double:
            code = b"\xdd\x05" + struct.pack("<I", self.double_slot)  # fld qword [slot]
        else:
            code = b""
        code += b"\xc3" if arg_bytes == 0 else b"\xc2" + struct.pack("<H", arg_bytes)
        self.uc.mem_write(address, b"\x90" + code)
        self.stubs[address] = Stub(name, handler, arg_bytes, convention, returns_double)
        return address

    def _on_stub(self, uc, address, size, _):
        stub = self.stubs.get(address)
        if stub is None:
            return
        stub.calls += 1
        esp = uc.reg_read(UC_X86_REG_ESP)
        args = StackArgs(self, esp + 4, uc.reg_read(UC_X86_REG_ECX))
        try:
            result = stub.handler(self, args)
        except HostException as thrown:
            self.pending_exception = thrown
            uc.emu_stop()
            return
        except Exception as failure:  # report where it happened, then stop the run
            self.stub_failure = "%s: %s" % (stub.name, failure)
            uc.emu_stop()
            return
        if stub.returns_double:
            self.write(self.double_slot, struct.pack("<d", float(result)))
        elif result is not None:
            uc.reg_write(UC_X86_REG_EAX, int(result) & 0xFFFFFFFF)

    def bind_unexpected(self, name):
        def fail(emu, args):
            raise EmulationError("unexpected call of %s" % name)
        return self.add_stub(name, fail)

    # ----- calling into the DLL ----------------------------------------------------------------
    def call(self, address, args, convention, ecx=0, stack_image=None):
        """Calls `address` with 32-bit stack arguments `args` (first argument lowest), or with a
        prepared argument area `stack_image`. Returns eax, or raises HostException when a stub
        threw. Checks that the callee left the stack as its convention demands."""
        area = stack_image if stack_image is not None else b"".join(struct.pack("<I", a & 0xFFFFFFFF) for a in args)
        # A Microsoft-compiled caller keeps the stack only 4-byte aligned, and so does this one,
        # on purpose off 16. (Unicorn does not fault on misaligned SSE accesses, so this makes
        # the run realistic rather than checking the DLL's own realignment.)
        esp = ((STACK_BASE + STACK_SIZE - 0x1000 - len(area)) & ~0xF) - 4
        self.write(esp - 4, struct.pack("<I", self.return_trap) + area)
        self.uc.reg_write(UC_X86_REG_ESP, esp - 4)
        self.uc.reg_write(UC_X86_REG_ECX, ecx)
        self.uc.reg_write(UC_X86_REG_EAX, 0xDEADBEEF)
        self.uc.reg_write(UC_X86_REG_EDX, 0xDEADBEEF)
        self.pending_exception = None
        self.stub_failure = None
        self.last_bad_access = None
        try:
            self.uc.emu_start(address, self.return_trap, count=200_000_000)
        except UcError as error:
            eip = self.uc.reg_read(UC_X86_REG_EIP)
            raise EmulationError("CPU fault %s at eip 0x%08x, access %s" % (error, eip, self.last_bad_access))
        if self.stub_failure:
            raise EmulationError(self.stub_failure)
        if self.pending_exception is not None:
            self.unwind()
            raise self.pending_exception
        eip = self.uc.reg_read(UC_X86_REG_EIP)
        if eip != self.return_trap:
            raise EmulationError("call did not return (eip 0x%08x)" % eip)
        if self.u32(self.teb) != 0xFFFFFFFF:
            raise EmulationError("returned with an exception registration still linked at fs:[0]")
        popped = self.uc.reg_read(UC_X86_REG_ESP) - esp
        expected = 0 if convention == "cdecl" else len(area)
        if popped != expected:
            raise EmulationError("callee removed %d bytes of arguments, its convention (%s) says %d"
                                 % (popped, convention, expected))
        return self.uc.reg_read(UC_X86_REG_EAX)

    # ----- a host exception passing through the DLL's frames ------------------------------------
    def unwind(self):
        """What the system and msvcrt's __CxxFrameHandler3 do when the host's exception passes
        through the DLL on its way to a catch in the host: every frame registered at fs:[0]
        since the call began runs the cleanups of its current state, innermost first, and is
        unlinked. Each frame's handler must be one the SafeSEH table lists, or Windows would
        end the process instead; a catch inside the DLL is not expected and fails."""
        stack = self.uc.reg_read(UC_X86_REG_ESP) - 0x1000
        node = self.u32(self.teb)
        while node != 0xFFFFFFFF:
            handler = self.u32(node + 4)
            if handler not in self.safe_handlers:
                raise EmulationError("frame handler 0x%08x is not in the SafeSEH table" % handler)
            code = self.read(handler, 5)
            if code[0] != 0xB8:  # mov eax, offset FuncInfo; jmp __CxxFrameHandler3
                raise EmulationError("frame handler 0x%08x is not a C++ frame handler thunk" % handler)
            info = struct.unpack("<I", code[1:])[0]
            magic, max_state, unwind_map, try_blocks = struct.unpack("<IiIi", self.read(info, 16))
            if magic not in (0x19930520, 0x19930521, 0x19930522):
                raise EmulationError("bad FuncInfo magic 0x%08x" % magic)
            if try_blocks != 0:
                raise EmulationError("a frame of the DLL would catch the host's exception")
            state = self.i32(node + 8)
            while state != -1:
                if not 0 <= state < max_state:
                    raise EmulationError("frame state %d outside 0..%d" % (state, max_state - 1))
                to_state, action = struct.unpack("<iI", self.read(unwind_map + 8 * state, 8))
                if action:
                    # Cleanup funclets get ebp = registration node + 12, as msvcrt calls them.
                    self.write(stack - 4, struct.pack("<I", self.return_trap))
                    self.uc.reg_write(UC_X86_REG_ESP, stack - 4)
                    self.uc.reg_write(UC_X86_REG_EBP, node + 12)
                    try:
                        self.uc.emu_start(action, self.return_trap, count=10_000_000)
                    except UcError as error:
                        raise EmulationError("cleanup at 0x%08x faulted: %s" % (action, error))
                    if self.stub_failure:
                        raise EmulationError(self.stub_failure)
                    self.cleanups_run += 1
                state = to_state
            self.put_u32(node + 8, 0xFFFFFFFF)
            node = self.u32(node)
            self.put_u32(self.teb, node)

    def edx(self):
        """edx after a call: the high half of a 64-bit result."""
        return self.uc.reg_read(UC_X86_REG_EDX)

    # ----- the DLL's heap ----------------------------------------------------------------------
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
            raise EmulationError("free of 0x%08x, which is not a live block" % address)
        self.write(address, b"\xdd" * size)
        self.freed_blocks += 1


class StackArgs:
    """Reads a stub's arguments: 32-bit words above the return address, and ecx for thiscall."""

    def __init__(self, emu, base, ecx):
        self.emu = emu
        self.base = base
        self.ecx = ecx

    def __getitem__(self, index):
        return self.emu.u32(self.base + 4 * index)

    def signed(self, index):
        return self.emu.i32(self.base + 4 * index)

    int32 = signed

    def double(self, index):
        return struct.unpack("<d", self.emu.read(self.base + 4 * index, 8))[0]

    def address(self, index):
        return self.base + 4 * index


def load_dll(emu, path, import_stubs):
    """Maps the DLL, relocates it and binds its imports to `import_stubs[(dll, name)]`."""
    with open(path, "rb") as f:
        image = PeImage(f.read())
    size = align_up(image.size_of_image, PAGE)
    emu.uc.mem_map(IMAGE_BASE, size, UC_PROT_ALL)
    emu.write(IMAGE_BASE, image.data[:image.size_of_headers])
    for _, rva, vsize, raw_ptr, raw_size, _ in image.sections:
        emu.write(IMAGE_BASE + rva, image.data[raw_ptr:raw_ptr + min(raw_size, vsize or raw_size)])
    delta = (IMAGE_BASE - image.preferred_base) & 0xFFFFFFFF
    for kind, rva in image.relocations():
        if kind == 0:
            continue
        if kind != 3:
            raise EmulationError("relocation type %d is not a 32-bit one" % kind)
        emu.put_u32(IMAGE_BASE + rva, emu.u32(IMAGE_BASE + rva) + delta)
    for dll, functions in image.imports():
        for name, slot in functions:
            stub = import_stubs.get((dll.lower(), name))
            if stub is None:
                stub = emu.bind_unexpected("%s!%s" % (dll, name))
            emu.put_u32(IMAGE_BASE + slot, stub)
    emu.safe_handlers = {IMAGE_BASE + rva for rva in image.safe_handlers()}
    # Now the section protections: code must not be written, data not executed.
    emu.uc.mem_protect(IMAGE_BASE, PAGE, UC_PROT_READ)
    for name, rva, vsize, _, _, flags in image.sections:
        perms = 0
        if flags & IMAGE_SCN_MEM_READ:
            perms |= UC_PROT_READ
        if flags & IMAGE_SCN_MEM_WRITE:
            perms |= UC_PROT_WRITE
        if flags & IMAGE_SCN_MEM_EXECUTE:
            perms |= UC_PROT_EXEC
        emu.uc.mem_protect(IMAGE_BASE + rva, align_up(vsize, PAGE), perms)
    return image


def format_printf(emu, fmt, args, first):
    """printf formatting for the conversions a message can use (%s %d %i %u %x %c %%)."""
    out = []
    i = 0
    index = first
    while i < len(fmt):
        c = fmt[i]
        if c != "%":
            out.append(c)
            i += 1
            continue
        conv = fmt[i + 1]
        i += 2
        if conv == "%":
            out.append("%")
        elif conv == "s":
            out.append(emu.cstring(args[index]))
            index += 1
        elif conv in "di":
            out.append(str(args.signed(index)))
            index += 1
        elif conv == "u":
            out.append(str(args[index]))
            index += 1
        elif conv == "x":
            out.append("%x" % args[index])
            index += 1
        elif conv == "c":
            out.append(chr(args[index] & 0xFF))
            index += 1
        else:
            raise EmulationError("unsupported conversion %%%s in %r" % (conv, fmt))
    return "".join(out)


def c_runtime_stubs(emu, host_modules=None):
    """msvcrt.dll and kernel32.dll as far as the DLL may use them; any other import fails.
    `host_modules` maps a module handle to {function name: address}: what GetProcAddress finds;
    VirtualQuery reports the module of the return trap (the caller of every entry) as the first."""
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
        return 0 if x == y else (-1 if x < y else 1)

    def calloc(e, a):
        size = a[0] * a[1]
        block = e.malloc(size)
        if block:
            e.write(block, b"\0" * size)
        return block

    def realloc(e, a):
        if a[0] == 0:
            return e.malloc(a[1])
        old = e.live_blocks.get(a[0])
        if old is None:
            raise EmulationError("realloc of 0x%08x, which is not a live block" % a[0])
        block = e.malloc(a[1])
        if block:
            e.write(block, e.read(a[0], min(old, a[1])))
            e.free(a[0])
        return block

    def aligned_malloc(e, a):
        if a[1] == 0 or a[1] & (a[1] - 1):
            raise EmulationError("_aligned_malloc with alignment %d" % a[1])
        return e.malloc(a[0], a[1])

    def abort(e, a):
        raise EmulationError("abort() called")

    def raise_exception(e, a):
        raise EmulationError("RaiseException(0x%08x) called" % a[0])

    def frame_handler(e, a):
        # Only the system calls frame handlers, and unwind() stands in for it.
        raise EmulationError("__CxxFrameHandler3 called from the DLL's own code")

    msvcrt = {
        "malloc": lambda e, a: e.malloc(a[0]),
        "free": lambda e, a: e.free(a[0]),
        "calloc": calloc,
        "realloc": realloc,
        "memcpy": memcpy,
        "memmove": memcpy,
        "memset": memset,
        "memcmp": memcmp,
        "strlen": lambda e, a: len(e.cstring(a[0], 1 << 16)),
        "getenv": lambda e, a: 0,  # an empty environment
        "_aligned_malloc": aligned_malloc,
        "_aligned_free": lambda e, a: e.free(a[0]),
        "abort": abort,
        "__CxxFrameHandler3": frame_handler,
    }
    stubs = {("msvcrt.dll", name): emu.add_stub("msvcrt!" + name, fn) for name, fn in msvcrt.items()}
    stubs[("msvcrt.dll", "pow")] = emu.add_stub("msvcrt!pow", lambda e, a: math.pow(a.double(0), a.double(2)),
                                                returns_double=True)
    stubs[("msvcrt.dll", "sqrt")] = emu.add_stub("msvcrt!sqrt", lambda e, a: math.sqrt(a.double(0)),
                                                 returns_double=True)
    stubs[("kernel32.dll", "DisableThreadLibraryCalls")] = emu.add_stub(
        "kernel32!DisableThreadLibraryCalls", lambda e, a: 1, arg_bytes=4, convention="stdcall")
    stubs[("kernel32.dll", "RaiseException")] = emu.add_stub(
        "kernel32!RaiseException", raise_exception, arg_bytes=16, convention="stdcall")

    modules = host_modules or {}
    caller_module = next(iter(modules), 0)
    emu.virtual_queries = []

    def virtual_query(e, a):
        # MEMORY_BASIC_INFORMATION (28 bytes on 32-bit): BaseAddress, AllocationBase, ...
        if a[2] < 28:
            raise EmulationError("VirtualQuery with a %d-byte buffer" % a[2])
        e.write(a[1], struct.pack("<II", a[0] & ~0xFFF, caller_module if a[0] == e.return_trap else 0) + b"\0" * 20)
        e.virtual_queries.append(a[0])
        return 28

    def get_proc_address(e, a):
        if a[0] not in modules:
            raise EmulationError("GetProcAddress on 0x%08x, which is no module" % a[0])
        return modules[a[0]].get(e.cstring(a[1]), 0)

    def get_module_handle(e, a):
        return caller_module if a[0] and e.cstring(a[0]).lower() in ("avisynth", "avisynth.dll") else 0

    for name, handler, pops in [("VirtualQuery", virtual_query, 12), ("GetProcAddress", get_proc_address, 8),
                                ("GetModuleHandleA", get_module_handle, 4)]:
        stubs[("kernel32.dll", name)] = emu.add_stub("kernel32!" + name, handler, arg_bytes=pops,
                                                     convention="stdcall")
    return stubs
