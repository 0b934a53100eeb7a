#!/usr/bin/python3
"""Regenerate Morrowlen's artwork.

    scripts/make-artwork.py [--background-only | --icons-only]

Writes
  shell/resources/background.jpg                  main window picture (617x480, baseline JPEG)
  data/icons/hicolor/<N>x<N>/apps/morrowlen.png   PNG renderings of data/icons/morrowlen.svg

The background is drawn with PIL (Debian: python3-pil): a dark teal glow with a
faint radial tree of nodes, fading to pure black at the borders so it sits on
the black window without a visible edge. The random tree uses a fixed seed, so
every run gives the same picture.
The icons are rendered from the hand-written SVG with rsvg-convert (Debian:
librsvg2-bin).
"""

import argparse
import math
import os
import random
import shutil
import subprocess
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BACKGROUND = os.path.join(REPO, "shell", "resources", "background.jpg")
ICON_SVG = os.path.join(REPO, "data", "icons", "morrowlen.svg")
ICON_DIR = os.path.join(REPO, "data", "icons", "hicolor")
ICON_SIZES = (16, 32, 48, 64, 128, 256)

WIDTH, HEIGHT = 617, 480
SS = 3                      # supersampling factor for the line work
SEED = 20080415
JPEG_QUALITY = 88


# ---------------------------------------------------------------- helpers

def radial_mask(size, center, radii, falloff):
    """L image: 255 * falloff(d), d = elliptical distance from center (1.0 on the ellipse).

    Computed at half resolution and scaled up: every falloff used here is smooth.
    """
    w, h = (size[0] + 1) // 2, (size[1] + 1) // 2
    cx, cy = center[0] / 2, center[1] / 2
    rx, ry = radii[0] / 2, radii[1] / 2
    data = []
    for y in range(h):
        dy2 = ((y + 0.5 - cy) / ry) ** 2
        for x in range(w):
            d = math.sqrt(((x + 0.5 - cx) / rx) ** 2 + dy2)
            data.append(max(0, min(255, round(255 * falloff(d)))))
    small = Image.new("L", (w, h))
    small.putdata(data)
    return small.resize(size, Image.BILINEAR)


def border_fade(size, margin):
    """L image: 255 inside, smoothly 0 at every border within `margin` px."""
    w, h = size

    def ramp(n):
        vals = []
        for i in range(n):
            d = min(i + 0.5, n - i - 0.5) / margin
            d = max(0.0, min(1.0, d))
            vals.append(round(255 * d * d * (3 - 2 * d)))
        return vals

    col = Image.new("L", (1, h))
    col.putdata(ramp(h))
    row = Image.new("L", (w, 1))
    row.putdata(ramp(w))
    return ImageChops.multiply(col.resize(size), row.resize(size))


def tint(mask, rgb):
    """RGB image of colour `rgb` scaled by `mask`."""
    layer = Image.new("RGB", mask.size, rgb)
    return ImageChops.multiply(layer, Image.merge("RGB", (mask, mask, mask)))


# ---------------------------------------------------------------- the tree

class Node:
    def __init__(self, depth):
        self.depth = depth
        self.children = []
        self.angle = 0.0
        self.pos = (0.0, 0.0)

    def leaves(self):
        return 1 if not self.children else sum(c.leaves() for c in self.children)


def grow(rng, depth, max_depth):
    node = Node(depth)
    if depth < max_depth:
        if depth == 0:
            count = 5
        elif depth == 1:
            count = rng.choice((2, 3, 3, 4))
        else:
            count = rng.choice((0, 1, 2, 2, 3))
        node.children = [grow(rng, depth + 1, max_depth) for _ in range(count)]
    return node


def layout(node, start, span, center, radii, rng):
    """Classic radial layout: every subtree gets a wedge in proportion to its leaves."""
    node.angle = start + span / 2
    r = radii[node.depth]
    if node.depth:
        r += rng.uniform(-6, 6)
    node.pos = (center[0] + 1.22 * r * math.cos(node.angle),
                center[1] + r * math.sin(node.angle))
    total = node.leaves()
    a = start
    for child in node.children:
        share = span * child.leaves() / total
        layout(child, a, share, center, radii, rng)
        a += share


def walk(node):
    yield node
    for c in node.children:
        yield from walk(c)


def curve(p0, p1, p2, steps=24):
    """Quadratic Bezier as a polyline."""
    pts = []
    for i in range(steps + 1):
        t = i / steps
        u = 1 - t
        pts.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                    u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
    return pts


# ---------------------------------------------------------------- background

def make_background(path):
    rng = random.Random(SEED)
    size = (WIDTH, HEIGHT)
    center = (WIDTH * 0.5, HEIGHT * 0.47)

    # 1. Glow: a wide deep-blue haze, a teal core, a little cyan in the middle.
    img = tint(radial_mask(size, center, (300, 235), lambda d: math.exp(-2.2 * d * d)), (4, 18, 40))
    img = ImageChops.add(img, tint(radial_mask(size, center, (170, 135),
                                               lambda d: math.exp(-2.0 * d * d)), (0, 48, 62)))
    img = ImageChops.add(img, tint(radial_mask(size, (center[0] + 30, center[1] - 20), (70, 58),
                                               lambda d: math.exp(-2.0 * d * d)), (6, 48, 60)))

    # 2. Faint orbit rings at the tree's levels.
    radii = (0, 58, 118, 176, 228)
    big = (WIDTH * SS, HEIGHT * SS)
    bc = (center[0] * SS, center[1] * SS)
    rings = Image.new("L", big, 0)
    d = ImageDraw.Draw(rings)
    for r in radii[1:]:
        rx, ry = 1.22 * r * SS, r * SS
        d.ellipse((bc[0] - rx, bc[1] - ry, bc[0] + rx, bc[1] + ry), outline=18, width=SS)
    rings = rings.resize(size, Image.LANCZOS)
    img = ImageChops.add(img, tint(rings, (90, 170, 200)))

    # 3. The tree: curved links and nodes, drawn large and scaled down.
    root = grow(rng, 0, 4)
    layout(root, -math.pi / 2 + 0.3, 2 * math.pi, center, radii, rng)
    links = Image.new("L", big, 0)
    nodes = Image.new("L", big, 0)
    dl = ImageDraw.Draw(links)
    dn = ImageDraw.Draw(nodes)
    for n in walk(root):
        for c in n.children:
            # Control point: just outside the parent's ring, on the child's angle,
            # so the links sweep outwards like a radial tree view.
            r = radii[n.depth] + 0.3 * (radii[c.depth] - radii[n.depth])
            ctrl = (center[0] + 1.22 * r * math.cos(c.angle), center[1] + r * math.sin(c.angle))
            pts = curve(n.pos, ctrl, c.pos)
            pts = [(x * SS, y * SS) for x, y in pts]
            level = (140, 95, 62, 42)[n.depth]
            dl.line(pts, fill=level, width=max(1, round(SS * (1.6 - 0.3 * n.depth))), joint="curve")
    for n in walk(root):
        rad = (5.0, 3.4, 2.5, 1.9, 1.5)[n.depth] * SS
        x, y = n.pos[0] * SS, n.pos[1] * SS
        dn.ellipse((x - rad, y - rad, x + rad, y + rad), fill=(255, 220, 180, 140, 105)[n.depth])
    links = links.resize(size, Image.LANCZOS)
    nodes = nodes.resize(size, Image.LANCZOS)
    halo = nodes.filter(ImageFilter.GaussianBlur(5)).point(lambda v: min(255, v * 3))

    img = ImageChops.add(img, tint(links, (70, 190, 215)))
    img = ImageChops.add(img, tint(halo, (40, 150, 190)))
    img = ImageChops.screen(img, tint(nodes, (200, 245, 255)))

    # 4. A sprinkle of dim dust so the dark areas are not flat.
    dust = Image.new("L", big, 0)
    dd = ImageDraw.Draw(dust)
    for _ in range(220):
        x, y = rng.uniform(0, big[0]), rng.uniform(0, big[1])
        rad = rng.uniform(0.6, 1.6) * SS
        dd.ellipse((x - rad, y - rad, x + rad, y + rad), fill=rng.randint(30, 110))
    dust = dust.resize(size, Image.LANCZOS)
    img = ImageChops.add(img, tint(dust, (120, 190, 220)))

    # 5. Fade to black: a soft ellipse and a border ramp, so every edge pixel is 0.
    fade = radial_mask(size, center, (300, 240),
                       lambda d: 1.0 if d < 0.45 else math.exp(-4.0 * (d - 0.45) ** 2))
    fade = ImageChops.multiply(fade, border_fade(size, 40))
    img = ImageChops.multiply(img, Image.merge("RGB", (fade, fade, fade)))

    # 6. A touch of noise against banding in the gradients (kept above black).
    noise = Image.effect_noise(size, 6).point(lambda v: max(0, v - 128) // 3)
    noise = ImageChops.multiply(noise, fade)
    img = ImageChops.add(img, Image.merge("RGB", (noise, noise, noise)))

    os.makedirs(os.path.dirname(path), exist_ok=True)
    img.convert("RGB").save(path, "JPEG", quality=JPEG_QUALITY, optimize=True,
                            progressive=False, subsampling="4:2:0")
    print(f"wrote {os.path.relpath(path, REPO)} ({os.path.getsize(path)} bytes)")


# ---------------------------------------------------------------- icons

def make_icons():
    tool = shutil.which("rsvg-convert")
    if not tool:
        sys.exit("make-artwork: rsvg-convert not found (apt-get install librsvg2-bin)")
    for n in ICON_SIZES:
        out = os.path.join(ICON_DIR, f"{n}x{n}", "apps", "morrowlen.png")
        os.makedirs(os.path.dirname(out), exist_ok=True)
        subprocess.run([tool, "--width", str(n), "--height", str(n), "--format", "png",
                        "--output", out, ICON_SVG], check=True)
        print(f"wrote {os.path.relpath(out, REPO)}")


def main():
    parser = argparse.ArgumentParser(description="Regenerate Morrowlen's artwork.")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--background-only", action="store_true")
    group.add_argument("--icons-only", action="store_true")
    args = parser.parse_args()
    if not args.icons_only:
        make_background(BACKGROUND)
    if not args.background_only:
        make_icons()


if __name__ == "__main__":
    main()
