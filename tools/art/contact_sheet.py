#!/usr/bin/python3
"""Lays every image resource of res/melodex.rc on one PNG, each with its id and size under it.

    /usr/bin/python3 tools/art/contact_sheet.py [--rc res/melodex.rc] [--out out/contact-sheet.png]

Reads the script itself (the GIF and ICON lines), so the sheet shows what the build compiles.
Images sit on a light grey card so that their own white backgrounds stay visible.
"""

import argparse
import os
import re

from PIL import Image, ImageDraw, ImageFont

LINE = re.compile(r'^\s*(\w+)\s+(GIF|ICON)\s+"([^"]+)"', re.IGNORECASE)
FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'
FONT_BOLD = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'


def entries(rc_path):
    base = os.path.dirname(rc_path)
    out = []
    with open(rc_path, encoding='utf-8') as f:
        for line in f:
            m = LINE.match(line)
            if m:
                out.append((m.group(1), m.group(2).upper(), os.path.join(base, m.group(3).replace('\\', '/'))))
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.normpath(os.path.join(here, '..', '..'))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--rc', default=os.path.join(root, 'res', 'melodex.rc'))
    ap.add_argument('--out', default=os.path.join(root, 'out', 'contact-sheet.png'))
    args = ap.parse_args()

    items = []
    for rid, kind, path in entries(args.rc):
        img = Image.open(path)
        img.load()
        items.append((rid, kind, img.convert('RGB')))

    width, pad, label_h = 1040, 14, 30
    font, bold = ImageFont.truetype(FONT, 11), ImageFont.truetype(FONT_BOLD, 13)
    # Shelf packing in the script's order: rows as wide as the sheet allows.
    rows, row, x = [], [], pad
    for it in items:
        w = it[2].width + 2 * 6
        if row and x + w + pad > width:
            rows.append(row)
            row, x = [], pad
        row.append(it)
        x += w + pad
    rows.append(row)
    title_h = 40
    height = title_h + sum(max(i[2].height for i in r) + 12 + label_h + pad for r in rows) + pad
    sheet = Image.new('RGB', (width, height), (228, 230, 234))
    d = ImageDraw.Draw(sheet)
    d.text((pad, 12), f'Melodex resources: {len(items)} images from {os.path.basename(args.rc)}',
           font=ImageFont.truetype(FONT_BOLD, 16), fill=(40, 40, 48))
    y = title_h
    for r in rows:
        x = pad
        row_h = max(i[2].height for i in r) + 12
        for rid, kind, img in r:
            card_w = img.width + 12
            d.rectangle([x, y, x + card_w - 1, y + row_h + label_h - 1], fill=(246, 247, 249),
                        outline=(200, 202, 208))
            sheet.paste(img, (x + 6, y + 6))
            d.text((x + 6, y + row_h + 2), f'{rid}' + (' icon' if kind == 'ICON' else ''), font=bold,
                   fill=(20, 20, 28))
            d.text((x + 6, y + row_h + 16), f'{img.width}\u00d7{img.height}', font=font, fill=(90, 90, 100))
            x += card_w + pad
        y += row_h + label_h + pad
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    sheet.save(args.out)
    print(f'wrote {args.out}: {len(items)} images')


if __name__ == '__main__':
    main()
