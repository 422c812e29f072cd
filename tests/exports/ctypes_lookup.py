"""Looks up a module's exports the way a host does, by exact name through
dlsym, calls some of them, and checks that dlclose really unloads it.

usage: ctypes_lookup.py LIBRARY [--exported NAME...] [--absent NAME...] [--calls]
"""
import argparse
import ctypes
import os
import sys

import _ctypes


def found(library, name):
    try:
        library[name]
        return True
    except AttributeError:
        return False


def check_calls(library, failures):
    """Runs two_functions.c's functions; their answers depend on every argument."""
    create = library["_createGame@0"]
    create.restype, create.argtypes = ctypes.c_int32, []
    abort = library["_abortGame@4"]
    abort.restype, abort.argtypes = None, [ctypes.c_int32]
    counts = library["_setCustomPieceCount@48"]
    counts.restype, counts.argtypes = ctypes.c_int32, [ctypes.c_int32] * 12
    if create() != 1:
        failures.append("_createGame@0 did not answer 1")
    abort(7)
    # Any loss or reordering of the arguments 1..12 lowers the weighted sum.
    got = counts(*range(1, 13))
    want = sum(i * i for i in range(1, 13)) + 1000 * 7
    if got != want:
        failures.append(f"_setCustomPieceCount@48(1..12) after _abortGame@4(7) gave {got}, expected {want}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("library")
    parser.add_argument("--exported", nargs="*", default=[])
    parser.add_argument("--absent", nargs="*", default=[])
    parser.add_argument("--calls", action="store_true")
    args = parser.parse_args()
    path = os.path.realpath(args.library)

    library = ctypes.CDLL(path)
    failures = []
    for name in args.exported:
        if not found(library, name):
            failures.append(f"{name} not found")
        placeholder = name.replace("@", "$")
        if found(library, placeholder):
            failures.append(f"placeholder {placeholder} is still found")
    for name in args.absent:
        if found(library, name):
            failures.append(f"{name} is found, but the module does not define it")
    if args.calls:
        check_calls(library, failures)

    _ctypes.dlclose(library._handle)
    with open("/proc/self/maps") as maps:
        if any(line.rstrip("\n").endswith(path) for line in maps):
            failures.append("still mapped after dlclose")

    for failure in failures:
        print(f"{args.library}: {failure}", file=sys.stderr)
    print(f"{len(args.exported) + len(args.absent)} names checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
