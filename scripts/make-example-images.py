#!/usr/bin/env python3
"""Draws the small PNG images of the example library (icons, placeholder, procedure pictures).

Only the standard library is used (zlib and struct for the PNG encoding). Shapes are drawn
at three times the final size and averaged down, which smooths their edges.

    python3 scripts/make-example-images.py [LIBRARY]      (default: examples/library)
"""
import os
import struct
import sys
import zlib

SCALE = 3

# 5x7 bitmap font: each glyph is seven rows of five bits.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11111", "00010", "00100", "00010", "00001", "10001", "01110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width * SCALE, height * SCALE
        self.width, self.height = width, height
        self.px = [list(background) for _ in range(self.w * self.h)]

    def _set(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = list(colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle from (x0, y0) to (x1, y1), in final-image coordinates."""
        for y in range(int(y0 * SCALE), int(y1 * SCALE)):
            for x in range(int(x0 * SCALE), int(x1 * SCALE)):
                self._set(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour, width=1):
        self.rect(x0, y0, x1, y0 + width, colour)
        self.rect(x0, y1 - width, x1, y1, colour)
        self.rect(x0, y0, x0 + width, y1, colour)
        self.rect(x1 - width, y0, x1, y1, colour)

    def circle(self, cx, cy, r, colour, inner=0.0):
        """Fills a disc of radius r, or a ring when inner > 0."""
        for y in range(int((cy - r) * SCALE), int((cy + r) * SCALE) + 1):
            for x in range(int((cx - r) * SCALE), int((cx + r) * SCALE) + 1):
                d2 = (x / SCALE - cx) ** 2 + (y / SCALE - cy) ** 2
                if inner * inner <= d2 <= r * r:
                    self._set(x, y, colour)

    def polygon(self, points, colour):
        pts = [(px * SCALE, py * SCALE) for px, py in points]
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            xs = []
            for i, (ax, ay) in enumerate(pts):
                bx, by = pts[(i + 1) % len(pts)]
                if (ay <= yc < by) or (by <= yc < ay):
                    xs.append(ax + (yc - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(a + 0.5), int(b + 0.5)):
                    self._set(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1.0):
        dx, dy = x1 - x0, y1 - y0
        length = (dx * dx + dy * dy) ** 0.5 or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], colour)

    def text(self, x, y, message, colour, size=1):
        """Writes upper-case text with the 5x7 font; size is the final-image pixel per font dot."""
        for i, ch in enumerate(message.upper()):
            glyph = FONT.get(ch, FONT[" "])
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        gx = x + (i * 6 + col) * size
                        gy = y + row * size
                        self.rect(gx, gy, gx + size, gy + size, colour)

    @staticmethod
    def text_width(message, size=1):
        return (len(message) * 6 - 1) * size

    def save(self, path):
        raw = bytearray()
        for y in range(self.height):
            raw.append(0)
            for x in range(self.width):
                acc = [0, 0, 0, 0]
                for sy in range(SCALE):
                    for sx in range(SCALE):
                        p = self.px[(y * SCALE + sy) * self.w + x * SCALE + sx]
                        for k in range(4):
                            acc[k] += p[k] if k < len(p) else 255
                raw.extend(v // (SCALE * SCALE) for v in acc)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


WHITE = (255, 255, 255, 255)
CLEAR = (255, 255, 255, 0)
INK = (34, 45, 72, 255)
NAVY = (31, 58, 112, 255)
STEEL = (120, 132, 150, 255)
LIGHT = (214, 220, 230, 255)
PALE = (240, 243, 247, 255)
GREEN = (46, 140, 74, 255)
RED = (196, 48, 43, 255)
ORANGE = (226, 112, 36, 255)
BLUE = (50, 110, 190, 255)
YELLOW = (240, 190, 40, 255)


def favicon(path):
    c = Canvas(64, 64, CLEAR)
    c.circle(32, 32, 31, NAVY)
    c.polygon([(22, 50), (32, 36), (42, 50)], YELLOW)        # fulcrum
    c.line(10, 44, 52, 22, WHITE, 5)                          # lever
    c.circle(52, 22, 6, WHITE)                                # knob
    c.rect(8, 50, 56, 53, WHITE)                              # ground
    c.save(path)


FAVICON_SVG = """<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <circle cx="32" cy="32" r="31" fill="#1f3a70"/>
  <polygon points="22,50 32,36 42,50" fill="#f0be28"/>
  <line x1="10" y1="44" x2="52" y2="22" stroke="#ffffff" stroke-width="5" stroke-linecap="round"/>
  <circle cx="52" cy="22" r="6" fill="#ffffff"/>
  <rect x="8" y="50" width="48" height="3" fill="#ffffff"/>
</svg>
"""


def placeholder(path):
    c = Canvas(200, 150, PALE)
    c.frame(0, 0, 200, 150, LIGHT, 3)
    c.polygon([(40, 105), (80, 55), (110, 90), (125, 75), (160, 105)], STEEL)
    c.circle(140, 48, 11, LIGHT)
    c.text(100 - Canvas.text_width("NO IMAGE", 2) / 2, 118, "NO IMAGE", STEEL, 2)
    c.save(path)


def document_icon(path, label, colour):
    c = Canvas(32, 32, CLEAR)
    c.polygon([(5, 1), (21, 1), (27, 7), (27, 31), (5, 31)], WHITE)
    c.line(5, 1, 21, 1, STEEL, 1)
    c.line(5, 1, 5, 31, STEEL, 1)
    c.line(5, 31, 27, 31, STEEL, 1)
    c.line(27, 7, 27, 31, STEEL, 1)
    c.line(21, 1, 27, 7, STEEL, 1)
    c.polygon([(21, 1), (21, 7), (27, 7)], LIGHT)
    for y in (11, 14):
        c.rect(9, y, 23, y + 1, LIGHT)
    c.rect(1, 18, 31, 28, colour)
    c.text(16 - Canvas.text_width(label) / 2, 20, label, WHITE)
    c.save(path)


def pipe_valve(c, x, y, vertical=False):
    """A gate valve symbol (two triangles) centred on (x, y) with a handwheel."""
    if vertical:
        c.polygon([(x - 8, y - 10), (x + 8, y - 10), (x, y)], INK)
        c.polygon([(x - 8, y + 10), (x + 8, y + 10), (x, y)], INK)
        c.line(x, y, x + 16, y, INK, 2)
        c.rect(x + 16, y - 7, x + 19, y + 7, INK)
    else:
        c.polygon([(x - 10, y - 8), (x - 10, y + 8), (x, y)], INK)
        c.polygon([(x + 10, y - 8), (x + 10, y + 8), (x, y)], INK)
        c.line(x, y, x, y - 16, INK, 2)
        c.rect(x - 7, y - 19, x + 7, y - 16, INK)


def pump_drawing(c, running):
    c.rect(20, 180, 340, 192, STEEL)                           # base plate
    c.rect(190, 120, 320, 178, NAVY)                           # motor
    for x in range(200, 315, 12):
        c.rect(x, 122, x + 4, 176, (60, 88, 140, 255))          # cooling fins
    c.rect(170, 135, 192, 165, YELLOW)                         # coupling guard
    c.circle(130, 148, 32, BLUE)                               # volute
    c.circle(130, 148, 10, PALE)
    c.rect(110, 176, 150, 181, STEEL)
    c.rect(20, 140, 100, 156, STEEL)                           # suction pipe
    c.rect(122, 40, 138, 118, STEEL)                           # discharge pipe
    c.rect(138, 40, 300, 56, STEEL)
    pipe_valve(c, 55, 148)
    pipe_valve(c, 220, 48)
    c.text(34, 166, "V-101", INK)
    c.text(204, 64, "V-102", INK)
    c.text(196, 100, "P-101", INK, 2)
    c.circle(160, 80, 9, WHITE)
    c.circle(160, 80, 9, INK, 8)
    c.line(160, 80, 165, 75, RED, 1.5)
    c.text(172, 77, "PI-102", INK)
    if running:
        c.circle(300, 100, 9, GREEN)
        for x in (250, 275):
            c.polygon([(x, 42), (x + 12, 48), (x, 54)], WHITE)
        for x in (25, 75):
            c.polygon([(x, 142), (x + 12, 148), (x, 154)], WHITE)
    else:
        c.circle(300, 100, 9, (90, 90, 90, 255))


def pump(path, running):
    c = Canvas(360, 210, WHITE)
    pump_drawing(c, running)
    c.save(path)


def switch(path, accepted):
    c = Canvas(480, 110, WHITE)
    c.rect(4, 20, 476, 90, (58, 64, 74, 255))
    c.rect(4, 20, 476, 24, (90, 98, 110, 255))
    for i in range(12):
        for row in range(2):
            x = 60 + i * 22
            y = 34 + row * 26
            c.rect(x, y, x + 18, y + 16, (20, 22, 26, 255))
            c.rect(x + 4, y + 2, x + 14, y + 5, (60, 62, 66, 255))
            c.rect(x + 2, y - 3, x + 6, y - 1, GREEN)
    for i in range(4):
        x = 340 + i * 26
        c.rect(x, 42, x + 22, 62, (150, 156, 164, 255))
        c.rect(x + 3, 48, x + 19, 56, (20, 22, 26, 255))
    c.rect(450, 44, 466, 58, BLUE)                             # console port
    c.circle(30, 46, 4, GREEN)                                 # power LED
    c.circle(30, 62, 4, YELLOW)                                # status LED
    c.text(60, 96, "1", INK)
    c.text(300, 96, "24", INK)
    c.text(340, 96, "25-28", INK)
    c.text(440, 96, "CON", INK)
    c.text(10, 6, "SW-ACC-24", INK)
    if accepted:
        c.rect(380, 2, 476, 16, GREEN)
        c.text(428 - Canvas.text_width("ACCEPTED") / 2, 5, "ACCEPTED", WHITE)
    c.save(path)


# Grid references of the sampling locations: column letter A..E, row 1..6.
LOCATIONS = [("L1", "A", 1), ("L2", "A", 3), ("L3", "A", 5), ("L4", "C", 2), ("L5", "C", 4),
             ("L6", "C", 6), ("L7", "E", 1), ("L8", "E", 4), ("L9", "E", 6)]


def floor_plan(c, x0, y0, cell, labels):
    cols, rows = "ABCDE", 6
    c.rect(x0, y0, x0 + cell * rows, y0 + cell * len(cols), PALE)
    for i in range(rows + 1):
        c.rect(x0 + i * cell, y0, x0 + i * cell + 1, y0 + cell * len(cols), LIGHT)
    for j in range(len(cols) + 1):
        c.rect(x0, y0 + j * cell, x0 + cell * rows + 1, y0 + j * cell + 1, LIGHT)
    c.frame(x0 - 3, y0 - 3, x0 + cell * rows + 4, y0 + cell * len(cols) + 4, INK, 3)
    c.rect(x0 - 3, y0 + cell * 0.3, x0, y0 + cell * 0.9, WHITE)   # door
    if labels:
        for j, letter in enumerate(cols):
            c.text(x0 - 14, y0 + j * cell + cell / 2 - 3, letter, STEEL)
        for i in range(rows):
            c.text(x0 + i * cell + cell / 2 - 2, y0 - 14, str(i + 1), STEEL)
    for name, letter, number in LOCATIONS:
        cx = x0 + (number - 0.5) * cell
        cy = y0 + (cols.index(letter) + 0.5) * cell
        c.circle(cx, cy, cell * 0.28, RED if labels else BLUE)
        if labels:
            c.text(cx - Canvas.text_width(name) / 2, cy - 3, name, WHITE)


def sample_locations(path):
    c = Canvas(300, 250, WHITE)
    floor_plan(c, 36, 36, 40, True)
    c.save(path)


def cleanroom(path):
    c = Canvas(300, 200, WHITE)
    c.rect(30, 20, 270, 34, LIGHT)                              # ceiling with filter units
    for x in (50, 120, 190):
        c.rect(x, 34, x + 50, 42, (170, 200, 230, 255))
        for k in range(5):
            c.line(x + 10 + k * 8, 46, x + 10 + k * 8, 150, (200, 220, 240, 255), 1.5)
    c.rect(30, 150, 270, 156, STEEL)                            # floor
    c.rect(60, 110, 140, 116, STEEL)                            # bench
    c.rect(66, 116, 70, 150, STEEL)
    c.rect(130, 116, 134, 150, STEEL)
    c.circle(205, 88, 10, WHITE)                                # gowned person
    c.circle(205, 88, 10, INK, 9)
    c.polygon([(190, 100), (220, 100), (226, 150), (184, 150)], WHITE)
    c.line(190, 100, 184, 150, INK, 1.5)
    c.line(220, 100, 226, 150, INK, 1.5)
    c.text(150 - Canvas.text_width("CR-2 ISO 7", 2) / 2, 170, "CR-2 ISO 7", NAVY, 2)
    c.save(path)


def particle_counter(path):
    c = Canvas(260, 220, WHITE)
    c.rect(20, 120, 130, 190, LIGHT)                            # counter body
    c.frame(20, 120, 130, 190, STEEL, 2)
    c.rect(32, 130, 118, 158, NAVY)                             # display
    c.text(38, 136, "0.5 0", WHITE)
    c.text(38, 146, "5.0 0", WHITE)
    c.circle(45, 174, 5, GREEN)
    c.circle(65, 174, 5, RED)
    c.text(80, 171, "PC-07", INK)
    c.line(190, 90, 160, 200, INK, 3)                           # tripod
    c.line(190, 90, 220, 200, INK, 3)
    c.line(190, 90, 190, 200, INK, 3)
    c.rect(182, 50, 198, 92, STEEL)                             # isokinetic probe
    c.polygon([(176, 30), (204, 30), (198, 50), (182, 50)], STEEL)
    c.line(130, 140, 160, 110, BLUE, 3)                         # sample tube
    c.line(160, 110, 182, 70, BLUE, 3)
    c.save(path)


def main():
    library = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples", "library")
    assets = os.path.join(library, "assets")
    os.makedirs(assets, exist_ok=True)
    favicon(os.path.join(assets, "favicon.png"))
    with open(os.path.join(assets, "favicon.svg"), "w") as f:
        f.write(FAVICON_SVG)
    placeholder(os.path.join(assets, "placeholderImage-small.png"))
    document_icon(os.path.join(assets, "QLML.png"), "QLML", GREEN)
    document_icon(os.path.join(assets, "html.png"), "HTML", ORANGE)
    document_icon(os.path.join(assets, "pdf.png"), "PDF", RED)

    pump_folder = os.path.join(library, "QL-WI-0010 - Pump Start_Stop")
    pump(os.path.join(pump_folder, "pump-p101.png"), False)
    pump(os.path.join(pump_folder, "pump-running.png"), True)
    switch_folder = os.path.join(library, "QL-TP-0200 - Network Switch Acceptance Test_ Ports _ VLANs")
    switch(os.path.join(switch_folder, "switch-front.png"), False)
    switch(os.path.join(switch_folder, "switch-accepted.png"), True)
    room_folder = os.path.join(library, "QL-IN-0310 - Cleanroom ISO 7 Particle Count Inspection")
    cleanroom(os.path.join(room_folder, "cleanroom-cr2.png"))
    particle_counter(os.path.join(room_folder, "particle-counter.png"))
    sample_locations(os.path.join(room_folder, "sample-locations.png"))


if __name__ == "__main__":
    main()
