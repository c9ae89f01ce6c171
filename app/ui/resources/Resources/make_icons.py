# Writes the program's simple icon images as RGBA PNGs (no imaging library needed).
import zlib, struct, math, sys, os
out = sys.argv[1]
def png(path, w, h, px):
    raw = b''.join(b'\x00' + bytes(sum((px(x, y) for x in range(w)), ())) for y in range(h))
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    open(os.path.join(out, path), 'wb').write(data)
BLUE=(0,69,124,255); GREY=(160,160,160,255); WHITE=(255,255,255,255); CLEAR=(0,0,0,0); RED=(200,30,30,255); LGREY=(211,211,211,255)
def shape(kind, col):
    def f(x, y):
        cx, cy = x - 7.5, y - 7.5
        r = math.hypot(cx, cy)
        if kind == 'stop': return col if 3 <= x <= 12 and 3 <= y <= 12 else CLEAR
        if kind == 'play': return col if 4 <= x <= 12 and abs(cy) <= (x - 3) * 0.6 else CLEAR
        if kind == 'pause': return col if 3 <= y <= 12 and (4 <= x <= 6 or 9 <= x <= 11) else CLEAR
        if kind == 'record': return (RED if col == BLUE else col) if r <= 5.5 else CLEAR
        if kind == 'save': return col if (2 <= x <= 13 and 2 <= y <= 13) and not (5 <= x <= 10 and 3 <= y <= 6) else CLEAR
        if kind == 'nice': return col if r <= 6 and (r >= 4.5 or (abs(cx) < 1.5 and abs(cy) < 1.5)) else CLEAR
        lens = 4.2 <= math.hypot(x - 6, y - 6) <= 5.6 or (x >= 10 and y >= 10 and abs(x - y) <= 1)
        inner = {'plus': (abs(x - 6) <= 0.5 and 4 <= y <= 8) or (abs(y - 6) <= 0.5 and 4 <= x <= 8),
                 'minus': abs(y - 6) <= 0.5 and 4 <= x <= 8,
                 'expand': (x in (4, 8) and 4 <= y <= 8) or (y in (4, 8) and 4 <= x <= 8),
                 '100': x in (4, 7, 8) and 4 <= y <= 8}[kind]
        return col if lens or inner else CLEAR
    return f
for name, kind in [('Stop','stop'),('Play','play'),('Pause','pause'),('Record','record'),('Save','save'),('NiceImageIcon','nice'),
                   ('LupePlus','plus'),('LupeMinus','minus'),('LupeExpand','expand'),('Lupe100','100')]:
    png(name + '_16x16.png', 16, 16, shape(kind, BLUE if kind != 'record' else BLUE))
    png(name + '_16x16_grey.png', 16, 16, shape(kind, GREY))
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
