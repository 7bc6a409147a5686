"""The C# or Pascal declarations of INTEGRATION.md, compiled as they stand
there with a master and a follower program of this folder, and run as two
processes against the built libraries (found through LD_LIBRARY_PATH, as
the guide's Linux steps say): COUNT records go through field for field.
    guide_clients_test.py csharp|pascal GUIDE LIBRARY_DIR...
Exits 77 (skipped) when the compiler is missing outside CI."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

COUNT = 1000
here = os.path.dirname(os.path.abspath(__file__))
language, guide = sys.argv[1], sys.argv[2]
library_dirs = [os.path.abspath(directory) for directory in sys.argv[3:]]
tools, packages = {"csharp": (["mcs", "mono"], "mono-mcs mono-runtime"), "pascal": (["fpc"], "fp-compiler")}[language]
missing = [tool for tool in tools if not shutil.which(tool)]
if missing:
    print("skipped: %s not found (Debian: apt-get install %s)" % (missing[0], packages))
    sys.exit(1 if os.environ.get("CI") else 77)

work = tempfile.mkdtemp()
root = os.path.join(work, "root")
name = "%s%d" % (language, os.getpid())
environment = dict(os.environ, LD_LIBRARY_PATH=os.pathsep.join(library_dirs))


def run(command):
    subprocess.run(command, cwd=work, check=True, timeout=120)


try:
    # Each declaration unit goes into the file its language wants for it.
    blocks = re.findall(r"^```%s\n(.*?)^```" % language, open(guide).read(), re.S | re.M)
    for block in blocks:
        if language == "csharp":
            file_name = re.search(r"^static class (\w+)", block, re.M).group(1) + ".cs"
        else:
            file_name = re.search(r"^unit (\w+);", block, re.M).group(1).lower() + ".pas"
        open(os.path.join(work, file_name), "w").write(block)
    units = sorted(os.listdir(work))
    assert len(units) == 2, "the guide's %s units: %s" % (language, units)

    if language == "csharp":
        shutil.copy(os.path.join(here, "round_trip.cs"), work)
        run(["mcs", "-warnaserror+", "-out:round_trip.exe", "round_trip.cs"] + units)
        master = ["mono", "round_trip.exe", "master"]
        follower = ["mono", "round_trip.exe", "follower"]
    else:
        for source in ("tradefields.pas", "master.pas", "follower.pas"):
            shutil.copy(os.path.join(here, source), work)
        options = ["-Sew", "-vew"] + ["-Fl" + directory for directory in library_dirs]
        # One program per unit: a program with both would bind Init once.
        run(["fpc"] + options + ["master.pas"])
        run(["fpc"] + options + ["follower.pas"])
        master, follower = ["./master"], ["./follower"]

    os.mkdir(root)
    writer = subprocess.Popen(master + [root, name, str(COUNT)], cwd=work, env=environment)
    reader = subprocess.run(follower + [root, "copier", name, str(COUNT)], cwd=work, env=environment,
                            stdout=subprocess.PIPE, text=True, timeout=120)
    assert writer.wait(timeout=120) == 0, "the master failed"
    assert reader.returncode == 0, "the follower failed"
    print(reader.stdout, end="")
finally:
    shutil.rmtree(work)
    if os.path.exists("/dev/shm/zeb_" + name):
        os.remove("/dev/shm/zeb_" + name)
