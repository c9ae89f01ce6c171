# Writes the program's simple icon images as RGBA PNGs (no imaging library needed).
import math, sys, os
# The PNG writer and the smoothing are Orbelt's, beside its own icon script.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '../../../../widgets/resources/Resources'))
from pngdraw import png as write_png, smooth
out = sys.argv[1]
def png(path, w, h, px): write_png(os.path.join(out, path), w, h, px)
BLUE=(0,69,124,255); GREY=(160,160,160,255); WHITE=(255,255,255,255); CLEAR=(0,0,0,0); RED=(200,30,30,255); LGREY=(211,211,211,255)
# Tool-bar icons: drawn for a dark blue tool bar (#00457C). The available ("on") state is white, the unavailable
# ("off") state a pale grey-blue; both stand out from the bar. Each glyph exists at 16 and 32 pixels, smoothed.
ON = (255, 255, 255, 255); OFF = (150, 172, 196, 255); RECORD_ON = (240, 64, 56, 255)
def ring(u, v, cx, cy, r0, r1): return r0 <= math.hypot(u - cx, v - cy) <= r1
def bar(u, v, x0, y0, x1, y1): return x0 <= u <= x1 and y0 <= v <= y1
def lens(inner):
    def g(u, v):
        if ring(u, v, .42, .42, .22, .31): return 'f'
        # the handle, a thick stroke from the ring down to the lower right corner
        d = abs((u - .42) - (v - .42)) / math.sqrt(2)
        if d <= .065 and .62 <= (u + v) / 2 <= .88: return 'f'
        return 'f' if inner(u - .42, v - .42) else None
    return g
GLYPHS = {
    'Stop': lambda u, v: 'f' if bar(u, v, .22, .22, .78, .78) else None,
    # points right: the tip is at the right edge of the triangle
    'Play': lambda u, v: 'f' if .27 <= u <= .8 and abs(v - .5) <= (.8 - u) * .62 else None,
    'Pause': lambda u, v: 'f' if bar(u, v, .24, .2, .42, .8) or bar(u, v, .58, .2, .76, .8) else None,
    'Record': lambda u, v: ('r' if math.hypot(u - .5, v - .5) <= .27 else 'f' if ring(u, v, .5, .5, .3, .38) else None),
    'Save': lambda u, v: ('f' if bar(u, v, .16, .16, .84, .84) and not (u + (.84 - v) > 1.5)
                          and not bar(u, v, .32, .16, .62, .38) and not bar(u, v, .28, .56, .72, .84)
                          else 'f' if bar(u, v, .34, .64, .66, .7) or bar(u, v, .34, .74, .66, .8) else None),
    'NiceImageIcon': lambda u, v: ('f' if math.hypot(u - .5, v - .5) <= .16 or
                                   (.25 <= math.hypot(u - .5, v - .5) <= .44 and
                                    min(abs(((math.degrees(math.atan2(v - .5, u - .5)) + 360) % 45) - d) for d in (0, 45)) <= 9)
                                   else None),
    'LupePlus': lens(lambda x, y: bar(x, y, -.13, -.035, .13, .035) or bar(x, y, -.035, -.13, .035, .13)),
    'LupeMinus': lens(lambda x, y: bar(x, y, -.13, -.035, .13, .035)),
    'LupeExpand': lens(lambda x, y: (bar(x, y, -.14, -.14, .14, .14) and not bar(x, y, -.085, -.085, .085, .085))
                       and not (abs(x) < .065 or abs(y) < .065)),
    'Lupe100': lens(lambda x, y: bar(x, y, -.13, -.13, -.07, .13) or bar(x, y, .07, -.13, .13, .13)
                    or bar(x, y, -.025, -.09, .025, -.04) or bar(x, y, -.025, .04, .025, .09)),
}
for name, glyph in GLYPHS.items():
    for n in (16, 32):
        on = lambda part: RECORD_ON if part == 'r' else ON
        off = lambda part: OFF
        png('%s_%dx%d.png' % (name, n, n), n, n, smooth(glyph, n, on))
        png('%s_%dx%d_grey.png' % (name, n, n), n, n, smooth(glyph, n, off))
for n in (256,128,64,48,32,24,16):
    png('Icon_%dx%d.png' % (n, n), n, n, lambda x, y, n=n: BLUE if math.hypot(x - n/2 + .5, y - n/2 + .5) <= n*0.45 else CLEAR)
png('burgermenue.png', 35, 35, lambda x, y: WHITE if 8 <= x <= 26 and y in (10,11,17,18,24,25) else CLEAR)
for name, c in (('record_14x14.png', RED), ('recordpaused_14x14.png', (230,150,0,255)), ('recordstopped_14x14.png', GREY)):
    png(name, 14, 14, lambda x, y, c=c: c if math.hypot(x - 6.5, y - 6.5) <= 5.5 else CLEAR)
for name, c in (('color-picker-cursor-grey.png', (128,128,128,255)), ('color-picker-cursor-black.png', (0,0,0,255))):
    png(name, 21, 21, lambda x, y, c=c: c if (abs(x - 10) <= 0 or abs(y - 10) <= 0) and math.hypot(x-10, y-10) >= 3 or 6 <= math.hypot(x-10,y-10) <= 7 else CLEAR)
# the logo painted beneath the image windows
png('logo.png', 240, 60, lambda x, y: BLUE if (6 <= y <= 54 and (x % 40) < 28 and ((x // 40) % 2 == 0 or y > 30)) else CLEAR)
s = os.path.join(out, 'Stylesheet')
def box(checked, col):
    return lambda x, y: col if (x in (1, 14) or y in (1, 14)) and 1 <= x <= 14 and 1 <= y <= 14 or (checked and 4 <= x <= 11 and 4 <= y <= 11) else CLEAR
def radio(checked, col):
    return lambda x, y: col if 5.5 <= math.hypot(x-7.5, y-7.5) <= 7 or (checked and math.hypot(x-7.5,y-7.5) <= 3.5) else CLEAR
def arrow(up, col, w=12, h=8):
    return lambda x, y: col if abs(x - (w-1)/2) <= (y if up else (h-1-y)) * (w/(2*h)) + 0.5 and 1 <= y <= h-2 else CLEAR
for suffix, col in (('', BLUE), ('_disabled', LGREY)):
    png('Stylesheet/ic_check_box_outline_blank%s.png' % suffix, 16, 16, box(False, col))
    png('Stylesheet/ic_check_box_checked%s.png' % suffix, 16, 16, box(True, col))
    png('Stylesheet/ic_radio_button_unchecked%s.png' % suffix, 16, 16, radio(False, col))
    png('Stylesheet/ic_radio_button_checked%s.png' % suffix, 16, 16, radio(True, col))
    png('Stylesheet/ic_drop_down_arrow_down%s.png' % suffix, 12, 8, arrow(False, col))
    png('Stylesheet/ic_combo_box_arrow_up%s.png' % suffix, 12, 8, arrow(True, col))
    png('Stylesheet/ic_combo_box_arrow_down%s.png' % suffix, 12, 8, arrow(False, col))
for suffix, col in (('', BLUE), ('_selected', (0,110,190,255)), ('_disabled', LGREY)):
    png('Stylesheet/ic_slider_handle%s.png' % suffix, 20, 20, lambda x, y, col=col: col if math.hypot(x-9.5, y-9.5) <= 8 else CLEAR)
