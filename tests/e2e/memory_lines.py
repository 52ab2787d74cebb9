"""Memory-file lines as the tests expect them, built here independently of the
program: a label, the B3 separators, fixed columns, CR LF."""

BAR = b"\xb3"


def label(channel):
    return (" %d" % channel).rjust(3).encode()


def filled(channel, digits, name, mode_text, filter_text):
    return (label(channel) + BAR + digits[:2].encode() + b"." + digits[2:].encode() + BAR + name
            + BAR + mode_text + BAR + filter_text)


def empty(channel):
    return label(channel) + BAR + b"  .     " + BAR + b" " * 7 + BAR + b" " * 4 + BAR + b" " * 3


def memory_file(lines):
    """A whole file: `lines` maps channel numbers to lines; the rest are empty."""
    return b"".join(lines.get(channel, empty(channel)) + b"\r\n" for channel in range(62))


# An earlier file for a save to replace: one line of a memory file, as a save
# replaces no other kind of file.
EARLIER = filled(0, "0705000", b"EARLIER", b"LSB ", b"2.4") + b"\r\n"
