# Writes Orbelt's small action icons as RGBA PNGs (no imaging library needed): refresh, favourites and
# move arrows, drawn in one dark slate blue that reads on light and on selected backgrounds alike.
import math, sys, os
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngdraw import png as write_png, smooth as smooth_parts
out = sys.argv[1]
def png(path, w, h, px): write_png(os.path.join(out, path), w, h, px)
INK = (44, 72, 104); STAR = (230, 160, 20); PLUS = (40, 140, 60); MINUS = (190, 40, 40)
def smooth(glyph, n):
    # the glyphs here name their colour directly
    return smooth_parts(glyph, n, lambda colour: colour + (255,))
def star(u, v, cx=.4, cy=.42, r=.36):
    a = math.atan2(v - cy, u - cx) + math.pi / 2
    d = math.hypot(u - cx, v - cy)
    k = (a % (2 * math.pi / 5)) / (2 * math.pi / 5)
    # the outline alternates between the outer points and the inner corners
    edge = r * .45 + (r - r * .45) * abs(1 - 2 * k) ** 1.6
    return d <= edge
def refresh(u, v):
    d = math.hypot(u - .5, v - .5)
    a = math.degrees(math.atan2(v - .5, u - .5)) % 360
    if .26 <= d <= .38 and not (300 <= a <= 350): return INK
    # arrow head at the open end of the ring, pointing along the turn
    hx, hy = .5 + .32 * math.cos(math.radians(300)), .5 + .32 * math.sin(math.radians(300))
    x, y = u - hx, v - hy
    tx, ty = math.cos(math.radians(30)), math.sin(math.radians(30))
    along = x * tx + y * ty
    across = -x * ty + y * tx
    if -.02 <= along <= .2 and abs(across) <= (.2 - along) * .9: return INK
    return None
def favourite(sign):
    def g(u, v):
        if sign == '+' and ((abs(u - .78) <= .06 and .58 <= v <= .94) or (abs(v - .76) <= .06 and .6 <= u <= .96)): return PLUS
        if sign == '-' and abs(v - .76) <= .06 and .6 <= u <= .96: return MINUS
        return STAR if star(u, v) else None
    return g
def arrow(up):
    def g(u, v):
        w = v if up else 1 - v
        if .12 <= w <= .5 and abs(u - .5) <= (w - .12) * 1.05: return INK
        if .5 <= w <= .88 and abs(u - .5) <= .1: return INK
        return None
    return g
for name, glyph in (('refresh.png', refresh), ('Favorite_plus.png', favourite('+')), ('Favorite_minus.png', favourite('-')),
                    ('Move_Up.png', arrow(True)), ('Move_Down.png', arrow(False))):
    png(name, 16, 16, smooth(glyph, 16))
