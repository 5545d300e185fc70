#!/usr/bin/env python3
"""Writes a realistic comment.ini / data.ini pair for timing the frame filter.

The comments look like a busy thread: lengths from a few characters to long sentences, a few
multi-line ones, 70% scrolling and the rest fixed at the top or bottom, sizes medium / big /
small, mostly white with the command colours mixed in, start times spread over the video with
bursts, and places that stack downwards the way the layout stacks them (a rough copy of its
rules: boxes of the same kind that are still in the way push a comment down; when none is free
it gets a random place). Widths are estimated from the characters (full-width glyphs one em,
others about half), which is close enough for timing.

Every third comment may end in one more character (--every-third): an emoji, or for the same
comments without emoji a kana of about the same width.

Usage: make_comment_files.py --width 512 --height 384 --fps 25 --seconds 120 --count 1000 OUTDIR
"""

import argparse
import math
import os
import random

COLOURS = ["FF 00 00", "FF 80 80", "FF CC 00", "FF FF 00", "00 FF 00", "00 FF FF", "00 00 FF",
           "C0 00 FF", "CC CC 99", "CC 00 33", "FF 66 00", "99 99 00", "00 CC 66", "33 FF FC",
           "66 33 CC", "00 00 00"]
WORDS = ["こんにちは", "きたー", "うぽつ", "かわいい", "すごい", "なにこれ", "草", "ｗｗｗ", "wwww",
         "神回", "ここすき", "88888888", "おつ", "！？", "最高", "音ズレ", "弾幕", "職人", "乙",
         "これは良い", "いいぞもっとやれ", "初見です", "感動した", "伝説の始まり", "GJ", "lol",
         "ニコニコ", "コメント", "テスト", "ちょっと待って", "（　ﾟдﾟ）", "■■■", "→", "☆"]
EMOJI = ["\U0001F600", "\U0001F602", "\U0001F44D", "\U0001F389", "\u2764\uFE0F", "\u2728",
         "\U0001F64F", "\U0001F62D", "\U0001F525", "\U0001F4AF"]
DISPLAY_SECONDS = 2.8


def is_wide(ch):
    return ord(ch) >= 0x2E80 and not 0xFF61 <= ord(ch) <= 0xFF9F


def text_width(text, em):
    return max(int(sum(em if is_wide(c) else em * 0.55 for c in line) - 2)
               for line in text.split("\n"))


def random_text(rng):
    roll = rng.random()
    if roll < 0.35:
        words = 1
    elif roll < 0.75:
        words = rng.randint(2, 4)
    elif roll < 0.95:
        words = rng.randint(5, 9)
    else:
        words = rng.randint(10, 16)
    text = "".join(rng.choice(WORDS) for _ in range(words))
    if rng.random() < 0.05:  # a few comments of several lines
        lines = rng.randint(2, 4)
        text = "\n".join(text[i::lines] or "あ" for i in range(lines))
    return text


def start_seconds(rng, seconds, bursts):
    if rng.random() < 0.3:
        centre = rng.choice(bursts)
        return min(max(0.0, rng.gauss(centre, 1.5)), seconds - DISPLAY_SECONDS)
    return rng.uniform(0.0, seconds - DISPLAY_SECONDS)


def overlaps(a_top, a_bottom, b_top, b_bottom):
    return max(a_top, b_top) < min(a_bottom, b_bottom)


def place(boxes, kind, height, box_h, start, frames, rng):
    """The first y from the top (bottom comments: from the bottom) that no live box of the same
    kind covers; a random y when the column is full."""
    live = sorted((b for b in boxes if b["kind"] == kind and b["free_at"] > start),
                  key=lambda b: b["top"])
    if kind == 2:
        y = height - box_h
        for b in reversed(live):
            if overlaps(y, y + box_h, b["top"], b["bottom"]):
                y = b["top"] - box_h
        fits = y >= -1
    else:
        y = 0
        moved = True
        while moved:
            moved = False
            for b in live:
                if overlaps(y, y + box_h, b["top"], b["bottom"]):
                    y = b["bottom"]
                    moved = True
        fits = y + box_h <= height + 1
    if not fits:
        return rng.randrange(max(1, height - box_h)), False
    return y, True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--width", type=int, default=512)
    parser.add_argument("--height", type=int, default=384)
    parser.add_argument("--fps", type=float, default=25.0)
    parser.add_argument("--seconds", type=float, default=120.0)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--fonts-folder", default="/usr/share/fonts/opentype/ipafont-gothic/")
    parser.add_argument("--font-file", default="ipagp.ttf")
    parser.add_argument("--every-third", choices=["none", "emoji", "kana"], default="none")
    parser.add_argument("outdir")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    d = args.fps * 2.799999952316284
    n = math.ceil(d)
    base = max(1, int(round(24 * args.height / 384.0)) * 72 // 96)  # 18 at 384, 33 at 720
    bursts = [rng.uniform(5, args.seconds - 5) for _ in range(5)]

    comments = []
    for _ in range(args.count):
        comments.append((start_seconds(rng, args.seconds, bursts), random_text(rng), rng.random(),
                         rng.random(), rng.random()))
    comments.sort(key=lambda c: c[0])
    if args.every_third != "none":
        tails = random.Random(args.seed + 1)
        for i in range(0, len(comments), 3):
            tail = tails.choice(EMOJI) if args.every_third == "emoji" else "あ"
            seconds, text, *rolls = comments[i]
            comments[i] = (seconds, text + tail, *rolls)

    boxes = []
    lines_out = [args.fonts_folder, args.font_file, str(base), "0", str(args.width)]
    data = bytearray()
    for seconds, text, kind_roll, size_roll, colour_roll in comments:
        kind = 0 if kind_roll < 0.7 else (1 if kind_roll < 0.85 else 2)
        mail = ["", "ue", "shita"][kind]
        size = base
        if size_roll < 0.15:
            size = base + math.ceil(base * 0.5)
            mail += " big"
        elif size_roll < 0.3:
            size = max(1, base - math.ceil(base * 0.3))
            mail += " small"
        colour = "FF FF FF" if colour_roll < 0.75 else rng.choice(COLOURS)
        em = round(size * 96 / 72)
        line_h = round(em * 1.0)
        box_w = max(0, text_width(text, em))
        box_h = line_h * (text.count("\n") + 1)
        vpos = int(seconds * 100)
        start = int(math.floor(vpos * args.fps + 0.5) / 100)
        end = start + n
        if kind == 0:
            speed = int(math.floor((box_w + args.width) / d * 100 + 0.5) / 100)
            x = -95
            # In the way until its tail has entered, and a little longer so faster ones do not
            # catch up.
            free_at = start + (box_w / max(speed, 1)) + n // 3
        else:
            speed = 0
            x = args.width // 2 - box_w // 2
            free_at = end
        y, placed = place(boxes, kind, args.height, box_h, start, n, rng)
        if placed:
            boxes.append({"kind": kind, "top": y, "bottom": y + box_h, "free_at": free_at})
        boxes = [b for b in boxes if b["free_at"] > start - 3 * n]
        y %= args.height
        lines_out += [mail.strip(), str(kind), str(y), str(start), str(speed), colour, str(size),
                      str(vpos), str(end), str(x)]
        data += text.encode("utf-8") + b"\0"

    os.makedirs(args.outdir, exist_ok=True)
    with open(os.path.join(args.outdir, "comment.ini"), "wb") as f:
        f.write(("\r\n".join(lines_out) + "\r\n").encode("utf-8"))
    with open(os.path.join(args.outdir, "data.ini"), "wb") as f:
        f.write(bytes(data))


if __name__ == "__main__":
    main()
