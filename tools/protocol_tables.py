"""The board's identification replies and the edge-key rows, read from the C++
sources that define them (Share/protocol/board_packet.h, Share/protocol/edge_keys.h),
so the tools and tests written in Python keep no copies of their own.

    idents()     Ident(head, variant, line 'touch' or 'elec', edgetab, name) rows
    edge_keys()  EdgeKey(word as bytes or None, stem, codes: touch, elec, elec) rows,
                 row i for entries i and i + 14

The parsing is strict on purpose: a source that no longer reads as expected
raises TableError instead of giving a shorter table.
"""
import functools
import os
import re
from collections import namedtuple

SHARE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "Share", "protocol")

Ident = namedtuple("Ident", "head variant line edgetab name")
EdgeKey = namedtuple("EdgeKey", "word stem codes")

_LINES = {"LINE_TOUCH": "touch", "LINE_ELEC": "elec"}
_IDENT_ROW = re.compile(r'\s*(\w+)\s*,\s*(0x[0-9A-Fa-f]{1,2})\s*,\s*(LINE_TOUCH|LINE_ELEC)\s*,'
                        r'\s*([01])\s*,\s*"(\w+)"\s*')
_EDGE_KEY_ROW = re.compile(r'\s*(?:nullptr|"([a-z]+(?:\\n)?)")\s*,\s*"(\w+)"\s*,'
                           r'\s*\{\s*(\w+)\s*,\s*(\w+)\s*,\s*(\w+)\s*\}\s*')


class TableError(ValueError):
    pass


def _source(name):
    with open(os.path.join(SHARE, name)) as f:
        # A commented-out row is no row.
        return re.sub(r"//[^\n]*|/\*.*?\*/", "", f.read(), flags=re.S)


def _rows(source, table, row):
    """The matches of `row` over the braces of `table`'s initialiser, in order."""
    found = re.search(r"\b%s\b[^=;{]*=\s*\{\{?(.*?)\}?\};" % table, _source(source), re.S)
    if not found:
        raise TableError("Share/protocol/%s: no table %s found" % (source, table))
    body, rows = found.group(1), []
    for number, m in enumerate(re.finditer(r"\{((?:[^{}]|\{[^{}]*\})*)\}|[^\s,]", body), 1):
        parsed = m.group(1) is not None and row.fullmatch(m.group(1))
        if not parsed:
            raise TableError("Share/protocol/%s: %s row %d does not parse: %r"
                             % (source, table, number, m.group(0)))
        rows.append(parsed.groups())
    if not rows:
        raise TableError("Share/protocol/%s: %s has no rows" % (source, table))
    return rows


@functools.lru_cache(maxsize=None)
def _byte_names():
    return {m.group(1): int(m.group(2), 16) for m in re.finditer(
        r"constexpr\s+uint8_t\s+(\w+)\s*=\s*(0x[0-9A-Fa-f]{1,2})\s*;", _source("board_packet.h"))}


def _byte(text):
    """A byte written as 0x.. or as a constant of board_packet.h."""
    if re.fullmatch(r"0x[0-9A-Fa-f]{1,2}", text):
        return int(text, 16)
    if text not in _byte_names():
        raise TableError("Share/protocol/board_packet.h: %s has no hex value" % text)
    return _byte_names()[text]


@functools.lru_cache(maxsize=None)
def idents():
    heads = _byte_names()
    rows = []
    table = _rows("board_packet.h", "kBoardIdents", _IDENT_ROW)
    for head, variant, line, edgetab, name in table:
        if head not in heads:
            raise TableError("Share/protocol/board_packet.h: head %s of %s has no hex value"
                             % (head, name))
        rows.append(Ident(heads[head], int(variant, 16), _LINES[line], edgetab == "1", name))
    return tuple(rows)


@functools.lru_cache(maxsize=None)
def edge_keys():
    return tuple(EdgeKey(None if word is None else word.replace("\\n", "\n").encode(), stem,
                         tuple(_byte(c) for c in codes))
                 for word, stem, *codes in _rows("edge_keys.h", "kEdgeKeys", _EDGE_KEY_ROW))
