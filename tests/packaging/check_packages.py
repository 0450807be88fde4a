#!/usr/bin/python3
"""The wheels and archives as users get them, made by tools/package.py into a temporary folder:
  check_packages.py ROOT VERSION LIBRARY X86_DLL X64_DLL INSTALLED_PLUGIN_TEST OTHER_ELF
Each wheel: its name and tag, listing, RECORD and metadata; installed offline by pip into a
folder of its own, where the library is all that lies outside the .dist-info and is the build's;
the Linux one loaded from there by our VapourSynth host filters as the build's does. OTHER_ELF
(needing libraries no manylinux wheel may) is refused. The Windows and source archives' listings."""
import base64
import csv
import email.parser
import hashlib
import io
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile

root, version, library, x86_dll, x64_dll, installed_plugin_test, other_elf = sys.argv[1:]
package = [sys.executable, os.path.join(root, "tools", "package.py")]
failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else f"\n     {detail}"))
    failures += not ok


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make(*arguments):
    run = subprocess.run(package + list(arguments), capture_output=True, text=True)
    return run.stdout.strip() if run.returncode == 0 else sys.exit(f"package.py {arguments}: {run.stderr}")


def check_wheel(out, built, platform_pattern):
    wheel = make("wheel", built, version, out)
    found = re.fullmatch(rf"vapoursynth_sorvan-{re.escape(version)}-py3-none-({platform_pattern})\.whl",
                         os.path.basename(wheel))
    check(f"wheel named {os.path.basename(wheel)}", found, platform_pattern)
    if not found:
        return
    platform, dist_info = found.group(1), f"vapoursynth_sorvan-{version}.dist-info"
    payload = f"vapoursynth/plugins/{os.path.basename(built)}"
    archive = zipfile.ZipFile(wheel)
    names = sorted(archive.namelist())
    expected = sorted([payload] + [f"{dist_info}/{n}" for n in ("licenses/LICENSE", "METADATA", "WHEEL", "RECORD")])
    check(f"{platform}: the library under vapoursynth/plugins/ and the .dist-info alone", names == expected, names)

    rows = list(csv.reader(io.StringIO(archive.read(f"{dist_info}/RECORD").decode())))
    recorded = {row[0]: row[1:] for row in rows}
    wanted = {n: [f"sha256={base64.urlsafe_b64encode(hashlib.sha256(archive.read(n)).digest()).decode().rstrip('=')}",
                  str(archive.getinfo(n).file_size)] for n in names}
    wanted[f"{dist_info}/RECORD"] = ["", ""]
    check(f"{platform}: RECORD lists every file once with its sha256 and size", len(rows) == len(recorded)
          and recorded == wanted, rows)

    meta = email.parser.Parser().parsestr(archive.read(f"{dist_info}/METADATA").decode())
    fields = {k: meta.get(k) for k in ("Metadata-Version", "Name", "Version", "License-Expression", "License-File",
                                       "Requires-Dist")}
    check(f"{platform}: METADATA name, version, licence, requirement", fields == {
        "Metadata-Version": "2.4", "Name": "vapoursynth-sorvan", "Version": version, "License-Expression": "MIT",
        "License-File": "LICENSE", "Requires-Dist": "VapourSynth>=74"} and meta["Summary"], fields)
    check(f"{platform}: the description tells how to call core.sorvan.Sorvan", "core.sorvan.Sorvan(clip" in
          meta.get_payload() and meta["Description-Content-Type"] == "text/markdown")
    check(f"{platform}: the licence file is LICENSE",
          archive.read(f"{dist_info}/licenses/LICENSE") == read(os.path.join(root, "LICENSE")))
    tags = email.parser.Parser().parsestr(archive.read(f"{dist_info}/WHEEL").decode())
    check(f"{platform}: WHEEL tag and platlib root", tags["Tag"] == f"py3-none-{platform}"
          and tags["Root-Is-Purelib"] == "false" and tags["Wheel-Version"] == "1.0", tags.items())

    target = os.path.join(out, "site-" + platform)
    # A Linux wheel must suit this machine as it is; another system's is installed as for that one.
    foreign = [] if platform.startswith("manylinux") else ["--platform", platform, "--only-binary=:all:"]
    pip = subprocess.run([sys.executable, "-m", "pip", "install", "--isolated", "--no-index", "--no-deps",
                          "--disable-pip-version-check", "--root-user-action=ignore", "--target", target, wheel]
                         + foreign, capture_output=True, text=True)
    check(f"{platform}: pip installs it offline", pip.returncode == 0, pip.stderr)
    files = sorted(os.path.relpath(os.path.join(d, f), target) for d, _, fs in os.walk(target) for f in fs)
    outside = [f for f in files if not f.startswith(dist_info + "/")]
    check(f"{platform}: installed, only the library lies outside the .dist-info", outside == [payload], files)
    installed = os.path.join(target, payload)
    check(f"{platform}: the installed library is the build's byte for byte",
          os.path.exists(installed) and read(installed) == read(built))
    return platform, installed


def check_linux_tag(platform):
    glibc_here = tuple(map(int, os.confstr("CS_GNU_LIBC_VERSION").split()[1].split(".")[:2]))
    tag = tuple(map(int, platform.split("_")[1:3]))
    symbols = subprocess.run(["objdump", "-T", library], capture_output=True, text=True, check=True).stdout
    newest = max(tuple(map(int, v.split(".")[:2])) for v in re.findall(r"\(GLIBC_([\d.]+)\)", symbols))
    check(f"{platform}: the tag's glibc is at least the newest imported (GLIBC_{newest[0]}.{newest[1]}) and no more "
          f"than this machine's", newest <= tag <= glibc_here, f"tag {tag}, newest {newest}, here {glibc_here}")


with tempfile.TemporaryDirectory() as out:
    machine = os.uname().machine
    linux = check_wheel(out, library, rf"manylinux_\d+_\d+_{machine}")
    if linux:
        check_linux_tag(linux[0])
        run = subprocess.run([installed_plugin_test], env=dict(os.environ, SORVAN_INSTALLED_PLUGIN=linux[1]),
                             capture_output=True, text=True)
        check("the installed library, loaded by our VapourSynth host, gives the build's frame", run.returncode == 0,
              run.stdout[-3000:])
    check_wheel(out, x64_dll, "win_amd64")
    refused = subprocess.run(package + ["wheel", other_elf, version, out], capture_output=True, text=True)
    check("a library needing more than the C and C++ runtimes gets no manylinux wheel",
          refused.returncode == 1 and "may not take from the system" in refused.stderr, refused.stderr)

    windows = zipfile.ZipFile(make("windows-zip", version, x86_dll, x64_dll, out))
    contents = {n: windows.read(n) for n in windows.namelist()}
    check(f"{os.path.basename(windows.filename)}: x86/sorvan.dll, x64/sorvan64.dll, LICENSE, README.txt", contents
          == {"x86/sorvan.dll": read(x86_dll), "x64/sorvan64.dll": read(x64_dll), "README.txt": contents.get(
              "README.txt"), "LICENSE": read(os.path.join(root, "LICENSE"))}, sorted(contents))
    text = contents.get("README.txt", b"").decode()
    check("README.txt names the folders of both hosts", all(
        s in text for s in ("plugins64+", "plugins+", r"vapoursynth\plugins", "x86\\sorvan.dll", "x64\\sorvan64.dll")))
    swapped = subprocess.run(package + ["windows-zip", version, x64_dll, x86_dll, out], capture_output=True)
    check("DLLs given in the wrong places are refused", swapped.returncode == 1)

    if subprocess.run(["git", "-C", root, "rev-parse", "HEAD"], capture_output=True).returncode != 0:
        print("skip the source archive: not a git checkout")
    else:
        tracked = subprocess.run(["git", "-C", root, "ls-tree", "-r", "-z", "--name-only", "HEAD"],
                                 capture_output=True, text=True, check=True).stdout.split("\0")[:-1]
        source = tarfile.open(make("source", version, out))
        members = sorted(m.name for m in source.getmembers() if not m.isdir())
        check(f"sorvan-{version}.tar.gz: the committed files under sorvan-{version}/",
              members == sorted(f"sorvan-{version}/{f}" for f in tracked), members[:20])

print("package checks passed" if failures == 0 else f"{failures} package check(s) failed")
sys.exit(failures != 0)
