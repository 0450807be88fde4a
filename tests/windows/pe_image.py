"""Reading a PE32 or PE32+ image (a 32- or 64-bit Windows DLL): headers, sections, exports, imports,
relocations, and the x64 exception table."""

import re
import struct


class PeFormatError(Exception):
    pass


class PeImage:
    """The parts of a PE32/PE32+ file the static checks read."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeFormatError("not an MZ file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeFormatError("no PE signature")
        nsections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        if magic not in (0x10B, 0x20B):
            raise PeFormatError("neither a PE32 nor a PE32+ image")
        self.is64 = magic == 0x20B
        self.pointer_size = 8 if self.is64 else 4
        if self.is64:
            self.preferred_base = struct.unpack_from("<Q", data, opt + 24)[0]
        else:
            self.preferred_base = struct.unpack_from("<I", data, opt + 28)[0]
        self.size_of_headers = struct.unpack_from("<I", data, opt + 60)[0]
        dirs = opt + (108 if self.is64 else 92)
        ndirs = struct.unpack_from("<I", data, dirs)[0]
        self.directories = [struct.unpack_from("<II", data, dirs + 4 + 8 * i) for i in range(ndirs)]
        self.sections = []
        for i in range(nsections):
            off = opt + opt_size + 40 * i
            name = data[off:off + 8].rstrip(b"\0").decode()
            vsize, rva, raw_size, raw_ptr = struct.unpack_from("<IIII", data, off + 8)
            flags = struct.unpack_from("<I", data, off + 36)[0]
            self.sections.append((name, rva, vsize, raw_ptr, raw_size, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def rva_to_offset(self, rva):
        for _, srva, vsize, raw_ptr, raw_size, _ in self.sections:
            if srva <= rva < srva + max(vsize, raw_size):
                return raw_ptr + (rva - srva)
        if rva < self.size_of_headers:
            return rva
        raise PeFormatError("RVA 0x%x is in no section" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.rva_to_offset(rva))[0]

    def u64(self, rva):
        return struct.unpack_from("<Q", self.data, self.rva_to_offset(rva))[0]

    def pointer(self, rva):
        return self.u64(rva) if self.is64 else self.u32(rva)

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.rva_to_offset(rva))[0]

    def cstring(self, rva):
        off = self.rva_to_offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode()

    def exports(self):
        """Named exports as {name: rva}, and the number of non-empty address-table entries."""
        rva, size = self.directory(0)
        if size == 0:
            return {}, 0
        base, nfuncs, nnames, funcs, names, ordinals = struct.unpack_from(
            "<IIIIII", self.data, self.rva_to_offset(rva) + 16)
        result = {}
        for i in range(nnames):
            name = self.cstring(self.u32(names + 4 * i))
            result[name] = self.u32(funcs + 4 * self.u16(ordinals + 2 * i))
        used = sum(1 for i in range(nfuncs) if self.u32(funcs + 4 * i) != 0)
        return result, used

    def imports(self):
        """[(dll, [(function name, IAT slot rva)])]."""
        rva, size = self.directory(1)
        result = []
        while size:
            lookup, _, _, name_rva, iat = struct.unpack_from("<IIIII", self.data, self.rva_to_offset(rva))
            if name_rva == 0:
                break
            functions = []
            thunk = lookup or iat
            slot = iat
            ordinal_flag = 1 << (8 * self.pointer_size - 1)
            while True:
                entry = self.pointer(thunk)
                if entry == 0:
                    break
                if entry & ordinal_flag:
                    raise PeFormatError("import by ordinal %d from %s" % (entry & 0xFFFF, self.cstring(name_rva)))
                functions.append((self.cstring(entry + 2), slot))
                thunk += self.pointer_size
                slot += self.pointer_size
            result.append((self.cstring(name_rva), functions))
            rva += 20
        return result

    def runtime_functions(self):
        """[(begin rva, end rva, unwind info rva)] of the x64 exception table (.pdata)."""
        rva, size = self.directory(3)
        return [struct.unpack_from("<III", self.data, self.rva_to_offset(rva + 12 * i)) for i in range(size // 12)]

    def relocations(self):
        """[(type, rva)] of the base relocation table."""
        rva, size = self.directory(5)
        result = []
        end = rva + size
        while rva < end:
            page, block = struct.unpack_from("<II", self.data, self.rva_to_offset(rva))
            for i in range((block - 8) // 2):
                entry = self.u16(rva + 8 + 2 * i)
                result.append((entry >> 12, page + (entry & 0xFFF)))
            rva += block
        return result


def read_link_map(path):
    """(address, name) of every symbol in lld-link's /map output, sorted by address."""
    symbols = []
    with open(path) as f:
        for line in f:
            m = re.match(r"^\s*([0-9a-f]{4}):([0-9a-f]{8})\s+(\S+)\s+([0-9a-f]{8,16})\s", line)
            if m and int(m.group(1), 16) != 0:
                symbols.append((int(m.group(4), 16), m.group(3)))
    return sorted(symbols)
