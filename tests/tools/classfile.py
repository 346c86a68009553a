"""The class-file constant pool, as the test tools read it."""
import struct


def read_constant_pool(data):
    """Returns (the Utf8 entries by index, decoded; the offset of the access
    flags that follow the pool).  Long and double entries take two indexes."""
    pos = 8
    count = struct.unpack_from('>H', data, pos)[0]
    pos += 2
    utf8 = {}
    i = 1
    while i < count:
        tag = data[pos]
        if tag == 1:
            n = struct.unpack_from('>H', data, pos + 1)[0]
            utf8[i] = data[pos + 3:pos + 3 + n].decode('utf-8', 'replace')
            pos += 3 + n
        elif tag in (3, 4, 9, 10, 11, 12, 17, 18):
            pos += 5
        elif tag in (5, 6):
            pos += 9
            i += 1
        elif tag in (7, 8, 16, 19, 20):
            pos += 3
        elif tag == 15:
            pos += 4
        else:
            raise ValueError('constant-pool tag %d' % tag)
        i += 1
    return utf8, pos
