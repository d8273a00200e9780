#!/usr/bin/env python3
"""Checks patch files before build-wrapper embeds them, and prints the slot map.

    check-patches.py SLOT=FILE ...

Reads each patch the way the wrapper will: the summary's Keywords as
"upgradeVersion;target1,target2,...", its Template as product codes joined
by ';'. A patch the wrapper could never apply is refused (exit code 2, a
message per problem on stderr); a patch that would be misread in part gets a
warning on stderr. The slot map goes to stdout.

The summary comes from msitools' `msiinfo suminfo`; the version the patch's
transforms give the product comes from the transforms' Property tables,
read here from the compound file itself (msitools does not open the
transform storages of a patch).
"""

import struct
import subprocess
import sys


# --- versions, read as the wrapper reads them --------------------------------

def _component(text):
    """wcstol base 10, saturated to 32 bits, then kept to 16 bits as the
    wrapper's version fields are."""
    i = 0
    while i < len(text) and text[i] in " \t\n\v\f\r":
        i += 1
    negative = False
    if i < len(text) and text[i] in "+-":
        negative = text[i] == "-"
        i += 1
    magnitude = 0
    while i < len(text) and "0" <= text[i] <= "9":
        magnitude = min(magnitude * 10 + ord(text[i]) - ord("0"), 2**31)
        i += 1
    value = -magnitude if negative else min(magnitude, 2**31 - 1)
    return value & 0xFFFF


def parse_version(text):
    """A part counts only when a separator follows it, except the fourth:
    "3.2.10" gives (3, 2, 0, 0)."""
    rest = text.replace(",", ".")
    parts = []
    for _ in range(3):
        stop = rest.find(".")
        if stop < 0:
            return tuple(parts + [0] * (4 - len(parts)))
        parts.append(_component(rest[:stop]))
        rest = rest[stop + 1:]
    parts.append(_component(rest))
    return tuple(parts)


def full_parts(text):
    return text.replace(",", ".").count(".") >= 3


def show(version):
    return ".".join(str(part) for part in version)


# --- the summary, through msiinfo ---------------------------------------------

def read_summary(path):
    """Label -> value as msiinfo prints it; None when the file has no
    readable summary at all (msiinfo says nothing then, and still exits 0)."""
    try:
        result = subprocess.run(["msiinfo", "suminfo", path], capture_output=True, check=False)
    except OSError as error:
        raise SystemExit(f"build-wrapper: cannot run msiinfo (msitools): {error}")
    values = {}
    # msiinfo prints the stored bytes as they are: code page 1252.
    for line in result.stdout.decode("cp1252", errors="replace").splitlines():
        label, colon, value = line.partition(": ")
        if colon and label not in values:
            values[label] = value
    return values or None


# --- the transforms, from the compound file ----------------------------------

class CompoundFile:
    """Just enough of the compound-file format to list storages and read
    small streams, with every chain bounded so that a damaged file raises
    ValueError instead of looping."""

    END = 0xFFFFFFFE
    FREE = 0xFFFFFFFF

    def __init__(self, handle):
        self.f = handle
        header = self._read_at(0, 512)
        if header[:8] != b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
            raise ValueError("no compound-file signature")
        self.sector_size = 1 << struct.unpack_from("<H", header, 0x1E)[0]
        self.mini_size = 1 << struct.unpack_from("<H", header, 0x20)[0]
        if self.sector_size not in (512, 4096) or self.mini_size != 64:
            raise ValueError("unexpected sector sizes")
        fat_count, first_dir = struct.unpack_from("<II", header, 0x2C)
        self.cutoff, first_minifat, _, first_difat, difat_count = struct.unpack_from("<IIIII", header, 0x38)
        self.file_size = handle.seek(0, 2)

        fat_sectors = list(struct.unpack_from("<109I", header, 0x4C))
        per_sector = self.sector_size // 4
        sector, seen = first_difat, set()
        for _ in range(difat_count):
            if sector >= self.END or sector in seen:
                break
            seen.add(sector)
            entries = struct.unpack("<%dI" % per_sector, self._sector(sector))
            fat_sectors.extend(entries[:-1])
            sector = entries[-1]
        fat = bytearray()
        for sector in fat_sectors[:fat_count]:
            fat += self._sector(sector)
        self.fat = struct.unpack("<%dI" % (len(fat) // 4), bytes(fat))

        directory = self._chain_bytes(first_dir, self.fat, self._sector)
        self.entries = [directory[i:i + 128] for i in range(0, len(directory) - 127, 128)]
        minifat = self._chain_bytes(first_minifat, self.fat, self._sector) if first_minifat < self.END else b""
        self.minifat = struct.unpack("<%dI" % (len(minifat) // 4), minifat)
        root_start, _ = self._entry_stream(0)
        self.mini_stream = self._chain_bytes(root_start, self.fat, self._sector) if root_start < self.END else b""

    def _read_at(self, offset, size):
        self.f.seek(offset)
        data = self.f.read(size)
        if len(data) != size:
            raise ValueError("truncated file")
        return data

    def _sector(self, number):
        offset = (number + 1) * self.sector_size
        if number >= self.END or offset + self.sector_size > self.file_size:
            raise ValueError("sector outside the file")
        return self._read_at(offset, self.sector_size)

    def _mini_sector(self, number):
        start = number * self.mini_size
        if start + self.mini_size > len(self.mini_stream):
            raise ValueError("mini sector outside the mini stream")
        return self.mini_stream[start:start + self.mini_size]

    @classmethod
    def _chain_bytes(cls, start, table, read, limit=None):
        data = bytearray()
        sector, seen = start, set()
        while sector != cls.END:
            if sector in seen or sector >= len(table):
                raise ValueError("broken sector chain")
            seen.add(sector)
            data += read(sector)
            if limit is not None and len(data) >= limit:
                break
            sector = table[sector]
        return bytes(data)

    def _entry_stream(self, index):
        entry = self.entries[index]
        start, size = struct.unpack_from("<II", entry, 0x74)
        return start, size

    def name(self, index):
        entry = self.entries[index]
        length = struct.unpack_from("<H", entry, 0x40)[0]
        return entry[:max(0, length - 2)].decode("utf-16-le", errors="replace")

    def kind(self, index):
        return self.entries[index][0x42]

    def children(self, index):
        """Indexes of the entries directly inside storage `index`."""
        found, pending, seen = [], [struct.unpack_from("<I", self.entries[index], 0x4C)[0]], set()
        while pending:
            child = pending.pop()
            if child >= len(self.entries) or child in seen:
                continue
            seen.add(child)
            found.append(child)
            pending.extend(struct.unpack_from("<II", self.entries[child], 0x44))
        return found

    def stream(self, index):
        start, size = self._entry_stream(index)
        if size == 0:
            return b""
        if size < self.cutoff:
            data = self._chain_bytes(start, self.minifat, self._mini_sector, size)
        else:
            data = self._chain_bytes(start, self.fat, self._sector, size)
        if len(data) < size:
            raise ValueError("stream shorter than its size")
        return data[:size]


STORAGE, STREAM = 1, 2
_NAME_CHARS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def table_stream_name(table):
    """The installer's stream name for a table: two name characters packed
    into one code unit, behind the table marker U+4840."""
    out, i = ["\u4840"], 0
    while i < len(table):
        first = _NAME_CHARS.find(table[i])
        second = _NAME_CHARS.find(table[i + 1]) if i + 1 < len(table) else -1
        if first < 0:
            out.append(table[i])
        elif second < 0:
            out.append(chr(0x4800 + first))
        else:
            out.append(chr(0x3800 + first + (second << 6)))
            i += 1
        i += 1
    return "".join(out)


def string_table(pool, data):
    """String id -> text, with Wine's reading of the pool: a (0, n) entry
    carries the high length word of the string after it."""
    if len(pool) < 4:
        raise ValueError("string pool without header")
    codepage_low, codepage_high = struct.unpack_from("<HH", pool, 0)
    long_refs = bool(codepage_high & 0x8000)
    codepage = codepage_low | ((codepage_high & 0x7FFF) << 16)
    encoding = "cp%d" % codepage if codepage else "cp1252"
    try:
        "".encode(encoding)
    except LookupError:
        encoding = "latin-1"
    words = struct.unpack("<%dH" % (len(pool) // 2), pool[:len(pool) // 2 * 2])
    strings, offset, i, string_id = {}, 0, 1, 1
    count = len(words) // 2
    while i < count:
        length, refs = words[2 * i], words[2 * i + 1]
        if length == 0 and refs == 0:
            i += 1
            string_id += 1
            continue
        if length == 0:
            if i + 1 >= count:
                break
            length = (refs << 16) + words[2 * i + 2]
            i += 2
        else:
            i += 1
        strings[string_id] = data[offset:offset + length].decode(encoding, errors="replace")
        offset += length
        string_id += 1
    return strings, (3 if long_refs else 2)


def property_rows(table, strings, ref_size):
    """(name, value) of the transform's Property rows that set a value."""
    rows, n = [], 0

    def ref(at):
        return int.from_bytes(table[at:at + ref_size], "little")

    while n + 2 <= len(table):
        mask = struct.unpack_from("<H", table, n)[0]
        n += 2
        if mask & 1:
            columns = mask >> 8
            present = [True] * columns
        else:
            # Bit c marks column c as present; the key column always is.
            present = [True, bool(mask & 2)]
        fields = []
        for is_present in present:
            if not is_present:
                fields.append(None)
                continue
            if n + ref_size > len(table):
                raise ValueError("truncated Property row")
            fields.append(ref(n))
            n += ref_size
        if len(fields) >= 2 and fields[1] is not None and mask != 0:
            rows.append((strings.get(fields[0], ""), strings.get(fields[1], "")))
    return rows


def transform_versions(path):
    """The ProductVersion values the patch's transforms set, in storage
    order; None when the file cannot be read that far."""
    try:
        with open(path, "rb") as handle:
            cfb = CompoundFile(handle)
            versions = []
            for storage in sorted(cfb.children(0), key=cfb.name):
                if cfb.kind(storage) != STORAGE:
                    continue
                streams = {cfb.name(i): i for i in cfb.children(storage) if cfb.kind(i) == STREAM}
                wanted = [table_stream_name(t) for t in ("_StringPool", "_StringData", "Property")]
                if not all(name in streams for name in wanted):
                    continue
                pool, data, table = (cfb.stream(streams[name]) for name in wanted)
                strings, ref_size = string_table(pool, data)
                for name, value in property_rows(table, strings, ref_size):
                    if name == "ProductVersion":
                        versions.append(value)
            return versions
    except (OSError, ValueError, struct.error, IndexError):
        return None


# --- the checks ----------------------------------------------------------------

def check(slot, path, refusals, warnings):
    """The slot-map lines for one patch; problems go to the two lists."""
    where = f"slot {slot} ({path})"
    summary = read_summary(path)
    if summary is None:
        refusals.append(f"{where}: its summary information cannot be read; "
                        "it is not a Windows Installer patch")
        return [f"slot {slot}: {path}", "  summary: unreadable"]

    keywords = summary.get("Keywords", "")
    template = summary.get("Template", "")
    upgrade = targets = None
    if "Keywords" not in summary:
        refusals.append(f"{where}: it has no Keywords; the wrapper needs "
                        "\"upgradeVersion;targetVersion,...\" there")
    elif ";" not in keywords:
        refusals.append(f"{where}: its Keywords \"{keywords}\" have no ';'; the wrapper needs "
                        "\"upgradeVersion;targetVersion,...\"")
    elif keywords.startswith(";"):
        refusals.append(f"{where}: its Keywords \"{keywords}\" begin with ';', so there is "
                        "no upgrade version")
    else:
        upgrade, _, targets = keywords.partition(";")

    if not template:
        refusals.append(f"{where}: its Template is empty or absent, so the wrapper would find "
                        "no product to patch")
    elif template.startswith(";"):
        refusals.append(f"{where}: its Template \"{template}\" begins with ';', so the wrapper "
                        "would find no product to patch")
    products = []
    for code in template.split(";"):
        if not code:
            break
        products.append(code)

    lines = [f"slot {slot}: {path}",
             "  products: " + (", ".join(products) if products else "none")]
    if upgrade is None:
        lines.append(f"  keywords: {keywords}" if "Keywords" in summary else "  keywords: absent")
        return lines

    def described(text, what):
        if full_parts(text):
            return text
        warnings.append(f"{where}: {what} \"{text}\" has fewer than four parts; "
                        f"the wrapper reads it as {show(parse_version(text))}")
        return f"{text} (reads as {show(parse_version(text))})"

    shown_targets = [described(t, "target version") for t in targets.split(",")]
    lines.append("  targets:  " + ", ".join(shown_targets))
    line = "  upgrade:  " + described(upgrade, "upgrade version")

    moved_to = transform_versions(path)
    if not moved_to:
        line += "; the transforms' version: cannot tell"
    else:
        distinct = list(dict.fromkeys(moved_to))
        line += "; the transforms move the product to " + ", ".join(distinct)
        for version in distinct:
            if parse_version(version) == parse_version(upgrade):
                continue
            # The wrapper skips a product at or above the upgrade version, and
            # a rollback removes the patch where the product stands exactly at it.
            again = ("the wrapper would apply the patch again on every run, and "
                     if parse_version(version) < parse_version(upgrade) else "")
            warnings.append(
                f"{where}: the Keywords' upgrade version {upgrade} differs from {version}, "
                f"the version the patch's transforms move the product to; {again}a rollback "
                "would look for the patched products at the wrong version")
    lines.append(line)
    return lines


def main(arguments):
    if not arguments:
        print("usage: check-patches.py SLOT=FILE ...", file=sys.stderr)
        return 2
    refusals, warnings, slot_map = [], [], []
    for argument in arguments:
        slot, _, path = argument.partition("=")
        slot_map.extend(check(slot, path, refusals, warnings))
    for warning in warnings:
        print(f"build-wrapper: warning: {warning}", file=sys.stderr)
    for refusal in refusals:
        print(f"build-wrapper: refused: {refusal}", file=sys.stderr)
    if refusals:
        return 2
    print("\n".join(slot_map))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
