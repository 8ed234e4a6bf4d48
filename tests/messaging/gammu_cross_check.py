#!/usr/bin/python3
"""The SMS encoder's PDUs read back by another decoder: gammu's (Debian's python3-gammu).

gammu knows the GSM default alphabet, its extension table and UCS-2, but not the Turkish shift
tables, so only texts in those come here. Each text goes through the sms-pdu program (its path is
the one argument); every part must read back as an SMS-SUBMIT to the number, valid for 4 days,
numbered in the message's concatenation header, and the parts joined must give the text as typed
(a line break as one LF).

gammu gives a 7-bit text as many characters as the user data has septets, an escape and its
septet included, and fills the difference with NUL and whatever follows: the text is cut at the
first NUL, which none of these texts holds.
"""
import binascii
import subprocess
import sys

import gammu

DEFAULT_ALPHABET = (
    "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"
)
EXTENSION = "\f^{}\\[~]|€"
INTERNATIONAL = "+905321234567"

# name, number, text as typed, text as sent, coding, parts
CASES = [
    ("every character of the default alphabet and its extension table", INTERNATIONAL,
     DEFAULT_ALPHABET.replace("\x1b", "").replace("\r", "") + EXTENSION, None, "Default_No_Compression", 1),
    ("a national number", "05321234567", "Merhaba, toplanti yarin.", None,
     "Default_No_Compression", 1),
    ("line breaks as typed and pasted", INTERNATIONAL, "Satir 1\r\nSatir 2\nSatir 3\rSon",
     "Satir 1\nSatir 2\nSatir 3\nSon", "Default_No_Compression", 1),
    ("400 characters in three parts", INTERNATIONAL, ("Kampanya: her sey %20 indirimli! " * 13)[:400], None,
     "Default_No_Compression", 3),
    ("an escape that would cross a part's end", INTERNATIONAL, "a" * 152 + "€" + "[b]" * 5, None,
     "Default_No_Compression", 2),
    ("ten parts", INTERNATIONAL, ("0123456789" * 153), None, "Default_No_Compression", 10),
    ("an emoji", INTERNATIONAL, "Şükrü, doğum günün kutlu olsun 🎂", None, "Unicode_No_Compression", 1),
    ("Arabic", INTERNATIONAL, "مرحبا بالعالم", None, "Unicode_No_Compression", 1),
    ("a surrogate pair that would cross a part's end", INTERNATIONAL, "ж" * 66 + "😀" + "ж" * 100, None,
     "Unicode_No_Compression", 3),
    ("ten parts of UCS-2", "+12025550123", "Ж" * 670, None, "Unicode_No_Compression", 10),
]


def check(name, number, typed, sent, coding, parts, reference):
    """The problems found with one text, as lines."""
    sent = typed if sent is None else sent
    command = ["--reference", str(reference), number, typed]
    result = subprocess.run([sys.argv[1]] + command, capture_output=True, text=True, check=False)
    if result.returncode != 0:
        return [f"sms-pdu failed: {result.stderr.strip()}"]
    lines = result.stdout.splitlines()
    problems = []
    expected_alphabet = "UCS-2" if coding == "Unicode_No_Compression" else "GSM 7-bit"
    if lines[0] != expected_alphabet:
        problems.append(f"alphabet {lines[0]!r}, not {expected_alphabet!r}")
    pdus = lines[1:]
    if len(pdus) != parts:
        problems.append(f"{len(pdus)} parts, not {parts}")
    joined = ""
    for number_of_part, line in enumerate(pdus, start=1):
        octets, hex_pdu = line.split()
        if int(octets) != len(hex_pdu) // 2 - 1:
            problems.append(f"part {number_of_part}: length {octets} for {len(hex_pdu) // 2 - 1} octets")
        decoded = gammu.DecodePDU(binascii.unhexlify(hex_pdu), SMSC=True)
        expected = {"Type": "Submit", "Number": number, "Coding": coding}
        for key, value in expected.items():
            if decoded[key] != value:
                problems.append(f"part {number_of_part}: {key} {decoded[key]!r}, not {value!r}")
        if decoded["SMSC"]["Validity"] != "4D":
            problems.append(f"part {number_of_part}: valid for {decoded['SMSC']['Validity']}, not 4D")
        header = decoded["UDH"]
        if parts == 1:
            if header["Type"] != "NoUDH":
                problems.append(f"a header of type {header['Type']} in a single SMS")
        elif (header["Type"], header["ID8bit"], header["PartNumber"], header["AllParts"]) != (
                "ConcatenatedMessages", reference, number_of_part, parts):
            problems.append(f"part {number_of_part}: header {header}")
        text = decoded["Text"]
        joined += text.split("\0")[0] if coding == "Default_No_Compression" else text
    if joined != sent:
        problems.append(f"read back as {joined!r}")
    return problems


def main():
    failed = 0
    for reference, case in enumerate(CASES, start=1):
        problems = check(*case, reference=reference * 23 % 256)
        if problems:
            failed += 1
            print(f"FAILED {case[0]}:")
            for problem in problems:
                print(f"  {problem}")
        else:
            print(f"ok     {case[0]}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
