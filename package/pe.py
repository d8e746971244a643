"""Reads what the packaging and its tests check in a Windows program (a PE32+ file): the link time
stamp of its header, its resources (with the time stamps of their directories), its application
manifest and its file version. Standard library only."""

import struct

RT_VERSION = 16
RT_MANIFEST = 24


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.path = path
        data = self.data
        if data[:2] != b"MZ":
            raise PeError(f"{path}: not a Windows program")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError(f"{path}: no PE header")
        coff = pe + 4
        (self.machine, sections, self.timestamp, _, _, optional_size, _) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        if struct.unpack_from("<H", data, optional)[0] != 0x20B:
            raise PeError(f"{path}: not a 64-bit program")
        directory_count = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, virtual_size, address, raw_size, raw_pointer = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), address, max(virtual_size, raw_size),
                                  raw_pointer, raw_size))

    def offset(self, rva):
        for _, address, size, raw_pointer, raw_size in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw_pointer + rva - address
        raise PeError(f"{self.path}: address {rva:#x} lies in no section")

    def resources(self):
        """(type, name, language, bytes) of every resource, and the time stamps of all resource
        directories. Types and names given by strings come as strings."""
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if rva == 0 or size == 0:
            return [], []
        base = self.offset(rva)
        data = self.data
        found = []
        stamps = []

        def entry_id(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return value

        def walk(at, path):
            _, stamp, _, _, named, ids = struct.unpack_from("<IIHHHH", data, at)
            stamps.append(stamp)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
                key = path + [entry_id(name)]
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), key)
                else:
                    data_rva, data_size, _, _ = struct.unpack_from("<IIII", data, base + target)
                    start = self.offset(data_rva)
                    found.append((*key, data[start:start + data_size]))

        walk(base, [])
        return found, stamps

    def manifests(self):
        """The bytes of each RT_MANIFEST resource, with its ID and language."""
        found, _ = self.resources()
        return [(name, language, body) for kind, name, language, body in found if kind == RT_MANIFEST]

    def file_version(self):
        """FILEVERSION of the version resource as "a.b.c.d", None without one."""
        found, _ = self.resources()
        for kind, _, _, body in found:
            if kind != RT_VERSION:
                continue
            at = body.find(struct.pack("<I", 0xFEEF04BD))
            if at < 0:
                continue
            high, low = struct.unpack_from("<II", body, at + 8)
            return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
        return None
