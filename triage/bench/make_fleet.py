#!/usr/bin/env python3
"""Writes a fleet of zemlodiag logs for the zemlotriage benchmark.

The logs are built from the golden transcripts (tests/golden/*.txt: UTF-8 with
a BOM, CRLF, time digits masked as '#'), with real times filled in and the
values that differ between PCs varied: OS and product lines, resolver answers,
proxies, hosts entries. A log may hold several appended runs, a run may lack
its end banner (the user closed the window), and a few logs come re-saved by
the user (UTF-8, UTF-16BE) or appended to an older file without a BOM. Most are
what the diagnostic writes: UTF-16LE with a BOM.

The same count and seed give the same bytes. The fleet is cached under
CACHE_ROOT in a folder named after the count, the seed and a digest of this
script and the transcripts; its path is printed on standard output.

    make_fleet.py --golden DIR --cache-root DIR [--count N] [--seed S]
"""

import argparse
import datetime
import hashlib
import json
import os
import random
import re
import shutil
import sys

FILES_PER_FOLDER = 100
RULE = "#" * 43
START_BANNER = "\r\n" + RULE + "\r\nLog start time: "
END_BANNER = "\r\n" + RULE + "\r\nLog end time: "
MASKED_TIME = "####.##.## ##:##.##"
SERVICE_HOST = "service.zemlo.example"
KNOWN_ADDRESSES = ["192.0.2.10", "198.51.100.20"]
PROMPT = "\r\n\r\nPress any key to quit..."

# (share of files, encoding, byte-order mark)
ENCODINGS = [
    (78, "utf-16-le", b"\xff\xfe"),  # as the diagnostic writes a new log
    (6, "utf-16-le", b""),  # appended to an older file that had no BOM
    (8, "utf-8", b"\xef\xbb\xbf"),  # re-saved in Notepad as UTF-8
    (4, "utf-8", b""),  # re-saved as UTF-8 without a BOM
    (4, "utf-16-be", b"\xfe\xff"),  # re-saved as "Unicode big endian"
]

# version, service pack numbers, service pack text, product type, arch,
# arch number, BuildLab, BuildLabEx, ProductName
MODERN_SYSTEMS = [
    ("6.1.7601", "1.0", "Service Pack 1", 1, "x64", 9, "7601.win7sp1_ldr.170913-0600",
     "7601.23915.amd64fre.win7sp1_ldr.170913-0600", "Windows 7 Professional"),
    ("6.1.7601", "1.0", "Service Pack 1", 1, "x86", 0, "7601.win7sp1_ldr.190612-0600",
     "7601.24499.x86fre.win7sp1_ldr.190612-0600", "Windows 7 Home Premium"),
    ("6.3.9600", "0.0", "", 1, "x64", 9, "9600.winblue_ltsb.181110-0600",
     "9600.19202.amd64fre.winblue_ltsb.181110-0600", "Windows 8.1 Pro"),
    ("10.0.17763", "0.0", "", 3, "x64", 9, "17763.rs5_release.180914-1434",
     "17763.1.amd64fre.rs5_release.180914-1434", "Windows Server 2019 Standard"),
    ("10.0.19045", "0.0", "", 1, "x64", 9, "19041.vb_release.191206-1406",
     "19041.1.amd64fre.vb_release.191206-1406", "Windows 10 Pro"),
    ("10.0.19045", "0.0", "", 1, "x86", 0, "19041.vb_release.191206-1406",
     "19041.1.x86fre.vb_release.191206-1406", "Windows 10 Home"),
    ("10.0.22631", "0.0", "", 1, "x64", 9, "22621.ni_release.220506-1250",
     "22621.1.amd64fre.ni_release.220506-1250", "Windows 10 Pro"),
    ("10.0.26100", "0.0", "", 1, "x64", 9, "26100.ge_release.240331-1435",
     "26100.1.amd64fre.ge_release.240331-1435", "Windows 10 Enterprise"),
]
PRODUCT_TYPES = ["Internet Security", "Antivirus", "Total Security"]
LANGUAGES = ["en-US", "de-DE", "fr-FR", "cs-CZ", "ja-JP", "pt-BR"]
INTERNET_SETTINGS = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
POLICY_INTERNET_SETTINGS = "SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
LOCAL_SYSTEM_INTERNET_SETTINGS = "S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
# root prefix, key, whether a missing key is reported (the machine policy is not)
PROXY_PLACES = [
    ("HKLM\\", INTERNET_SETTINGS, True),
    ("HKLM\\", POLICY_INTERNET_SETTINGS, False),
    ("HKCU\\", INTERNET_SETTINGS, True),
    ("HKU\\", LOCAL_SYSTEM_INTERNET_SETTINGS, True),
]
INDENT = "\r\n           "


def load_runs(golden_dir):
    """Every run of every transcript, as text starting at its start banner."""
    runs = []
    for name in sorted(os.listdir(golden_dir)):
        if not name.endswith(".txt"):
            continue
        with open(os.path.join(golden_dir, name), "rb") as f:
            text = f.read().decode("utf-8-sig")
        starts = [m.start() for m in re.finditer(re.escape(START_BANNER), text)]
        for begin, end in zip(starts, starts[1:] + [len(text)]):
            runs.append((name, text[begin:end]))
    if not runs:
        sys.exit("make_fleet: no runs in %s/*.txt" % golden_dir)
    return runs


def stamp(moment):
    return "%04d.%02d.%02d %02d:%02d.%02d" % (moment.year, moment.month, moment.day, moment.hour,
                                               moment.minute, moment.second)


def random_address(rng):
    return "%d.%d.%d.%d" % (rng.choice([10, 100, 172, 185, 203, 45]), rng.randrange(256), rng.randrange(256),
                            rng.randrange(1, 255))


def os_lines(rng):
    version, sp, sp_text, product_type, arch, arch_number, lab, lab_ex, name = rng.choice(MODERN_SYSTEMS)
    return ('OS version: %s (%s) "%s", PlatformId: 2, ProductType: 0x%08X, SuiteMask: 0x%08X\r\n'
            "OS processor architecture: %s (%04x), BuildLab: %s, BuildLabEx: %s, ProductName: %s"
            % (version, sp, sp_text, product_type, rng.choice([0x100, 0x110, 0x300]), arch, arch_number, lab,
               lab_ex, name))


def product_line(rng):
    if rng.random() < 0.15:
        return "ZEMLO Product: , , "
    version = "%d.%d.%d.%d" % (rng.randint(18, 23), rng.randint(0, 4), rng.randint(0, 30), rng.randint(100, 999))
    return "ZEMLO Product: ProductType: %s, ProductVersion: %s, LanguageCode: %s" % (
        rng.choice(PRODUCT_TYPES), version, rng.choice(LANGUAGES))


def resolver_section(rng):
    """The GetAddrInfoW section as the diagnostic writes it, without the title."""
    if rng.random() < 0.25:
        code = rng.choice([11001, 11001, 11002])
        return "error: \r\nerror: GetAddrInfoW failed with code %d (0x%08x)\r\n" % (code, code)
    records = []
    known = rng.random() < 0.6
    count = rng.randint(1, 3)
    for index in range(count):
        if index > 0 and rng.random() < 0.3:
            address = "[2001:db8::%x]:443" % rng.randrange(1, 0xffff)
            records.append("\r\n% 3d: Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address %s, Socket type: "
                           "SOCK_STREAM (stream), Protocol: Unspecified, Length of sockaddr: 28" % (index, address))
            continue
        address = rng.choice(KNOWN_ADDRESSES) if known and index == 0 else random_address(rng)
        records.append("\r\n% 3d: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address %s:443, Socket type: "
                       "SOCK_STREAM (stream), Protocol: Unspecified, Length of sockaddr: 16" % (index, address))
    text = "".join(records)
    if known:
        return text + "\r\nOK"
    return (text + "warning: \r\nWarning: did not find known ip address of %s\r\n\tThere were expected one of "
            "following ip: %s" % (SERVICE_HOST, ", ".join(KNOWN_ADDRESSES)))


def proxy_section(rng):
    """The proxy section as the diagnostic writes it, without the title."""
    text = ""
    any_finding = False
    for prefix, key, report_missing in PROXY_PLACES:
        roll = rng.random()
        if roll < 0.2:
            if report_missing:
                text += "error: \r\nError: Cannot open key %s [gle:0x00000002]" % key
            continue
        reported = False
        if roll > 0.75:
            text += "warning: \r\nWarning: %s%s%s@ProxyEnable=1" % (prefix, key, INDENT)
            reported = True
        if prefix == "HKLM\\" and key == POLICY_INTERNET_SETTINGS and rng.random() < 0.5:
            text += "\r\nInfo: %s%s%s@ProxySettingsPerUser=0 (Proxy settings are managed by system " \
                    "administrator.)" % (prefix, key, INDENT)
        if reported or rng.random() < 0.2:
            server = '"%s:%d"' % (rng.choice(["proxy.corp.example", "127.0.0.1", "10.0.0.1", random_address(rng)]),
                                  rng.choice([8080, 3128, 8888, 80]))
            text += (INDENT if reported else "\r\nInfo   : %s%s%s" % (prefix, key, INDENT)) + "@ProxyServer=" + server
            reported = True
            if rng.random() < 0.5:
                text += INDENT + '@ProxyOverride="*.corp.example;<local>"'
        any_finding = any_finding or reported
    return text if any_finding else text + "\r\nOK"


def replace_section(run, title, next_title, body):
    begin = run.find(title)
    end = run.find(next_title, begin + len(title)) if begin >= 0 else -1
    if begin < 0 or end < 0:
        return run
    return run[:begin + len(title)] + body + run[end:]


def vary(run, rng, start):
    end = start + datetime.timedelta(seconds=rng.randint(1, 90))
    run = run.replace("Log start time: " + MASKED_TIME, "Log start time: " + stamp(start))
    run = run.replace("System time is: " + MASKED_TIME, "System time is: " + stamp(start))
    run = run.replace("Log end time: " + MASKED_TIME, "Log end time: " + stamp(end))
    # Old systems keep their own lines: their other sections depend on them.
    if "OS version: 5." not in run:
        run = re.sub(r"OS version: [^\r]*\r\nOS processor architecture: [^\r]*", lambda m: os_lines(rng), run)
    run = re.sub(r"ZEMLO Product: [^\r]*", lambda m: product_line(rng), run)
    run = replace_section(run, "\r\n\r\nGetAddrInfoW response test:", "\r\n\r\nVerify chain test:",
                          resolver_section(rng))
    if rng.random() < 0.6:
        run = replace_section(run, "\r\n\r\nProxy detection:", "\r\n\r\n%SystemRoot%", proxy_section(rng))
    run = re.sub(r"203\.0\.113\.9\b", lambda m: random_address(rng), run)
    if rng.random() < 0.12:
        # The user closed the window at the prompt: no end banner.
        cut = run.find(END_BANNER)
        if cut >= 0:
            run = run[:cut]
    return run, end


def pick(rng, weighted):
    roll = rng.uniform(0, sum(w for w, *_ in weighted))
    for row in weighted:
        roll -= row[0]
        if roll <= 0:
            return row
    return weighted[-1]


def generate(golden_dir, folder, count, seed):
    rng = random.Random(seed)
    runs = load_runs(golden_dir)
    # The troubled and clean PCs are the common cases of a real fleet.
    weights = [4 if name.startswith(("troubled", "clean")) else 1 for name, _ in runs]
    logs = os.path.join(folder, "logs")
    moment = datetime.datetime(2026, 12, 1, 6, 0, 0)
    runs_per_file = []
    total_bytes = 0
    for index in range(count):
        sub = os.path.join(logs, "%03d" % (index // FILES_PER_FOLDER))
        if index % FILES_PER_FOLDER == 0:
            os.makedirs(sub)
        run_count = rng.choices([1, 2, 3], weights=[70, 20, 10])[0]
        text = ""
        moment += datetime.timedelta(seconds=rng.randint(30, 600))
        start = moment
        for _ in range(run_count):
            _, run = rng.choices(runs, weights=weights)[0]
            varied, end = vary(run, rng, start)
            text += varied
            start = end + datetime.timedelta(minutes=rng.randint(1, 3000))
        _, encoding, bom = pick(rng, ENCODINGS)
        data = bom + text.encode(encoding)
        with open(os.path.join(sub, "pc-%05d.txt" % index), "wb") as f:
            f.write(data)
        runs_per_file.append(run_count)
        total_bytes += len(data)
    return {"files": count, "seed": seed, "runs": sum(runs_per_file), "bytes": total_bytes,
            "files_per_folder": FILES_PER_FOLDER, "runs_per_file": runs_per_file}


def fleet_key(golden_dir, count, seed):
    digest = hashlib.sha256()
    with open(os.path.abspath(__file__), "rb") as f:
        digest.update(f.read())
    for name in sorted(os.listdir(golden_dir)):
        if name.endswith(".txt"):
            with open(os.path.join(golden_dir, name), "rb") as f:
                digest.update(name.encode() + b"\0" + f.read())
    return "fleet-%d-s%d-%s" % (count, seed, digest.hexdigest()[:12])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--golden", required=True, help="folder of the golden transcripts")
    parser.add_argument("--cache-root", required=True, help="folder that keeps the generated fleets")
    parser.add_argument("--count", type=int, default=10000, help="number of log files (default 10000)")
    parser.add_argument("--seed", type=int, default=12, help="random seed (default 12)")
    args = parser.parse_args()
    if args.count < 1:
        parser.error("--count must be at least 1")

    folder = os.path.join(args.cache_root, fleet_key(args.golden, args.count, args.seed))
    manifest = os.path.join(folder, "manifest.json")
    if not os.path.exists(manifest):
        # Built beside its final place and renamed, so an interrupted run never
        # leaves a fleet that looks complete.
        partial = folder + ".partial"
        shutil.rmtree(partial, ignore_errors=True)
        os.makedirs(partial)
        facts = generate(args.golden, partial, args.count, args.seed)
        with open(os.path.join(partial, "manifest.json"), "w") as f:
            json.dump(facts, f)
        shutil.rmtree(folder, ignore_errors=True)
        os.rename(partial, folder)
        # Fleets of an older generator or older transcripts are never used again.
        stale_prefix = "fleet-%d-s%d-" % (args.count, args.seed)
        for name in os.listdir(args.cache_root):
            if name.startswith(stale_prefix) and os.path.join(args.cache_root, name) != folder:
                shutil.rmtree(os.path.join(args.cache_root, name), ignore_errors=True)
    print(folder)


if __name__ == "__main__":
    main()
