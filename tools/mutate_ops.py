"""The mutation operators of tools/mutate.py, on one line of C++ at a time.

Each operator works on a masked copy of the line, in which comments and the
insides of string and character literals are blanked, so that nothing inside
a text is mutated; the masked copy keeps every position, so a change found
there is made at the same place in the real line.
"""

import re
import zlib
from dataclasses import dataclass

KEYWORDS = {"return", "delete", "throw", "co_await", "co_return", "if", "while", "for",
            "switch", "sizeof", "static_assert", "case", "else", "do", "new", "using",
            "typedef", "template", "decltype", "alignof", "noexcept", "explicit"}
FLIP = {"==": "!=", "!=": "==", "<": ">=", ">": "<=", "<=": ">", ">=": "<"}
BOUNDARY = {"<=": "<", ">=": ">", "<": "<=", ">": ">="}


@dataclass
class Change:
    kind: str
    text: str
    what: str

    def describe(self):
        return self.what


def strip_comments(text, in_comment):
    """The line with comments and literal contents blanked; whether a block
    comment is still open at its end."""
    out, i, n = [], 0, len(text)
    while i < n:
        if in_comment:
            end = text.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i, in_comment = end + 2, False
        elif text.startswith("//", i):
            out.append(" " * (n - i))
            break
        elif text.startswith("/*", i):
            in_comment = True
        elif text[i] in "\"'":
            quote, j = text[i], i + 1
            while j < n and text[j] != quote:
                j += 2 if text[j] == "\\" else 1
            out.append(quote + " " * (min(j, n) - i - 1) + (quote if j < n else ""))
            i = j + 1
        else:
            out.append(text[i])
            i += 1
    return "".join(out)[:n], in_comment


def matching_paren(code, open_at):
    depth = 0
    for i in range(open_at, len(code)):
        if code[i] == "(":
            depth += 1
        elif code[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def replaced(text, start, end, new):
    return text[:start] + new + text[end:]


def short(text, limit=40):
    text = " ".join(text.split())
    return text if len(text) <= limit else text[: limit - 3] + "..."


def comparisons(code, text):
    for m in re.finditer(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)", code):
        op = m.group(1)
        yield Change("flip", replaced(text, m.start(), m.end(), FLIP[op]),
                     f"'{op}' -> '{FLIP[op]}'")
        if op in BOUNDARY:
            yield Change("boundary", replaced(text, m.start(), m.end(), BOUNDARY[op]),
                         f"'{op}' -> '{BOUNDARY[op]}'")


def constants(code, text):
    for m in re.finditer(r"(?<![\w.])(\d+)([uUlL]*)(?![\w.'])", code):
        value = int(m.group(1))
        for moved in (value + 1, value - 1):
            if moved >= 0:
                yield Change("constant",
                             replaced(text, m.start(1), m.end(1), str(moved)),
                             f"{value} -> {moved}")
    for m in re.finditer(r"\b(true|false)\b", code):
        other = "false" if m.group(1) == "true" else "true"
        yield Change("constant", replaced(text, m.start(), m.end(), other),
                     f"{m.group(1)} -> {other}")


def conditions(code, text):
    for m in re.finditer(r"\b(if|while)\s*\(", code):
        start = m.end() - 1
        end = matching_paren(code, start)
        if end < 0:
            continue
        # "if (init; condition)": the condition is what follows the statement.
        begin = code.rfind(";", start, end) + 1 or start + 1
        condition = text[begin:end].strip()
        if not condition:
            continue
        begin = text.index(condition, begin)
        stop = begin + len(condition)
        yield Change("negate", replaced(text, begin, stop, f"!({condition})"),
                     f"negated {m.group(1)} ({short(condition)})")
        yield Change("drop", replaced(text, begin, stop, "true" if m.group(1) == "if"
                                      else "false"),
                     f"dropped {m.group(1)} ({short(condition)})")


def logic(code, text):
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", code):
        other = "||" if m.group(1) == "&&" else "&&"
        yield Change("logic", replaced(text, m.start(), m.end(), other),
                     f"'{m.group(1)}' -> '{other}'")


def removals(code, text):
    stripped = code.strip()
    if re.fullmatch(r"break\s*;", stripped):
        yield Change("remove", replaced(text, code.index("break"), len(code.rstrip()), ";"),
                     "removed break")
        return
    m = re.match(r"\s*([A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*)\s*\(", code)
    if not m or m.group(1).split(":")[0] in KEYWORDS or not stripped.endswith(");"):
        return
    end = matching_paren(code, m.end() - 1)
    if end < 0 or code[end + 1:].strip() != ";":
        return
    indent = len(code) - len(code.lstrip())
    yield Change("remove", text[:indent] + ";", f"removed call {short(stripped)}")


def split_arguments(code, start, end):
    parts, depth, last = [], 0, start + 1
    for i in range(start + 1, end):
        c = code[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append((last, i))
            last = i + 1
    parts.append((last, end))
    return parts


def swaps(code, text):
    for m in re.finditer(r"[\w>]\(", code):
        start = m.end() - 1
        end = matching_paren(code, start)
        if end < 0:
            continue
        args = split_arguments(code, start, end)
        if len(args) != 2 or "<" in code[start:end]:
            continue
        (a0, a1), (b0, b1) = args
        first, second = text[a0:a1].strip(), text[b0:b1].strip()
        if not first or not second or first == second:
            continue
        yield Change("swap", replaced(text, start + 1, end, f"{second}, {first}"),
                     f"swapped ({short(first, 18)}, {short(second, 18)})")


OPERATORS = (comparisons, constants, conditions, logic, removals, swaps)


def mutants_of_line(code, text):
    """Every mutant of one line; none of a preprocessor line or a blank one."""
    if not code.strip() or code.lstrip().startswith("#"):
        return []
    found = []
    for operator in OPERATORS:
        found.extend(c for c in operator(code, text) if c.text != text)
    return found


def pick(found, count, key):
    """Up to count mutants of a line, from as many kinds as it offers; the
    choice is fixed by the line's place, so a rerun tries the same ones."""
    kinds = {}
    for change in found:
        kinds.setdefault(change.kind, []).append(change)
    order = sorted(kinds)
    seed = zlib.crc32(key.encode("utf-8"))
    chosen, round_ = [], 0
    while len(chosen) < count and any(kinds.values()):
        kind = order[(seed + round_) % len(order)]
        round_ += 1
        if kinds[kind]:
            chosen.append(kinds[kind].pop(seed % len(kinds[kind])))
        if round_ > 64:
            break
    return chosen
