#!/usr/bin/env python3
"""Checks the export and import tables of a build of d_r6odi.dll.

    pecheck.py [--objdump PATH] [--library NAME] DLL

Every export must be one of the driver's 21 functions, under its plain
(undecorated) name and its ordinal; in a 32-bit image every return
instruction of an export's body must remove exactly the export's arguments
from the stack (`ret $N`, N = 4 x arguments, for a "callee" export; a plain
`ret` for a "caller" one). A DLL may export only some of the 21: functions
arrive one change at a time. The DLL may import only from the system DLLs the
driver is allowed to use.

Exit status: 0 when the DLL passes, 1 when it is rejected (one line per
problem), 2 when it cannot be read or disassembled.

The bodies are bounded by the COFF symbol table that the linker leaves in an
unstripped image: an export's body runs from its address to the next symbol
of its section. A stripped image is checked with the symbols of the same link
before stripping (`--symbols UNSTRIPPED`), whose code sections must be byte
for byte the stripped image's. Parts that the compiler moved out of line (`name.cold`) are
part of the body too. The instructions come from the cross binutils' objdump.
"""

import argparse
import os
import re
import struct
import subprocess
import sys

# name: (arguments, convention). The ordinals are 1..21 in the order of the
# sorted names.
EXPORT_TABLE = {
    "d_BinningCount": (0, "caller"),
    "d_BinningName": (1, "callee"),
    "d_EndDownload": (1, "callee"),
    "d_FilterWheel": (2, "callee"),
    "d_Finalize": (0, "caller"),
    "d_GetHeight": (1, "callee"),
    "d_GetInfo": (0, "caller"),
    "d_GetName": (0, "caller"),
    "d_GetOK": (0, "caller"),
    "d_GetTemperature": (0, "caller"),
    "d_GetWidth": (1, "callee"),
    "d_Initialize": (1, "callee"),
    "d_InterruptExposure": (0, "caller"),
    "d_IsColor": (0, "caller"),
    "d_IsExposing": (0, "caller"),
    "d_MoveFrame": (1, "callee"),
    "d_ReadImage": (1, "callee"),
    "d_SetupCCD": (1, "callee"),
    "d_StartDownload": (0, "caller"),
    "d_StartExposure": (2, "callee"),
    "d_Subframe": (5, "callee"),
}
ORDINALS = {name: index + 1 for index, name in enumerate(sorted(EXPORT_TABLE))}

# winmm for the system timer's period while an exposure runs.
ALLOWED_IMPORTS = ("kernel32.dll", "user32.dll", "setupapi.dll", "winmm.dll", "msvcrt.dll")
ALLOWED_IMPORT_PATTERNS = (re.compile(r"^api-ms-win-crt-[a-z0-9-]+\.dll$"),)

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
SCN_MEM_EXECUTE = 0x20000000


class Unreadable(Exception):
    """The file is not a PE image this tool understands."""


class Section:
    def __init__(self, number, name, virtual_size, rva, raw_size, raw_offset, flags):
        self.number = number
        self.name = name
        self.virtual_size = virtual_size
        self.rva = rva
        self.raw_size = raw_size
        self.raw_offset = raw_offset
        self.flags = flags

    def contains(self, rva):
        return self.rva <= rva < self.rva + max(self.virtual_size, self.raw_size)

    @property
    def end(self):
        return self.rva + self.virtual_size


class PeImage:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise Unreadable("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Unreadable("no PE signature")
        (self.machine, section_count, _, self.symbol_table, self.symbol_count,
         optional_size, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = self.u16(optional)
        if magic == 0x10B:
            self.image_base = self.u32(optional + 28)
            directories = optional + 96
        elif magic == 0x20B:
            self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            directories = optional + 112
        else:
            raise Unreadable("unknown optional header 0x%x" % magic)
        directory_count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(min(directory_count, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("latin-1")
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            flags = self.u32(entry + 36)
            self.sections.append(Section(i + 1, name, virtual_size, rva, raw_size, raw_offset, flags))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def section_of(self, rva):
        for section in self.sections:
            if section.contains(rva):
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if section is None or rva - section.rva >= section.raw_size:
            raise Unreadable("RVA 0x%x is not in the file" % rva)
        return section.raw_offset + rva - section.rva

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def directory(self, index):
        if index >= len(self.directories):
            return (0, 0)
        return self.directories[index]


class Export:
    def __init__(self, ordinal, rva, name, forwarded):
        self.ordinal = ordinal
        self.rva = rva
        self.name = name
        self.forwarded = forwarded


def read_exports(image):
    """Returns (library name or None, [Export])."""
    rva, size = image.directory(0)
    if rva == 0:
        return None, []
    o = image.offset(rva)
    (_, _, _, _, name_rva, base, function_count, name_count, functions, names,
     name_ordinals) = struct.unpack_from("<IIHHIIIIIII", image.data, o)
    library = image.text(name_rva) if name_rva else None
    named = {}
    for i in range(name_count):
        name = image.text(image.u32(image.offset(names) + 4 * i))
        index = image.u16(image.offset(name_ordinals) + 2 * i)
        named.setdefault(index, []).append(name)
    exports = []
    for index in range(function_count):
        function_rva = image.u32(image.offset(functions) + 4 * index)
        if function_rva == 0:
            continue
        forwarded = rva <= function_rva < rva + size
        for name in named.get(index, [None]):
            exports.append(Export(base + index, function_rva, name, forwarded))
    return library, exports


def read_imports(image):
    """The names of the DLLs imported directly or with delayed loading."""
    dlls = []
    rva, _ = image.directory(1)
    if rva:
        o = image.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", image.data, o)
            if not any(descriptor):
                break
            dlls.append(image.text(descriptor[3]))
            o += 20
    rva, _ = image.directory(13)
    if rva:
        o = image.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIIIIII", image.data, o)
            if not any(descriptor):
                break
            name = descriptor[1]
            if not descriptor[0] & 1:  # old form: a virtual address
                name -= image.image_base
            dlls.append(image.text(name))
            o += 32
    return dlls


def read_symbols(image):
    """[(section number, rva, name)] of the COFF symbol table, or []."""
    if image.symbol_table == 0 or image.symbol_count == 0:
        return []
    strings = image.symbol_table + 18 * image.symbol_count
    symbols = []
    i = 0
    while i < image.symbol_count:
        entry = image.symbol_table + 18 * i
        raw = image.data[entry:entry + 8]
        if raw[:4] == b"\0\0\0\0":
            start = strings + struct.unpack_from("<I", raw, 4)[0]
            name = image.data[start:image.data.index(b"\0", start)].decode("latin-1")
        else:
            name = raw.rstrip(b"\0").decode("latin-1")
        value, section_number, _, _, aux = struct.unpack_from("<IhHBB", image.data, entry + 8)
        if 0 < section_number <= len(image.sections):
            section = image.sections[section_number - 1]
            symbols.append((section_number, section.rva + value, name))
        i += 1 + aux
    return symbols


def borrowed_symbols(image, path, problems):
    """The symbols of the unstripped image at path, numbered by the sections
    of image; [] with a problem when its code is not the code of image."""
    with open(path, "rb") as f:
        source = PeImage(f.read())
    numbers = {}
    for section in image.sections:
        if not section.flags & SCN_MEM_EXECUTE:
            continue
        twin = next((s for s in source.sections if (s.name, s.rva) == (section.name, section.rva)), None)
        size = min(section.virtual_size, section.raw_size)
        code = image.data[section.raw_offset:section.raw_offset + size]
        if twin is None or twin.virtual_size != section.virtual_size or \
                source.data[twin.raw_offset:twin.raw_offset + size] != code:
            problems.append("code section %s differs from that of %s: its symbols do not describe "
                            "this image" % (section.name, os.path.basename(path)))
            return []
        numbers[twin.number] = section.number
    return [(numbers[n], rva, name) for n, rva, name in read_symbols(source) if n in numbers]


def undecorated(name):
    """The plain C name of a decorated stdcall/cdecl/fastcall symbol."""
    plain = name.lstrip("_@")
    return plain.split("@", 1)[0]


def body_ranges(image, symbols, rva):
    """[(start, end)] RVAs of an export's body and its out-of-line parts."""
    section = image.section_of(rva)
    starts = sorted({s_rva for number, s_rva, _ in symbols if number == section.number})
    def end_of(start):
        later = [s for s in starts if s > start]
        return min(later[0] if later else section.end, section.end)
    ranges = [(rva, end_of(rva))]
    own = {name for _, s_rva, name in symbols if s_rva == rva and not name.startswith(".")}
    for number, s_rva, name in symbols:
        for base in own:
            if re.fullmatch(re.escape(base) + r"\.cold(\.\d+)?", name):
                cold_section = image.sections[number - 1]
                later = sorted(s for n, s, _ in symbols if n == number and s > s_rva)
                ranges.append((s_rva, min(later[0] if later else cold_section.end,
                                          cold_section.end)))
    return ranges


INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+((?:[0-9a-f]{2} )+)\s*(.*)$")
JUMP = re.compile(r"^j[a-z]*\s+(?:0x)?([0-9a-f]+)\b")
PREFIXES = {0xF2, 0xF3, 0x66, 0x2E, 0x3E, 0x26, 0x36, 0x64, 0x65}


class Instruction:
    def __init__(self, rva, code, text):
        self.rva = rva
        self.code = code  # the bytes after any prefix
        self.text = text

    def popped(self):
        """Bytes a return removes (None: a far return); not a return: -1."""
        if self.code[0] == 0xC3:
            return 0
        if self.code[0] == 0xC2 and len(self.code) >= 3:
            return self.code[1] | self.code[2] << 8
        if self.code[0] in (0xCA, 0xCB):
            return None
        return -1

    def jump_target(self, image_base):
        """The RVA a direct jump goes to, or None."""
        match = JUMP.match(self.text)
        return int(match.group(1), 16) - image_base if match else None


def disassemble(objdump, path, image, start, end):
    """The instructions in [start, end)."""
    command = [objdump, "-d", "-w",
               "--start-address=0x%x" % (image.image_base + start),
               "--stop-address=0x%x" % (image.image_base + end), path]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            universal_newlines=True)
    if result.returncode != 0:
        raise Unreadable("%s failed: %s" % (" ".join(command), result.stderr.strip()))
    instructions = []
    for line in result.stdout.splitlines():
        match = INSTRUCTION.match(line)
        if not match or not match.group(3):
            continue
        code = [int(b, 16) for b in match.group(2).split()]
        while code and code[0] in PREFIXES:
            code = code[1:]
        if code:
            instructions.append(Instruction(int(match.group(1), 16) - image.image_base, code,
                                            " ".join(match.group(3).split())))
    return instructions


# A tail call hands the caller's frame to another function, whose returns
# then end the export; they are followed this many calls deep.
TAIL_CALL_DEPTH = 4


def returns_of(objdump, path, image, symbols, rva):
    """([Instruction] of every return that can end a call of the function at
    rva, number of exits through a jump to a computed address)."""
    returns = []
    computed = 0
    seen = set()
    pending = [(rva, 0)]
    while pending:
        function, depth = pending.pop()
        if function in seen or depth > TAIL_CALL_DEPTH:
            continue
        seen.add(function)
        section = image.section_of(function)
        if section is None or not section.flags & SCN_MEM_EXECUTE:
            continue
        ranges = body_ranges(image, symbols, function)
        inside = lambda target: any(a <= target < b for a, b in ranges)
        for start, end in ranges:
            for instruction in disassemble(objdump, path, image, start, end):
                if instruction.popped() != -1:
                    returns.append(instruction)
                    continue
                target = instruction.jump_target(image.image_base)
                if target is not None and not inside(target):
                    pending.append((target, depth + 1))
                elif instruction.text.startswith("jmp") and "*" in instruction.text:
                    computed += 1
    return returns, computed


def default_objdump(machine):
    prefix = {MACHINE_I386: "i686-w64-mingw32-", MACHINE_AMD64: "x86_64-w64-mingw32-"}
    return prefix.get(machine, "") + "objdump"


def check(path, objdump, library, symbol_path=None):
    """Returns (problems, notes) for the DLL at path."""
    with open(path, "rb") as f:
        image = PeImage(f.read())
    problems = []
    notes = []
    objdump = objdump or default_objdump(image.machine)

    name, exports = read_exports(image)
    if library is not None and name != library:
        problems.append("the export table names the library %r, want %r" % (name, library))

    symbols = []
    if image.machine == MACHINE_I386:
        symbols = borrowed_symbols(image, symbol_path, problems) if symbol_path else read_symbols(image)
        if problems:
            return problems, notes
    if image.machine == MACHINE_I386 and exports and not symbols:
        raise Unreadable("no symbol table (stripped?): the bodies of the exports cannot be bounded")

    present = 0
    for export in exports:
        label = export.name if export.name is not None else "ordinal %d" % export.ordinal
        if export.name is None:
            problems.append("%s: exported without a name" % label)
            continue
        if export.forwarded:
            problems.append("%s: forwarded to another DLL" % label)
            continue
        plain = undecorated(export.name)
        if plain != export.name:
            if plain in EXPORT_TABLE:
                problems.append("%s: decorated name, want %s" % (export.name, plain))
            else:
                problems.append("%s: decorated name, and %s is not in the export table"
                                % (export.name, plain))
            continue
        if export.name not in EXPORT_TABLE:
            problems.append("%s: not in the export table of the driver" % export.name)
            continue
        present += 1
        want = ORDINALS[export.name]
        if export.ordinal != want:
            problems.append("%s: ordinal %d, want %d" % (export.name, export.ordinal, want))
        section = image.section_of(export.rva)
        if section is None or not section.flags & SCN_MEM_EXECUTE:
            problems.append("%s: does not point into code" % export.name)
            continue
        if image.machine != MACHINE_I386:
            continue
        arguments, convention = EXPORT_TABLE[export.name]
        popped = 4 * arguments if convention == "callee" else 0
        want_text = "ret $0x%x" % popped if popped else "ret"
        returns, computed = returns_of(objdump, path, image, symbols, export.rva)
        if not returns and computed:
            # A tail call through the import table (or another pointer):
            # the function it reaches is not in this DLL.
            notes.append("%s: ends in a jump through a pointer; the return is not in this DLL"
                         % export.name)
        elif not returns:
            problems.append("%s: no return instruction found in its body or its tail calls"
                            % export.name)
        for instruction in returns:
            if instruction.popped() != popped:
                problems.append("%s: '%s' at 0x%x, want '%s' (%s, %d argument%s)"
                                % (export.name, instruction.text,
                                   image.image_base + instruction.rva, want_text, convention,
                                   arguments, "" if arguments == 1 else "s"))

    imports = read_imports(image)
    for dll in imports:
        lower = dll.lower()
        if lower in ALLOWED_IMPORTS or any(p.match(lower) for p in ALLOWED_IMPORT_PATTERNS):
            continue
        problems.append("imports %s, which is not one of the allowed system DLLs" % dll)

    if image.machine != MACHINE_I386:
        notes.append("not a 32-bit image: calling conventions are not checked")
    notes.append("%d of %d exports present; imports: %s"
                 % (present, len(EXPORT_TABLE), ", ".join(imports) or "none"))
    return problems, notes


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("dll")
    parser.add_argument("--objdump", help="objdump of the cross binutils")
    parser.add_argument("--library", help="the library name the export table must carry")
    parser.add_argument("--symbols", metavar="UNSTRIPPED",
                        help="for a stripped DLL: the same link before stripping, whose symbols bound the bodies")
    options = parser.parse_args(argv)
    shown = os.path.basename(options.dll)
    try:
        problems, notes = check(options.dll, options.objdump, options.library, options.symbols)
    except (OSError, Unreadable, struct.error, ValueError) as error:
        print("pecheck: %s: cannot check: %s" % (shown, error))
        return 2
    for note in notes:
        print("pecheck: %s: %s" % (shown, note))
    for problem in problems:
        print("pecheck: %s: error: %s" % (shown, problem))
    if problems:
        print("pecheck: %s: REJECTED (%d problem%s)"
              % (shown, len(problems), "" if len(problems) == 1 else "s"))
        return 1
    print("pecheck: %s: OK" % shown)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
