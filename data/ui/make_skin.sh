#!/bin/sh
# Regenerates the skin bitmaps below this folder with nothing but Python's standard library:
# every picture is a set of shapes rasterised with 4 x 4 samples per pixel and written as the
# skin's BMP form (40-byte header, 24 bits per pixel, uncompressed). The results are
# committed; the build only copies them.
#
# Colours: the control panel, filter panel and slider paint a fixed dark surface that the
# button faces are drawn on, so they read the same on light and dark desktops. The list and
# tab icons sit on the list's own background: their transparent colour is white for the tab
# strip and magenta (ff00ff) for the list icons; edge pixels are blended with mid grey so
# they stay clean on either palette.
set -eu
cd "$(dirname "$0")"
exec /usr/bin/python3 - <<'EOF'
import math, os, struct

def write_bmp(path, w, h, px):
    row = (w * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = px[y][x]
            line += bytes((b, g, r))
        line += b"\0" * (row - w * 3)
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    if os.path.dirname(path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + data)

def hexc(s):
    return tuple(int(s[i:i + 2], 16) for i in (0, 2, 4))

# ---- shapes: each answers whether a point (in pixels, floats) is inside ----
def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def ring(cx, cy, r, t):
    return lambda x, y: (r - t) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def rrect(x0, y0, x1, y1, rad):
    def f(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + rad), x1 - rad)
        cy = min(max(y, y0 + rad), y1 - rad)
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad
    return f

def poly(points):
    def f(x, y):
        inside = False
        n = len(points)
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return inside
    return f

def seg(ax, ay, bx, by, t):
    def f(x, y):
        dx, dy = bx - ax, by - ay
        k = max(0, min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return (x - ax - k * dx) ** 2 + (y - ay - k * dy) ** 2 <= (t / 2) ** 2
    return f

def arc(cx, cy, r, t, a0, a1):
    def f(x, y):
        d = math.hypot(x - cx, y - cy)
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        inarc = a0 <= a <= a1 if a0 <= a1 else (a >= a0 or a <= a1)
        return abs(d - r) <= t / 2 and inarc
    return f

def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)

def union(*s):
    return lambda x, y: any(f(x, y) for f in s)

S = 4
def render(w, h, bg, layers):
    """layers: (shape, colour) painted in order over bg; bg None means transparent."""
    px = []
    for y in range(h):
        row = []
        for x in range(w):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(S):
                for sx in range(S):
                    fx, fy = x + (sx + 0.5) / S, y + (sy + 0.5) / S
                    col = None
                    for shape, c in layers:
                        if shape(fx, fy):
                            col = c
                    if col is None:
                        if bg is None:
                            continue
                        col = bg
                    acc[0] += col[0]; acc[1] += col[1]; acc[2] += col[2]; acc[3] += 1
            row.append(acc)
        px.append(row)
    return px

def finish(px, key):
    n = S * S
    out = []
    for row in px:
        o = []
        for r, g, b, a in row:
            if a == 0:
                o.append(key)
                continue
            # Edge pixels blend with mid grey, which sits well on light and dark lists.
            grey = (n - a) * 128
            o.append(tuple(int(round((c + grey) / n)) for c in (r, g, b)))
        o.append
        out.append(o)
    return out

def opaque(px):
    n = S * S
    return [[tuple(int(round(c / n)) for c in p[:3]) for p in row] for row in px]

def stack(faces):
    out = []
    for f in faces:
        out += f
    return out

def side_by_side(images):
    return [sum((img[y] for img in images), []) for y in range(len(images[0]))]

# ---- palette ----
PANEL = hexc("1a2029")     # control and filter panels
SLIDER = hexc("1f2630")    # the slider's own surface
INK = hexc("e6edf3")
INK_OFF = hexc("5b6673")
FACE = {4: hexc("2c3642"), 3: hexc("3a4757"), 2: hexc("1f5f96"), 1: hexc("2a74b5"),
        0: hexc("242c36")}
ACCENT = hexc("3d9be9")
MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)

# ---- list icons, 16 x 16 ----
I = 16
def icon(layers, key=MAGENTA):
    return finish(render(I, I, None, layers), key)

def padlock(col, shackle, open_=False):
    body = rrect(3, 7.5, 13, 14.5, 1.5)
    if open_:
        sh = union(arc(10.5, 6.5, 3, 1.8, 0, 180), seg(13.5, 6.5, 13.5, 7.6, 1.8))
    else:
        sh = union(arc(8, 6.5, 3, 1.8, 0, 180), seg(5, 6.5, 5, 8, 1.8), seg(11, 6.5, 11, 8, 1.8))
    return [(sh, shackle), (body, col), (circle(8, 10.5, 1.1), hexc("3b2a05") if not open_ else hexc("4a5260")),
            (seg(8, 10.5, 8, 12.5, 1), hexc("3b2a05") if not open_ else hexc("4a5260"))]

icons = {
    # A white rim keeps the dot visible on a selected (highlighted) row.
    "unread.bmp": [(circle(8, 8, 5.6), WHITE), (circle(8, 8, 4.4), ACCENT)],
    "read.bmp": [(circle(8, 8, 2.3), hexc("9aa5b1"))],
    "lock.bmp": padlock(hexc("e3a21a"), hexc("b8c2cc")),
    "unlock.bmp": padlock(hexc("a7b1bc"), hexc("a7b1bc"), True),
}
check = union(seg(5.2, 8.3, 7.2, 10.3, 1.7), seg(7.2, 10.3, 11, 6, 1.7))
status = [
    ("s_offline.bmp", hexc("8a96a3"), [(ring(8, 8, 3.2, 1.4), WHITE)]),
    ("s_online.bmp", hexc("2fb35a"), [(check, WHITE)]),
    ("s_away.bmp", hexc("f0b429"), [(seg(8, 8, 8, 4.6, 1.5), WHITE), (seg(8, 8, 10.6, 9.6, 1.5), WHITE)]),
    ("s_na.bmp", hexc("e8772e"), [(seg(5.5, 5.5, 10.5, 10.5, 1.7), WHITE), (seg(10.5, 5.5, 5.5, 10.5, 1.7), WHITE)]),
    ("s_dnd.bmp", hexc("d93b3b"), [(rrect(4.2, 7, 11.8, 9, 0.8), WHITE)]),
    ("s_skypeout.bmp", hexc("1aa3c9"), [(poly([(5, 5), (11.5, 8), (5, 11)]), WHITE)]),
    ("s_skypeme.bmp", hexc("d9479b"), [(poly([(8, 4), (9.1, 6.8), (12, 7), (9.7, 8.9), (10.5, 11.8), (8, 10.2), (5.5, 11.8), (6.3, 8.9), (4, 7), (6.9, 6.8)]), WHITE)]),
]
for name, col, marks in status:
    icons[name] = [(circle(8, 8, 6.5), col)] + marks
for name, layers in icons.items():
    write_bmp("m_panel/icon/" + name, I, I, icon(layers))

# Tab strip: six 16 x 16 images, white transparent: 0 voice mail, 1 conversation, 2 all,
# 3 to 5 spare copies of the first three.
TAB = hexc("3d7fc1")
tape = union(ring(4.5, 8.5, 3, 1.6), ring(11.5, 8.5, 3, 1.6), seg(4.5, 11.2, 11.5, 11.2, 1.6))
bubbles = [(rrect(1, 2, 11, 9, 2.5), TAB), (poly([(3, 8), (3, 11.5), (6.5, 8)]), TAB),
           (rrect(6, 6.5, 15, 12.5, 2.3), hexc("2fb35a")), (poly([(12.5, 12), (13.5, 15), (10, 12)]), hexc("2fb35a"))]
lines = [(rrect(2, 3, 14, 4.8, 0.9), TAB), (rrect(2, 7.1, 14, 8.9, 0.9), TAB), (rrect(2, 11.2, 14, 13, 0.9), TAB)]
tabs = [icon([(tape, TAB)], WHITE), icon(bubbles, WHITE), icon(lines, WHITE)]
write_bmp("m_panel/icon/tab_icon.bmp", 6 * I, I, side_by_side(tabs + tabs))

# ---- control panel buttons: five faces of 40 x 32 on the panel colour ----
BW, BH = 40, 32
def glyph_play(x, y):   return poly([(x - 5, y - 7), (x + 8, y), (x - 5, y + 7)])
def glyph_pause(x, y):  return union(rrect(x - 6, y - 7, x - 1.5, y + 7, 1), rrect(x + 1.5, y - 7, x + 6, y + 7, 1))
def glyph_stop(x, y):   return rrect(x - 6, y - 6, x + 6, y + 6, 1.5)
def glyph_call(x, y):
    return union(arc(x + 6, y - 6, 10, 4.2, 180, 270), circle(x - 3.8, y - 6.6, 3), circle(x + 6.6, y + 3.8, 3))
def glyph_chat(x, y):
    return union(rrect(x - 9, y - 7, x + 9, y + 5, 3.5), poly([(x - 5, y + 4), (x - 6, y + 9), (x, y + 4)]))
def glyph_lock(x, y):
    return union(rrect(x - 6.5, y - 1.5, x + 6.5, y + 8, 1.5), arc(x, y - 2.5, 4.2, 2.3, 0, 180),
                 seg(x - 4.2, y - 2.5, x - 4.2, y - 1, 2.3), seg(x + 4.2, y - 2.5, x + 4.2, y - 1, 2.3))
def glyph_topic(x, y):
    return union(seg(x - 6, y + 6, x + 5, y - 5, 4), poly([(x - 8.6, y + 8.6), (x - 7.9, y + 4.5), (x - 4.5, y + 7.9)]))
def glyph_del(x, y):
    return union(poly([(x - 6, y - 3.5), (x + 6, y - 3.5), (x + 5, y + 8), (x - 5, y + 8)]),
                 rrect(x - 8, y - 7, x + 8, y - 5, 0.8), rrect(x - 2.5, y - 9, x + 2.5, y - 6, 0.8))

def button(w, h, glyph_normal, glyph_second=None, bg=PANEL, radius=6):
    faces = []
    for face in range(5):
        g = glyph_second if glyph_second and face in (1, 2) else glyph_normal
        ink = INK_OFF if face == 0 else INK
        layers = [(rrect(1, 1, w - 1, h - 1, radius), FACE[face]), (g(w / 2, h / 2), ink)]
        faces.append(opaque(render(w, h, bg, layers)))
    return stack(faces)

for name, g, g2 in [("play", glyph_play, glyph_pause), ("stop", glyph_stop, None),
                    ("call", glyph_call, None), ("chat", glyph_chat, None),
                    ("lock", glyph_lock, None), ("topic", glyph_topic, None),
                    ("del", glyph_del, None)]:
    write_bmp("m_panel/btn/%s.bmp" % name, BW, 5 * BH, button(BW, BH, g, g2))

def glyph_revert(x, y):
    return union(seg(x - 4, y - 4, x + 4, y + 4, 2), seg(x + 4, y - 4, x - 4, y + 4, 2))
write_bmp("m_panel/btn/btn_revert.bmp", 24, 5 * 24, button(24, 24, glyph_revert, radius=12))

# ---- slider: steps, thumb (three states stacked), track backgrounds, digits ----
STATE = {1: hexc("2c3642"), 2: hexc("3a4757"), 3: hexc("2a74b5")}
def three(w, h, glyph, bg, radius):
    return stack([opaque(render(w, h, bg, [(rrect(1, 1, w - 1, h - 1, radius), STATE[s]), (glyph(w / 2, h / 2), INK)]))
                  for s in (1, 2, 3)])
step_back = lambda x, y: union(poly([(x + 3, y - 5), (x - 4, y), (x + 3, y + 5)]), rrect(x - 6, y - 5, x - 4.5, y + 5, 0.5))
step_fwd = lambda x, y: union(poly([(x - 3, y - 5), (x + 4, y), (x - 3, y + 5)]), rrect(x + 4.5, y - 5, x + 6, y + 5, 0.5))
write_bmp("m_panel/slider/btn_prev.bmp", 24, 72, three(24, 24, step_back, SLIDER, 5))
write_bmp("m_panel/slider/btn_next.bmp", 24, 72, three(24, 24, step_fwd, SLIDER, 5))
TH = 30
thumb = []
for s, col in ((1, hexc("dbe3ea")), (2, WHITE), (3, hexc("8cc8ff"))):
    thumb.append(opaque(render(8, TH, hexc("2b3440"), [(rrect(0.5, 0.5, 7.5, TH - 0.5, 3), col),
                                                        (rrect(3.2, 8, 4.8, TH - 8, 0.8), hexc("6b7785"))])))
write_bmp("m_panel/slider/btn_thumb.bmp", 8, 3 * TH, stack(thumb))
def column(top, bottom):
    return [[tuple(int(top[i] + (bottom[i] - top[i]) * y / (TH - 1)) for i in range(3))] for y in range(TH)]
write_bmp("m_panel/slider/bg_middle_w.bmp", 1, TH, column(hexc("2f3946"), hexc("262e38")))
write_bmp("m_panel/slider/bg_middle_b.bmp", 1, TH, column(hexc("1f4c75"), hexc("183b5c")))

# Digits as seven-segment glyphs, 10 x 14 ("1" … "9", "0"), then ":" and "." 4 wide.
SEG = {"a": (2, 1.2, 8, 1.2), "b": (8.2, 1.6, 8.2, 6.6), "c": (8.2, 7.4, 8.2, 12.4),
       "d": (2, 12.8, 8, 12.8), "e": (1.8, 7.4, 1.8, 12.4), "f": (1.8, 1.6, 1.8, 6.6),
       "g": (2, 7, 8, 7)}
ON = {"1": "bc", "2": "abged", "3": "abgcd", "4": "fgbc", "5": "afgcd", "6": "afgedc",
      "7": "abc", "8": "abcdefg", "9": "abcdfg", "0": "abcdef"}
glyphs = []
for ch in "1234567890":
    layers = [(seg(*SEG[s], 1.6), INK) for s in ON[ch]]
    glyphs.append(opaque(render(10, 14, SLIDER, layers)))
glyphs.append(opaque(render(4, 14, SLIDER, [(circle(2, 4.5, 1), INK), (circle(2, 9.5, 1), INK)])))
glyphs.append(opaque(render(4, 14, SLIDER, [(circle(2, 12.5, 1), INK)])))
write_bmp("m_panel/slider/digit.bmp", 108, 14, side_by_side(glyphs))

# ---- side panel: background, the active and inactive bottom strip, its buttons ----
SPW, SPH, STRIP = 296, 120, 9
DISPLAY = hexc("11161d")
bg_layers = [(rrect(0, 0, SPW, 1, 0), hexc("2c3642")),
             # the display well behind the caller, time and position fields
             (rrect(10, 42, 266, 68, 5), hexc("2a323d")),
             (rrect(11, 43, 265, 67, 4.5), DISPLAY)]
write_bmp("s_panel/bg/bg.bmp", SPW, SPH, opaque(render(SPW, SPH, PANEL, bg_layers)))
def strip(line, dots):
    layers = [(rrect(0, 3, SPW, 5, 0), line)]
    for i in range(5):
        layers.append((circle(SPW / 2 - 12 + 6 * i, 7, 0.9), dots))
    return opaque(render(SPW, STRIP, PANEL, layers))
write_bmp("s_panel/bg/name_f.bmp", SPW, STRIP, strip(ACCENT, hexc("6b7785")))
write_bmp("s_panel/bg/name_nf.bmp", SPW, STRIP, strip(hexc("2c3642"), hexc("3a4757")))

RED = hexc("e5484d")
def glyph_rec(x, y):   return circle(x, y, 6.5)
def glyph_recstop(x, y): return rrect(x - 5.5, y - 5.5, x + 5.5, y + 5.5, 1.2)
def glyph_list(x, y):
    return union(*[rrect(x - 7, y + d - 1, x + 7, y + d + 1, 0.8) for d in (-5, 0, 5)])
def glyph_tape(x, y):
    return union(ring(x - 4.2, y, 3.2, 1.6), ring(x + 4.2, y, 3.2, 1.6),
                 seg(x - 4.2, y + 2.6, x + 4.2, y + 2.6, 1.6))
def glyph_mic(x, y):
    return union(rrect(x - 2.6, y - 8, x + 2.6, y + 2, 2.6), arc(x, y - 1, 5.2, 1.5, 180, 360),
                 seg(x, y + 4.2, x, y + 7.5, 1.5), seg(x - 3.5, y + 7.5, x + 3.5, y + 7.5, 1.5))
def glyph_x(x, y):
    return union(seg(x - 3.5, y - 3.5, x + 3.5, y + 3.5, 1.8), seg(x + 3.5, y - 3.5, x - 3.5, y + 3.5, 1.8))
def glyph_prefs(x, y):
    return union(rrect(x - 8, y - 5, x + 8, y - 4, 0.5), rrect(x - 8, y + 3.5, x + 8, y + 4.5, 0.5),
                 circle(x - 3, y - 4.5, 2.3), circle(x + 3.5, y + 4, 2.3))

def coloured_button(w, h, glyph, glyph2, ink2, radius=6):
    """Five faces; the second-state faces (1, 2) draw glyph2 in ink2."""
    faces = []
    for face in range(5):
        second = face in (1, 2)
        g = glyph2 if second and glyph2 else glyph
        ink = INK_OFF if face == 0 else (ink2 if second and ink2 else INK)
        layers = [(rrect(1, 1, w - 1, h - 1, radius), FACE[face]), (g(w / 2, h / 2), ink)]
        faces.append(opaque(render(w, h, PANEL, layers)))
    return stack(faces)

side_buttons = [
    ("record", lambda: coloured_button(56, 28, glyph_rec, glyph_recstop, RED)),
    ("prev", lambda: button(30, 28, step_back)),
    ("play", lambda: button(50, 28, glyph_play, glyph_pause)),
    ("next", lambda: button(34, 28, step_fwd)),
    ("list", lambda: button(32, 28, glyph_list)),
    ("vmail", lambda: button(28, 28, glyph_tape)),
    ("convrecord", lambda: button(28, 28, glyph_mic)),
    ("reset", lambda: button(20, 20, glyph_x, radius=10)),
    ("pref", lambda: button(36, 30, glyph_prefs)),
]
for name, make in side_buttons:
    img = make()
    write_bmp("s_panel/btn/%s.bmp" % name, len(img[0]), len(img), img)

# ---- splash: a dark backdrop with the program's reel; the window writes name and version ----
SW, SHT = 400, 240
def splash_bg():
    px = [[tuple(int(a + (b - a) * y / (SHT - 1)) for a, b in zip(hexc("1f2a38"), hexc("121820")))] * SW
          for y in range(SHT)]
    logo = render(SW, SHT, None, [(ring(160, 92, 30, 8), ACCENT), (ring(240, 92, 30, 8), ACCENT),
                                  (circle(160, 92, 5), ACCENT), (circle(240, 92, 5), ACCENT),
                                  (rrect(158, 118, 242, 125, 3.5), ACCENT)])
    n = S * S
    out = []
    for y in range(SHT):
        row = []
        for x in range(SW):
            r, g, b, a = logo[y][x]
            base = px[y][x]
            row.append(tuple(int(round((c + base[i] * (n - a)) / n)) for i, c in enumerate((r, g, b))))
        out.append(row)
    return out
write_bmp("splash.bmp", SW, SHT, splash_bg())
EOF
