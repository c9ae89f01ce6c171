# Drawing small icons without an imaging library: an RGBA PNG writer and 4 x 4 supersampling of a glyph.
import zlib, struct, os

def png(path, w, h, px):
    raw = b''.join(b'\x00' + bytes(sum((px(x, y) for x in range(w)), ())) for y in range(h))
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)

def smooth(glyph, n, colour_of):
    # glyph(u, v) on the unit square gives a part name or None; the pixel takes the colour of the part most
    # of its samples hit, with the covered share as alpha
    S = 4
    def px(x, y):
        hits = {}
        for i in range(S):
            for j in range(S):
                c = glyph((x + (i + .5) / S) / n, (y + (j + .5) / S) / n)
                if c: hits[c] = hits.get(c, 0) + 1
        if not hits: return (0, 0, 0, 0)
        part = max(hits.items(), key=lambda kv: kv[1])[0]
        r, g, b, a = colour_of(part)
        return (r, g, b, round(a * sum(hits.values()) / (S * S)))
    return px
