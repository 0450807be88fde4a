#!/usr/bin/python3
"""Packages for users, made with Debian's Python alone (no network):

  package.py wheel LIBRARY VERSION OUT_DIR
      vapoursynth_sorvan-VERSION-py3-none-PLATFORM.whl: the plug-in library under
      vapoursynth/plugins/, where VapourSynth R74 and later load plug-ins; PLATFORM read from
      the library itself (its machine, and for Linux the newest runtime versions it imports).
  package.py windows-zip VERSION X86_DLL X64_DLL OUT_DIR
      sorvan-VERSION-windows.zip: x86/ and x64/ DLLs, the licence and where each DLL goes.
  package.py source VERSION OUT_DIR
      sorvan-VERSION.tar.gz: the committed tree (HEAD), under sorvan-VERSION/.

Each prints the path it wrote; a file appears only once complete. Failure: a message, status 1.
"""
import base64
import csv
import hashlib
import io
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

ELF_MACHINES = {3: "i686", 62: "x86_64", 183: "aarch64"}
PE_MACHINES = {0x14C: "win32", 0x8664: "win_amd64", 0xAA64: "win_arm64"}
# What a manylinux wheel may take from the system: the C and C++ runtimes (and the loader).
SYSTEM_LIBRARIES = re.compile(
    r"(libc\.so\.6|libm\.so\.6|libdl\.so\.2|libpthread\.so\.0|librt\.so\.1|libgcc_s\.so\.1|libstdc\+\+\.so\.6"
    r"|ld-linux[-\w.]*\.so\.\d+)$")
# The newest C++ runtime versions of the reference distribution of each glibc, oldest first (CentOS
# 7, AlmaLinux 8 and 9, Debian 12): a library importing a newer one needs that distribution's glibc.
CXX_RUNTIMES = [
    ((2, 17), {"GLIBCXX": (3, 4, 19), "CXXABI": (1, 3, 7), "GCC": (4, 8, 0)}),
    ((2, 28), {"GLIBCXX": (3, 4, 25), "CXXABI": (1, 3, 11), "GCC": (7, 0, 0)}),
    ((2, 34), {"GLIBCXX": (3, 4, 29), "CXXABI": (1, 3, 13), "GCC": (7, 0, 0)}),
    ((2, 36), {"GLIBCXX": (3, 4, 30), "CXXABI": (1, 3, 13), "GCC": (12, 0, 0)}),
]


class PackageError(Exception):
    pass


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def linux_platform(path, header):
    """manylinux_X_Y_MACHINE: X.Y the oldest glibc that provides every symbol version imported."""
    big_endian = header[5] == 2
    machine = struct.unpack(">H" if big_endian else "<H", header[18:20])[0]
    if machine not in ELF_MACHINES:
        raise PackageError(f"{path}: ELF machine {machine} has no wheel platform here")
    listing = subprocess.run(["readelf", "--dynamic", "--version-info", "--wide", path], capture_output=True,
                             text=True, env=dict(os.environ, LC_ALL="C"), check=True).stdout
    for library in re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", listing):
        if not SYSTEM_LIBRARIES.match(library):
            raise PackageError(f"{path} needs {library}, which a manylinux wheel may not take from the system")
    glibc = (2, 0)
    needs = listing.split("Version needs section", 1)[1] if "Version needs section" in listing else ""
    for name, number in re.findall(r"Name: (\w+?)_([\d.]+)\s", needs):
        needed = version_tuple(number)
        if name == "GLIBC":
            glibc = max(glibc, needed[:2])
        elif name in ("GLIBCXX", "CXXABI", "GCC"):
            floor = next((g for g, newest in CXX_RUNTIMES if needed <= newest[name]), None)
            if floor is None:
                raise PackageError(f"{path} imports {name}_{number}, newer than any C++ runtime known here")
            glibc = max(glibc, floor)
    if "GLIBC_PRIVATE" in needs:
        raise PackageError(f"{path} imports GLIBC_PRIVATE symbols")
    return f"manylinux_{glibc[0]}_{glibc[1]}_{ELF_MACHINES[machine]}"


def platform_tag(path):
    with open(path, "rb") as f:
        header = f.read(4096)
    if header[:4] == b"\x7fELF" and len(header) >= 64:
        return linux_platform(path, header)
    if header[:2] == b"MZ" and len(header) >= 0x40:
        pe = struct.unpack("<I", header[0x3C:0x40])[0]
        signed = header[pe:pe + 4] == b"PE\0\0" and len(header) >= pe + 6
        machine = struct.unpack("<H", header[pe + 4:pe + 6])[0] if signed else None
        if machine in PE_MACHINES:
            return PE_MACHINES[machine]
    raise PackageError(f"{path}: neither an ELF library nor a Windows DLL of a known machine")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write_zip(path, members, mtime):
    """Writes (name, bytes) members into a temporary file beside `path`, then renames it there."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(path)), suffix=".part")
    try:
        with os.fdopen(fd, "wb") as out, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
            for name, data in members:
                info = zipfile.ZipInfo(name, date_time=time.localtime(max(mtime, 315619200))[:6])
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = 0o100644 << 16
                archive.writestr(info, data)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
    return path


def record_hash(data):
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def wheel(library, version, out_dir):
    platform = platform_tag(library)
    system = "Microsoft :: Windows" if platform.startswith("win") else "POSIX :: Linux"
    dist_info = f"vapoursynth_sorvan-{version}.dist-info"
    with open(os.path.join(ROOT, "packaging", "wheel-description.md"), encoding="utf-8") as f:
        description = f.read()
    metadata = (
        "Metadata-Version: 2.4\n"
        "Name: vapoursynth-sorvan\n"
        f"Version: {version}\n"
        "Summary: VapourSynth plug-in that smooths small-amplitude noise in chosen colour channels\n"
        "Author: The Sorvan developers\n"
        "License-Expression: MIT\n"
        "License-File: LICENSE\n"
        f"Classifier: Operating System :: {system}\n"
        "Classifier: Topic :: Multimedia :: Video\n"
        "Requires-Dist: VapourSynth>=74\n"
        "Description-Content-Type: text/markdown\n"
        f"\n{description}")
    wheel_file = ("Wheel-Version: 1.0\n"
                  f"Generator: sorvan tools/package.py ({version})\n"
                  "Root-Is-Purelib: false\n"
                  f"Tag: py3-none-{platform}\n")
    members = [(f"vapoursynth/plugins/{os.path.basename(library)}", read(library)),
               (f"{dist_info}/licenses/LICENSE", read(os.path.join(ROOT, "LICENSE"))),
               (f"{dist_info}/METADATA", metadata.encode()),
               (f"{dist_info}/WHEEL", wheel_file.encode())]
    record = io.StringIO()
    rows = csv.writer(record, lineterminator="\n")
    rows.writerows((name, record_hash(data), len(data)) for name, data in members)
    rows.writerow((f"{dist_info}/RECORD", "", ""))
    members.append((f"{dist_info}/RECORD", record.getvalue().encode()))
    name = f"vapoursynth_sorvan-{version}-py3-none-{platform}.whl"
    return write_zip(os.path.join(out_dir, name), members, os.stat(library).st_mtime)


def windows_zip(version, x86_dll, x64_dll, out_dir):
    for dll, expected in ((x86_dll, "win32"), (x64_dll, "win_amd64")):
        if platform_tag(dll) != expected:
            raise PackageError(f"{dll} is not a {expected} DLL")
    members = [("x86/sorvan.dll", read(x86_dll)), ("x64/sorvan64.dll", read(x64_dll)),
               ("LICENSE", read(os.path.join(ROOT, "LICENSE"))),
               ("README.txt", read(os.path.join(ROOT, "packaging", "windows-install.txt")))]
    mtime = max(os.stat(dll).st_mtime for dll in (x86_dll, x64_dll))
    return write_zip(os.path.join(out_dir, f"sorvan-{version}-windows.zip"), members, mtime)


def source(version, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, f"sorvan-{version}.tar.gz")
    temporary = path + ".part"
    try:
        subprocess.run(["git", "-C", ROOT, "archive", "--format=tar.gz", f"--prefix=sorvan-{version}/",
                        "-o", os.path.abspath(temporary), "HEAD"], check=True)
        os.replace(temporary, path)
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)
    return path


COMMANDS = {"wheel": (wheel, 3), "windows-zip": (windows_zip, 4), "source": (source, 2)}
VERSION_ARGUMENT = {"wheel": 1, "windows-zip": 0, "source": 0}

if __name__ == "__main__":
    command, arguments = (sys.argv[1], sys.argv[2:]) if len(sys.argv) > 1 else ("", [])
    if command not in COMMANDS or len(arguments) != COMMANDS[command][1]:
        sys.exit(__doc__)
    try:
        if not re.fullmatch(r"\d+(\.\d+)*", arguments[VERSION_ARGUMENT[command]]):
            raise PackageError(f"'{arguments[VERSION_ARGUMENT[command]]}' is not a release number like 1.2")
        print(COMMANDS[command][0](*arguments))
    except (PackageError, OSError, subprocess.CalledProcessError) as error:
        sys.exit(f"package.py {command}: {error}")
