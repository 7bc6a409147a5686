"""The Python declarations against the built libraries: a record written
through them arrives field for field, and failures read back as text; the
integration guide quotes them as they are.
    zeb_py_test.py PACKAGE_DIR MASTER_LIBRARY FOLLOWER_LIBRARY GUIDE"""
import ctypes
import os
import shutil
import sys
import tempfile
import textwrap

sys.path.insert(0, sys.argv[1])
import zeb  # noqa: E402

declarations = open(zeb.__file__).read()
declarations = declarations[declarations.index("MASTER_EXPORTS = {"):declarations.index("\n\n\ndef _load")]
assert declarations in open(sys.argv[4]).read(), "the guide quotes other declarations than zeb.py"

master = zeb.load_master(sys.argv[2])
follower = zeb.load_follower(sys.argv[3])
root = tempfile.mkdtemp(dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
name = "python%d" % os.getpid()
try:
    assert master.Init(root.encode(), name.encode()) == 1, master.ErrorMsg()
    master.SetCmd(3)
    master.SetTicket(-7)
    master.SetType(1)
    master.SetSymbol(b"XAUUSD")
    master.SetLot(0.25)
    master.SetOpenPrice(2031.45)
    master.SetSL(1e-300)
    master.SetTP(-2.5)
    master.SetClosePrice(1.08734)
    master.SetTimeLocal(1718000060)
    master.SetTimeServer(-2147483648)
    assert master.Write() == 1, master.ErrorMsg()

    assert follower.Init(root.encode(), b"copier", name.encode()) == 1, follower.ErrorMsg()
    assert follower.Read() == 1, follower.ErrorMsg()
    got = (follower.GetCmd(), follower.GetTicket(), follower.GetType(), follower.GetSymbol(),
           follower.GetLot(), follower.GetOpenPrice(), follower.GetSL(), follower.GetTP(),
           follower.GetClosePrice(), follower.GetTimeLocal(), follower.GetTimeServer())
    expected = (3, -7, 1, b"XAUUSD", 0.25, 2031.45, 1e-300, -2.5, 1.08734, 1718000060, -2147483648)
    assert got == expected, got
    assert follower.Commit() == 1, follower.ErrorMsg()
    assert follower.Read() == 0 and follower.ErrorCode() == 0, follower.ErrorMsg()

    # A refused call reads back as -1 and the library's own text; a str where
    # bytes are declared is refused by ctypes before reaching the library.
    assert master.Init(root.encode(), b"..") == 0 and master.ErrorCode() == -1
    assert master.ErrorMsg().startswith(b"Init: master name"), master.ErrorMsg()
    try:
        master.SetSymbol("EURUSD")
        raise AssertionError("SetSymbol took a str")
    except ctypes.ArgumentError:
        pass

    # The module's own example as a Linux host runs it: the library found by
    # its name through LD_LIBRARY_PATH, the refusal decoded with zeb.ENCODING.
    example = textwrap.dedent(zeb.__doc__.split("\n\n")[1])
    exec(example, {"root": root.encode(), "master_name": name.encode()})
    try:
        exec(example, {"root": root.encode(), "master_name": b".."})
        raise AssertionError("the example's Init took the name ..")
    except RuntimeError as refusal:
        assert str(refusal).startswith("Init: master name"), refusal
finally:
    shutil.rmtree(root)
    if os.path.exists("/dev/shm/zeb_" + name):
        os.remove("/dev/shm/zeb_" + name)
print("python declarations: one record written and read back field for field; the module's example runs")
