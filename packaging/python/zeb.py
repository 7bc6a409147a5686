"""ctypes declarations of the zeb libraries, for hosts written in Python.

    import zeb
    master = zeb.load_master(zeb.MASTER_LIBRARY)
    if master.Init(root, master_name) != 1:    # bytes: b"C:\\trades", b"Alpha"
        raise RuntimeError(master.ErrorMsg().decode(zeb.ENCODING))

MASTER_LIBRARY and FOLLOWER_LIBRARY are the file names the system's loader
searches for: zebmaster.dll on Windows (in a folder os.add_dll_directory
names), libzebmaster.so.1 on Linux (in a folder of LD_LIBRARY_PATH or of the
ldconfig cache); a full path works as well.
Strings are bytes in ENCODING: the ANSI code page on Windows, the file
system's encoding elsewhere. ErrorMsg and GetSymbol return copies of text
the library owns: nothing to free. Each load of the same file shares one
state per process.

MIT License, copyright (c) The zeb authors.
"""
import ctypes
import sys

# The exports are stdcall on 32-bit Windows (WinDLL), plain C elsewhere
# (WinDLL and CDLL are the same on 64-bit Windows).
Library = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL

if sys.platform == "win32":
    MASTER_LIBRARY, FOLLOWER_LIBRARY, ENCODING = "zebmaster.dll", "zebfollower.dll", "mbcs"
else:
    MASTER_LIBRARY, FOLLOWER_LIBRARY = "libzebmaster.so.1", "libzebfollower.so.1"
    ENCODING = sys.getfilesystemencoding()

_int, _double, _text = ctypes.c_int, ctypes.c_double, ctypes.c_char_p

# name: (restype, argtypes)
MASTER_EXPORTS = {
    "Init": (_int, [_text, _text]),
    "Write": (_int, []),
    "SetCmd": (None, [_int]),
    "SetTicket": (None, [_int]),
    "SetType": (None, [_int]),
    "SetSymbol": (None, [_text]),
    "SetLot": (None, [_double]),
    "SetOpenPrice": (None, [_double]),
    "SetSL": (None, [_double]),
    "SetTP": (None, [_double]),
    "SetClosePrice": (None, [_double]),
    "SetTimeLocal": (None, [_int]),
    "SetTimeServer": (None, [_int]),
    "ErrorCode": (_int, []),
    "ErrorMsg": (_text, []),
}

FOLLOWER_EXPORTS = {
    "Init": (_int, [_text, _text, _text]),
    "Read": (_int, []),
    "Commit": (_int, []),
    "GetCmd": (_int, []),
    "GetTicket": (_int, []),
    "GetType": (_int, []),
    "GetSymbol": (_text, []),
    "GetLot": (_double, []),
    "GetOpenPrice": (_double, []),
    "GetSL": (_double, []),
    "GetTP": (_double, []),
    "GetClosePrice": (_double, []),
    "GetTimeLocal": (_int, []),
    "GetTimeServer": (_int, []),
    "ErrorCode": (_int, []),
    "ErrorMsg": (_text, []),
}


def _load(path, exports):
    library = Library(path)
    for name, (restype, argtypes) in exports.items():
        function = getattr(library, name)
        function.restype = restype
        function.argtypes = argtypes
    return library


def load_master(path):
    """zebmaster at PATH with every export declared."""
    return _load(path, MASTER_EXPORTS)


def load_follower(path):
    """zebfollower at PATH with every export declared."""
    return _load(path, FOLLOWER_EXPORTS)
