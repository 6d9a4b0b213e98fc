#!/usr/bin/env python3
"""Makes the payload archive: a 7z archive holding the folder NET4.5 with the two installers.

make_payload.py --enu FILE --chs FILE --out ARCHIVE --method BCJ2|LZMA2|COPY [--pad-to ENU_SIZE CHS_SIZE]

With --pad-to, each file is padded with incompressible bytes (a fixed seed, so the result is
the same each time) to the given size: stand-ins as large as the real installers, for
benchmarks.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

ENU = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe"
CHS = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe"

METHODS = {
    # LZMA with a 64 MiB dictionary behind the BCJ2 branch filter; side streams LZMA 1 MiB.
    "BCJ2": ["-m0=BCJ2", "-m1=LZMA:d=26", "-m2=LZMA:d=20:lc0:lp2", "-m3=LZMA:d=20:lc0:lp2",
             "-mb0:1", "-mb0s1:2", "-mb0s2:3"],
    "LZMA2": ["-m0=LZMA2:d=26"],
    "COPY": ["-m0=Copy"],
    # For tests only: plain LZMA packs quickly with a small match finder, and unpacking
    # incompressible data this way takes seconds, long enough to close the window meanwhile.
    "SLOWTEST": ["-m0=LZMA:d=20:mf=hc4:fb=5"],
}


def pad(path, size, seed):
    have = os.path.getsize(path)
    if have > size:
        sys.exit(f"make_payload: {path} is {have} bytes, larger than the {size} to pad to")
    rng = random.Random(seed)
    with open(path, "ab") as f:
        left = size - have
        while left:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--enu", required=True)
    ap.add_argument("--chs", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--method", default="COPY", choices=sorted(METHODS))
    ap.add_argument("--pad-to", nargs=2, type=int, metavar=("ENU_SIZE", "CHS_SIZE"))
    ap.add_argument("--sevenzip", default="7zz")
    args = ap.parse_args()

    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(args.out))) as stage:
        folder = os.path.join(stage, "NET4.5")
        os.mkdir(folder)
        for src, name, seed in ((args.enu, ENU, 1), (args.chs, CHS, 2)):
            dst = os.path.join(folder, name)
            shutil.copyfile(src, dst)
            if args.pad_to:
                pad(dst, args.pad_to[0] if name == ENU else args.pad_to[1], seed)
        out = os.path.abspath(args.out)
        tmp = out + ".part"
        if os.path.exists(tmp):
            os.remove(tmp)
        cmd = [args.sevenzip, "a", "-t7z", "-bd", "-bso0", "-bsp0", "-mmt=off", *METHODS[args.method], tmp, "NET4.5"]
        subprocess.run(cmd, cwd=stage, check=True)
        os.replace(tmp, out)


if __name__ == "__main__":
    main()
