#!/usr/bin/python3
"""Patches made to stall or exhaust build-wrapper's checks.

Each passes for a Windows Installer patch as far as the wrapper reads one
(the installer's patch class, a summary with Keywords, Template and a patch
code, an MsiPatchMetadata table with AllowRemoval 1), and its tables or its
compound file are shaped so that a reader that trusts them holds or reads
without bound:

  long-version OUT        a transform whose 3,000 ProductVersion rows all
                          name one value of 1 MB
  many-versions OUT N     a transform whose N ProductVersion rows each name
                          a version of their own
  shared-transforms OUT N N transforms whose tables are the same sectors:
                          a 15 MB _StringData read over and over
  metadata-ones OUT N     an MsiPatchMetadata table whose string pool holds
                          "1" under N ids
  zigzag OUT              a mini stream whose chain leaves its FAT sector at
                          every step, so that opening the file reads a FAT
                          sector per step (sparse: about 36 MB long, a few
                          hundred kilobytes written)
  big-tables OUT          a transform whose tables stand at the readers'
                          16 MB cap, 41 MB together
  big-cabinet OUT MB      a sound patch with a cabinet stream of MB
                          megabytes, which the checks never read

    hostile_patch.py KIND OUT [N]
"""

import struct
import sys
import uuid

SECTOR = 4096  # a version 4 file: no DIFAT below 457 MB
MINI_SECTOR = 64
CUTOFF = 4096
END_OF_CHAIN = 0xFFFFFFFE
FREE = 0xFFFFFFFF
FAT_MARKER = 0xFFFFFFFD
NO_ENTRY = 0xFFFFFFFF
PATCH_CLASS = bytes.fromhex("86100c0000000000c000000000000046")
NAME_CHARACTERS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def table_name(table):
    """The stream name the installer gives a table: two characters a unit."""
    units = [0x4840]
    i = 0
    while i < len(table):
        first = NAME_CHARACTERS.find(table[i])
        second = NAME_CHARACTERS.find(table[i + 1]) if i + 1 < len(table) else -1
        if second < 0:
            units.append(0x4800 + first)
            i += 1
        else:
            units.append(0x3800 + first + (second << 6))
            i += 2
    return "".join(map(chr, units))


def string_pool(strings):
    """_StringPool and _StringData of `strings` (ids from 1), references of
    three bytes when two cannot count them."""
    wide = len(strings) >= 0xFFFF
    pool = [struct.pack("<HH", 1252, 0x8000 if wide else 0)]
    for text in strings:
        if len(text) < 0x10000:
            pool.append(struct.pack("<HH", len(text), 1))
        else:
            pool.append(struct.pack("<HHI", 0, 1, len(text)))
    return b"".join(pool), b"".join(strings), 3 if wide else 2


def reference(id_, size):
    return id_.to_bytes(size, "little")


def summary(keywords, template, revision):
    """A summary stream of code page 1252 and three text properties."""
    values = [(1, struct.pack("<IH2x", 2, 1252))]
    for pid, text in ((5, keywords), (7, template), (9, revision)):
        data = text.encode("ascii") + b"\0"
        data += b"\0" * (-len(data) % 4)
        values.append((pid, struct.pack("<II", 30, len(text) + 1) + data))
    table_size = 8 + 8 * len(values)
    offsets, body = [], b""
    for pid, value in values:
        offsets.append(struct.pack("<II", pid, table_size + len(body)))
        body += value
    section = struct.pack("<II", table_size + len(body), len(values)) + b"".join(offsets) + body
    fmtid = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9").bytes_le
    return struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020005, bytes(16), 1) + fmtid + struct.pack("<I", 48) + section


class CompoundFile:
    """Streams and storages, written with 4096-byte sectors: streams below
    the cutoff in the mini stream, the others in chains of their own; a
    stream may share another's sectors."""

    def __init__(self):
        self.entries = [{"name": "Root Entry", "type": 5, "children": [], "class": PATCH_CLASS}]

    def storage(self, parent, name):
        self.entries.append({"name": name, "type": 1, "children": []})
        self.entries[parent]["children"].append(len(self.entries) - 1)
        return len(self.entries) - 1

    def stream(self, parent, name, data=b"", like=None):
        self.entries.append({"name": name, "type": 2, "data": data, "like": like})
        self.entries[parent]["children"].append(len(self.entries) - 1)
        return len(self.entries) - 1

    def _tree(self, children):
        def key(index):
            name = self.entries[index]["name"]
            return (len(name), name.upper())

        ordered = sorted(children, key=key)

        def build(lo, hi):
            if lo >= hi:
                return NO_ENTRY
            mid = (lo + hi) // 2
            node = self.entries[ordered[mid]]
            node["left"], node["right"] = build(lo, mid), build(mid + 1, hi)
            return ordered[mid]

        return build(0, len(ordered))

    def write(self, path, mini_stream_sectors=None):
        """`mini_stream_sectors`: the mini stream's sectors in chain order,
        at least as many as it needs, when the writer is not to place it."""
        mini, big = b"", []
        for entry in self.entries:
            if entry["type"] != 2 or entry["like"] is not None:
                continue
            data = entry["data"]
            entry["size"] = len(data)
            if not data:
                entry["start"] = END_OF_CHAIN
            elif len(data) < CUTOFF:
                entry["start"] = len(mini) // MINI_SECTOR
                mini += data + b"\0" * (-len(data) % MINI_SECTOR)
            else:
                big.append(entry)
        for entry in self.entries:
            entry.setdefault("left", NO_ENTRY)
            entry.setdefault("right", NO_ENTRY)
            entry["child"] = self._tree(entry["children"]) if entry["type"] != 2 else NO_ENTRY

        per_sector = SECTOR // 4
        directory = -(-len(self.entries) * 128 // SECTOR)
        mini_fat = -(-(len(mini) // MINI_SECTOR) * 4 // SECTOR)
        mini_chain = mini_stream_sectors or list(range(-(-len(mini) // SECTOR)))
        chains = {}  # first sector -> count, for every chain but the mini stream's
        used = max(mini_chain) + 1 if mini_stream_sectors else 0
        fat_count = 1
        while True:
            # FAT, then directory, mini FAT, the mini stream and the streams.
            total = max(used, fat_count) + directory + mini_fat + (0 if mini_stream_sectors else len(mini_chain))
            total += sum(-(-len(e["data"]) // SECTOR) for e in big)
            if fat_count * per_sector >= total:
                break
            fat_count += 1
        if fat_count > 109:
            raise SystemExit("hostile_patch.py: too large for a file without DIFAT")
        fat = [FREE] * (fat_count * per_sector)
        at = max(used, fat_count) if mini_stream_sectors else fat_count
        for sector in range(fat_count):
            fat[sector] = FAT_MARKER

        def chain(first, count):
            for i in range(count):
                fat[first + i] = first + i + 1 if i + 1 < count else END_OF_CHAIN
            return first if count else END_OF_CHAIN

        directory_start = chain(at, directory)
        at += directory
        mini_fat_start = chain(at, mini_fat)
        at += mini_fat
        if not mini_stream_sectors:
            mini_chain = [at + i for i in range(len(mini_chain))]
            at += len(mini_chain)
        for here, there in zip(mini_chain, mini_chain[1:]):
            fat[here] = there
        if mini_chain:
            fat[mini_chain[-1]] = END_OF_CHAIN
        pieces = []
        for entry in big:
            count = -(-len(entry["data"]) // SECTOR)
            entry["start"] = chain(at, count)
            pieces.append((at, entry["data"]))
            at += count
        for entry in self.entries:
            if entry["type"] == 2 and entry["like"] is not None:
                entry["start"], entry["size"] = self.entries[entry["like"]]["start"], self.entries[entry["like"]]["size"]
        root = self.entries[0]
        root["start"] = mini_chain[0] if mini_chain else END_OF_CHAIN
        root["size"] = len(mini_chain) * SECTOR if mini_stream_sectors else len(mini)

        header = bytearray(SECTOR)
        struct.pack_into("<8s16sHHHHH6xIIIIIIIII", header, 0, bytes.fromhex("d0cf11e0a1b11ae1"), bytes(16),
                         0x3E, 4, 0xFFFE, 12, 6, directory, fat_count, directory_start, 0, CUTOFF,
                         mini_fat_start, mini_fat, END_OF_CHAIN, 0)
        for i in range(109):
            struct.pack_into("<I", header, 0x4C + i * 4, i if i < fat_count else FREE)

        def offset(sector):
            return (sector + 1) * SECTOR

        with open(path, "wb") as out:
            out.write(header)
            out.write(struct.pack("<%dI" % len(fat), *fat))
            out.seek(offset(directory_start))
            for entry in self.entries:
                name = entry["name"].encode("utf-16-le")
                out.write(struct.pack("<64sHBBIII16sIQQIQ", name, len(name) + 2, entry["type"], 1, entry["left"],
                                      entry["right"], entry["child"], entry.get("class", bytes(16)), 0, 0, 0,
                                      entry.get("start", END_OF_CHAIN), entry.get("size", 0)))
            out.write(bytes(128) * (directory * (SECTOR // 128) - len(self.entries)))
            minis = [FREE] * (mini_fat * per_sector)
            for entry in self.entries:
                if entry["type"] == 2 and entry["like"] is None and 0 < entry["size"] < CUTOFF:
                    count = -(-entry["size"] // MINI_SECTOR)
                    for i in range(count):
                        minis[entry["start"] + i] = entry["start"] + i + 1 if i + 1 < count else END_OF_CHAIN
            if mini_fat:
                out.seek(offset(mini_fat_start))
                out.write(struct.pack("<%dI" % len(minis), *minis))
            for i in range(0, len(mini), SECTOR):
                out.seek(offset(mini_chain[i // SECTOR]))
                out.write(mini[i:i + SECTOR])
            for first, data in pieces:
                out.seek(offset(first))
                out.write(data)
            out.truncate(offset(max([at - 1] + mini_chain)) + SECTOR)


def sound_patch(keywords="3.2.40.0;3.2.10.0"):
    """A patch with its summary and an MsiPatchMetadata table that lets it
    be removed; transforms are the caller's."""
    cf = CompoundFile()
    cf.stream(0, "\x05SummaryInformation",
              summary(keywords, "{B9A8C7D6-E5F4-4A3B-8C2D-1E0F9A8B7C6D}", "{5E1D2C3B-4A59-4867-9F8E-7D6C5B4A3928}"))
    pool, data, size = string_pool([b"AllowRemoval", b"1"])
    cf.stream(0, table_name("_StringPool"), pool)
    cf.stream(0, table_name("_StringData"), data)
    cf.stream(0, table_name("MsiPatchMetadata"), reference(0, size) + reference(1, size) + reference(2, size))
    return cf


def transform(cf, name, strings, rows):
    """A transform storage: its pool of `strings` and its Property rows,
    (key id, value id) each, as updates of the value."""
    storage = cf.storage(0, name)
    pool, data, size = string_pool(strings)
    cf.stream(storage, table_name("_StringPool"), pool)
    cf.stream(storage, table_name("_StringData"), data)
    cf.stream(storage, table_name("Property"),
              b"".join(struct.pack("<H", 2) + reference(k, size) + reference(v, size) for k, v in rows))
    return storage


def main(kind, out, count=None):
    cf = sound_patch()
    if kind == "long-version":
        transform(cf, "T1", [b"ProductVersion", b"3." + b"0" * (1 << 20)], [(1, 2)] * 3000)
    elif kind == "many-versions":
        versions = [b"3.%d.%d.0" % (n // 60000, n % 60000) for n in range(count)]
        transform(cf, "T1", [b"ProductVersion"] + versions, [(1, n + 2) for n in range(count)])
    elif kind == "shared-transforms":
        first = transform(cf, "T0000", [b"ProductVersion", b"3.2.40.0", b"x" * (15 << 20)], [(1, 2)])
        for n in range(1, count):
            storage = cf.storage(0, "T%04d" % n)
            for stream in cf.entries[first]["children"]:
                cf.stream(storage, cf.entries[stream]["name"], like=stream)
    elif kind == "metadata-ones":
        cf = CompoundFile()
        cf.stream(0, "\x05SummaryInformation", sound_patch().entries[1]["data"])
        pool, data, size = string_pool([b"AllowRemoval"] + [b"1"] * count)
        cf.stream(0, table_name("_StringPool"), pool)
        cf.stream(0, table_name("_StringData"), data)
        cf.stream(0, table_name("MsiPatchMetadata"), reference(0, size) + reference(1, size) + reference(2, size))
        transform(cf, "T1", [b"ProductVersion", b"3.2.40.0"], [(1, 2)])
    elif kind == "zigzag":
        transform(cf, "T1", [b"ProductVersion", b"3.2.40.0"], [(1, 2)])
        # 9,000 sectors after the first 16, taken a FAT sector (1,024
        # sectors) apart at every step.
        spread = 9
        cf.write(out, [16 + (i % spread) * 1024 + i // spread for i in range(9000)])
        return
    elif kind == "big-tables":
        strings = [b"ProductVersion", b"3.2.40.0"] + [b"%07d" % n for n in range(2300000)]
        transform(cf, "T1", strings, [(1, 2)] * 2000000)
    elif kind == "big-cabinet":
        transform(cf, "T1", [b"ProductVersion", b"3.2.40.0"], [(1, 2)])
        cf.stream(0, "PatchCabinet", bytes(range(256)) * (count << 12))
    else:
        raise SystemExit("hostile_patch.py: unknown kind " + kind)
    cf.write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else None)
