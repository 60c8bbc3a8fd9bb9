"""PNG and Windows ICO writers (standard library only)."""

import struct
import zlib


def png_bytes(width, height, pixels):
    """pixels: straight-alpha (r, g, b, a) tuples, row by row."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for r, g, b, a in pixels[y * width:(y + 1) * width]:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8 bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


# --- palettes for the 4 and 8 bit icon images --------------------------------------------------------

def median_cut(colours, count):
    """colours: {rgb: weight}. Returns at most `count` representative colours."""
    boxes = [list(colours.items())]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        widest = max(splittable, key=lambda b: max(max(c[0][k] for c in b) - min(c[0][k] for c in b)
                                                   for k in range(3)))
        channel = max(range(3), key=lambda k: max(c[0][k] for c in widest) - min(c[0][k] for c in widest))
        widest.sort(key=lambda c: c[0][channel])
        total, running, cut = sum(w for _, w in widest), 0, 1
        for i, (_, w) in enumerate(widest):
            running += w
            if running * 2 >= total:
                cut = max(1, min(i + 1, len(widest) - 1))
                break
        boxes.remove(widest)
        boxes += [widest[:cut], widest[cut:]]
    palette = []
    for b in boxes:
        total = sum(w for _, w in b)
        palette.append(tuple(int(round(sum(c[k] * w for c, w in b) / total)) for k in range(3)))
    return palette


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def _and_mask(size, transparent):
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if transparent(y * size + x):
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return bytes(mask)


def _bmp_header(size, bpp, image_bytes, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, image_bytes, 0, 0, colours_used, 0)


def ico_bitmap(size, pixels, bpp):
    """One icon image as a device-independent bitmap with its AND mask (bpp 4, 8 or 32)."""
    if bpp == 32:
        xor = bytearray()
        for y in reversed(range(size)):
            for r, g, b, a in pixels[y * size:(y + 1) * size]:
                xor += bytes((b, g, r, a))
        mask = _and_mask(size, lambda i: pixels[i][3] == 0)
        return _bmp_header(size, 32, len(xor) + len(mask), 0) + bytes(xor) + mask

    # Palette images have no alpha: a pixel is either fully drawn or masked out; index 0 is kept black for
    # the masked pixels, as Windows expects.
    opaque = lambda i: pixels[i][3] >= 128
    weights = {}
    for i, p in enumerate(pixels):
        if opaque(i):
            weights[p[:3]] = weights.get(p[:3], 0) + 1
    slots = 1 << bpp
    palette = [(0, 0, 0)] + median_cut(weights, slots - 1)
    palette += [(0, 0, 0)] * (slots - len(palette))
    cache = {}
    stride = ((size * bpp + 31) // 32) * 4
    xor = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            i = y * size + x
            index = 0
            if opaque(i):
                rgb = pixels[i][:3]
                if rgb not in cache:
                    cache[rgb] = 1 + nearest(palette[1:], rgb)
                index = cache[rgb]
            if bpp == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
    mask = _and_mask(size, lambda i: not opaque(i))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return _bmp_header(size, bpp, len(xor) + len(mask), slots) + table + bytes(xor) + mask


def ico_bytes(entries):
    """entries: (size, bpp, data) in directory order; data is a bitmap from ico_bitmap or PNG bytes."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, bpp, data in entries:
        dim = 0 if size >= 256 else size
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in entries)
