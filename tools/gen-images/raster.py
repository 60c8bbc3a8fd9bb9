"""Tiny anti-aliased rasteriser for the window's flat pictograms.

Shapes are signed distance functions in design units (negative inside). A canvas maps its pixels to
design units by one scale factor, so one drawing renders crisply at several sizes.
"""

import math


def clamp(v, lo, hi):
    return lo if v < lo else hi if v > hi else v


# --- shapes: each returns f(x, y) -> signed distance in design units -------------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return f


def segment(ax, ay, bx, by, width):
    """A stroke with round caps."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-12

    def f(x, y):
        t = clamp(((x - ax) * dx + (y - ay) * dy) / length2, 0.0, 1.0)
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2

    return f


def polyline(points, width):
    return union(*[segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)])


def polygon(points):
    n = len(points)

    def f(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            dx, dy = bx - ax, by - ay
            t = clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0)
            best = min(best, math.hypot(x - ax - t * dx, y - ay - t * dy))
            if (ay > y) != (by > y) and x < ax + (y - ay) * dx / (by - ay):
                inside = not inside
        return -best if inside else best

    return f


def arc(cx, cy, r, width, start_deg, end_deg):
    """Part of a ring from start to end angle (degrees, clockwise on screen, 0 = right), round caps."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    span = (a1 - a0) % (2 * math.pi)
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0, a1)]

    def f(x, y):
        angle = (math.atan2(y - cy, x - cx) - a0) % (2 * math.pi)
        if angle <= span:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2

    return f


def outline(shape, width):
    """The border of a shape, centred on its edge."""
    return lambda x, y: abs(shape(x, y)) - width / 2


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape, cut):
    return lambda x, y: max(shape(x, y), -cut(x, y))


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def grow(shape, amount):
    return lambda x, y: shape(x, y) - amount


# --- canvas ---------------------------------------------------------------------------------------

class Canvas:
    """RGBA pixels, premultiplied floats while drawing."""

    def __init__(self, width, height, design_width=None):
        self.width, self.height = width, height
        self.scale = width / (design_width or width)
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def _coverages(self, shape):
        s = self.scale
        for py in range(self.height):
            y = (py + 0.5) / s
            for px in range(self.width):
                # Distance in pixels; a one-pixel ramp across the edge gives the anti-aliasing.
                cov = clamp(0.5 - shape((px + 0.5) / s, y) * s, 0.0, 1.0)
                if cov > 0.0:
                    yield py * self.width + px, cov

    def fill(self, shape, rgb, alpha=1.0):
        r, g, b = (c / 255.0 for c in rgb)
        for i, cov in self._coverages(shape):
            a = cov * alpha
            p = self.px[i]
            k = 1.0 - a
            p[0], p[1], p[2], p[3] = r * a + p[0] * k, g * a + p[1] * k, b * a + p[2] * k, a + p[3] * k

    def clear(self, shape):
        """Punches the shape out of what is drawn so far (a gap to the background)."""
        for i, cov in self._coverages(shape):
            self.px[i] = [c * (1.0 - cov) for c in self.px[i]]

    def rgba(self):
        """Straight-alpha 8-bit pixels, row by row."""
        out = []
        for r, g, b, a in self.px:
            if a <= 0.0:
                out.append((0, 0, 0, 0))
                continue
            out.append(tuple(int(round(clamp(c / a, 0.0, 1.0) * 255)) for c in (r, g, b)) +
                       (int(round(clamp(a, 0.0, 1.0) * 255)),))
        return out
