#!/usr/bin/python3
# Writes the corpus of damaged tables that the table reader must refuse with
# a clear message (and that seed the fuzzer). Each file starts from one sound
# dBASE III or Visual FoxPro table and breaks one thing. Run in this folder.
import struct

def descriptor(name, ftype, length, dec=0, flags=0, disp=0):
    return (name.encode('ascii').ljust(11, b'\0')[:11] + ftype.encode('latin1')
            + struct.pack('<I', disp) + bytes([length, dec, flags]) + b'\0' * 13)

def table(fields, records, version=0x03, count=None, hlen=None, rlen=None, backlink=False, end=True):
    """fields: (name, type, length, dec, flags); records: bytes of each record after the flag."""
    desc = b''
    off = 1
    for f in fields:
        name, ftype, length = f[0], f[1], f[2]
        dec = f[3] if len(f) > 3 else 0
        flags = f[4] if len(f) > 4 else 0
        desc += descriptor(name, ftype, length, dec, flags, off if version in (0x30, 0x31, 0x32) else 0)
        off += length
    body = desc + b'\r' + (b'\0' * 263 if backlink else b'')
    h_len = 32 + len(body) if hlen is None else hlen
    r_len = off if rlen is None else rlen
    n = len(records) if count is None else count
    head = bytes([version, 124, 5, 1]) + struct.pack('<IHH', n, h_len, r_len) + b'\0' * 17 + bytes([0x7A, 0, 0])
    data = b''.join(b' ' + r for r in records)
    return head + body + data + (b'\x1a' if end else b'')

GOOD = [('NAME', 'C', 6), ('QTY', 'N', 5)]
ROWS = [b'apple    12', b'pear      3']
good = table(GOOD, ROWS)

cases = {
    'truncated_header.dbf': good[:20],
    'empty.dbf': b'',
    'unknown_version.dbf': b'\x07' + good[1:],
    'header_length_beyond_file.dbf': table(GOOD, ROWS, hlen=4000),
    'header_length_too_small.dbf': table(GOOD, ROWS, hlen=20),
    'record_length_zero.dbf': table(GOOD, ROWS, rlen=0),
    'record_length_too_small.dbf': table(GOOD, ROWS, rlen=5),
    'record_count_too_large.dbf': table(GOOD, ROWS, count=50),
    'record_count_huge.dbf': table(GOOD, ROWS, count=0xFFFFFFFF),
    'truncated_last_record.dbf': table(GOOD, ROWS, end=False)[:-4],
    'no_terminator.dbf': good.replace(b'\r', b'X', 1),
    'field_name_without_nul.dbf': good.replace(b'NAME\0\0\0\0\0\0\0', b'NAMEXXXXXXX', 1),
    'field_name_empty.dbf': good.replace(b'NAME\0', b'\0\0\0\0\0', 1),
    'unknown_field_type.dbf': table([('NAME', 'C', 6), ('QTY', 'Z', 5)], ROWS),
    'nul_field_type.dbf': table([('NAME', 'C', 6), ('QTY', '\0', 5)], ROWS),
    'zero_width_field.dbf': table([('NAME', 'C', 6), ('QTY', 'N', 0), ('X', 'N', 5)], ROWS),
    'oversize_char_field.dbf': table([('NAME', 'C', 255)], [b' ' * 255]),
    'oversize_numeric_field.dbf': table([('QTY', 'N', 33)], [b' ' * 33]),
    'wrong_integer_width.dbf': table([('ID', 'I', 2)], [b'\0\0'], version=0x30, backlink=True, end=False),
    'wrong_date_width.dbf': table([('BORN', 'D', 6)], [b'      ']),
    'decimals_not_below_width.dbf': table([('QTY', 'N', 4, 4)], [b'    ']),
    'fields_beyond_record_length.dbf': table(GOOD, [r + b'   ' for r in ROWS], rlen=9),
    'general_field.dbf': table([('PIC', 'G', 4)], [b'\0\0\0\0'], version=0x30, backlink=True, end=False),
    'nullable_without_nullflags.dbf': table([('AMT', 'N', 8, 2, 0x02)], [b'    1.00'], version=0x30, backlink=True, end=False),
    'nullflags_too_short.dbf': table([('A', 'N', 4, 0, 0x02)] + [('F%d' % i, 'N', 1, 0, 0x02) for i in range(8)]
                                     + [('_NullFlags', '0', 1, 0, 0x05)], [b'   1' + b'1' * 8 + b'\0'],
                                     version=0x30, backlink=True, end=False),
    'vfp_displacement_mismatch.dbf': table(GOOD, ROWS, version=0x30, backlink=True).replace(
        struct.pack('<I', 7) + bytes([5]), struct.pack('<I', 9) + bytes([5]), 1),
    'descriptor_past_header.dbf': table(GOOD, ROWS, hlen=32 + 48),
    'no_fields.dbf': table([], []),
}

for name, data in cases.items():
    with open(name, 'wb') as f:
        f.write(data)
