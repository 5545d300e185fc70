#!/usr/bin/env python3
"""Writes a comment thread (comment.xml, as the video service sends it) for timing whole renders.

The comments look like a busy thread, with the texts and start times of make_comment_files.py
(lengths from a few characters to long sentences, a few of several lines, bursts): 70% scroll,
the rest stand at the top or the bottom, 15% big and 15% small, a quarter in a command colour.
Posting dates lie in the week before --date (default: now), so the default period holds them.

Usage: make_comment_xml.py --seconds 120 --count 1000 [--seed 1] [--date UNIX] > comment.xml
"""

import argparse
import os
import random
import sys
import time
from xml.sax.saxutils import escape, quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_comment_files import random_text, start_seconds  # noqa: E402

COLOUR_NAMES = ["red", "pink", "orange", "yellow", "green", "cyan", "blue", "purple",
                "niconicowhite", "truered", "passionorange", "madyellow", "elementalgreen",
                "marineblue", "nobleviolet", "black"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=120.0)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--date", type=int, default=int(time.time()))
    args = parser.parse_args()

    rng = random.Random(args.seed)
    bursts = [rng.uniform(5, args.seconds - 5) for _ in range(5)]
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<packet>",
           '<thread resultcode="0" thread="1000000001" last_res="%d" ticket="0x1"/>' % args.count]
    for no in range(1, args.count + 1):
        vpos = int(start_seconds(rng, args.seconds, bursts) * 100)
        text = random_text(rng)
        words = []
        kind = rng.random()
        if kind >= 0.7:
            words.append("ue" if kind < 0.85 else "shita")
        size = rng.random()
        if size < 0.15:
            words.append("big")
        elif size < 0.3:
            words.append("small")
        if rng.random() >= 0.75:
            words.append(rng.choice(COLOUR_NAMES))
        date = args.date - rng.randrange(7 * 86400)
        attributes = 'thread="1000000001" no="%d" vpos="%d" date="%d" user_id="user%03d"' % (
            no, vpos, date, rng.randrange(300))
        if words:
            attributes += " mail=%s" % quoteattr(" ".join(words))
        if rng.random() < 0.1:
            attributes += ' premium="1"'
        out.append("<chat %s>%s</chat>" % (attributes, escape(text)))
    out.append("</packet>")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
