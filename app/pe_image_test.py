#!/usr/bin/env python3
"""What the shipped image promises, read from its bytes on the build host.

These checks execute nothing, so they run on every host, also where Wine
cannot run the x86 program (a host without 32-bit code). The image's own
hardening: it runs elevated, often from a folder any user can write to, on
every Windows from XP SP2 (x86) and Server 2003 SP1 / XP x64 (x64) on.

usage: pe_image_test.py x86|x64 IMAGE LINKER_MAP SOURCE_DIR OBJDUMP
Prints "ok: CHECK" or "FAILED: CHECK" and what differs, one check at a time;
exits 1 when any check failed.
"""
import re
import struct
import subprocess
import sys

# IMAGE_DIRECTORY_ENTRY_*
IMPORT_DIRECTORY, SECURITY_DIRECTORY, BASERELOC_DIRECTORY = 1, 4, 5
# IMAGE_DLLCHARACTERISTICS_*
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x20, 0x40, 0x100, 0x8000
RELOCS_STRIPPED = 0x1
WINDOWS_CUI = 3
MACHINE = {"x86": 0x14C, "x64": 0x8664}
OPTIONAL_MAGIC = {"x86": 0x10B, "x64": 0x20B}
# Today's sizes and a third more: the C++ runtime's exception machinery alone
# is about 90 KiB of each image, and the program throws nothing. An
# Authenticode signature appended to the image does not count.
SIZE_LIMIT = {"x86": 84 * 1024, "x64": 88 * 1024}
# (major, minor) of the subsystem and OS versions: older loaders refuse an
# image that asks for a newer subsystem.
OLDEST_WINDOWS = {"x86": (5, 1), "x64": (5, 2)}
# Only KnownDLLs at start-up: Windows never takes those from the program's
# folder. Everything else is delay-loaded from System32.
KNOWN_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"}

# Instructions the x86 image may not contain: it runs on a Pentium Pro
# (i686, with cmov) and later. MMX, SSE and later vector registers, and the
# integer and system instructions added after the P6.
AFTER_P6_REGISTER = re.compile(r"%(x|y|z)mm\d|%mm\d|%k[0-7]\b")
AFTER_P6_MNEMONICS = {
    "adcx", "adox", "andn", "bextr", "blsi", "blsmsk", "blsr", "bzhi", "clflush", "clflushopt", "cmpxchg16b",
    "crc32", "emms", "femms", "fisttp", "fisttpl", "fisttpll", "fisttps", "fxrstor", "fxsave", "ldmxcsr",
    "lfence", "lzcnt", "mfence", "monitor", "movbe", "movnti", "mwait", "pdep", "pext", "popcnt",
    "prefetch", "prefetchnta", "prefetcht0", "prefetcht1", "prefetcht2", "prefetchw", "rdrand", "rdseed",
    "rdtscp", "rorx", "sarx", "sfence", "shlx", "shrx", "stmxcsr", "sysenter", "sysexit", "tzcnt",
    "xgetbv", "xrstor", "xsave", "xsaveopt",
}


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        self.nt = self.u32(0x3C)
        if data[self.nt:self.nt + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, self.nt + 4)
        self.optional = self.nt + 24
        self.magic = self.u16(self.optional)
        pe32_plus = self.magic == 0x20B
        self.image_base = self.u64(self.optional + 24) if pe32_plus else self.u32(self.optional + 28)
        self.directories = self.optional + (112 if pe32_plus else 96)
        self.thunk_size = 8 if pe32_plus else 4
        self.sections = [struct.unpack_from("<8sIIII", data, self.optional + optional_size + 40 * index)
                         for index in range(sections)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def u64(self, offset):
        return struct.unpack_from("<Q", self.data, offset)[0]

    def header(self, offset):
        """A field of the optional header at the same offset in PE32 and PE32+."""
        return self.u16(self.optional + offset)

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def file_offset(self, rva):
        for _, virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return rva - address + raw_offset
        raise ValueError("RVA 0x%x lies in no section" % rva)

    def c_string(self, rva):
        start = self.file_offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def thunk_names(self, kind, dll, rva):
        """'KIND DLL FUNCTION' for each entry of a thunk array of names."""
        ordinal_flag = 1 << (8 * self.thunk_size - 1)
        names = set()
        offset = self.file_offset(rva)
        while True:
            thunk = int.from_bytes(self.data[offset:offset + self.thunk_size], "little")
            if thunk == 0:
                return names
            function = "#%d" % (thunk & 0xFFFF) if thunk & ordinal_flag else self.c_string((thunk & 0x7FFFFFFF) + 2)
            names.add("%s %s %s" % (kind, dll.lower(), function))
            offset += self.thunk_size

    def start_up_dlls(self):
        """(name, rva of its name thunks) of each import descriptor."""
        rva, _ = self.directory(IMPORT_DIRECTORY)
        offset = self.file_offset(rva)
        while True:
            original_first_thunk, _, _, name, first_thunk = struct.unpack_from("<IIIII", self.data, offset)
            if name == 0:
                return
            yield self.c_string(name), original_first_thunk or first_thunk
            offset += 20

    def delay_dlls(self, linker_map):
        """GNU ld leaves the delay-import directory empty, so the delay
        descriptors are found by their symbols in the linker map."""
        for line in linker_map.splitlines():
            if "DELAY_IMPORT_DESCRIPTOR_" not in line or "0x" not in line:
                continue
            address = int(re.search(r"0x[0-9a-fA-F]+", line).group(0), 16)
            offset = self.file_offset(address - self.image_base)
            attributes, name, _, _, name_table = struct.unpack_from("<IIIII", self.data, offset)
            if not attributes & 1:
                raise ValueError("a delay descriptor that is not RVA-based: " + line.strip())
            yield self.c_string(name), name_table

    def imports(self, linker_map):
        imports = set()
        for dll, names in self.start_up_dlls():
            imports |= self.thunk_names("load", dll, names)
        delay_count = 0
        for dll, names in self.delay_dlls(linker_map):
            imports |= self.thunk_names("delay", dll, names)
            delay_count += 1
        return imports, delay_count

    def checksum(self):
        """The PE checksum: 16-bit words added with their carries folded in,
        the checksum field taken as zero, plus the file's length."""
        field = self.optional + 64
        data = self.data[:field] + b"\0\0\0\0" + self.data[field + 4:]
        if len(data) % 2:
            data += b"\0"
        total = sum(word for (word,) in struct.iter_unpack("<H", data))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return (total + len(self.data)) & 0xFFFFFFFF


def read_list(path):
    """One entry per line; blank lines and '#' comments skipped."""
    with open(path, encoding="utf-8") as lines:
        return {line.strip() for line in lines if line.strip() and not line.startswith("#")}


def check_imports(arch, image, linker_map, source_dir):
    # XP SP2 and Server 2003 refuse to start an image that imports a function
    # their DLLs lack, and Wine, which exports everything, never shows it. A
    # new import fails here until someone has checked that those systems
    # export it and added it to the list.
    problems = []
    checked = read_list("%s/app/imports/%s.txt" % (source_dir, arch))
    imported, delay_count = image.imports(linker_map)
    if delay_count != 2:
        problems.append("%d delay-loaded DLLs; crypt32 and ws2_32 are delay-loaded" % delay_count)
    problems += ["imported but not checked: " + entry for entry in sorted(imported - checked)]
    problems += ["checked but no longer imported: " + entry for entry in sorted(checked - imported)]
    return problems


def check_exports(arch, image, linker_map, source_dir):
    problems = []
    checked = read_list("%s/app/imports/%s.txt" % (source_dir, arch))
    if len(checked) <= 50:
        problems.append("only %d entries in app/imports/%s.txt" % (len(checked), arch))
    for entry in sorted(checked):
        kind, dll, function = entry.split()
        if kind not in ("load", "delay"):
            problems.append("neither load nor delay: " + entry)
            continue
        exports = read_list("%s/app/imports/nt5-exports/%s/%s.txt" % (source_dir, arch, dll.split(".")[0]))
        if function.lower() not in exports:
            problems.append("%s is not exported by the %s system DLLs of XP SP2 / Server 2003" % (entry, arch))
    return problems


def check_start_up_dlls(arch, image, linker_map, source_dir):
    names = {dll.lower() for dll, _ in image.start_up_dlls()}
    problems = [name + " is imported at start-up" for name in sorted(names - KNOWN_DLLS)]
    if "kernel32.dll" not in names:
        problems.append("kernel32.dll is not imported")
    return problems


def check_versions(arch, image, linker_map, source_dir):
    expected = OLDEST_WINDOWS[arch]
    found = {
        "subsystem": image.header(68),
        "subsystem version": (image.header(48), image.header(50)),
        "OS version": (image.header(40), image.header(42)),
    }
    wanted = {"subsystem": WINDOWS_CUI, "subsystem version": expected, "OS version": expected}
    return ["%s %s, expected %s" % (name, found[name], wanted[name]) for name in wanted if found[name] != wanted[name]]


def check_flags(arch, image, linker_map, source_dir):
    # Terminal-server aware: without the flag a terminal server applies its
    # compatibility shims, which redirect some of the registry and file reads
    # the report is made of.
    wanted = {"ASLR": DYNAMIC_BASE, "DEP": NX_COMPAT, "terminal-server aware": TERMINAL_SERVER_AWARE}
    if arch == "x64":
        wanted["high-entropy ASLR"] = HIGH_ENTROPY_VA
    characteristics = image.header(70)
    problems = [name + " is off" for name, bit in wanted.items() if not characteristics & bit]
    # A relocatable image keeps its relocations, or ASLR cannot move it.
    if image.characteristics & RELOCS_STRIPPED or image.directory(BASERELOC_DIRECTORY)[1] == 0:
        problems.append("the relocations are stripped")
    return problems


def check_checksum(arch, image, linker_map, source_dir):
    # Scanners take a wrong checksum for a sign of an altered image; the build
    # changes the image after linking, so it must have recomputed it. A signed
    # copy carries the one its signer wrote over the signed image.
    in_header, computed = image.u32(image.optional + 64), image.checksum()
    return [] if in_header == computed else ["0x%08x in the header, 0x%08x computed" % (in_header, computed)]


def check_size(arch, image, linker_map, source_dir):
    signature = image.directory(SECURITY_DIRECTORY)[1]
    size = len(image.data) - signature
    return [] if size <= SIZE_LIMIT[arch] else ["%d bytes, more than %d" % (size, SIZE_LIMIT[arch])]


def check_cpu_floor(arch, image, linker_map, source_dir, objdump):
    """x86: a Pentium Pro-class processor (i686) and later."""
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", image.path], check=True,
                             stdout=subprocess.PIPE, universal_newlines=True).stdout
    problems = []
    for line in listing.splitlines():
        fields = line.split("\t")
        if len(fields) < 2 or not fields[0].strip().endswith(":"):
            continue
        instruction = fields[1].strip()
        words = instruction.split()
        mnemonic = words[0] if words else ""
        if mnemonic in ("lock", "rep", "repz", "repnz") and len(words) > 1:
            mnemonic = words[1]
        if AFTER_P6_REGISTER.search(instruction) or mnemonic in AFTER_P6_MNEMONICS:
            problems.append("%s %s" % (fields[0].strip(), instruction))
    return problems[:20] + (["... %d in all" % len(problems)] if len(problems) > 20 else [])


CHECKS = [
    ("imports exactly the functions in app/imports/ARCH.txt", check_imports),
    ("every function in app/imports/ARCH.txt is exported by XP SP2 / Server 2003", check_exports),
    ("imports only KnownDLLs at start-up", check_start_up_dlls),
    ("the subsystem and OS versions let XP SP2 / Server 2003 load it", check_versions),
    ("ASLR, DEP and terminal-server awareness are on", check_flags),
    ("the checksum is the one of the final image", check_checksum),
    ("stays small", check_size),
    ("x86: no instruction a Pentium Pro lacks", check_cpu_floor),
]


def main(arch, image_path, map_path, source_dir, objdump):
    with open(image_path, "rb") as image_file:
        image = Image(image_file.read())
    image.path = image_path
    with open(map_path, encoding="utf-8", errors="replace") as map_file:
        linker_map = map_file.read()
    failures = 0
    if image.machine != MACHINE[arch] or image.magic != OPTIONAL_MAGIC[arch]:
        print("FAILED: %s is not an %s image" % (image_path, arch))
        return 1
    for name, check in CHECKS:
        if name.startswith("x86:") and arch != "x86":
            continue
        name = name.replace("ARCH", arch)
        arguments = (arch, image, linker_map, source_dir) + ((objdump,) if check is check_cpu_floor else ())
        try:
            problems = check(*arguments)
        except (ValueError, struct.error, OSError) as error:
            problems = ["cannot be read: %s" % error]
        print("%s: %s" % ("FAILED" if problems else "ok", name))
        for problem in problems:
            print("  " + problem)
        failures += bool(problems)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 6 or sys.argv[1] not in MACHINE:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
