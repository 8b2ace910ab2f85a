# Writes every picture of the game into the folder given on the command line
# (normally assets/GFX). Each picture comes from one function in sprites.py,
# backdrops.py or lettering.py; the output depends on nothing but the code.
import os
import sys

import backdrops
import lettering
import sprites
from neon import save_png


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join("..", "GFX")
    os.makedirs(out, exist_ok=True)
    for table in (sprites.ALL, backdrops.ALL, lettering.ALL):
        for name in sorted(table):
            save_png(table[name](), os.path.join(out, name))
            print("  picture", name)


if __name__ == "__main__":
    main()
