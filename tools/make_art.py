#!/usr/bin/python3
"""Generates Velmora's resource files in res/: the skin images, the icon, the launcher companion's dialog
template and button settings (type-240 data), the game window's placeholder page and the manifest.

Run with Debian's interpreter (it has python3-pil):  /usr/bin/python3 tools/make_art.py
The output is deterministic and checked in, so building needs no Python.

The launcher is one 1257 x 877 picture (158) with soft translucent edges. Its buttons are separate images
that sit, at fixed pixel places, on a colour-keyed window whose key is pure green: a button pixel with
partial alpha would be blended with that green. Every button image is therefore rendered over a crop of
the background at its place and given alpha 0 or 255 only; where it is transparent the background shows
through the key unchanged, so there is no seam.
"""
import math
import os
import random
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "res")
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"

W, H = 1257, 877
KEY_GREEN = (0, 255, 0)

# Where the companion places each button (top-left, pixels) and the image size.
CAPTIONS = [  # (normal id, hover id, x, y, w, h, caption)
    (139, 140, 363, 305, 165, 48, "进入官网"),
    (143, 144, 528, 305, 165, 48, "快速充值"),
    (145, 147, 696, 305, 165, 48, "客服中心"),
    (141, 142, 858, 305, 166, 48, "火爆论坛"),
]
MINIMISE = (159, 160, 962, 237, 57, 61)
CLOSE = (138, 137, 1018, 249, 52, 80)
PANEL = (364, 371, 656, 360)

SS = 4  # supersampling factor for shape edges


# ----------------------------------------------------------------------------------------------- helpers

def font(path, size, index=0):
    return ImageFont.truetype(path, size, index=index)


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(int(round(lerp(x, y, t))) for x, y in zip(c1, c2))


def ramp(stops, t):
    """Colour at t (0..1) of a gradient given as [(position, colour), ...]."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


def vgrad(size, stops, y0=0, y1=None):
    """RGB image of `size` with a vertical gradient running from row y0 to row y1."""
    w, h = size
    y1 = h if y1 is None else y1
    col = Image.new("RGB", (1, h))
    col.putdata([ramp(stops, (y - y0) / max(1, y1 - y0)) for y in range(h)])
    return col.resize((w, h), Image.NEAREST)


def hgrad(size, stops, x0=0, x1=None):
    w, h = size
    x1 = w if x1 is None else x1
    row = Image.new("RGB", (w, 1))
    row.putdata([ramp(stops, (x - x0) / max(1, x1 - x0)) for x in range(w)])
    return row.resize((w, h), Image.NEAREST)


def radial(size, centre, radius, stops, aspect=1.0):
    """RGB image: colour by distance from centre (0 at centre, 1 at radius)."""
    w, h = size
    n = 512
    base = Image.radial_gradient("L")  # 256 x 256, value = distance from the middle, 255 at 128 px
    lut = [ramp(stops, min(1.0, v / 128.0)) for v in range(256)]
    rw, rh = int(radius * 2 * 255 / 128), int(radius * aspect * 2 * 255 / 128)
    big = base.resize((max(1, rw), max(1, rh)), Image.BILINEAR)
    out = Image.new("L", size, 255)
    out.paste(big, (int(centre[0] - rw / 2), int(centre[1] - rh / 2)))
    del n
    r = out.point([c[0] for c in lut])
    g = out.point([c[1] for c in lut])
    b = out.point([c[2] for c in lut])
    return Image.merge("RGB", (r, g, b))


def radial_mask(size, centre, radius, falloff, aspect=1.0):
    """L mask, 255 inside `radius`, falling to 0 over `falloff` further pixels (smooth)."""
    total = radius + falloff
    stops = [(0.0, (255,) * 3), (radius / total, (255,) * 3), (1.0, (0,) * 3)]
    img = radial(size, centre, total, stops, aspect)
    return img.split()[0].point(lambda v: int(255 * smooth(v / 255.0)))


def smooth(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def scale_mask(mask, k):
    return mask.point(lambda v: int(v * k))


def over(canvas, fill, mask, opacity=1.0):
    """Composites `fill` (colour tuple or RGB image) onto RGBA `canvas` through the L `mask`."""
    if isinstance(fill, tuple):
        src = Image.new("RGBA", canvas.size, fill + (255,))
    else:
        src = fill.convert("RGBA")
    if opacity < 1.0:
        mask = scale_mask(mask, opacity)
    src.putalpha(mask)
    canvas.alpha_composite(src)


def add_light(canvas, fill, mask, strength=1.0):
    """Additive light: brightens `canvas` by `fill` weighted by `mask`."""
    if isinstance(fill, tuple):
        fill = Image.new("RGB", canvas.size, fill)
    black = Image.new("RGB", canvas.size, (0, 0, 0))
    light = Image.composite(fill, black, scale_mask(mask, strength))
    rgb = ImageChops.add(canvas.convert("RGB"), light)
    alpha = canvas.getchannel("A")
    rgb.putalpha(alpha)
    canvas.paste(rgb)


def poly_mask(size, polys, ss=SS):
    """Anti-aliased L mask of one or more polygons (lists of points)."""
    w, h = size
    big = Image.new("L", (w * ss, h * ss), 0)
    d = ImageDraw.Draw(big)
    for pts in polys:
        d.polygon([(x * ss, y * ss) for x, y in pts], fill=255)
    return big.resize(size, Image.LANCZOS)


def shape_mask(size, draw_fn, ss=SS):
    """Anti-aliased L mask drawn by draw_fn(draw, s) where s scales coordinates."""
    w, h = size
    big = Image.new("L", (w * ss, h * ss), 0)
    draw_fn(ImageDraw.Draw(big), ss)
    return big.resize(size, Image.LANCZOS)


def bezier(p0, p1, p2, p3, n=24):
    pts = []
    for i in range(n + 1):
        t = i / n
        a, b, c, d = (1 - t) ** 3, 3 * (1 - t) ** 2 * t, 3 * (1 - t) * t * t, t ** 3
        pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0], a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return pts


def path(*segments):
    """Joins cubic segments given as (p0, p1, p2, p3) tuples into one point list."""
    pts = []
    for seg in segments:
        pts.extend(bezier(*seg)[(1 if pts else 0):])
    return pts


def value_noise(size, cell, rng):
    """Smooth low-frequency noise (L), deterministic from rng."""
    w, h = size
    gw, gh = w // cell + 3, h // cell + 3
    small = Image.new("L", (gw, gh))
    small.putdata([rng.randint(0, 255) for _ in range(gw * gh)])
    big = small.resize((gw * cell, gh * cell), Image.BICUBIC)
    return big.crop((cell, cell, cell + w, cell + h))


def text_mask(size, xy, text, fnt, anchor="mm", stroke=0, spacing=0):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if spacing:
        # Letter-spaced line: centred as a whole.
        widths = [d.textlength(ch, font=fnt) for ch in text]
        total = sum(widths) + spacing * (len(text) - 1)
        x = xy[0] - total / 2
        for ch, cw in zip(text, widths):
            d.text((x + cw / 2, xy[1]), ch, font=fnt, anchor="mm", fill=255, stroke_width=stroke, stroke_fill=255)
            x += cw + spacing
    else:
        d.text(xy, text, font=fnt, anchor=anchor, fill=255, stroke_width=stroke, stroke_fill=255)
    return m


def mask_max(a, b):
    return ImageChops.lighter(a, b)


def mask_mul(a, b):
    return ImageChops.multiply(a, b)


def no_key_green(img):
    """The companion's colour key must never appear in artwork."""
    px = img.load()
    w, h = img.size
    for y in range(h):
        for x in range(w):
            p = px[x, y]
            if p[0] == 0 and p[1] == 255 and p[2] == 0:
                px[x, y] = (0, 254, 0) + tuple(p[3:])
    return img


# ------------------------------------------------------------------------------------------------ scene

def sky_and_land(rng):
    c = Image.new("RGBA", (W, H), (0, 0, 0, 255))
    over(c, vgrad((W, H), [(0, (8, 12, 36)), (0.35, (28, 24, 68)), (0.62, (58, 34, 72)), (1, (16, 10, 22))]),
         Image.new("L", (W, H), 255))
    # Warm light behind the logo and a cold moon behind the swordsman.
    add_light(c, (120, 70, 30), radial_mask((W, H), (700, 190), 40, 420, 0.55), 0.55)
    add_light(c, (60, 70, 120), radial_mask((W, H), (235, 235), 60, 260), 0.7)
    moon = radial_mask((W, H), (235, 235), 92, 3)
    over(c, radial((W, H), (215, 215), 120, [(0, (255, 250, 232)), (0.7, (226, 222, 210)), (1, (170, 176, 196))]), moon)
    # Faint maria on the moon.
    for (mx, my, mr) in [(205, 210, 26), (262, 250, 18), (228, 282, 14), (270, 200, 12)]:
        over(c, (150, 156, 178), mask_mul(radial_mask((W, H), (mx, my), mr * 0.4, mr * 0.8), moon), 0.35)
    # Stars in the upper sky.
    stars = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(stars)
    for _ in range(170):
        x, y = rng.uniform(0, W), rng.uniform(0, 330) ** 1.0
        r = rng.choice([0.6, 0.8, 1.0, 1.3])
        v = rng.randint(90, 230)
        d.ellipse((x - r, y - r, x + r, y + r), fill=v)
    add_light(c, (255, 245, 220), stars.filter(ImageFilter.GaussianBlur(0.6)), 1.0)
    # Mountain ridges, far to near, each with mist at its foot.
    layers = [
        (430, 110, (70, 58, 104), (40, 34, 70), 0.55),
        (505, 90, (44, 36, 74), (24, 20, 44), 0.45),
        (590, 70, (26, 22, 46), (12, 10, 24), 0.35),
    ]
    for base_y, amp, top_col, bot_col, mist in layers:
        ridge = []
        y = base_y
        phase = rng.uniform(0, 6.28)
        for x in range(-10, W + 20, 12):
            y = base_y - amp * (0.5 + 0.5 * math.sin(x / 170.0 + phase)) * (0.6 + 0.4 * math.sin(x / 61.0 + phase * 2)) \
                - rng.uniform(0, amp * 0.18)
            ridge.append((x, y))
        poly = ridge + [(W + 20, H), (-10, H)]
        m = poly_mask((W, H), [poly])
        over(c, vgrad((W, H), [(0, top_col), (1, bot_col)], int(base_y - amp), base_y + 220), m)
        # Rim light on the ridge line from the logo's glow.
        edge = ImageChops.subtract(m, m.filter(ImageFilter.MaxFilter(3)).transform(
            (W, H), Image.AFFINE, (1, 0, 0, 0, 1, 2)))
        add_light(c, (90, 70, 80), edge.filter(ImageFilter.GaussianBlur(1)), 0.5)
        band = radial_mask((W, H), (W / 2, base_y + 40), 200, 500, 0.12)
        over(c, (150, 140, 190), band, mist * 0.6)
    # A pagoda on the far right hill.
    pag = []
    px, py = 1150, 470
    for i, (wd, ht) in enumerate([(70, 16), (58, 15), (46, 14), (34, 13)]):
        y0 = py - i * 30
        pag.append([(px - wd / 2 - 8, y0), (px + wd / 2 + 8, y0), (px + wd / 2 - 2, y0 - 6), (px - wd / 2 + 2, y0 - 6)])
        pag.append([(px - wd / 2 + 8, y0 - 6), (px + wd / 2 - 8, y0 - 6), (px + wd / 2 - 8, y0 - 30), (px - wd / 2 + 8, y0 - 30)])
    pag.append([(px - 3, py - 120), (px + 3, py - 120), (px + 1, py - 150), (px - 1, py - 150)])
    over(c, (18, 14, 30), poly_mask((W, H), pag))
    for i in range(4):  # lit windows
        over(c, (255, 180, 90), radial_mask((W, H), (px, py - 16 - i * 30), 2, 5), 0.9)
    return c


def frame_board(c):
    """The dark board that carries the caption row and the browser panel, with gilded edges."""
    x0, y0, x1, y1 = 340, 292, 1046, 748
    body = shape_mask((W, H), lambda d, s: d.rounded_rectangle((x0 * s, y0 * s, x1 * s, y1 * s), radius=18 * s, fill=255))
    shadow = body.filter(ImageFilter.GaussianBlur(14))
    over(c, (0, 0, 0), shadow, 0.75)
    over(c, vgrad((W, H), [(0, (22, 26, 52)), (0.15, (14, 16, 34)), (1, (8, 8, 18))], y0, y1), body)
    # Gilded double border.
    outer = shape_mask((W, H), lambda d, s: d.rounded_rectangle(
        ((x0 + 3) * s, (y0 + 3) * s, (x1 - 3) * s, (y1 - 3) * s), radius=16 * s, outline=255, width=int(2.2 * s)))
    inner = shape_mask((W, H), lambda d, s: d.rounded_rectangle(
        ((x0 + 9) * s, (y0 + 9) * s, (x1 - 9) * s, (y1 - 9) * s), radius=11 * s, outline=255, width=int(1.0 * s)))
    gold = vgrad((W, H), [(0, (255, 226, 150)), (0.5, (196, 140, 58)), (1, (120, 76, 30))], y0, y1)
    over(c, gold, outer)
    over(c, gold, inner, 0.7)
    # Corner ornaments: small gilded diamonds.
    for (cx, cy) in [(x0 + 6, y0 + 6), (x1 - 6, y0 + 6), (x0 + 6, y1 - 6), (x1 - 6, y1 - 6)]:
        dm = poly_mask((W, H), [[(cx, cy - 9), (cx + 9, cy), (cx, cy + 9), (cx - 9, cy)]])
        over(c, gold, dm)
        add_light(c, (120, 90, 40), radial_mask((W, H), (cx, cy), 2, 16), 0.8)
    # Divider under the caption row.
    div = shape_mask((W, H), lambda d, s: d.line(((x0 + 24) * s, 362 * s, (x1 - 24) * s, 362 * s), fill=255, width=s))
    over(c, hgrad((W, H), [(0, (80, 60, 30)), (0.5, (240, 200, 120)), (1, (80, 60, 30))], x0, x1), div)
    # The panel the browser covers: opaque, dark, with a thin inner line.
    px, py, pw, ph = PANEL
    panel = Image.new("L", (W, H), 0)
    ImageDraw.Draw(panel).rectangle((px - 2, py - 2, px + pw + 1, py + ph + 1), fill=255)
    over(c, (70, 56, 34), panel)
    ImageDraw.Draw(panel).rectangle((px - 2, py - 2, px + pw + 1, py + ph + 1), fill=0)
    ImageDraw.Draw(panel).rectangle((px - 1, py - 1, px + pw, py + ph), fill=255)
    over(c, vgrad((W, H), [(0, (12, 14, 26)), (1, (6, 6, 12))], py, py + ph), panel)
    fnt = font(CJK_FONT, 18)
    over(c, (70, 76, 110), text_mask((W, H), (px + pw / 2, py + ph / 2), "正在连接服务器……", fnt))


def eave_and_strings(c):
    """A carved eave beam at the top right from which the two lanterns hang."""
    beam = path(((880, 222), (960, 206), (1060, 204), (1140, 214)),
                ((1140, 214), (1160, 216), (1170, 206), (1178, 196)),
                ((1178, 196), (1176, 212), (1168, 226), (1142, 230)),
                ((1142, 230), (1060, 222), (960, 224), (880, 238)),
                ((880, 238), (872, 239), (868, 236), (866, 230)))
    m = poly_mask((W, H), [beam])
    over(c, (0, 0, 0), m.filter(ImageFilter.GaussianBlur(6)), 0.6)
    over(c, vgrad((W, H), [(0, (120, 64, 40)), (0.5, (70, 34, 22)), (1, (34, 16, 12))], 196, 240), m)
    top = shape_mask((W, H), lambda d, s: d.line([(x * s, y * s) for x, y in bezier((884, 221), (960, 207), (1060, 205), (1140, 215))],
                                                  fill=255, width=int(1.5 * s)))
    over(c, (240, 190, 110), top, 0.9)
    for (x, y) in [(886, 230), (1174, 202)]:
        over(c, (230, 180, 90), radial_mask((W, H), (x, y), 4, 2))
    for (x, ytop, ybot) in [(990, 220, 242), (1044, 218, 252)]:
        s = shape_mask((W, H), lambda d, k: d.line((x * k, ytop * k, x * k, ybot * k), fill=255, width=int(1.4 * k)))
        over(c, (150, 110, 60), s)


def figure(c):
    """The swordsman on the left: cloak, robe, armour and a glowing raised sword, lit from behind by the moon."""
    fig = Image.new("L", (W, H), 0)  # silhouette, for the rim light and the window shape

    def part(points_list, fill, rim=None):
        m = poly_mask((W, H), points_list)
        over(c, fill, m)
        nonlocal fig
        fig = mask_max(fig, m)
        return m

    # Cloak, billowing back to the left.
    cloak = path(((176, 300), (120, 330), (70, 420), (52, 520)),
                 ((52, 520), (36, 610), (60, 700), (30, 790)),
                 ((30, 790), (70, 800), (90, 830), (130, 876)),
                 ((130, 876), (200, 860), (250, 870), (300, 876)),
                 ((300, 876), (296, 700), (290, 500), (282, 304)))
    cm = part([cloak], vgrad((W, H), [(0, (150, 26, 40)), (0.45, (100, 14, 30)), (1, (36, 6, 14))], 290, 877))
    # Folds: darker streaks inside the cloak.
    folds = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(folds)
    for pts in [((150, 330), (110, 520), (100, 700), (90, 860)), ((190, 340), (160, 520), (170, 700), (180, 870)),
                ((130, 360), (80, 500), (70, 640), (60, 760))]:
        d.line(bezier(*pts), fill=255, width=10)
    over(c, (30, 2, 10), mask_mul(folds.filter(ImageFilter.GaussianBlur(7)), cm), 0.6)
    # Lower robe.
    robe = path(((196, 448), (180, 600), (170, 760), (160, 876)),
                ((160, 876), (220, 870), (300, 870), (356, 876)),
                ((356, 876), (330, 740), (300, 600), (272, 448)))
    rm = part([robe], vgrad((W, H), [(0, (40, 52, 92)), (0.6, (22, 28, 56)), (1, (10, 12, 26))], 448, 877))
    hem = shape_mask((W, H), lambda d, s: d.line([(x * s, y * s) for x, y in bezier((200, 470), (210, 620), (230, 760), (250, 876))],
                                                 fill=255, width=3 * s))
    over(c, (210, 160, 80), mask_mul(hem, rm), 0.85)
    # Torso armour.
    torso = [(172, 300), (286, 302), (276, 380), (268, 452), (198, 452), (186, 380)]
    tm = part([torso], vgrad((W, H), [(0, (92, 104, 140)), (0.5, (52, 60, 92)), (1, (28, 32, 56))], 300, 452))
    plate = shape_mask((W, H), lambda d, s: [d.line(((182 + i * 2) * s, (330 + i * 28) * s, (280 - i * 2) * s, (330 + i * 28) * s),
                                                    fill=255, width=2 * s) for i in range(4)])
    over(c, (200, 168, 100), mask_mul(plate, tm), 0.7)
    # Belt.
    belt = [(194, 436), (272, 436), (274, 456), (192, 456)]
    part([belt], vgrad((W, H), [(0, (230, 186, 100)), (1, (120, 80, 30))], 436, 456))
    # Pauldrons.
    for cx in (176, 284):
        pm = shape_mask((W, H), lambda d, s: d.ellipse(((cx - 24) * s, 290 * s, (cx + 24) * s, 326 * s), fill=255))
        over(c, radial((W, H), (cx - 6, 298), 30, [(0, (190, 196, 220)), (0.5, (90, 100, 136)), (1, (40, 44, 70))]), pm)
        fig = mask_max(fig, pm)
    # Neck and head.
    part([[(212, 276), (238, 276), (240, 300), (210, 300)]], (190, 150, 128))
    hm = shape_mask((W, H), lambda d, s: d.ellipse((198 * s, 214 * s, 250 * s, 284 * s), fill=255))
    over(c, radial((W, H), (246, 246), 46, [(0, (228, 184, 156)), (0.55, (170, 122, 104)), (1, (70, 46, 50))]), hm)
    fig = mask_max(fig, hm)
    brow = shape_mask((W, H), lambda d, s: d.line([(x * s, y * s) for x, y in [(232, 244), (244, 243)]], fill=255, width=int(1.6 * s)))
    over(c, (60, 36, 36), brow, 0.8)
    eye = shape_mask((W, H), lambda d, s: d.line([(x * s, y * s) for x, y in [(234, 251), (243, 250)]], fill=255, width=int(1.4 * s)))
    over(c, (40, 24, 28), eye, 0.9)
    fringe = path(((250, 232), (240, 226), (222, 224), (204, 240)),
                  ((204, 240), (214, 238), (222, 236), (230, 246)),
                  ((230, 246), (234, 238), (242, 236), (250, 240)))
    over(c, (26, 22, 34), poly_mask((W, H), [fringe]))
    # Hair: dark, flowing back over the cloak.
    hair = path(((246, 226), (232, 200), (196, 200), (188, 236)),
                ((188, 236), (170, 270), (150, 300), (110, 330)),
                ((110, 330), (140, 330), (160, 318), (176, 306)),
                ((176, 306), (150, 350), (120, 372), (92, 388)),
                ((92, 388), (150, 380), (190, 340), (206, 290)),
                ((206, 290), (206, 260), (214, 240), (246, 234)))
    part([hair], vgrad((W, H), [(0, (40, 36, 52)), (1, (14, 12, 20))], 200, 390))
    band = shape_mask((W, H), lambda d, s: d.line([(x * s, y * s) for x, y in bezier((196, 230), (210, 218), (230, 216), (246, 228))],
                                                  fill=255, width=3 * s))
    over(c, (200, 40, 50), band)
    # Arms reaching to the hilt in front of the chest.
    part([[(268, 306), (300, 318), (306, 400), (300, 452), (282, 452), (284, 400), (270, 340)]],
         vgrad((W, H), [(0, (80, 90, 126)), (1, (30, 34, 60))], 306, 452))
    part([[(186, 314), (210, 320), (250, 410), (290, 452), (276, 462), (226, 420)]],
         vgrad((W, H), [(0, (70, 80, 116)), (1, (28, 30, 54))], 314, 462))
    hands = shape_mask((W, H), lambda d, s: d.ellipse((278 * s, 440 * s, 306 * s, 470 * s), fill=255))
    over(c, (200, 150, 124), hands)
    # Sword: raised upright, blade glowing.
    tip, guard = (326, 118), (294, 440)
    ang = math.atan2(guard[1] - tip[1], guard[0] - tip[0])
    nx, ny = -math.sin(ang), math.cos(ang)
    half = 7
    blade = [tip, (guard[0] + nx * half, guard[1] + ny * half), (guard[0] - nx * half, guard[1] - ny * half)]
    bm = poly_mask((W, H), [blade])
    glow = bm.filter(ImageFilter.MaxFilter(9)).filter(ImageFilter.GaussianBlur(16))
    add_light(c, (90, 150, 255), glow, 0.9)
    over(c, hgrad((W, H), [(0, (150, 170, 210)), (0.5, (250, 252, 255)), (1, (120, 140, 190))], 287, 302), bm)
    edge = poly_mask((W, H), [[tip, guard, (guard[0] - nx * 1.2, guard[1] - ny * 1.2)]])
    over(c, (255, 255, 255), edge)
    fig = mask_max(fig, bm)
    gm = poly_mask((W, H), [[(262, 434), (328, 442), (326, 452), (260, 446)]])
    over(c, vgrad((W, H), [(0, (255, 220, 130)), (1, (140, 90, 30))], 434, 452), gm)
    grip = poly_mask((W, H), [[(286, 450), (298, 451), (296, 494), (284, 493)]])
    over(c, (70, 30, 20), grip)
    over(c, (230, 180, 90), radial_mask((W, H), (290, 498), 5, 2))
    fig = mask_max(fig, mask_max(gm, grip))
    # Rim light where the moon meets the silhouette.
    rim = ImageChops.subtract(fig, fig.transform((W, H), Image.AFFINE, (1, 0, -3, 0, 1, -2)))
    moonlit = radial_mask((W, H), (235, 235), 60, 260)
    add_light(c, (170, 190, 255), mask_mul(rim.filter(ImageFilter.GaussianBlur(1.2)), moonlit), 0.9)
    # Sparks around the blade.
    rng = random.Random(7)
    sp = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(sp)
    for _ in range(40):
        t = rng.uniform(0.05, 0.9)
        x = lerp(tip[0], guard[0], t) + rng.gauss(0, 22)
        y = lerp(tip[1], guard[1], t) + rng.gauss(0, 10)
        r = rng.uniform(0.7, 1.8)
        d.ellipse((x - r, y - r, x + r, y + r), fill=rng.randint(120, 255))
    add_light(c, (160, 200, 255), sp.filter(ImageFilter.GaussianBlur(0.8)), 1.0)
    return fig


def logo(c):
    fnt = font(SERIF_BOLD, 104)
    cx, cy = 700, 182
    m = text_mask((W, H), (cx, cy), "Velmora", fnt)
    outline = text_mask((W, H), (cx, cy), "Velmora", fnt, stroke=5)
    add_light(c, (255, 150, 50), outline.filter(ImageFilter.GaussianBlur(16)), 0.75)
    over(c, (0, 0, 0), outline.filter(ImageFilter.GaussianBlur(3)).transform((W, H), Image.AFFINE, (1, 0, -3, 0, 1, -5)), 0.7)
    over(c, vgrad((W, H), [(0, (110, 50, 16)), (1, (46, 18, 6))], cy - 55, cy + 50), outline)
    over(c, vgrad((W, H), [(0, (255, 252, 220)), (0.42, (252, 214, 110)), (0.55, (214, 146, 42)), (1, (150, 84, 20))],
                   cy - 48, cy + 42), m)
    # Bevel: a bright edge where the letters face up.
    upper = ImageChops.subtract(m, m.transform((W, H), Image.AFFINE, (1, 0, 0, 0, 1, -2)))
    add_light(c, (255, 255, 230), upper, 0.55)
    # A glint on the V.
    add_light(c, (255, 250, 220), radial_mask((W, H), (523, 140), 2, 18), 0.9)
    star = shape_mask((W, H), lambda d, s: [d.line(((523 - 24) * s, 140 * s, (523 + 24) * s, 140 * s), fill=255, width=s),
                                            d.line((523 * s, (140 - 18) * s, 523 * s, (140 + 18) * s), fill=255, width=s)])
    add_light(c, (255, 240, 200), star.filter(ImageFilter.GaussianBlur(0.7)), 0.8)
    # Chinese title with flourishes.
    sub = font(CJK_FONT, 26)
    sm = text_mask((W, H), (cx, 264), "维尔莫拉", sub, spacing=18)
    over(c, (0, 0, 0), sm.filter(ImageFilter.GaussianBlur(2)), 0.8)
    over(c, vgrad((W, H), [(0, (255, 240, 200)), (1, (210, 160, 80))], 250, 278), sm)
    for side in (-1, 1):
        x0, x1 = cx + side * 92, cx + side * 230
        ln = shape_mask((W, H), lambda d, s: d.line((x0 * s, 264 * s, x1 * s, 264 * s), fill=255, width=int(1.4 * s)))
        over(c, hgrad((W, H), [(0, (230, 190, 110)), (1, (230, 190, 110))]), mask_mul(ln, hgrad((W, H), [(0, (255,) * 3), (1, (0,) * 3)], x0, x1).convert("L") if side > 0 else hgrad((W, H), [(0, (0,) * 3), (1, (255,) * 3)], x1, x0).convert("L")))
        dm = poly_mask((W, H), [[(x0 - side * 6, 258), (x0, 264), (x0 - side * 6, 270), (x0 - side * 12, 264)]])
        over(c, (240, 200, 120), dm)


def caption_plate(c, x, y, w, h, caption, hover):
    """A dark blue plate with gilded edge and the caption; the hover state is lighter and glows."""
    l, t, r, b = x + 7, y + 6, x + w - 7, y + h - 6
    k = 9  # chamfer
    pts = [(l + k, t), (r - k, t), (r, t + k), (r, b - k), (r - k, b), (l + k, b), (l, b - k), (l, t + k)]
    m = poly_mask((W, H), [pts])
    if hover:
        add_light(c, (80, 150, 255), m.filter(ImageFilter.MaxFilter(3)).filter(ImageFilter.GaussianBlur(3)), 0.8)
    else:
        over(c, (0, 0, 0), m.filter(ImageFilter.GaussianBlur(3)).transform((W, H), Image.AFFINE, (1, 0, 0, 0, 1, -2)), 0.8)
    fill = [(0, (58, 98, 178)), (0.5, (34, 62, 130)), (1, (20, 36, 86))] if hover else \
           [(0, (34, 56, 112)), (0.5, (18, 32, 74)), (1, (10, 18, 44))]
    over(c, vgrad((W, H), fill, t, b), m)
    # Sheen on the upper half.
    sheen = poly_mask((W, H), [[(l + k, t + 1), (r - k, t + 1), (r - 2, t + k - 1), (r - 2, (t + b) / 2), (l + 2, (t + b) / 2), (l + 2, t + k - 1)]])
    over(c, (255, 255, 255), sheen, 0.10 if hover else 0.06)
    border = shape_mask((W, H), lambda d, s: d.polygon([(px * s, py * s) for px, py in pts], outline=255, width=int(1.6 * s)))
    gold = vgrad((W, H), [(0, (255, 236, 170)), (0.5, (214, 160, 70)), (1, (150, 100, 40))], t, b)
    over(c, gold, border)
    for (dx, dy) in [(l + 3, (t + b) / 2), (r - 3, (t + b) / 2)]:
        over(c, gold, poly_mask((W, H), [[(dx, dy - 4), (dx + 3, dy), (dx, dy + 4), (dx - 3, dy)]]))
    fnt = font(CJK_FONT, 21)
    cx, cy = (l + r) / 2, (t + b) / 2
    tm = text_mask((W, H), (cx, cy), caption, fnt, spacing=4)
    over(c, (0, 0, 0), tm.filter(ImageFilter.GaussianBlur(1.5)).transform((W, H), Image.AFFINE, (1, 0, -1, 0, 1, -1)), 0.9)
    txt = [(0, (255, 255, 240)), (1, (255, 220, 140))] if hover else [(0, (255, 244, 210)), (1, (224, 176, 92))]
    over(c, vgrad((W, H), txt, cy - 11, cy + 11), tm)
    if hover:
        add_light(c, (120, 90, 40), tm.filter(ImageFilter.GaussianBlur(4)), 0.6)
    return m


def lantern(c, x, y, w, h, mark, hover):
    """A red paper lantern with gilded caps; `mark` is "dash" (minimise) or "cross" (close)."""
    cx = x + w / 2
    if mark == "dash":
        cap_t, body_t, body_b, cap_b, tassel = y + 3, y + 9, y + 50, y + 56, None
        bw = 25
    else:
        cap_t, body_t, body_b, cap_b, tassel = y + 2, y + 9, y + 55, y + 61, y + 78
        bw = 22
    body_mid = (body_t + body_b) / 2
    glow_col = (255, 140, 60)
    body = shape_mask((W, H), lambda d, s: d.ellipse(((cx - bw) * s, body_t * s, (cx + bw) * s, body_b * s), fill=255))
    shape = body
    add_light(c, glow_col, body.filter(ImageFilter.MaxFilter(3)).filter(ImageFilter.GaussianBlur(4 if hover else 3)),
              0.9 if hover else 0.45)
    stops = [(0, (255, 236, 150)), (0.35, (255, 120, 50)), (0.8, (200, 30, 24)), (1, (110, 10, 12))] if hover else \
            [(0, (255, 170, 90)), (0.35, (226, 70, 36)), (0.8, (156, 18, 20)), (1, (80, 6, 10))]
    over(c, radial((W, H), (cx - 3, body_mid - 4), bw * 1.15, stops, (body_b - body_t) / (2 * bw)), body)
    # Ribs of the lantern frame.
    ribs = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(ribs)
    for f in (-0.62, -0.3, 0.3, 0.62):
        ex = bw * abs(f)
        d.arc((cx - ex, body_t, cx + ex, body_b), 90 if f < 0 else 270, 270 if f < 0 else 90, fill=255, width=1)
    over(c, (120, 20, 14) if not hover else (170, 60, 30), mask_mul(ribs.filter(ImageFilter.GaussianBlur(0.5)), body), 0.7)
    # Caps.
    capw = bw * 0.62
    for (t0, t1) in [(cap_t, body_t + 2), (body_b - 2, cap_b)]:
        cm = shape_mask((W, H), lambda d, s: d.rounded_rectangle(((cx - capw) * s, t0 * s, (cx + capw) * s, t1 * s), radius=2 * s, fill=255))
        over(c, vgrad((W, H), [(0, (255, 226, 140)), (0.5, (200, 140, 50)), (1, (110, 66, 20))], t0, t1), cm)
        shape = mask_max(shape, cm)
    if tassel:
        tm = poly_mask((W, H), [[(cx - 2, cap_b), (cx + 2, cap_b), (cx + 2, cap_b + 4), (cx + 6, tassel), (cx - 6, tassel), (cx - 2, cap_b + 4)]])
        over(c, vgrad((W, H), [(0, (220, 60, 40)), (1, (120, 16, 16))], cap_b, tassel), tm)
        knot = radial_mask((W, H), (cx, cap_b + 3), 2.5, 1.5)
        over(c, (240, 190, 90), knot)
        shape = mask_max(shape, tm)
    # The mark, in pale gold with a dark edge.
    if mark == "dash":
        mk = shape_mask((W, H), lambda d, s: d.rounded_rectangle(((cx - 10) * s, (body_mid - 2.5) * s, (cx + 10) * s, (body_mid + 2.5) * s),
                                                                 radius=2 * s, fill=255))
    else:
        a = 9
        mk = shape_mask((W, H), lambda d, s: [d.line(((cx - a) * s, (body_mid - a) * s, (cx + a) * s, (body_mid + a) * s), fill=255, width=int(4.5 * s)),
                                              d.line(((cx - a) * s, (body_mid + a) * s, (cx + a) * s, (body_mid - a) * s), fill=255, width=int(4.5 * s))])
    over(c, (80, 10, 8), mk.filter(ImageFilter.MaxFilter(3)).filter(ImageFilter.GaussianBlur(0.8)), 0.8)
    over(c, (255, 250, 220) if hover else (255, 232, 170), mk)
    return shape


def authorised_tag(c):
    x0, x1, t, b = 1024, 1058, 384, 606
    pts = [(x0, t), (x1, t), (x1, b), ((x0 + x1) / 2, b - 14), (x0, b)]
    m = poly_mask((W, H), [pts])
    over(c, (0, 0, 0), m.filter(ImageFilter.GaussianBlur(5)).transform((W, H), Image.AFFINE, (1, 0, -3, 0, 1, -3)), 0.7)
    over(c, hgrad((W, H), [(0, (120, 14, 20)), (0.45, (186, 34, 36)), (1, (100, 10, 16))], x0, x1), m)
    border = shape_mask((W, H), lambda d, s: d.line([(px * s, py * s) for px, py in pts + [pts[0]]], fill=255, width=int(1.5 * s)))
    over(c, (236, 190, 100), border)
    inner = shape_mask((W, H), lambda d, s: d.line([((x0 + 4) * s, (t + 4) * s), ((x0 + 4) * s, (b - 10) * s)], fill=255, width=s))
    over(c, (236, 190, 100), inner, 0.5)
    inner = shape_mask((W, H), lambda d, s: d.line([((x1 - 4) * s, (t + 4) * s), ((x1 - 4) * s, (b - 10) * s)], fill=255, width=s))
    over(c, (236, 190, 100), inner, 0.5)
    fnt = font(CJK_FONT, 19)
    tm = Image.new("L", (W, H), 0)
    for i, ch in enumerate("官方授权微端"):
        tm = mask_max(tm, text_mask((W, H), ((x0 + x1) / 2, t + 26 + i * 29), ch, fnt))
    over(c, (60, 0, 0), tm.filter(ImageFilter.GaussianBlur(1.2)), 0.9)
    over(c, vgrad((W, H), [(0, (255, 246, 210)), (1, (246, 200, 110))], t, b), tm)


def notice(c):
    fnt = font(CJK_FONT, 14)
    for i, line in enumerate(["抵制不良游戏，拒绝盗版游戏。注意自我保护，谨防受骗上当。",
                              "适度游戏益脑，沉迷游戏伤身。合理安排时间，享受健康生活。"]):
        tm = text_mask((W, H), (692, 768 + i * 22), line, fnt, spacing=1)
        over(c, (0, 0, 0), tm.filter(ImageFilter.GaussianBlur(1.5)), 0.9)
        over(c, (206, 196, 176), tm)


def window_shape(fig, rng):
    """Alpha of the launcher: a soft, irregular body joined with the swordsman's silhouette."""
    core = shape_mask((W, H), lambda d, s: d.rounded_rectangle((150 * s, 100 * s, 1180 * s, 812 * s), radius=150 * s, fill=255), ss=1)
    logo_cloud = radial_mask((W, H), (700, 170), 170, 10, 0.45)
    core = mask_max(core, logo_cloud)
    core = mask_max(core, radial_mask((W, H), (250, 235), 96, 30))
    soft = core.filter(ImageFilter.GaussianBlur(34))
    noise = value_noise((W, H), 46, rng)
    fine = value_noise((W, H), 14, rng)
    # alpha = soft + noise, then a contrast curve: the inside saturates, the edge becomes ragged mist.
    combined = Image.merge("RGB", (soft, noise, fine))
    px = combined.load()
    out = Image.new("L", (W, H))
    op = out.load()
    for yy in range(H):
        for xx in range(W):
            s, n, f = px[xx, yy]
            v = s / 255.0 + (n - 128) / 255.0 * 0.55 + (f - 128) / 255.0 * 0.18
            op[xx, yy] = int(255 * smooth((v - 0.30) / 0.45))
    # The swordsman stands out of the mist; his feet fade into it.
    fade = vgrad((W, H), [(0, (255,) * 3), (0.82, (255,) * 3), (1, (0,) * 3)]).convert("L")
    figure_alpha = mask_mul(fig.filter(ImageFilter.GaussianBlur(0.6)), fade)
    halo = mask_mul(fig.filter(ImageFilter.MaxFilter(9)).filter(ImageFilter.GaussianBlur(10)), fade)
    # The board and the notice under it stay solid whatever the noise does.
    solid = shape_mask((W, H), lambda d, s: d.rounded_rectangle((320 * s, 190 * s, 1100 * s, 806 * s), radius=110 * s, fill=255), ss=1)
    out = mask_max(out, solid.filter(ImageFilter.GaussianBlur(26)).point(lambda v: min(255, int(v * 1.7))))
    return mask_max(out, mask_max(figure_alpha, scale_mask(halo, 0.5)))


def opaque_zones():
    """Rectangles that must be fully opaque: everything a button or the browser covers."""
    zones = [(x, y, x + w, y + h) for (_, _, x, y, w, h, _) in CAPTIONS]
    zones.append((962, 237, 962 + 62, 237 + 61))
    zones.append((1018, 249, 1018 + 58, 249 + 88))
    px, py, pw, ph = PANEL
    zones.append((px, py, px + pw, py + ph))
    return zones


# ---------------------------------------------------------------------------------------------- buttons

def button_image(base_rgb, layer_mask, box, keep_alpha=True):
    """Crop of `base_rgb` at `box`; alpha 255 where the button's own artwork is, else 0 (hard edges)."""
    rgb = base_rgb.crop(box)
    if not keep_alpha:
        return rgb
    a = layer_mask.crop(box).point(lambda v: 255 if v > 3 else 0)
    img = rgb.convert("RGBA")
    img.putalpha(a)
    return img


def render_all():
    rng = random.Random(20240611)
    scene = sky_and_land(rng)
    fig = figure(scene)
    eave_and_strings(scene)
    logo(scene)
    frame_board(scene)
    authorised_tag(scene)
    notice(scene)
    base = scene.copy()  # without the buttons: what hover images are rendered over

    normal = scene
    masks = {}
    for (nid, hid, x, y, w, h, cap) in CAPTIONS:
        masks[nid] = caption_plate(normal, x, y, w, h, cap, False)
    masks[MINIMISE[0]] = lantern(normal, *MINIMISE[2:], "dash", False)
    masks[CLOSE[0]] = lantern(normal, *CLOSE[2:], "cross", False)

    alpha = window_shape(fig, rng)
    for box in opaque_zones():
        alpha.paste(255, box)
    bg = normal.convert("RGB")
    out = {}
    img158 = bg.copy()
    img158.putalpha(alpha)
    # Fully transparent pixels carry black, not stray colour.
    black = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    img158 = Image.composite(img158, black, alpha.point(lambda v: 255 if v else 0))
    out[158] = img158

    def hover_of(draw):
        c = base.copy()
        m = draw(c)
        return c.convert("RGB"), m

    for (nid, hid, x, y, w, h, cap) in CAPTIONS:
        box = (x, y, x + w, y + h)
        glow_zone = masks[nid].filter(ImageFilter.MaxFilter(7))
        out[nid] = button_image(bg, masks[nid].filter(ImageFilter.MaxFilter(3)), box)
        hrgb, hm = hover_of(lambda c: caption_plate(c, x, y, w, h, cap, True))
        out[hid] = button_image(hrgb, glow_zone, box)
    nid, hid, x, y, w, h = MINIMISE
    box = (x, y, x + w, y + h)
    out[nid] = button_image(bg, masks[nid].filter(ImageFilter.MaxFilter(3)), box)
    hrgb, _ = hover_of(lambda c: lantern(c, x, y, w, h, "dash", True))
    out[hid] = button_image(hrgb, None, box, keep_alpha=False)  # no alpha: carries the background in its corners
    nid, hid, x, y, w, h = CLOSE
    box = (x, y, x + w, y + h)
    out[nid] = button_image(bg, masks[nid].filter(ImageFilter.MaxFilter(3)), box)
    hrgb, hm = hover_of(lambda c: lantern(c, x, y, w, h, "cross", True))
    out[hid] = button_image(hrgb, hm.filter(ImageFilter.MaxFilter(9)), box)
    return out, alpha


# ------------------------------------------------------------------------------------------------- icon

def make_icon():
    s = 4
    n = 48 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    disc = Image.new("L", (n, n), 0)
    ImageDraw.Draw(disc).ellipse((2 * s, 2 * s, n - 2 * s, n - 2 * s), fill=255)
    over(img, radial((n, n), (n * 0.42, n * 0.38), n * 0.62, [(0, (70, 100, 190)), (0.6, (24, 38, 96)), (1, (8, 12, 40))]), disc)
    ring = Image.new("L", (n, n), 0)
    ImageDraw.Draw(ring).ellipse((3 * s, 3 * s, n - 3 * s, n - 3 * s), outline=255, width=int(2.6 * s))
    over(img, vgrad((n, n), [(0, (255, 236, 160)), (0.5, (214, 150, 50)), (1, (130, 80, 24))]), ring)
    fnt = font(SERIF_BOLD, 30 * s)
    tm = text_mask((n, n), (n / 2, n / 2 + 1.5 * s), "V", fnt)
    om = text_mask((n, n), (n / 2, n / 2 + 1.5 * s), "V", fnt, stroke=int(1.5 * s))
    over(img, (40, 16, 4), om)
    over(img, vgrad((n, n), [(0, (255, 250, 220)), (0.5, (250, 200, 90)), (1, (170, 100, 24))], 10 * s, 40 * s), tm)
    return img.resize((48, 48), Image.LANCZOS)


def write_ico(img, path_):
    """One 48 x 48 32-bit DIB entry (alpha in the colour bits, plus the AND mask)."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    stride = ((w + 31) // 32) * 4
    andmask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    data = header + bytes(xor) + bytes(andmask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), 6 + 16)
    with open(path_, "wb") as f:
        f.write(icondir + entry + data)


# ------------------------------------------------------------------------------------------ data files

SETTINGS_TAGS = ["MFCButton_Style", "MFCButton_Autosize", "MFCButton_Tooltip", "MFCButton_FullTextTool",
                 "MFCButton_CursorType", "MFCButton_ImageType", "MFCButton_ImageOnTop", "MFCButton_ImageOnRight"]


def button_settings(image_type, full_text_tool):
    values = ["6", "FALSE", "", "TRUE" if full_text_tool else "FALSE", "12", str(image_type), "FALSE", "FALSE"]
    return "".join("<%s>%s</%s>" % (t, v, t) for t, v in zip(SETTINGS_TAGS, values)).encode("ascii")


def dialog_init_103():
    WM_OCC_LOADFROMSTREAM, WM_MFC_INITCTRL = 0x0376, 0x037C
    # The browser's initial state in our own layout: its extent (HIMETRIC) and nothing else set.
    browser_state = struct.pack("<ii", 1482, 794) + bytes(152)
    records = [(1005, WM_OCC_LOADFROMSTREAM, browser_state),
               (1006, WM_MFC_INITCTRL, button_settings(10, False)),
               (1004, WM_MFC_INITCTRL, button_settings(10, False)),
               (1008, WM_MFC_INITCTRL, button_settings(8, False)),
               (1009, WM_MFC_INITCTRL, button_settings(10, False)),
               (1010, WM_MFC_INITCTRL, button_settings(10, False)),
               (1012, WM_MFC_INITCTRL, button_settings(8, True))]
    out = bytearray()
    for cid, msg, data in records:
        out += struct.pack("<HHI", cid, msg, len(data)) + data
    out += struct.pack("<H", 0)
    lengths = [len(d) for _, _, d in records]
    assert lengths == [160, 371, 371, 370, 371, 371, 369], lengths
    return bytes(out)


def dialog_template_103():
    """The launcher companion's template (DLGTEMPLATEEX), written here rather than by the resource compiler,
    which would store the image buttons' class name "MfcButton" in capitals."""
    WS_POPUP, WS_CHILD, WS_VISIBLE, WS_TABSTOP = 0x80000000, 0x40000000, 0x10000000, 0x00010000
    DS_SETFONT, WS_EX_TRANSPARENT = 0x40, 0x20
    BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_BITMAP, BS_VCENTER = 0, 1, 0x80, 0xC00
    BUTTON = 0x0080  # the predefined button class, as an ordinal
    BROWSER = "{8856F961-340A-11D0-A96B-00C04FD705A2}"

    def text(value):
        if isinstance(value, int):
            return struct.pack("<HH", 0xFFFF, value)
        return value.encode("utf-16-le") + b"\0\0"

    # The positions are placeholders: the buttons and the browser are placed in pixels at initialisation.
    # The two hidden push buttons (104, 105) are not visible; 1006 is the template's default button.
    items = [
        (104, BUTTON, "官方网站", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_BITMAP | BS_VCENTER, 0, (3, 1, 55, 17)),
        (1005, BROWSER, "", WS_CHILD | WS_VISIBLE, 0, (141, 108, 37, 20)),
        (1006, "MfcButton", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, WS_EX_TRANSPARENT, (201, 113, 57, 13)),
        (1004, "MfcButton", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, (531, 61, 16, 16)),
        (1008, "MfcButton", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, (274, 110, 50, 14)),
        (1009, "MfcButton", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, (425, 114, 50, 14)),
        (1010, "MfcButton", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, (524, 114, 50, 14)),
        (105, BUTTON, "", WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, (62, 3, 50, 14)),
        (1012, "MfcButton", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, (137, 155, 50, 14)),
    ]
    out = bytearray(struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, 0, WS_POPUP | DS_SETFONT, len(items), 0, 0, 662, 388))
    out += text("") + text("") + text("")  # no menu, the default class, no title
    out += struct.pack("<HHBB", 9, 0, 0, 0) + text("MS Sans Serif")
    for cid, cls, title, style, exstyle, (x, y, cx, cy) in items:
        out += bytes(-len(out) % 4)
        out += struct.pack("<IIIhhhhI", 0, exstyle, style, x, y, cx, cy, cid) + text(cls) + text(title)
        out += struct.pack("<H", 0)  # no creation data
    return bytes(out)


PAGE_106 = ["<HTML>",
            '<meta http-equiv="Content-Type" content="text/html; charset=gb2312"/>',
            "<BODY ID=CZuGameDlg BGCOLOR=BLACK>",
            "",
            "<TABLE WIDTH=100%>",
            "<TR>",
            "<TD ALIGN=RIGHT>",
            "</TD>",
            "</TR>",
            "<TR WIDTH=100% HEIGHT=75>",
            "</TR>",
            "</TABLE>",
            "",
            "</BODY>",
            "</HTML>"]

MANIFEST = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowSettings>
  </application>
</assembly>
"""


def write(name, data):
    with open(os.path.join(RES, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(RES, exist_ok=True)
    write("dialog103.bin", dialog_template_103())
    write("dlginit103.bin", dialog_init_103())
    write("page106.htm", "\r\n".join(PAGE_106).encode("ascii"))
    write("Velmora.manifest", b"\xef\xbb\xbf" + MANIFEST.replace("\n", "\r\n").encode("utf-8"))
    if "--data-only" in sys.argv:
        return
    write_ico(make_icon(), os.path.join(RES, "Velmora.ico"))
    images, _ = render_all()
    for rid, img in sorted(images.items()):
        no_key_green(img)
        img.save(os.path.join(RES, "%d.png" % rid), optimize=True)
    preview_dir = os.path.join(ROOT, "build")
    os.makedirs(preview_dir, exist_ok=True)
    comp = images[158].copy()
    for (nid, hid, x, y, w, h, cap) in CAPTIONS:
        comp.alpha_composite(images[nid].convert("RGBA"), (x, y))
    comp.alpha_composite(images[MINIMISE[0]].convert("RGBA"), MINIMISE[2:4])
    comp.alpha_composite(images[CLOSE[0]].convert("RGBA"), CLOSE[2:4])
    for name, bgc in [("preview_dark.png", (40, 40, 40, 255)), ("preview_light.png", (225, 225, 225, 255))]:
        bgimg = Image.new("RGBA", (W, H), bgc)
        bgimg.alpha_composite(comp)
        bgimg.convert("RGB").save(os.path.join(preview_dir, name))
    hov = images[158].copy()
    for (nid, hid, x, y, w, h, cap) in CAPTIONS:
        hov.alpha_composite(images[hid].convert("RGBA"), (x, y))
    hov.alpha_composite(images[MINIMISE[1]].convert("RGBA"), MINIMISE[2:4])
    hov.alpha_composite(images[CLOSE[1]].convert("RGBA"), CLOSE[2:4])
    bgimg = Image.new("RGBA", (W, H), (40, 40, 40, 255))
    bgimg.alpha_composite(hov)
    bgimg.convert("RGB").save(os.path.join(preview_dir, "preview_hover.png"))


if __name__ == "__main__":
    main()
