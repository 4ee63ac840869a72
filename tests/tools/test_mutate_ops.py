"""The mutation operators: what they change, and what they must leave alone."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))

import mutate_ops  # noqa: E402


def mutants(line):
    code, _ = mutate_ops.strip_comments(line, False)
    return {(c.kind, c.text) for c in mutate_ops.mutants_of_line(code, line)}


class MutateOpsTest(unittest.TestCase):
    def test_each_operator_on_a_line_that_offers_it(self):
        rows = [
            ("    if (a <= b) {", ("boundary", "    if (a < b) {")),
            ("    if (a <= b) {", ("flip", "    if (a > b) {")),
            ("    if (a <= b) {", ("negate", "    if (!(a <= b)) {")),
            ("    if (a <= b) {", ("drop", "    if (true) {")),
            ("    if (auto n = Count(); n > 0) {", ("negate", "    if (auto n = Count(); !(n > 0)) {")),
            ("    return x == 9;", ("flip", "    return x != 9;")),
            ("    return x == 9;", ("constant", "    return x == 10;")),
            ("    return x == 9;", ("constant", "    return x == 8;")),
            ("    return ok && done;", ("logic", "    return ok || done;")),
            ("            break;", ("remove", "            ;")),
            ("    m_port->Write(data, size);", ("remove", "    ;")),
            ("    m_port->Write(data, size);", ("swap", "    m_port->Write(size, data);")),
        ]
        for line, expected in rows:
            with self.subTest(line=line, expected=expected):
                self.assertIn(expected, mutants(line))

    def test_texts_comments_and_templates_are_left_alone(self):
        for line in ['    Say("a < b && 1 > 0");', "    // if (x == 1) break;",
                     "    std::vector<int> v;", "    out << value >> 2;",
                     "#include <vector>", "   /* x == 1 */"]:
            with self.subTest(line=line):
                changed = {text for _, text in mutants(line)}
                self.assertFalse(any("!=" in t or "||" in t or "<=" in t for t in changed),
                                 changed)

    def test_a_block_comment_spans_lines(self):
        _, open_after = mutate_ops.strip_comments("    x = 1; /* starts", False)
        self.assertTrue(open_after)
        code, still_open = mutate_ops.strip_comments("    y == 2 */ z = 3;", True)
        self.assertFalse(still_open)
        self.assertNotIn("==", code)
        self.assertIn("z = 3;", code)

    def test_declarations_and_returns_are_not_calls_to_remove(self):
        for line in ["    std::string name(text);", "    return Check(a);",
                     "    if (Ready()) Go();"]:
            with self.subTest(line=line):
                self.assertNotIn("remove", {kind for kind, _ in mutants(line)})

    def test_the_choice_is_fixed_and_spread_over_kinds(self):
        line = "    if (count <= limit && Ready(a, b)) {"
        code, _ = mutate_ops.strip_comments(line, False)
        found = mutate_ops.mutants_of_line(code, line)
        first = mutate_ops.pick(list(found), 3, "src/x.cpp:10")
        again = mutate_ops.pick(list(found), 3, "src/x.cpp:10")
        self.assertEqual([c.text for c in first], [c.text for c in again])
        self.assertEqual(len({c.kind for c in first}), 3)


if __name__ == "__main__":
    unittest.main()
