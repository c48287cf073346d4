#!/usr/bin/python3
"""Draws every GIF image, the icon and the two sounds of res/melodex.rc.

Each picture's id, size, content and colours are the ones the screens lay out by; the pixels
are drawn here, so the artwork is ours and regenerated from this script. Run it from anywhere
with the system Python (python3-pil, python3-numpy, installed by tools/setup.sh):

    /usr/bin/python3 tools/art/draw_art.py [--out res]

It writes res/gif/<id>.gif, res/melodex.ico and res/wav/<id>.wav; the generated files are
committed, so the build never runs this script. Every image is drawn at four times its size
and reduced with a box filter, which anti-aliases shapes and text against the background the
image sits on; flat areas keep their exact colours (the white screen, the soft-key blue).
"""

import argparse
import math
import os
import struct
import wave

import numpy as np
from PIL import Image, ImageDraw, ImageFont

# The one visual identity: the header band, the soft-key bar and the links share these colours.
MAGENTA = (204, 0, 152)      # the header band
MAGENTA_DARK = (150, 0, 112)
ORANGE = (255, 155, 22)      # logo, highlighted link entries
ORANGE_DEEP = (255, 150, 2)  # figure logos, texts in orange
LINK_BLUE = (0, 120, 193)    # link entries, titles
SOFT_BLUE = (0, 119, 192)    # the soft-key bar
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
INK = (34, 34, 34)           # body text
GREY = (110, 110, 118)
OUTLINE = (70, 34, 0)        # the dark outline of the highlighted main-menu words

SS = 4  # supersampling factor

DEJAVU = '/usr/share/fonts/truetype/dejavu/'
LIBERATION = '/usr/share/fonts/truetype/liberation/'
FONT_BOLD = DEJAVU + 'DejaVuSans-Bold.ttf'
FONT_COND_BOLD = DEJAVU + 'DejaVuSansCondensed-Bold.ttf'
FONT_REGULAR = DEJAVU + 'DejaVuSans.ttf'
FONT_LINK = LIBERATION + 'LiberationSans-Bold.ttf'
FONT_UI = LIBERATION + 'LiberationSans-Regular.ttf'


def font(path, size):
    """A font at the supersampled scale (size is in final pixels)."""
    return ImageFont.truetype(path, int(round(size * SS)))


class Canvas:
    """An image drawn at SS times its final size; finish() reduces it."""

    def __init__(self, w, h, bg=WHITE):
        self.w, self.h = w, h
        self.img = Image.new('RGB', (w * SS, h * SS), bg)
        self.d = ImageDraw.Draw(self.img)

    def s(self, *v):
        return [x * SS for x in v]

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=1, radius=0):
        box = self.s(x0, y0, x1, y1)
        if radius:
            self.d.rounded_rectangle(box, radius * SS, fill=fill, outline=outline, width=int(width * SS))
        else:
            self.d.rectangle(box, fill=fill, outline=outline, width=int(width * SS))

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=1):
        self.d.ellipse(self.s(x0, y0, x1, y1), fill=fill, outline=outline, width=int(width * SS))

    def polygon(self, pts, fill):
        self.d.polygon([(x * SS, y * SS) for x, y in pts], fill=fill)

    def arc(self, x0, y0, x1, y1, start, end, fill, width):
        self.d.arc(self.s(x0, y0, x1, y1), start, end, fill=fill, width=int(width * SS))

    def text_size(self, text, f):
        l, t, r, b = self.d.textbbox((0, 0), text, font=f)
        return (r - l) / SS, (b - t) / SS

    def text(self, x, y, text, f, fill, anchor='la', stroke=0, stroke_fill=None):
        self.d.text((x * SS, y * SS), text, font=f, fill=fill, anchor=anchor,
                    stroke_width=int(stroke * SS), stroke_fill=stroke_fill)

    def finish(self):
        return self.img.resize((self.w, self.h), Image.BOX)


def fit(text, path, max_w, max_h, start):
    """The largest size up to start at which text fits in max_w x max_h pixels."""
    size = start
    while size > 6:
        f = ImageFont.truetype(path, int(size * SS))
        l, t, r, b = f.getbbox(text)
        if (r - l) / SS <= max_w and (b - t) / SS <= max_h:
            return size
        size -= 0.5
    return size


# ---------------------------------------------------------------- the Melodex logo

def draw_logo(c, cx, cy, r, disc=ORANGE, note=WHITE, waves=None):
    """The Melodex mark: a disc holding a beamed pair of notes, with two sound arcs at its
    right when waves is a colour. (cx, cy) is the disc's centre, r its radius."""
    c.ellipse(cx - r, cy - r, cx + r, cy + r, fill=disc)
    # Two note heads (tilted ovals) joined by a beam: a small, readable glyph at any size.
    hw, hh = r * 0.30, r * 0.22
    for dx, dy in ((-0.34, 0.42), (0.30, 0.30)):
        hx, hy = cx + dx * r, cy + dy * r
        head = Image.new('L', (int(hw * 2 * SS) + 4, int(hh * 2 * SS) + 4), 0)
        ImageDraw.Draw(head).ellipse([2, 2, head.width - 3, head.height - 3], fill=255)
        head = head.rotate(20, resample=Image.BICUBIC, expand=True)
        c.img.paste(Image.new('RGB', head.size, note),
                    (int(hx * SS - head.width / 2), int(hy * SS - head.height / 2)), head)
    stem = r * 0.10
    x1, x2 = cx - 0.34 * r + hw * 0.80, cx + 0.30 * r + hw * 0.80
    top1, top2 = cy - 0.52 * r, cy - 0.64 * r
    c.rect(x1 - stem, top1, x1, cy + 0.38 * r, fill=note)
    c.rect(x2 - stem, top2, x2, cy + 0.26 * r, fill=note)
    beam = r * 0.20
    c.polygon([(x1 - stem, top1), (x2, top2), (x2, top2 + beam), (x1 - stem, top1 + beam)], note)
    if waves:
        for k, gap in enumerate((0.35, 0.75)):
            rr = r * (1 + gap)
            c.arc(cx - rr, cy - rr, cx + rr, cy + rr, -38, 38, waves, max(1.2, r * 0.13))


def band(w, h, title, title_size=22, logo_disc=ORANGE):
    """A header: the magenta band with the logo and a white title, centred as one group in the
    middle 240 pixels (a 240-pixel-wide screen crops 40 pixels off each side)."""
    c = Canvas(w, h, MAGENTA)
    c.rect(0, h - 3, w, h, fill=MAGENTA_DARK)
    f = font(FONT_BOLD, title_size)
    tw, th = c.text_size(title, f)
    r = 15
    gap = 9
    total = 2 * r + gap + tw + 12  # 12: the logo's sound arcs
    x0 = (w - total) / 2
    cy = (h - 3) / 2
    draw_logo(c, x0 + r, cy, r, disc=logo_disc, note=MAGENTA, waves=WHITE)
    c.text(x0 + 2 * r + gap + 12, cy, title, f, WHITE, anchor='lm')
    return c.finish()


# ---------------------------------------------------------------- images by screen

def splash():
    """110, 240 x 160 (splash): logo and name above a tagline and the service's brand."""
    c = Canvas(240, 160)
    f = font(FONT_BOLD, 28)
    tw, _ = c.text_size('Melodex', f)
    r, arcs, gap = 26, 20, 6
    x0 = (240 - (2 * r + arcs + gap + tw)) / 2
    draw_logo(c, x0 + r, 52, r, waves=ORANGE)
    c.text(x0 + 2 * r + arcs + gap, 54, 'Melodex', f, MAGENTA, anchor='lm')
    c.rect(20, 98, 220, 99, fill=(235, 235, 240))
    c.text(120, 112, 'Hear it. Name it. Get it.', font(FONT_UI, 14), GREY, anchor='mm')
    f = font(FONT_UI, 11)
    lw, _ = c.text_size('song ID by ', f)
    bw = zorbel_width(12)
    x = 120 - (lw + bw) / 2
    c.text(x, 139, 'song ID by', f, GREY, anchor='lm')
    zorbel_word(c, x + lw, 139, 12)
    return c.finish()


def zorbel_width(size):
    f = ImageFont.truetype(FONT_BOLD, int(size * SS))
    return size * 0.75 + f.getlength('zorbel') / SS


def zorbel_word(c, x, y, size, color=LINK_BLUE, mark=ORANGE):
    """The identification service's word mark: three orange level bars, then 'zorbel'."""
    bar = size * 0.15
    for k, hgt in enumerate((0.45, 0.85, 0.6)):
        bx = x + k * bar * 1.6
        c.rect(bx, y + size * 0.36 - hgt * size * 0.72, bx + bar, y + size * 0.36, fill=mark)
    c.text(x + size * 0.75, y, 'zorbel', font(FONT_BOLD, size), color, anchor='lm')


def brand_badge():
    """175, 73 x 51 (main menu, listening, analyzing): the identification service's badge."""
    c = Canvas(73, 51)
    c.rect(2, 4, 71, 49, fill=(244, 248, 252), outline=(196, 214, 232), width=1, radius=8)
    c.text(36.5, 15, 'powered by', font(FONT_UI, 9), GREY, anchor='mm')
    zorbel_word(c, 36.5 - zorbel_width(15) / 2, 32, 15)
    return c.finish()


MENU_WORDS = {114: 'ID song!', 115: 'manage IDs', 116: 'help me out', 117: 'exit'}


def menu_item(word, selected):
    """114-117 black on white; 171-174 the same word in orange with a dark outline (main menu)."""
    c = Canvas(165, 35)
    f = font(FONT_BOLD, 20)
    if selected:
        c.text(82.5, 17.5, word, f, ORANGE, anchor='mm', stroke=1.1, stroke_fill=OUTLINE)
    else:
        c.text(82.5, 17.5, word, f, BLACK, anchor='mm')
    return c.finish()


def loudspeaker(c, x, y, s, body=LINK_BLUE, wave=ORANGE):
    """A loudspeaker of height s with its top-left corner at (x, y), and three sound arcs."""
    c.rect(x, y + s * 0.33, x + s * 0.22, y + s * 0.67, fill=body, radius=s * 0.03)
    c.polygon([(x + s * 0.20, y + s * 0.33), (x + s * 0.50, y + s * 0.08),
               (x + s * 0.50, y + s * 0.92), (x + s * 0.20, y + s * 0.67)], body)
    cx, cy = x + s * 0.42, y + s * 0.5
    for k in range(3):
        rr = s * (0.26 + 0.16 * k)
        c.arc(cx - rr, cy - rr, cx + rr, cy + rr, -45, 45, wave, s * 0.055)


def get_ready():
    """118, 240 x 150 (listening): a loudspeaker beside 'Listening!' and the instruction."""
    c = Canvas(240, 150)
    loudspeaker(c, 8, 35, 80)
    c.text(102, 42, 'Listening!', font(FONT_BOLD, 22), LINK_BLUE, anchor='lm')
    f = font(FONT_UI, 15)
    for k, line in enumerate(('Put Phone near', 'music to ID song!')):
        c.text(102, 74 + k * 20, line, f, INK, anchor='lm')
    return c.finish()


def title(w, h, word, size):
    """176 'Listening!' 172 x 45, 178 'Analyzing...' 202 x 41: a title in blue."""
    c = Canvas(w, h)
    f = font(FONT_BOLD, fit(word, FONT_BOLD, w - 6, h - 8, size))
    c.text(w / 2 + 1, h / 2 + 1, word, f, (205, 225, 240), anchor='mm')  # a soft drop shadow
    c.text(w / 2, h / 2, word, f, LINK_BLUE, anchor='mm')
    return c.finish()


def waveform():
    """120, 320 x 63 (listening): an audio waveform strip. It is drawn twice side by side and
    scrolled, so it repeats with a period of exactly its width: every partial has a whole
    number of cycles across the 320 pixels."""
    w, h = 320, 63
    c = Canvas(w, h)
    mid = h / 2
    xs = np.arange(w * SS) / SS
    t = 2 * math.pi * xs / w
    env = 0.55 + 0.45 * np.sin(2 * t + 0.6) * np.cos(3 * t)
    sig = (np.sin(21 * t) * 0.6 + np.sin(34 * t + 1.0) * 0.3 + np.sin(55 * t + 2.0) * 0.1)
    amp = np.abs(env) * (0.35 + 0.65 * np.abs(sig)) * (mid - 4)
    light = (150, 200, 235)
    for i, a in enumerate(amp):
        c.d.line([(i, (mid - a) * SS), (i, (mid + a) * SS)], fill=light)
        c.d.line([(i, (mid - a * 0.55) * SS), (i, (mid + a * 0.55) * SS)], fill=LINK_BLUE)
    c.rect(0, mid - 0.5, w, mid + 0.5, fill=LINK_BLUE)
    return c.finish()


def level_meter():
    """122, 320 x 63 (analyzing): a strip of blue level-meter bars, repeating with a period of
    its width (40 bars of 8 pixels), segmented like a phone's equaliser."""
    w, h = 320, 63
    c = Canvas(w, h)
    seg, step, base = 3, 5, h - 4
    for k in range(40):
        t = 2 * math.pi * k / 40
        level = 0.5 + 0.28 * math.sin(3 * t) + 0.17 * math.sin(7 * t + 1.3) + 0.05 * math.cos(11 * t)
        n = max(1, int(round(level * 11)))
        x0 = k * 8 + 1
        for s in range(n):
            y1 = base - s * step
            frac = s / 11
            col = tuple(int(a + (b - a) * frac) for a, b in zip((0, 120, 193), (90, 185, 240)))
            c.rect(x0, y1 - seg, x0 + 6, y1, fill=col, radius=0.8)
    return c.finish()


def lines_image(w, h, lines, gap=2):
    """An image of centred lines: (text, font path, size, colour)."""
    c = Canvas(w, h)
    sizes = [c.text_size(t, font(p, s)) for t, p, s, _ in lines]
    total = sum(hh for _, hh in sizes) + gap * (len(lines) - 1)
    y = (h - total) / 2
    for (t, p, s, col), (_, hh) in zip(lines, sizes):
        f = font(p, s)
        l, top, r, b = c.d.textbbox((0, 0), t, font=f)
        c.text(w / 2, y - top / SS, t, f, col, anchor='ma')
        y += hh + gap
    return c


def no_match():
    """124, 240 x 120 (results): 'Sorry, No Match' and 'Try Again!' in orange on white."""
    c = lines_image(240, 120, [('Sorry,', FONT_BOLD, 18, ORANGE_DEEP),
                               ('No Match', FONT_BOLD, 28, ORANGE),
                               ('Try Again!', FONT_BOLD, 18, ORANGE_DEEP)], gap=8)
    return c.finish()


def id_problem():
    """125, 220 x 100 (error): the title 'ID Problem' and the two sentences, in orange."""
    c = lines_image(220, 100, [('ID Problem', FONT_BOLD, 22, ORANGE),
                               ('Your phone was unable to', FONT_UI, 14, ORANGE_DEEP),
                               ('ID the song.', FONT_UI, 14, ORANGE_DEEP),
                               ('Please Try again.', FONT_BOLD, 14, ORANGE_DEEP)], gap=5)
    return c.finish()


def default_art():
    """127, 88 x 88 (results): the framed product logo, shown when a result has no picture."""
    c = Canvas(88, 88)
    c.rect(0, 0, 87, 87, fill=(200, 200, 206))
    c.rect(1, 1, 86, 86, fill=MAGENTA)
    c.rect(1, 60, 86, 86, fill=MAGENTA_DARK)
    draw_logo(c, 44, 33, 21, note=MAGENTA)
    c.text(44, 73, 'Melodex', font(FONT_BOLD, 13), WHITE, anchor='mm')
    return c.finish()


LINKS = {  # id: (word, height, highlighted)
    130: ('get:', 22, None),
    133: ('Ringtone', 22, False), 134: ('Ringtone', 22, True),
    128: ('Full song', 22, False), 129: ('Full song', 22, True),
    137: ('Wallpaper', 22, False), 138: ('Wallpaper', 22, True),
    131: ('Recommend', 21, False), 132: ('Recommend', 21, True),
    135: ('Share ID', 23, False), 136: ('Share ID', 23, True),
}


def link_entry(word, h, highlighted):
    """128-138, 87 wide (results): blue lettering on white; highlighted on orange in a black
    frame; 130 is the list's heading 'get:'."""
    c = Canvas(87, h)
    if highlighted:
        c.rect(0, 0, 87, h, fill=BLACK)
        c.rect(1, 1, 86, h - 1, fill=ORANGE)
    if highlighted is None:
        c.text(5, h / 2, word, font(FONT_BOLD, 14), LINK_BLUE, anchor='lm')
    else:
        c.text(5, h / 2, word, font(FONT_LINK, 13), LINK_BLUE, anchor='lm')
    return c.finish()


def person(c, cx, top, s, color):
    """A figure: a head and rounded shoulders, s pixels high."""
    hr = s * 0.21
    c.ellipse(cx - hr, top, cx + hr, top + 2 * hr, fill=color)
    c.rect(cx - s * 0.36, top + 2 * hr + s * 0.06, cx + s * 0.36, top + s, fill=color, radius=s * 0.22)
    c.rect(cx - s * 0.36, top + s * 0.8, cx + s * 0.36, top + s, fill=color)


def share_logo():
    """142, 156 x 63 (SMS): two orange figures above the product name, on white."""
    c = Canvas(156, 63)
    person(c, 62, 3, 34, ORANGE_DEEP)
    person(c, 94, 3, 34, ORANGE_DEEP)
    draw_logo(c, 78, 26, 8, disc=MAGENTA, note=WHITE)
    c.text(78, 51, 'Melodex', font(FONT_BOLD, 17), MAGENTA, anchor='mm')
    return c.finish()


def number_box():
    """143, 140 x 30 (SMS): a white box with rounded corners and a black outline."""
    c = Canvas(140, 30)
    c.rect(0.5, 0.5, 139.5, 29.5, fill=WHITE, outline=BLACK, width=1.2, radius=7)
    return c.finish()


# Soft-key labels: white on the bar's blue, 34 high. 161, 162 and 165 have the widths the
# results and SMS screens lay out by; 163, 164 and 166 are sized the same way: the word's width
# in the label font plus a few pixels each side.
SOFT_KEYS = {161: ('back', 46), 162: ('new ID!', 64), 163: ('Options', 66),
             164: ('Select', 54), 165: ('ShareID!', 73), 166: ('OK!', 38)}


def soft_key(word, w):
    c = Canvas(w, 34, SOFT_BLUE)
    c.text(w / 2, 17, word, font(FONT_COND_BOLD, 15), WHITE, anchor='mm')
    return c.finish()


def cancel_button():
    """177, 60 x 23 (listening, analyzing): the label Cancel over the left soft key, on the white
    screen these two screens draw (they show no soft-key bar): a blue button."""
    c = Canvas(60, 23)
    c.rect(0, 0, 60, 23, fill=SOFT_BLUE, radius=6)
    c.rect(0, 12, 60, 23, fill=SOFT_BLUE)  # square at the bottom: it sits on the screen's edge
    c.text(30, 12, 'Cancel', font(FONT_COND_BOLD, 14), WHITE, anchor='mm')
    return c.finish()


def icon_image():
    """Icon 101, 44 x 44, the window class's icon: the logo on a magenta rounded square; returns
    the picture and its mask (True where opaque)."""
    c = Canvas(44, 44, WHITE)
    c.rect(1, 1, 43, 43, fill=MAGENTA, radius=9)
    draw_logo(c, 22, 22, 15, note=MAGENTA, waves=None)
    mask = Canvas(44, 44, BLACK)
    mask.rect(1, 1, 43, 43, fill=WHITE, radius=9)
    return c.finish(), np.array(mask.finish().convert('L')) >= 128


# ---------------------------------------------------------------- writers

KEY_COLOURS = [WHITE, BLACK, MAGENTA, MAGENTA_DARK, ORANGE, ORANGE_DEEP, LINK_BLUE, SOFT_BLUE]


def to_palette(img):
    """GIFs hold 256 colours: keep every colour when there are few, else an adaptive palette
    that always contains the identity's colours exactly (so backgrounds match the screen)."""
    arr = np.array(img)
    flat = arr.reshape(-1, 3)
    colours = np.unique(flat, axis=0)
    if len(colours) <= 256:
        palette = colours
    else:
        q = img.quantize(colors=256 - len(KEY_COLOURS), method=Image.MEDIANCUT, dither=Image.NONE)
        extra = np.array(q.getpalette()[:3 * (256 - len(KEY_COLOURS))]).reshape(-1, 3)
        palette = np.vstack([np.array(KEY_COLOURS), extra])
    dist = ((flat[:, None, :].astype(np.int32) - palette[None, :, :].astype(np.int32)) ** 2).sum(axis=2)
    index = dist.argmin(axis=1).astype(np.uint8).reshape(arr.shape[:2])
    out = Image.fromarray(index, 'P')
    pal = palette.astype(np.uint8).flatten().tolist()
    out.putpalette(pal + [0] * (768 - len(pal)))
    return out


def save_gif(img, path):
    to_palette(img).save(path, format='GIF', optimize=False)


def save_ico(img, opaque, path):
    """A one-image .ico: a 24-bit BITMAPINFOHEADER DIB with the doubled height, bottom-up
    colour rows, then the 1-bit AND mask (1 = transparent), rows padded to 4 bytes."""
    w, h = img.size
    rgb = np.array(img)
    colour = b''.join(rgb[y, :, ::-1].tobytes() + b'\0' * ((-w * 3) % 4) for y in range(h - 1, -1, -1))
    stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if not opaque[y, x]:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 24, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 24, len(image), 22)
    with open(path, 'wb') as f:
        f.write(directory + image)


def save_wav(samples, path, rate=8000):
    pcm = np.clip(np.round(samples * 32767), -32768, 32767).astype('<i2')
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())


def bell(t, f, start, decay):
    """A soft bell partial: a sine with its octave, struck at start, decaying exponentially."""
    u = np.clip(t - start, 0, None)
    on = (t >= start).astype(float)
    attack = np.clip(u / 0.006, 0, 1)
    return on * attack * np.exp(-u / decay) * (np.sin(2 * np.pi * f * u) + 0.25 * np.sin(4 * np.pi * f * u))


def fade(x, rate, fade_in=0.004, fade_out=0.08):
    n_in, n_out = int(rate * fade_in), int(rate * fade_out)
    x[:n_in] *= np.linspace(0, 1, n_in)
    x[-n_out:] *= np.linspace(1, 0, n_out) ** 2
    return x


def start_chime(rate=8000):
    """159, 1.0 s: a rising three-note chime, C6 E6 G6, played as listening starts."""
    t = np.arange(rate) / rate
    x = bell(t, 1046.5, 0.00, 0.16) + bell(t, 1318.5, 0.11, 0.18) + bell(t, 1568.0, 0.22, 0.30)
    return fade(x / np.abs(x).max() * 0.6, rate)


def send_blip(rate=8000):
    """160, 0.5 s: a soft two-tone blip, G5 then C6, as the recording is sent."""
    t = np.arange(rate // 2) / rate
    x = bell(t, 784.0, 0.00, 0.06) + 0.9 * bell(t, 1046.5, 0.09, 0.10)
    return fade(x / np.abs(x).max() * 0.5, rate)


# Every GIF with the size its screen lays it out at: id -> (width, height, drawing function).
def images():
    table = {
        110: (240, 160, splash),
        113: (320, 46, lambda: band(320, 46, 'Melodex', 24)),
        139: (320, 46, lambda: band(320, 46, 'Manage IDs')),
        144: (320, 46, lambda: band(320, 46, 'ID Success!')),
        145: (320, 46, lambda: band(320, 46, 'Help Me Out')),
        175: (73, 51, brand_badge),
        118: (240, 150, get_ready),
        120: (320, 63, waveform),
        122: (320, 63, level_meter),
        124: (240, 120, no_match),
        125: (220, 100, id_problem),
        127: (88, 88, default_art),
        142: (156, 63, share_logo),
        143: (140, 30, number_box),
        176: (172, 45, lambda: title(172, 45, 'Listening!', 30)),
        177: (60, 23, cancel_button),
        178: (202, 41, lambda: title(202, 41, 'Analyzing...', 30)),
    }
    for k, (i, word) in enumerate(MENU_WORDS.items()):
        table[i] = (165, 35, lambda word=word: menu_item(word, False))
        table[171 + k] = (165, 35, lambda word=word: menu_item(word, True))
    for i, (word, h, hi) in LINKS.items():
        table[i] = (87, h, lambda word=word, h=h, hi=hi: link_entry(word, h, hi))
    for i, (word, w) in SOFT_KEYS.items():
        table[i] = (w, 34, lambda word=word, w=w: soft_key(word, w))
    return dict(sorted(table.items()))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--out', default=os.path.join(here, '..', '..', 'res'))
    out = ap.parse_args().out
    os.makedirs(os.path.join(out, 'gif'), exist_ok=True)
    os.makedirs(os.path.join(out, 'wav'), exist_ok=True)
    for i, (w, h, draw) in images().items():
        img = draw()
        assert img.size == (w, h), f'{i}: drew {img.size}, the screens expect {(w, h)}'
        save_gif(img, os.path.join(out, 'gif', f'{i}.gif'))
    picture, opaque = icon_image()
    save_ico(picture, opaque, os.path.join(out, 'melodex.ico'))
    save_wav(start_chime(), os.path.join(out, 'wav', '159.wav'))
    save_wav(send_blip(), os.path.join(out, 'wav', '160.wav'))
    print(f'wrote {len(images())} GIFs, the icon and 2 sounds to {os.path.normpath(out)}')


if __name__ == '__main__':
    main()
