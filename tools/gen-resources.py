#!/usr/bin/env python3
"""Draws the hub's pictures: the application icon, the fourteen product icons of
the products page, the connections page's open button icon and the 16-pixel
product strip of the recent projects page.

Plain Python 3 standard library, so that anyone can regenerate the committed
files without an imaging package. Shapes are signed distance functions in a
32-unit design square (negative inside); a canvas fills them with 4 x 4
supersampling near edges. The output is deterministic: the same bytes on every
run.

Usage: tools/gen-resources.py [--out DIR] [--preview PNG]
  --out      repository root to write resources/ below (default: this script's repository)
  --preview  also write an enlarged contact sheet, with greyed and disabled-button
             renderings, for looking at the pictures (not committed)
"""

import argparse
import math
import os
import struct
import zlib

DESIGN = 32.0

# ---------------------------------------------------------------- shapes


class Shape:
    """A signed distance function with a bounding box (x0, y0, x1, y1)."""

    def __init__(self, sd, bbox):
        self.sd = sd
        self.bbox = bbox

    def __or__(self, other):
        a, b = self.sd, other.sd
        return Shape(lambda x, y: min(a(x, y), b(x, y)), _bbox_union(self.bbox, other.bbox))

    def __and__(self, other):
        a, b = self.sd, other.sd
        return Shape(lambda x, y: max(a(x, y), b(x, y)), _bbox_meet(self.bbox, other.bbox))

    def __sub__(self, other):
        a, b = self.sd, other.sd
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.bbox)

    def grow(self, d):
        """Outset by d (inset when d is negative)."""
        a = self.sd
        x0, y0, x1, y1 = self.bbox
        return Shape(lambda x, y: a(x, y) - d, (x0 - d, y0 - d, x1 + d, y1 + d))

    def ring(self, w):
        """The band of width w inside the outline."""
        return self - self.grow(-w)


def _bbox_union(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def _bbox_meet(a, b):
    return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


def union(*shapes):
    s = shapes[0]
    for t in shapes[1:]:
        s = s | t
    return s


_snap = [1.0]  # design units per pixel of the canvas being drawn


def snap(v):
    g = _snap[0]
    return math.floor(v / g + 0.5) * g


def rect(x0, y0, x1, y1, r=0.0):
    """A rectangle, rounded by r, with its edges on the pixel grid so that it stays crisp."""
    x0, y0, x1, y1 = snap(x0), snap(y0), snap(x1), snap(y1)
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sd(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return Shape(sd, (x0, y0, x1, y1))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    m = min(rx, ry)

    def sd(x, y):
        # A lower bound of the true distance, exact enough for anti-aliasing.
        return (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * m

    return Shape(sd, (cx - rx, cy - ry, cx + rx, cy + ry))


def segment(x0, y0, x1, y1, w):
    """A stroke of width w with round caps."""
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy
    h = w / 2

    def sd(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / ll if ll else 0.0
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - h

    return Shape(sd, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h))


def polyline(pts, w):
    return union(*[segment(*pts[i], *pts[i + 1], w) for i in range(len(pts) - 1)])


def polygon(pts):
    n = len(pts)

    def sd(x, y):
        d = (x - pts[0][0]) ** 2 + (y - pts[0][1]) ** 2
        s = 1.0
        j = n - 1
        for i in range(n):
            vix, viy = pts[i]
            vjx, vjy = pts[j]
            ex, ey = vjx - vix, vjy - viy
            wx, wy = x - vix, y - viy
            ee = ex * ex + ey * ey
            t = min(max((wx * ex + wy * ey) / ee, 0.0), 1.0) if ee else 0.0
            bx, by = wx - ex * t, wy - ey * t
            d = min(d, bx * bx + by * by)
            c1 = y >= viy
            c2 = y < vjy
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                s = -s
            j = i
        return s * math.sqrt(d)

    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return Shape(sd, (min(xs), min(ys), max(xs), max(ys)))


def halfplane(nx, ny, c):
    """Points where nx*x + ny*y <= c (n of unit length)."""
    big = 1e3
    return Shape(lambda x, y: nx * x + ny * y - c, (-big, -big, big, big))


def below(y0):
    return halfplane(0.0, -1.0, -y0)


def rotated(points, cx, cy, deg):
    a = math.radians(deg)
    ca, sa = math.cos(a), math.sin(a)
    return [(cx + (x - cx) * ca - (y - cy) * sa, cy + (x - cx) * sa + (y - cy) * ca) for x, y in points]


def star(cx, cy, r_out, r_in, points=4, rot=-90.0):
    pts = []
    for i in range(points * 2):
        r = r_out if i % 2 == 0 else r_in
        a = math.radians(rot + i * 180.0 / points)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(pts)


# ---------------------------------------------------------------- colours


def hexc(s):
    return (int(s[0:2], 16), int(s[2:4], 16), int(s[4:6], 16))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def lighter(c, t):
    return mix(c, (255, 255, 255), t)


def darker(c, t):
    return mix(c, (0, 0, 0), t)


PAPER = (253, 253, 251)  # never pure white: white is the strip's transparent colour


def vgrad(y0, c0, y1, c1):
    def paint(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0) if y1 != y0 else 0.0
        return mix(c0, c1, t)

    return paint


def hgrad(x0, c0, x1, c1):
    def paint(x, y):
        t = min(max((x - x0) / (x1 - x0), 0.0), 1.0) if x1 != x0 else 0.0
        return mix(c0, c1, t)

    return paint


def cylinder_paint(x0, x1, c):
    """Light from the upper left: a bright stripe left of centre, darker edges."""
    hi = lighter(c, 0.45)
    lo = darker(c, 0.25)

    def paint(x, y):
        t = (x - x0) / (x1 - x0)
        if t < 0.3:
            return mix(c, hi, t / 0.3)
        return mix(hi, lo, (t - 0.3) / 0.7)

    return paint


# ---------------------------------------------------------------- canvas

SS = 4  # supersampling grid per pixel side
HALO = 1.7  # width in pixels of the transparent gap that parts overlapping shapes


class Canvas:
    def __init__(self, size):
        self.n = size
        self.k = size / DESIGN  # pixels per design unit
        self.px = 1.0 / self.k  # design units per pixel
        self.small = size <= 16
        self.buf = [0.0] * (size * size * 4)  # premultiplied RGBA, 0..1

    def _cover(self, shape):
        """Yields (index, coverage, design x, design y) for every touched pixel."""
        n, k = self.n, self.k
        x0, y0, x1, y1 = shape.bbox
        i0 = max(0, int(math.floor(x0 * k)) - 1)
        i1 = min(n, int(math.ceil(x1 * k)) + 1)
        j0 = max(0, int(math.floor(y0 * k)) - 1)
        j1 = min(n, int(math.ceil(y1 * k)) + 1)
        sd = shape.sd
        half = 0.7072 * self.px
        step = self.px / SS
        offs = [(s + 0.5) * step - self.px / 2 for s in range(SS)]
        for j in range(j0, j1):
            cy = (j + 0.5) * self.px
            for i in range(i0, i1):
                cx = (i + 0.5) * self.px
                d = sd(cx, cy)
                if d > half:
                    continue
                if d < -half:
                    cov = 1.0
                else:
                    hits = 0
                    for oy in offs:
                        for ox in offs:
                            if sd(cx + ox, cy + oy) <= 0.0:
                                hits += 1
                    if not hits:
                        continue
                    cov = hits / (SS * SS)
                yield (j * n + i) * 4, cov, cx, cy

    def fill(self, shape, paint, alpha=1.0):
        b = self.buf
        for idx, cov, x, y in self._cover(shape):
            c = paint(x, y) if callable(paint) else paint
            a = cov * alpha
            keep = 1.0 - a
            b[idx] = c[0] / 255.0 * a + b[idx] * keep
            b[idx + 1] = c[1] / 255.0 * a + b[idx + 1] * keep
            b[idx + 2] = c[2] / 255.0 * a + b[idx + 2] * keep
            b[idx + 3] = a + b[idx + 3] * keep

    def clear(self, shape):
        """Cuts the shape out: a transparent gap that keeps details legible in a silhouette."""
        b = self.buf
        for idx, cov, _, _ in self._cover(shape):
            keep = 1.0 - cov
            for q in range(4):
                b[idx + q] *= keep

    def body(self, shape, c, outline=None, grad=True):
        """A shape with a one-pixel darker outline and a soft top-to-bottom gradient. At 16 pixels
        an outline would swallow the thin parts, so there the shape is filled flat unless an
        outline colour is asked for."""
        y0, y1 = shape.bbox[1], shape.bbox[3]
        if self.small and outline is None:
            self.fill(shape, vgrad(y0, lighter(c, 0.15), y1, darker(c, 0.1)) if grad else c)
            return
        oc = outline if outline is not None else darker(c, 0.45)
        self.fill(shape, oc)
        inner = shape.grow(-self.px)
        self.fill(inner, vgrad(y0, lighter(c, 0.35), y1, c) if grad else c)

    def detail(self, shape, paint):
        """A detail inside a filled shape, parted from it by a one-pixel transparent gap where the
        icon is large enough: a disabled button draws only the silhouette, and the gaps keep the
        detail visible there."""
        if not self.small:
            self.clear(shape.grow(self.px))
        self.fill(shape, paint)

    def rgba(self):
        """8-bit straight RGBA rows, top to bottom. Near-transparent fringes become fully
        transparent so that a greyed silhouette keeps its gaps open."""
        out = bytearray()
        b = self.buf
        for p in range(self.n * self.n):
            a = b[p * 4 + 3]
            ai = int(a * 255.0 + 0.5)
            if ai < 10:
                out += b"\0\0\0\0"
                continue
            out += bytes(min(255, int(b[p * 4 + q] / a * 255.0 + 0.5)) for q in range(3))
            out.append(ai)
        return bytes(out)


# ---------------------------------------------------------------- common motifs


def arc_band(cx, yc, rx, ry, o0, o1):
    """The band between the lower half of an ellipse's outline moved down by o0 and by o1."""

    def sd(x, y):
        u = (x - cx) / rx
        if abs(u) >= 1.0:
            return abs(x - cx) - rx + 0.01
        root = math.sqrt(1.0 - u * u)
        f = yc + ry * root
        lo, hi = f + o0, f + o1
        dy = max(lo - y, y - hi)
        slope = ry * u / (rx * root) if root > 1e-6 else 1e6
        return max(dy / math.sqrt(1.0 + slope * slope), abs(x - cx) - rx)

    return Shape(sd, (cx - rx, yc + o0, cx + rx, yc + ry + o1))


def cylinder(c, x0, x1, top, bottom, col, bands=2, ry=None, gaps=False):
    """A database drum: elliptic lid, shaded body and bands; with gaps the bands are
    transparent, so that the stacked discs read even as a grey silhouette."""
    cx = (x0 + x1) / 2
    rx = (x1 - x0) / 2
    ry = ry if ry is not None else rx * 0.38
    whole = rect(x0, top, x1, bottom) | ellipse(cx, top, rx, ry) | ellipse(cx, bottom, rx, ry)
    edge = darker(col, 0.3 if c.small else 0.5)
    c.fill(whole, edge)
    w = c.px
    inner = rect(x0 + w, top, x1 - w, bottom) | ellipse(cx, bottom, rx - w, ry - w)
    c.fill(inner, cylinder_paint(x0, x1, col))
    g = 1.5 * w if c.small else 1.4 * w
    for b in range(1, bands + 1):
        yb = top + (bottom - top) * b / (bands + 1)
        if gaps:
            c.fill(arc_band(cx, yb, rx, ry, -g - w, -g), edge)
            c.clear(arc_band(cx, yb, rx + w, ry, -g, 0.0))
            c.fill(arc_band(cx, yb, rx, ry, 0.0, w), edge)
        else:
            c.fill(ellipse(cx, yb, rx, ry).ring(w) & below(yb), edge)
    c.fill(ellipse(cx, top, rx - w, ry - w), lighter(col, 0.55))
    return whole


def page(c, x0, y0, x1, y1, fold, fill_col, edge_col):
    """A sheet with a folded upper right corner."""
    outer = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    c.fill(outer, edge_col)
    w = c.px
    c.fill(outer.grow(-w), fill_col)
    flap = polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])
    c.fill(flap, edge_col)
    c.fill(flap.grow(-w * 0.9) & rect(x1 - fold + w, y0, x1, y0 + fold - w), lighter(fill_col, 0.0))
    return outer


def pencil(c, x0, y0, x1, y1, w, col, halo=True):
    """A pencil from its tip (x0, y0) to its end (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    ln = math.hypot(dx, dy)
    ux, uy = dx / ln, dy / ln
    vx, vy = -uy, ux
    h = w / 2
    tip_len = w * 1.25
    bx, by = x0 + ux * tip_len, y0 + uy * tip_len
    body_pts = [(bx + vx * h, by + vy * h), (x1 + vx * h, y1 + vy * h),
                (x1 - vx * h, y1 - vy * h), (bx - vx * h, by - vy * h)]
    tip_pts = [(x0, y0), (bx + vx * h, by + vy * h), (bx - vx * h, by - vy * h)]
    whole = polygon([(x0, y0)] + body_pts[:3] + [body_pts[3]])
    if halo:
        c.clear(whole.grow(HALO * c.px))
    edge = darker(col, 0.5)
    c.fill(whole, edge)
    inner = polygon(body_pts).grow(-c.px)
    c.fill(inner, hgrad(0, lighter(col, 0.3), 32, col))
    # a lighter stripe along the body
    c.fill(segment(bx + ux * 1 + vx * h * 0.3, by + uy * 1 + vy * h * 0.3,
                   x1 - ux * 1 + vx * h * 0.3, y1 - uy * 1 + vy * h * 0.3, max(c.px * 0.9, w * 0.18)),
           lighter(col, 0.45))
    wood = polygon(tip_pts).grow(-c.px * 0.8)
    c.fill(wood, (236, 204, 150))
    lead_len = tip_len * 0.4
    c.fill(polygon([(x0, y0), (x0 + ux * lead_len + vx * h * 0.4, y0 + uy * lead_len + vy * h * 0.4),
                    (x0 + ux * lead_len - vx * h * 0.4, y0 + uy * lead_len - vy * h * 0.4)]), (60, 60, 64))
    # end cap
    cap0x, cap0y = x1 - ux * w * 0.7, y1 - uy * w * 0.7
    cap = polygon([(cap0x + vx * h, cap0y + vy * h), (x1 + vx * h, y1 + vy * h),
                   (x1 - vx * h, y1 - vy * h), (cap0x - vx * h, cap0y - vy * h)]).grow(-c.px)
    c.fill(cap, (226, 120, 140))
    return whole


def arrow(c, pts, w, head, col, halo=True):
    """A thick polyline arrow ending in a triangular head at the last point."""
    (ax, ay), (bx, by) = pts[-2], pts[-1]
    ln = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / ln, (by - ay) / ln
    vx, vy = -uy, ux
    base_x, base_y = bx - ux * head, by - uy * head
    shaft_pts = pts[:-1] + [(base_x + ux * 0.5, base_y + uy * 0.5)]
    shaft = polyline(shaft_pts, w)
    tri = polygon([(bx, by), (base_x + vx * head * 0.95, base_y + vy * head * 0.95),
                   (base_x - vx * head * 0.95, base_y - vy * head * 0.95)])
    whole = shaft | tri
    if halo:
        c.clear(whole.grow(HALO * c.px))
    c.body(whole, col)
    return whole


def split_px(c, a, b, n, gap):
    """Splits [a, b] into n spans parted by gaps of `gap` whole pixels, every edge on the pixel grid."""
    p = c.px
    lo, hi = int(round(a / p)), int(round(b / p))
    total = hi - lo - gap * (n - 1)
    base, extra = divmod(total, n)
    spans = []
    pos = lo
    for i in range(n):
        size = base + (1 if i >= n - extra else 0)
        spans.append((pos * p, (pos + size) * p))
        pos += size + gap
    return spans


def grid_cells(c, x0, y0, x1, y1, cols, rows, gap, paint_for):
    """Cells parted by transparent gaps of `gap` pixels; paint_for(col, row) gives each cell's colour."""
    for r, (cy0, cy1) in enumerate(split_px(c, y0, y1, rows, gap)):
        for q, (cx0, cx1) in enumerate(split_px(c, x0, x1, cols, gap)):
            c.fill(rect(cx0, cy0, cx1, cy1), paint_for(q, r))


# ---------------------------------------------------------------- the pictures

C_ROW = hexc("EE7A12")
C_HAMMER = hexc("D3342A")
C_SCRIBE = hexc("8A45C8")
C_TRANSFER = hexc("119E95")
C_TRIGGER = hexc("E3A20C")
C_CDIFF = hexc("1E9AD6")
C_SDIFF = hexc("A2652A")
C_DIAGRAM = hexc("4650C0")
C_MARKUP = hexc("D2338A")
C_TEXT = hexc("4F6A8C")
C_PRINTER = hexc("4A5562")
C_DOC = hexc("2B63C9")
C_SQL = hexc("2F6FA8")
C_SHEET = hexc("2C9845")
C_BENCH = hexc("2A7FBF")
C_MASKER = hexc("9B2F5C")
C_BROWSER = hexc("2C8C8C")
C_HUB_WOOD = hexc("B8742A")
C_HUB_DB = hexc("2F78C8")
C_GENERIC = hexc("8A9099")
C_ACCENT = hexc("F2C230")


def draw_row_foundry(c):
    s = c.small
    col = C_ROW
    if s:
        bars = [(2, 10, 20, 14), (2, 16, 24, 20), (2, 22, 28, 26), (2, 28, 24, 31)]
        bars = [(2, 8, 22, 12), (2, 14, 26, 18), (2, 20, 30, 24), (2, 26, 26, 30)]
    else:
        bars = [(2, 9, 21, 13), (2, 15, 25, 19), (2, 21, 29, 25), (2, 27, 25, 31)]
    for x0, y0, x1, y1 in bars:
        row = rect(x0, y0, x1, y1, 1.0)
        c.body(row, col)
        key = rect(x0, y0, x0 + (6 if not s else 6), y1, 1.0)
        c.fill(key.grow(-c.px), darker(col, 0.15))
    # the spark of generation
    sx, sy = (25, 7) if not s else (25, 6)
    r_out = 7.0 if not s else 7.0
    sp = star(sx, sy, r_out, r_out * 0.36, 4)
    c.clear(sp.grow(HALO * c.px))
    c.body(sp, C_ACCENT, outline=None if s else darker(C_ACCENT, 0.5))
    if not s:
        sm = star(17, 3.5, 3.2, 1.2, 4)
        c.clear(sm.grow(HALO * c.px))
        c.body(sm, C_ACCENT, outline=darker(C_ACCENT, 0.5))


def draw_load_hammer(c):
    s = c.small
    # handle from lower left up to the head
    hw = 4.0 if not s else 4.5
    handle = segment(4.5, 27.5, 19, 13, hw)
    c.fill(handle, darker(hexc("7A4A22"), 0.2))
    c.fill(handle.grow(-c.px), hexc("B07838") if not s else hexc("A86E30"))
    if not s:
        c.fill(segment(5.2, 26.0, 17.5, 13.7, 1.0), hexc("D09A5A"))
    # head, perpendicular to the handle
    hx, hy = 20.0, 11.5
    ln, wd = 10.5, 5.0
    pts = [(hx - ln, hy - wd), (hx + ln, hy - wd), (hx + ln, hy + wd), (hx - ln, hy + wd)]
    head = polygon(rotated(pts, hx, hy, 45.0))
    c.clear(head.grow(HALO * c.px))
    c.body(head, C_HAMMER)
    face = polygon(rotated([(hx + ln - 2.2, hy - wd), (hx + ln, hy - wd), (hx + ln, hy + wd),
                            (hx + ln - 2.2, hy + wd)], hx, hy, 45.0))
    c.fill(face.grow(-c.px), darker(C_HAMMER, 0.2))
    # impact strokes beyond the striking face
    if not s:
        strokes = (((24.0, 27.5), (26.0, 30.5)), ((27.5, 24.5), (30.5, 26.0)), ((28.0, 29.0), (30.0, 31.0)))
        for a, b in strokes:
            c.fill(segment(*a, *b, 1.8), darker(C_HAMMER, 0.1))
    else:
        c.fill(segment(27.0, 26.0, 30.5, 29.5, 2.4), darker(C_HAMMER, 0.1))


def draw_layout_scribe(c):
    s = c.small
    col = C_SCRIBE
    fill = lighter(col, 0.88)
    page(c, 3, 2, 23, 30, 6 if not s else 7, fill, darker(col, 0.35))
    if s:
        c.fill(rect(6, 6, 15, 10), col)
        c.fill(rect(6, 13, 19, 17), lighter(col, 0.35))
        c.fill(rect(6, 20, 19, 24), lighter(col, 0.35))
    else:
        c.detail(rect(6, 5, 15, 9), col)
        c.detail(rect(6, 11, 20, 12), darker(col, 0.2))
        c.detail(rect(6, 14, 12, 19), lighter(col, 0.4))
        c.detail(rect(14, 14, 20, 19), lighter(col, 0.4))
        c.detail(rect(6, 21, 20, 22), darker(col, 0.2))
        c.detail(rect(6, 24, 16, 25), darker(col, 0.2))
    pencil(c, 15, 29, 30, 8, 6.0 if not s else 7.0, hexc("6A2FA0"))


def draw_transfer_works(c):
    s = c.small
    col = C_TRANSFER
    if s:
        cylinder(c, 0, 12, 17, 28, col, bands=1, ry=3.0)
        cylinder(c, 20, 32, 17, 28, col, bands=1, ry=3.0)
        arrow(c, [(5, 9), (14, 4.5), (24, 9.5)], 4.0, 6.5, hexc("F08A1C"))
    else:
        cylinder(c, 1, 13, 16, 28, col, bands=2, gaps=True)
        cylinder(c, 19, 31, 16, 28, col, bands=2, gaps=True)
        arrow(c, [(6, 10.5), (10, 5.5), (16, 4.0), (22, 6.0), (25.5, 11.0)], 3.2, 6.0, hexc("F08A1C"))


def draw_trigger_watch(c):
    s = c.small
    col = C_TRIGGER
    R, k = (16.0, 6.0) if s else (17.0, 9.0)
    lens = circle(16, 16 + k, R) & circle(16, 16 - k, R)
    edge = darker(col, 0.55)
    if s:
        c.fill(lens, darker(col, 0.25))
    else:
        c.fill(lens, edge)
        c.fill(lens.grow(-c.px), hexc("FFF6D6"))
    ir = 7.0 if not s else 6.0
    c.clear(circle(16, 16, ir + 2.0 * c.px))
    iris = circle(16, 16, ir)
    c.fill(iris, edge)
    c.fill(iris.grow(-c.px), vgrad(9, lighter(col, 0.3), 23, darker(col, 0.15)))
    if s:
        c.clear(circle(16, 16, 2.2))
    else:
        bolt = polygon([(17.5, 10.0), (12.5, 17.0), (15.5, 17.0), (14.0, 22.5), (19.5, 15.0), (16.5, 15.0)])
        c.clear(bolt)


def draw_content_diff(c):
    s = c.small
    col = C_CDIFF
    hot = hexc("F06A2A")
    head = darker(col, 0.25)
    cell = lighter(col, 0.5)
    # the two sides stand at different heights so that they read as two tables, not one
    if s:
        tables = ((0, 2, 24, (0, 1)), (18, 8, 30, (1, 2)))
        rows = 4
    else:
        tables = ((1, 2, 26, (0, 2)), (18, 6, 30, (1, 3)))
        rows = 5
    for x0, top, bottom, diff in tables:
        grid_cells(c, x0, top, x0 + (14 if s else 13), bottom, 2, rows, 1,
                   lambda q, r, d=diff: head if r == 0 else (hot if (q, r) == d else cell))


def draw_structure_diff(c):
    s = c.small
    col = C_SDIFF
    hot = hexc("F06A2A")
    edge = darker(col, 0.45)
    for side in (0, 1):
        ox = 0 if side == 0 else (18 if s else 17)
        w = 2.0 if not s else 2.4
        # trunk and branches
        if s:
            c.fill(polyline([(ox + 3, 8), (ox + 3, 25), (ox + 8, 25)], 2.0), edge)
            c.fill(segment(ox + 3, 17, ox + 8, 17, 2.0), edge)
            c.body(rect(ox + 0, 2, ox + 10, 8, 1.0), col)
            c.body(rect(ox + 6, 14, ox + 14, 20, 1.0), col)
            c.body(rect(ox + 6, 22, ox + 14, 28, 1.0), hot if side == 1 else col)
        else:
            c.fill(polyline([(ox + 4, 8), (ox + 4, 26), (ox + 8, 26)], w), edge)
            c.fill(segment(ox + 4, 18, ox + 8, 18, w), edge)
            c.body(rect(ox + 1, 3, ox + 11, 9, 1.2), col)
            c.body(rect(ox + 7, 15, ox + 15, 21, 1.2), col)
            c.body(rect(ox + 7, 23, ox + 15, 29, 1.2), hot if side == 1 else col)


def draw_diagram_studio(c):
    s = c.small
    col = C_DIAGRAM
    edge = darker(col, 0.45)
    cell = lighter(col, 0.8)

    def entity(x0, y0, x1, y1, hh):
        box = rect(x0, y0, x1, y1, 1.0)
        c.fill(box, edge)
        c.fill(box.grow(-c.px), cell)
        c.fill(rect(x0, y0, x1, y0 + hh, 1.0).grow(-c.px), vgrad(y0, lighter(col, 0.3), y0 + hh, col))
        if s:
            c.fill(rect(x0, y0 + hh - c.px, x1, y0 + hh), edge)
        else:
            c.clear(rect(x0, y0 + hh - c.px, x1, y0 + hh))
        if not s:
            for i in range(2):
                yy = y0 + hh + 2.5 + i * 3
                if yy + 1 < y1 - 1:
                    c.fill(rect(x0 + 2.5, yy, x1 - 3.5, yy + 1), lighter(col, 0.3))

    if s:
        c.fill(polyline([(14, 8), (23, 8), (23, 17)], 2.6), edge)
        entity(1, 1, 15, 15, 5)
        entity(16, 16, 31, 31, 5)
    else:
        c.fill(polyline([(14, 9), (23, 9), (23, 16)], 1.8), edge)
        # crow's foot at the many side
        c.fill(polyline([(20.5, 16), (23, 12.5), (25.5, 16)], 1.5), edge)
        entity(1, 2, 15, 16, 5)
        entity(16, 16, 31, 30, 5)


def draw_markup_foundry(c):
    s = c.small
    col = C_MARKUP
    if s:
        w = 3.4
        left = polyline([(9, 8), (2.5, 16), (9, 24)], w)
        right = polyline([(23, 8), (29.5, 16), (23, 24)], w)
        slash = segment(19, 5, 13, 27, 3.0)
    else:
        w = 3.6
        left = polyline([(10, 8), (3, 16), (10, 24)], w)
        right = polyline([(22, 8), (29, 16), (22, 24)], w)
        slash = segment(19, 5, 13, 27, w * 0.85)
    for sh in (left, right, slash):
        c.body(sh, col)


def draw_text_foundry(c):
    s = c.small
    col = C_TEXT
    if s:
        t = rect(1, 2, 19, 8, 0.5) | rect(7, 2, 13, 30, 0.5)
        c.body(t, col)
        for i, x1 in enumerate((31, 29, 31)):
            c.body(rect(17, 12 + i * 6.5 + (2 if i else 0), x1, 16 + i * 6.5 + (2 if i else 0), 0.8),
                   lighter(col, 0.25))
    else:
        t = rect(2, 3, 20, 8, 0.6) | rect(8.5, 3, 13.5, 29, 0.6) | rect(6, 25, 16, 29, 0.6)
        c.body(t, col)
        for i, x1 in enumerate((30, 27, 30, 25)):
            c.body(rect(18, 11 + i * 5, x1, 14 + i * 5, 0.8), lighter(col, 0.3))
        # a caret: text is being written
        c.fill(rect(26.5, 26, 28, 31), darker(col, 0.2))


def draw_result_printer(c):
    s = c.small
    col = C_PRINTER
    paper_edge = hexc("8A8F96")
    # paper fed in at the back
    sheet_in = rect(8, 2, 24, 13)
    c.fill(sheet_in, paper_edge)
    c.fill(sheet_in.grow(-c.px), PAPER)
    if not s:
        for i in range(3):
            c.fill(rect(11, 5 + i * 2.5, 21 - 3 * (i == 2), 6 + i * 2.5), hexc("9AA3AD"))
    body = rect(1, 11, 31, 24, 2.0)
    c.body(body, col)
    # the paper slot, cut through at 32 pixels so that the greyed silhouette still reads as a printer
    if s:
        c.fill(rect(6, 14, 26, 16), darker(col, 0.4))
    else:
        c.clear(rect(5, 14, 27, 16))
    c.fill(circle(26.5, 19.5, 1.4 if not s else 1.8), hexc("45D86A"))
    # the printed result with a small chart
    out = rect(7, 18, 25, 31)
    c.clear(out.grow(HALO * c.px))
    c.fill(out, paper_edge)
    c.fill(out.grow(-c.px), PAPER)
    bars = [(10, 26), (13.5, 23), (17, 25), (20.5, 21.5)] if not s else [(9, 25), (14, 22), (19, 24)]
    bw = 2.5 if not s else 4
    for x, top in bars:
        c.fill(rect(x, top, x + bw, 29.5 if not s else 29), hexc("F08A1C"))


def draw_document_foundry(c):
    s = c.small
    col = C_DOC
    edge = darker(col, 0.35)
    fill = lighter(col, 0.88)
    page(c, 4, 1, 28, 31, 7 if not s else 8, fill, edge)
    if s:
        c.fill(rect(7, 6, 17, 10), col)
        for i in range(3):
            c.fill(rect(7, 13 + i * 5.5, 25, 16 + i * 5.5), lighter(col, 0.2))
    else:
        c.detail(rect(7, 4, 19, 9), col)
        for i in range(6):
            x1 = 25 if i % 3 != 2 else 18
            c.detail(rect(7, 12 + i * 3, x1, 14 + i * 3), lighter(col, 0.15))


def draw_statement_desk(c):
    s = c.small
    if s:
        cylinder(c, 0, 20, 9, 26, C_SQL, bands=1, ry=3.0)
    else:
        cylinder(c, 1, 21, 8, 27, C_SQL, bands=2, ry=4.0, gaps=True)
    pencil(c, 16, 30, 30.5, 6, 6.5 if not s else 7.5, hexc("F0B020"))


def draw_sheet_foundry(c):
    s = c.small
    col = C_SHEET
    frame = rect(0, 2, 32, 30, 1.0) if s else rect(1, 3, 31, 29, 1.5)
    c.fill(frame, darker(col, 0.45))
    c.clear(frame.grow(-c.px))
    head = col
    side = lighter(col, 0.35)
    cell = lighter(col, 0.82)
    x0, y0, x1, y1 = frame.bbox
    if s:
        grid_cells(c, x0 + c.px, y0 + c.px, x1 - c.px, y1 - c.px, 3, 4, 1,
                   lambda q, r: head if r == 0 else (side if q == 0 else cell))
    else:
        grid_cells(c, x0 + c.px, y0 + c.px, x1 - c.px, y1 - c.px, 4, 5, 1,
                   lambda q, r: head if r == 0 else (side if q == 0 else
                                                      (C_ACCENT if (q, r) == (3, 4) else cell)))


def draw_table(c, x0, y0, x1, y1, col, cols, rows):
    frame = rect(x0, y0, x1, y1, 1.0)
    c.fill(frame, darker(col, 0.45))
    c.clear(frame.grow(-c.px))
    grid_cells(c, x0 + c.px, y0 + c.px, x1 - c.px, y1 - c.px, cols, rows, 1,
               lambda q, r: col if r == 0 else lighter(col, 0.8))


def draw_open_table_bench(c):
    s = c.small
    if s:
        draw_table(c, 1, 1, 25, 23, C_BENCH, 2, 3)
        arrow(c, [(14, 28), (26, 16)], 4.0, 8.0, hexc("2DA84A"))
    else:
        draw_table(c, 1, 2, 25, 22, C_BENCH, 3, 4)
        arrow(c, [(14, 29), (27.5, 15.5)], 3.6, 7.5, hexc("2DA84A"))


def draw_table_bench(c):
    draw_table(c, 1, 3, 31, 29, C_BENCH, 3, 4)


def draw_value_masker(c):
    col = C_MASKER
    field = rect(1, 8, 31, 24, 3.0)
    c.body(field, col)
    c.fill(rect(1, 8, 31, 24, 3.0).grow(-2 * c.px), lighter(col, 0.85))
    for x in (8.5, 16, 23.5):
        c.fill(circle(x, 16, 3.0), darker(col, 0.1))


def draw_object_browser(c):
    col = C_BROWSER
    edge = darker(col, 0.45)
    c.fill(polyline([(5, 4), (5, 22), (10, 22)], 2.4), edge)
    c.fill(segment(5, 12, 10, 12, 2.4), edge)
    c.body(rect(1, 1, 10, 7, 1), col)
    c.body(rect(9, 9, 17, 15, 1), col)
    c.body(rect(9, 19, 15, 25, 1), col)
    ring = circle(21, 19, 7.5)
    c.clear(ring.grow(HALO * c.px))
    c.fill(ring, edge)
    c.fill(circle(21, 19, 5.5), hexc("DDF3F6"))
    # a glint on the upper left of the glass
    c.fill(circle(21, 19, 5.5).ring(2 * c.px) & halfplane(0.7071, 0.7071, 0.7071 * 36), lighter(col, 0.6))
    c.fill(segment(26.5, 24.5, 30.5, 28.5, 4.2), darker(col, 0.2))


def draw_generic_document(c):
    col = C_GENERIC
    page(c, 5, 1, 27, 31, 8, lighter(col, 0.85), darker(col, 0.3))
    for i in range(3):
        c.fill(rect(9, 13 + i * 5.5, 23, 16 + i * 5.5), lighter(col, 0.1))


def draw_hub(c):
    """The hub: a ship's wheel (harbour and hub at once) round a database drum."""
    wood = C_HUB_WOOD
    edge = darker(wood, 0.5)
    cx = cy = 16.0
    if c.small:
        # Too small for spokes: a rim with eight handles around a plain drum.
        parts = [circle(cx, cy, 13.5) - circle(cx, cy, 10.5)]
        for i in range(8):
            a = math.radians(22.5 + i * 45.0)
            parts.append(segment(cx + 12 * math.cos(a), cy + 12 * math.sin(a),
                                 cx + 15.2 * math.cos(a), cy + 15.2 * math.sin(a), 3.4))
        c.fill(union(*parts), vgrad(2, lighter(wood, 0.15), 30, darker(wood, 0.3)))
        cylinder(c, 10, 22, 11, 21, C_HUB_DB, bands=1, ry=2.6)
        return
    r_out, r_in, r_knob, k_r = 12.5, 9.5, 13.9, 2.0
    parts = [circle(cx, cy, r_out) - circle(cx, cy, r_in)]
    for i in range(8):
        a = math.radians(22.5 + i * 45.0)
        ex, ey = cx + r_knob * math.cos(a), cy + r_knob * math.sin(a)
        parts.append(segment(cx, cy, ex, ey, 2.2))
        parts.append(circle(ex, ey, k_r))
    wheel = union(*parts)
    c.fill(wheel, edge)
    c.fill(wheel.grow(-c.px), vgrad(2, lighter(wood, 0.4), 30, darker(wood, 0.1)))
    # a groove along the rim gives it a turned, wooden look
    mid = (r_out + r_in) / 2
    c.fill(circle(cx, cy, mid + 0.4 * c.px) - circle(cx, cy, mid - 0.4 * c.px), darker(wood, 0.25))
    x0, x1, top, bottom, ry = 9.5, 22.5, 10.5, 21.5, 2.8
    halo = rect(x0, top, x1, bottom) | ellipse(16, top, 6.5, ry) | ellipse(16, bottom, 6.5, ry)
    c.clear(halo.grow(1.3 * c.px))
    cylinder(c, x0, x1, top, bottom, C_HUB_DB, bands=2, ry=ry)


PRODUCT_ICONS = [
    (130, 2, draw_row_foundry),
    (140, 5, draw_load_hammer),
    (150, 1, draw_layout_scribe),
    (160, 3, draw_transfer_works),
    (170, 12, draw_trigger_watch),
    (180, 9, draw_content_diff),
    (190, 7, draw_structure_diff),
    (200, 6, draw_diagram_studio),
    (205, 16, draw_markup_foundry),
    (208, 17, draw_text_foundry),
    (210, 10, draw_result_printer),
    (220, 20, draw_document_foundry),
    (230, 0, draw_statement_desk),
    (240, 19, draw_sheet_foundry),
]

STRIP_EXTRA = {
    4: draw_table_bench,
    8: draw_value_masker,
    11: draw_object_browser,
    14: draw_hub,
}


def render(draw, size):
    c = Canvas(size)
    _snap[0] = c.px
    draw(c)
    return c.rgba()


# ---------------------------------------------------------------- file formats


def ico_bytes(images):
    """An icon file of 32-bit images with alpha and a 1-bit AND mask.
    images: list of (size, rgba rows top to bottom)."""
    entries = []
    blobs = []
    for size, rgba in images:
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            row = rgba[y * size * 4:(y + 1) * size * 4]
            for x in range(size):
                r, g, b, a = row[x * 4:x * 4 + 4]
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            line = bytearray(mask_stride)
            for x in range(size):
                if rgba[(y * size + x) * 4 + 3] < 128:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = header + bytes(xor) + bytes(mask)
        blobs.append(blob)
        entries.append(size)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in zip(entries, blobs):
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return out


def over_white_strip_pixel(r, g, b, a):
    """A strip pixel over the white list background; pure white means transparent."""
    if a < 40:
        return (255, 255, 255)
    t = a / 255.0
    px = tuple(int(v * t + 255 * (1 - t) + 0.5) for v in (r, g, b))
    return tuple(min(v, 254) for v in px)


def bmp24_bytes(width, height, rgb_rows):
    """A bottom-up 24-bit BMP file; rgb_rows: list of rows (top first) of (r, g, b)."""
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for r, g, b in rgb_rows[y]:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + bytes(data)


def png_bytes(width, height, rgb_rows):
    raw = bytearray()
    for row in rgb_rows:
        raw.append(0)
        for px in row:
            raw += bytes(px)

    def chunk(tag, body):
        crc = zlib.crc32(tag + body) & 0xFFFFFFFF
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", crc)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------- preview


def disabled_look(size, rgba, face):
    """How a disabled icon button shows its icon: every pixel that is not the white of the
    work bitmap is ink, drawn as a grey shape with a white shadow one pixel down and right."""
    ink = [[False] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            on_white = tuple(int(v * a / 255 + 255 * (255 - a) / 255 + 0.5) for v in (r, g, b))
            ink[y][x] = on_white != (255, 255, 255)
    out = [[face] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if x > 0 and y > 0 and ink[y - 1][x - 1]:
                out[y][x] = (255, 255, 255)
    for y in range(size):
        for x in range(size):
            if ink[y][x]:
                out[y][x] = (160, 160, 160)
    return out


def composed(size, rgba, bg):
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            t = a / 255.0
            row.append(tuple(int(v * t + w * (1 - t) + 0.5) for v, w in zip((r, g, b), bg)))
        rows.append(row)
    return rows


def grey(rows):
    return [[(int(0.299 * r + 0.587 * g + 0.114 * b + 0.5),) * 3 for r, g, b in row] for row in rows]


def write_preview(path, cells, strip_rows):
    """cells: list of (size, rgba). Each gets five renderings in a column block."""
    zoom = 4
    face = (240, 240, 240)
    looks = []
    for size, rgba in cells:
        looks.append([composed(size, rgba, face), composed(size, rgba, (255, 255, 255)),
                      composed(size, rgba, (45, 45, 48)), grey(composed(size, rgba, face)),
                      disabled_look(size, rgba, face)])
    cell_w = 48 * zoom + 8
    cols = 8
    nrows = (len(cells) + cols - 1) // cols
    block_h = 5 * (48 * zoom + 8)
    width = cols * cell_w + 8
    strip_h = 16 * zoom * 2 + 16
    height = nrows * block_h + strip_h + 8
    canvas = [[(200, 200, 205)] * width for _ in range(height)]
    for n, (size, _) in enumerate(cells):
        bx = 8 + (n % cols) * cell_w
        by = 8 + (n // cols) * block_h
        for v, rows in enumerate(looks[n]):
            oy = by + v * (48 * zoom + 8)
            for y in range(size * zoom):
                for x in range(size * zoom):
                    canvas[oy + y][bx + x] = rows[y // zoom][x // zoom]
    sy = nrows * block_h + 8
    for k, bg in enumerate(((255, 255, 255), (240, 240, 240))):
        for y in range(16 * zoom):
            for x in range(min(width - 8, 336 * zoom)):
                p = strip_rows[y // zoom][x // zoom]
                canvas[sy + k * (16 * zoom + 8) + y][8 + x] = bg if p == (255, 255, 255) else p
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(png_bytes(width, height, canvas))


# ---------------------------------------------------------------- main


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Draws the hub's icons and product strip.")
    ap.add_argument("--out", default=os.path.dirname(here))
    ap.add_argument("--preview")
    args = ap.parse_args()

    icon_dir = os.path.join(args.out, "resources", "icons")
    os.makedirs(icon_dir, exist_ok=True)
    preview_cells = []

    def write(name, data):
        with open(os.path.join(args.out, "resources", name), "wb") as f:
            f.write(data)

    hub = {n: render(draw_hub, n) for n in (48, 32, 16)}
    write("icons/app.ico", ico_bytes([(48, hub[48]), (32, hub[32]), (16, hub[16])]))
    preview_cells += [(48, hub[48]), (32, hub[32]), (16, hub[16])]

    small = {}
    for icon_id, product, draw in PRODUCT_ICONS:
        # 48 and 64 pixels for screens at 150 and 200 per cent, so that the
        # buttons stay sharp there instead of showing a stretched 32.
        large = [(n, render(draw, n)) for n in (64, 48)]
        big = render(draw, 32)
        sm = render(draw, 16)
        small[product] = sm
        write("icons/p%d.ico" % icon_id, ico_bytes(large + [(32, big), (16, sm)]))
        preview_cells += [(32, big), (16, sm)]

    tb = (render(draw_open_table_bench, 32), render(draw_open_table_bench, 16))
    tb_large = [(n, render(draw_open_table_bench, n)) for n in (64, 48)]
    write("icons/open_tb.ico", ico_bytes(tb_large + [(32, tb[0]), (16, tb[1])]))
    preview_cells += [(32, tb[0]), (16, tb[1])]

    for product, draw in STRIP_EXTRA.items():
        small[product] = hub[16] if product == 14 else render(draw, 16)
    generic = render(draw_generic_document, 16)
    rows = [[] for _ in range(16)]
    for product in range(21):
        rgba = small.get(product, generic)
        for y in range(16):
            for x in range(16):
                rows[y].append(over_white_strip_pixel(*rgba[(y * 16 + x) * 4:(y * 16 + x) * 4 + 4]))
    write("products.bmp", bmp24_bytes(336, 16, rows))
    for product in (4, 8, 11):
        preview_cells.append((16, small[product]))
    preview_cells.append((16, generic))

    if args.preview:
        write_preview(args.preview, preview_cells, rows)


if __name__ == "__main__":
    main()
