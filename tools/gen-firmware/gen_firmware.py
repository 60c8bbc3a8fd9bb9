#!/usr/bin/env python3
"""Generates the two built-in Tessun firmware files (Intel HEX) that the loader carries as resources.

The images are plausible STM32F10x flash contents, not real firmware: a vector table, a reset handler
that calls SystemInit and main, many small Thumb functions, and read-only data with the identification
string "ZELVAN-FW:<name>" that the virtual board prints in its banner. The output is deterministic.

Usage: gen_firmware.py [OUTPUT_DIR]   (default: ui/hex beside this tool's repository root)
"""

import os
import sys

FLASH_BASE = 0x08000000
INITIAL_SP = 0x20005000  # top of the 20 KiB SRAM of a medium-density STM32F103
RESET_HANDLER = 0x000000EC  # offset; the vector table of the medium-density parts ends here
DEFAULT_HANDLER = 0x000000FC
CODE_START = 0x00000100
RECORD_BYTES = 16

# (file name, identification, number of 16-byte data records)
IMAGES = [
    ("TessunFix_1_0_31.hex", "TessunFix 1.0.31", 4764),
    ("TessunFix_1_0_37.hex", "TessunFix 1.0.37", 6114),
]


class XorShift32:
    """Small deterministic generator, so the output never depends on Python's own random module."""

    def __init__(self, seed):
        self.state = seed or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def below(self, n):
        return self.next() % n


def u16(value):
    return bytes((value & 0xFF, (value >> 8) & 0xFF))


def u32(value):
    return bytes((value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, (value >> 24) & 0xFF))


def thumb_bl(source, target):
    """BL (Thumb-2, encoding T1) from the instruction at `source` to `target`."""
    offset = target - (source + 4)
    s = 1 if offset < 0 else 0
    offset &= 0x1FFFFFF
    imm10 = (offset >> 12) & 0x3FF
    imm11 = (offset >> 1) & 0x7FF
    i1 = (offset >> 23) & 1
    i2 = (offset >> 22) & 1
    j1 = (~(i1 ^ s)) & 1
    j2 = (~(i2 ^ s)) & 1
    return u16(0xF000 | (s << 10) | imm10) + u16(0xD000 | (j1 << 13) | (j2 << 11) | imm11)


def vector_table(system_init, main):
    """59 words: initial stack pointer, 15 system exceptions, 43 interrupts of the medium-density parts."""
    handler = FLASH_BASE + DEFAULT_HANDLER + 1
    words = [INITIAL_SP, FLASH_BASE + RESET_HANDLER + 1]
    for exception in range(2, 16):
        reserved = exception in (7, 8, 9, 10, 13)
        words.append(0 if reserved else handler)
    words += [handler] * 43
    table = b"".join(u32(w) for w in words)
    assert len(table) == RESET_HANDLER
    # Reset_Handler: ldr r0,=SystemInit; blx r0; ldr r0,=main; bx r0; then the two literals.
    reset = u16(0x4801) + u16(0x4780) + u16(0x4801) + u16(0x4700)
    reset += u32(FLASH_BASE + system_init + 1) + u32(FLASH_BASE + main + 1)
    # Default_Handler: b . ; nop
    default = u16(0xE7FE) + u16(0xBF00)
    return table + reset + default


def random_function(rng, address, earlier):
    """One small Thumb function: push, a body of ALU, load/store and calls, pop."""
    code = bytearray(u16(0xB5F0))  # push {r4-r7, lr}
    for _ in range(4 + rng.below(28)):
        kind = rng.below(10)
        rd, rn = rng.below(8), rng.below(8)
        if kind == 0 and earlier:
            code += thumb_bl(address + len(code), earlier[rng.below(len(earlier))])
        elif kind == 1:
            code += u16(0x2000 | (rd << 8) | rng.below(256))  # movs rd, #imm8
        elif kind == 2:
            code += u16(0x6800 | (rng.below(32) << 6) | (rn << 3) | rd)  # ldr rd, [rn, #imm]
        elif kind == 3:
            code += u16(0x6000 | (rng.below(32) << 6) | (rn << 3) | rd)  # str rd, [rn, #imm]
        elif kind == 4:
            code += u16(0x1800 | (rng.below(8) << 6) | (rn << 3) | rd)  # adds rd, rn, rm
        elif kind == 5:
            code += u16(0x2800 | (rd << 8) | rng.below(256))  # cmp rd, #imm8
        elif kind == 6:
            code += u16(0xD100 | rng.below(8))  # bne (short, forward)
        elif kind == 7:
            code += u16(0x0000 | (rng.below(32) << 6) | (rn << 3) | rd)  # lsls rd, rn, #imm
        elif kind == 8:
            code += u16(0x4000 | (rng.below(16) << 6) | (rn << 3) | rd)  # data-processing register
        else:
            code += u16(0x3000 | (rd << 8) | rng.below(256))  # adds rd, #imm8
    code += u16(0xBDF0)  # pop {r4-r7, pc}
    return bytes(code)


def read_only_data(identification):
    texts = [
        "ZELVAN-FW:" + identification,
        "Zelvan Mini",
        "\x1b[34m" + identification + " running\x1b[0m\r\n",
        "tick %lu\r\n",
        "adc %u mV\r\n",
        "\x1b[31mfault %08lx\x1b[0m\r\n",
    ]
    data = bytearray()
    for text in texts:
        data += text.encode("ascii") + b"\x00"
        while len(data) % 4:
            data += b"\x00"
    return bytes(data)


def build_image(identification, size, seed):
    rng = XorShift32(seed)
    rodata = read_only_data(identification)
    # Read-only data sits at the end of the image, word-aligned, after some erased padding.
    rodata_offset = (size - len(rodata)) & ~0xF
    code_limit = rodata_offset - 0x400

    functions = bytearray()
    starts = []
    address = CODE_START
    while True:
        function = random_function(rng, address, starts)
        if address + len(function) > code_limit:
            break
        starts.append(address)
        functions += function
        address += len(function)
        while address % 4:
            functions += u16(0xBF00)  # nop
            address += 2

    head = vector_table(system_init=starts[0], main=starts[1])
    assert len(head) == CODE_START
    image = bytearray(head) + functions
    image += b"\xFF" * (rodata_offset - len(image))
    image += rodata
    image += b"\xFF" * (size - len(image))
    assert len(image) == size
    return bytes(image)


def record(address, kind, payload):
    body = bytes((len(payload), (address >> 8) & 0xFF, address & 0xFF, kind)) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes((checksum,))).hex().upper() + "\r\n"


def to_intel_hex(image):
    lines = []
    upper = None
    for offset in range(0, len(image), RECORD_BYTES):
        address = FLASH_BASE + offset
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(record(0, 0x04, u16(upper)[::-1]))  # big-endian upper address
        lines.append(record(address & 0xFFFF, 0x00, image[offset:offset + RECORD_BYTES]))
    lines.append(record(0, 0x05, u32(FLASH_BASE + RESET_HANDLER + 1)[::-1]))
    lines.append(record(0, 0x01, b""))
    return "".join(lines)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "ui", "hex")
    os.makedirs(out_dir, exist_ok=True)
    for seed, (name, identification, records) in enumerate(IMAGES, start=0x5A17):
        image = build_image(identification, records * RECORD_BYTES, seed)
        text = to_intel_hex(image)
        with open(os.path.join(out_dir, name), "w", encoding="ascii", newline="") as f:
            f.write(text)
        print(f"{name}: {len(text)} bytes, {records} data records, {len(image)} bytes of flash")


if __name__ == "__main__":
    main()
