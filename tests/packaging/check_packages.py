#!/usr/bin/python3
"""The wheels and archives as users get them, made by tools/package.py into a temporary folder:
  check_packages.py ROOT VERSION LIBRARY X86_DLL X64_DLL VAPOURSYNTH_PLUGIN_TESTS OTHER_ELF
A wheel: its name, listing, RECORD and metadata; installed offline by pip, only the build's
library outside the .dist-info; the Linux one run by our VapourSynth host's format tests. OTHER_ELF
needs libraries no manylinux wheel may: refused. The Windows and source archives' listings."""
import base64, csv, email.parser, hashlib, io, os, re, subprocess, sys, tarfile, tempfile, zipfile

root, version, library, x86_dll, x64_dll, plugin_tests, other_elf = sys.argv[1:]
package = [sys.executable, os.path.join(root, "tools", "package.py")]
read = lambda path: open(path, "rb").read()
licence, failures = read(os.path.join(root, "LICENSE")), 0


def check(what, ok, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else f"\n     {detail}"))
    failures += not ok


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def make(*arguments):
    done = run(*package, *arguments)
    return done.stdout.strip() if done.returncode == 0 else sys.exit(f"package.py {arguments}: {done.stderr}")


def check_wheel(out, built, platform_pattern):
    wheel = make("wheel", built, version, out)
    named = re.fullmatch(rf"vapoursynth_sorvan-{re.escape(version)}-py3-none-({platform_pattern})\.whl",
                         os.path.basename(wheel))
    check(f"wheel named {os.path.basename(wheel)}", named, platform_pattern)
    platform, info, payload = named.group(1), f"vapoursynth_sorvan-{version}.dist-info", "vapoursynth/plugins/" + \
        os.path.basename(built)
    files = {n: zipfile.ZipFile(wheel).read(n) for n in zipfile.ZipFile(wheel).namelist()}
    check(f"{platform}: the library under vapoursynth/plugins/ and the .dist-info alone", sorted(files) == sorted(
        [payload] + [f"{info}/{n}" for n in ("licenses/LICENSE", "METADATA", "WHEEL", "RECORD")]), sorted(files))
    digest = lambda d: "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(d).digest()).decode().rstrip("=")
    record = list(csv.reader(io.StringIO(files.get(f"{info}/RECORD", b"").decode())))
    check(f"{platform}: RECORD lists every file once with its sha256 and size", sorted(record) == sorted(
        [n, "", ""] if n == f"{info}/RECORD" else [n, digest(d), str(len(d))] for n, d in files.items()), record)
    meta = email.parser.Parser().parsestr(files.get(f"{info}/METADATA", b"").decode())
    fields = {"Metadata-Version": "2.4", "Name": "vapoursynth-sorvan", "Version": version, "License-File": "LICENSE",
              "License-Expression": "MIT", "Requires-Dist": "VapourSynth>=74",
              "Description-Content-Type": "text/markdown"}
    check(f"{platform}: METADATA (with how to call core.sorvan.Sorvan), WHEEL, the licence file", {
        k: meta[k] for k in fields} == fields and "core.sorvan.Sorvan(clip" in meta.get_payload() and meta["Summary"]
          and files.get(f"{info}/licenses/LICENSE") == licence and files.get(f"{info}/WHEEL", b"").decode().endswith(
              f"Root-Is-Purelib: false\nTag: py3-none-{platform}\n"), meta.items())

    # A Linux wheel must suit this machine as it is; another system's is installed as for that one.
    target = os.path.join(out, platform)
    foreign = [] if platform.startswith("manylinux") else ["--platform", platform, "--only-binary=:all:"]
    pip = run(sys.executable, "-m", "pip", "install", "--isolated", "--no-index", "--no-deps", "--target", target,
              "--disable-pip-version-check", "--root-user-action=ignore", wheel, *foreign)
    installed = sorted(os.path.relpath(os.path.join(d, f), target) for d, _, fs in os.walk(target) for f in fs)
    check(f"{platform}: pip installs it offline: the build's library, the rest in the .dist-info", pip.returncode == 0
          and [f for f in installed if not f.startswith(info + "/")] == [payload] and read(
              os.path.join(target, payload)) == read(built), pip.stderr + str(installed))
    return platform, os.path.join(target, payload)


with tempfile.TemporaryDirectory() as out:
    platform, installed = check_wheel(out, library, rf"manylinux_\d+_\d+_{os.uname().machine}")
    tag = tuple(map(int, platform.split("_")[1:3]))
    here = tuple(map(int, os.confstr("CS_GNU_LIBC_VERSION").split()[1].split(".")[:2]))
    newest = max(tuple(map(int, v.split(".")[:2])) for v in re.findall(r"\(GLIBC_([\d.]+)\)", run(
        "objdump", "-T", library).stdout))
    check(f"{platform}: its glibc no older than the newest imported, GLIBC_{newest[0]}.{newest[1]}, nor newer than "
          "this machine's", newest <= tag <= here, f"tag {tag}, newest {newest}, here {here}")
    formats = [run(plugin_tests, "--gtest_filter=*EveryFormatEqualsTheCore", env=dict(
        os.environ, SORVAN_INSTALLED_PLUGIN=plugin)) for plugin in (installed, x64_dll)]
    check("the installed library, loaded by our VapourSynth host, filters every format as the build's does (and "
          "the tests refuse another file)", formats[0].returncode == 0 and formats[1].returncode != 0,
          formats[0].stdout[-3000:])
    check_wheel(out, x64_dll, "win_amd64")
    refused = run(*package, "wheel", other_elf, version, out)
    check("no wheel of a library needing more than the C and C++ runtimes, nor without a release number",
          refused.returncode == 1 and "may not take from the system" in refused.stderr and
          run(*package, "wheel", library, "", out).returncode == 1, refused.stderr)

    windows = zipfile.ZipFile(make("windows-zip", version, x86_dll, x64_dll, out))
    contents = {n: windows.read(n) for n in windows.namelist()}
    check(f"{os.path.basename(windows.filename)}: x86/sorvan.dll, x64/sorvan64.dll, LICENSE, README.txt (where "
          "each goes), and swapped DLLs refused", contents == {"x86/sorvan.dll": read(x86_dll), "x64/sorvan64.dll":
          read(x64_dll), "LICENSE": licence, "README.txt": read(os.path.join(root, "packaging", "windows-install.txt"))}
          and run(*package, "windows-zip", version, x64_dll, x86_dll, out).returncode == 1, sorted(contents))

    tracked = run("git", "-C", root, "ls-tree", "-r", "-z", "--name-only", "HEAD")
    if tracked.returncode != 0:
        print("skip the source archive: not a git checkout")
    else:
        members = [m.name for m in tarfile.open(make("source", version, out)) if not m.isdir()]
        check(f"sorvan-{version}.tar.gz: the committed files under sorvan-{version}/", sorted(members) == sorted(
            f"sorvan-{version}/{f}" for f in tracked.stdout.split("\0")[:-1]), members[:20])

print("package checks passed" if failures == 0 else f"{failures} package check(s) failed")
sys.exit(failures != 0)
