#!/usr/bin/python3
"""Merge and order the root\\cimv2 classes of the default repository.

    scripts/order-default-set.py [--check] [--remove-merged] [--drop CLASS]... [--data DIR] [NEWER.mof...]

The compiler reads the default set in one pass: a superclass must come before its subclass, and
the class a `ref` names before the reference (also in root\\cimv2\\ms_409, where an amendment
with a ref property needs the target's amendment first). This script keeps that true.

It reads every data/default-repository/cimv2-*.mof file. The layout files
  cimv2-cim.mof, cimv2-cim-ms409.mof       CIM_ classes and their English amendments
  cimv2-win32.mof, cimv2-win32-ms409.mof   Win32_ (and other) classes and their amendments
  cimv2-families.mof                       counter, MSFT_, Msft_ and unprefixed classes (with
                                           their amendments at its end); left in place
hold the current definitions; any other cimv2-*.mof file (and its -ms409 partner) is newer
work and replaces the layout's definition of a class it also defines (CIM files first, then
those named on the command line in that order, then the rest by name). The script then writes
the layout files back: every class with its comments, in dependency order, otherwise in the
order in which the classes were read (newer files first, so their section comments stay
together). A class that an earlier file needs moves into that file. With --remove-merged the
newer files are deleted afterwards; with --check nothing is written and the exit status says
whether the files are already merged and ordered. Prints what it replaced, moved or dropped.
The manifest-*.tsv files (class, documentation page or "-", date) are merged into manifest.tsv
likewise; classes without a row are named.
"""

import argparse
import glob
import os
import re
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(REPO, "data", "default-repository")

CIM, WIN32, FAMILIES = "cimv2-cim.mof", "cimv2-win32.mof", "cimv2-families.mof"
AMENDMENTS = {CIM: "cimv2-cim-ms409.mof", WIN32: "cimv2-win32-ms409.mof"}
LAYOUT = [CIM, WIN32, FAMILIES]  # in include order; the two ms409 files follow the first two
HEADERS = {
    CIM: "// CIM_ classes of root\\cimv2 (with the Win32_ classes their methods take), each as the platform's class\n"
         "// documentation gives it. Descriptions are amended qualifiers: they live in cimv2-cim-ms409.mof.\n",
    WIN32: "// Win32_ classes of root\\cimv2 (counter classes aside), each as the platform's class documentation\n"
           "// gives it. Descriptions are amended qualifiers: they live in cimv2-win32-ms409.mof.\n",
    "cimv2-cim-ms409.mof": "// English (0x409) amendments of the CIM_ classes in cimv2-cim.mof: class and property\n"
                           "// descriptions, served when amended qualifiers are asked for.\n",
    "cimv2-win32-ms409.mof": "// English (0x409) amendments of the classes in cimv2-win32.mof: class and property\n"
                             "// descriptions, served when amended qualifiers are asked for.\n",
}
BASE_NS = '#pragma namespace("\\\\\\\\.\\\\root\\\\cimv2")\n'
AMENDED_NS = '#pragma namespace("\\\\\\\\.\\\\root\\\\cimv2\\\\ms_409")\n'
QUALIFIER_LINE = "Qualifier Description : ToSubclass Amended;\n"


class Block:
    """One statement of a MOF file with the comments that precede it."""

    def __init__(self, text, kind, name=None, superclass=None, idents=()):
        self.text, self.kind, self.name, self.superclass = text, kind, name, superclass
        self.idents = set(idents)  # every word of the body: ref targets and embedded-object types among them
        self.origin = None

    def deps(self, classes):
        """The classes that must exist before this one: its superclass and the classes its body names."""
        named = {i for i in self.idents if key(i) in classes and key(i) != key(self.name)}
        return ({self.superclass} if self.superclass else set()) | named


def strip_code(text):
    """The text with comments and string contents blanked, so that regexes see only code."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == '"':
            j = i + 1
            while j < n and text[j] != '"':
                j += 2 if text[j] == "\\" else 1
            out.append('""' + " " * (j - i - 1))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


CLASS_HEAD = re.compile(r"\bclass\s+(\w+)\s*(?::\s*(\w+))?\s*\{")


def parse(path):
    """Splits a file into blocks. Comments directly above a statement belong to it; the file's
    leading comment (up to the first blank line) is its header and is dropped."""
    text = open(path, encoding="utf-8").read()
    code = strip_code(text)
    blocks, i, n = [], 0, len(text)
    start = 0
    header = re.match(r"(?://[^\n]*\n)+\s*\n", text)
    if header:
        i = start = header.end()
    while True:
        while i < n and code[i].isspace():
            i += 1
        if i >= n:
            break
        if text.startswith("#", i):
            j = text.find("\n", i)
            j = n if j < 0 else j + 1
            blocks.append(Block(text[start:j], "pragma"))
            i = start = j
            continue
        # A statement: qualifiers, then up to the ';' at brace depth 0.
        depth, j = 0, i
        while j < n:
            ch = code[j]
            if ch in "{[(":
                depth += 1
            elif ch in "}])":
                depth -= 1
            elif ch == ";" and depth == 0:
                break
            j += 1
        j += 1
        if j < n and text[j] == "\n":
            j += 1
        stmt_code = code[i:j]
        m = CLASS_HEAD.search(stmt_code)
        if m and not re.match(r"\s*(\[[^\]]*\]\s*)?instance\b", stmt_code, re.S | re.I):
            body = stmt_code[m.end():]
            blocks.append(Block(text[start:j], "class", m.group(1), m.group(2), re.findall(r"\w+", body)))
        else:
            blocks.append(Block(text[start:j], "other"))
        i = start = j
    trailing = text[start:].strip()
    if trailing:
        blocks.append(Block(text[start:].lstrip("\n"), "other"))
    return blocks


def split_namespaces(blocks):
    """(base classes, amendment classes, other statements) of a file, by the namespace pragmas."""
    base, amended, other, ns = [], [], [], "base"
    for b in blocks:
        if b.kind == "pragma" and "namespace" in b.text:
            ns = "amended" if "ms_409" in b.text else "base"
        if b.kind == "class":
            (base if ns == "base" else amended).append(b)
        else:
            other.append((ns, b))
    return base, amended, other


def key(name):
    return name.lower()


def topo_order(classes, known_before):
    """Classes in dependency order, each in its original place unless a class before it needs it
    (then it moves up to just before that class). Returns the order and the set of moved classes."""
    by_key = {key(c.name): c for c in classes}
    position = {key(c.name): i for i, c in enumerate(classes)}
    placed, visiting, out, pulled = set(), set(), [], set()

    def place(c, natural):
        k = key(c.name)
        if k in placed:
            return
        if k in visiting:
            raise SystemExit(f"dependency cycle through {c.name}")
        visiting.add(k)
        for d in sorted(c.deps(by_key), key=lambda d: position.get(key(d), -1)):
            if key(d) in by_key and key(d) not in known_before:
                place(by_key[key(d)], False)
        visiting.discard(k)
        placed.add(k)
        out.append(c)
        if not natural:
            pulled.add(k)

    for c in classes:
        place(c, True)
    return out, pulled


def split_heading(text):
    """(section heading, class text): comment paragraphs separated from the class by a blank line
    head a section of the file; they stay in place when the class moves up."""
    lines = text.strip("\n").split("\n")
    last_blank, i = -1, 0
    while i < len(lines) and (not lines[i].strip() or lines[i].lstrip().startswith("//")):
        if not lines[i].strip():
            last_blank = i
        i += 1
    heading = [re.sub(r"^//\s*-*\s*(.*?)\s*-*\s*$", r"// \1", l) for l in lines[:max(last_blank, 0)] if l.strip()]
    return "\n".join(heading), "\n".join(lines[last_blank + 1:])


def write_classes(classes, pulled):
    """The classes' text, with each section heading before the first class of its section that
    stayed in place."""
    position = {key(c.name): i for i, c in enumerate(sorted(classes, key=lambda c: c.index))}
    headings = sorted((c.index, split_heading(c.text)[0]) for c in classes if split_heading(c.text)[0])
    out, h = [], 0
    for c in classes:
        if key(c.name) not in pulled:
            pending = None
            while h < len(headings) and headings[h][0] <= c.index:
                pending = headings[h][1]
                h += 1
            if pending:
                out.append(pending + "\n\n")
        out.append(tidy(split_heading(c.text)[1]))
    return "".join(out)


def tidy(text):
    """A block's text with exactly one blank line before the next block."""
    return text.strip("\n") + "\n\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("files", nargs="*", help="newer files in the order in which their classes should appear")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--remove-merged", action="store_true")
    ap.add_argument("--drop", action="append", default=[], metavar="CLASS",
                    help="leave the class out (one the documentation does not describe); repeatable")
    ap.add_argument("--data", default=DATA, help="the folder of the default set (default: %(default)s)")
    args = ap.parse_args()
    data = args.data

    layout_inputs = [CIM, WIN32, AMENDMENTS[CIM], AMENDMENTS[WIN32], FAMILIES, "cimv2-ms409.mof"]
    newer = sorted(os.path.basename(p) for p in glob.glob(os.path.join(data, "cimv2-*.mof"))
                   if os.path.basename(p) not in layout_inputs)
    # Newer work comes as pairs NAME.mof + NAME-ms409.mof; the CIM pieces first, since the others derive from them.
    newer_base = [f for f in newer if not f.endswith("-ms409.mof")]
    given = [os.path.basename(f) for f in args.files]
    newer_base.sort(key=lambda f: (not f.startswith("cimv2-cim"), given.index(f) if f in given else len(given), f))

    base, amended = {}, {}  # key -> Block, first definition wins; newer files are read first
    order = []
    replaced, dropped = [], []

    def take(blocks, store, origin, track=False):
        for b in blocks:
            b.origin = origin
            k = key(b.name)
            if k in store:
                if track and origin in newer and store[k].origin in newer:
                    print(f"warning: {b.name} in both {store[k].origin} and {origin}; keeping the first",
                          file=sys.stderr)
                elif track:
                    replaced.append((b.name, origin))
                continue
            store[k] = b
            if track:
                b.index = len(order)
                order.append(k)

    for f in newer_base:
        b, a, _ = split_namespaces(parse(os.path.join(data, f)))
        take(b, base, f, track=True)
        partner = f[:-4] + "-ms409.mof"
        if os.path.exists(os.path.join(data, partner)):
            _, a2, _ = split_namespaces(parse(os.path.join(data, partner)))
            a = a + a2
        take(a, amended, f)
    for f in newer:
        if f.endswith("-ms409.mof") and f[:-10] + ".mof" not in newer_base:
            _, a, _ = split_namespaces(parse(os.path.join(data, f)))
            take(a, amended, f)

    families_blocks = parse(os.path.join(data, FAMILIES))
    fam_base, fam_amended, _ = split_namespaces(families_blocks)
    fam_keys = {key(b.name) for b in fam_base}
    for f in [CIM, WIN32, FAMILIES]:
        if not os.path.exists(os.path.join(data, f)):
            continue
        b, a, _ = split_namespaces(families_blocks if f == FAMILIES else parse(os.path.join(data, f)))
        take(b, base, f, track=True)
        take(a, amended, f)
    for f in [AMENDMENTS[CIM], AMENDMENTS[WIN32], "cimv2-ms409.mof"]:
        if os.path.exists(os.path.join(data, f)):
            _, a, _ = split_namespaces(parse(os.path.join(data, f)))
            take(a, amended, f)

    for name in args.drop:
        k = key(name)
        if k not in base:
            raise SystemExit(f"--drop {name}: no such class")
        users = [base[u].name for u in order if u != k and k in {key(d) for d in base[u].deps(base)}]
        if users:
            raise SystemExit(f"--drop {name}: still needed by {', '.join(users)}")
        print(f"dropped: {base.pop(k).name}")
        amended.pop(k, None)
        order.remove(k)

    # Where each class goes: families classes stay (unless replaced), CIM_ to the CIM file, the rest to Win32.
    home = {}
    for k in order:
        b = base[k]
        if b.origin == FAMILIES:
            home[k] = FAMILIES
        else:
            home[k] = CIM if b.name.lower().startswith("cim_") else WIN32
    rank = {f: i for i, f in enumerate(LAYOUT)}
    moved = []
    changed = True
    while changed:  # a dependency homed in a later file moves to the earliest file that needs it
        changed = False
        for k in order:
            for d in base[k].deps(base):
                dk = key(d)
                if dk in home and rank[home[dk]] > rank[home[k]]:
                    moved.append((base[dk].name, home[dk], home[k]))
                    home[dk] = home[k]
                    changed = True

    def needs(b):
        refs = set(re.findall(r"\b(\w+)\s+ref\b", strip_code(b.text), re.I))
        return refs | ({b.superclass} if b.superclass else set())

    missing = sorted({d for k in order for d in needs(base[k]) if key(d) not in base and not d.startswith("__")})
    for d in missing:
        users = sorted(base[k].name for k in order if d in needs(base[k]))
        print(f"missing: {d} (needed by {', '.join(users)})", file=sys.stderr)

    outputs = {}
    known, known_amended = set(), set()
    for f in [CIM, WIN32]:
        classes, pulled = topo_order([base[k] for k in order if home[k] == f], known)
        known |= {key(c.name) for c in classes}
        outputs[f] = HEADERS[f] + "\n" + BASE_NS + "\n" + write_classes(classes, pulled)
        amends = []
        for c in classes:
            a = amended.get(key(c.name))
            if a is None:
                print(f"no amendment: {c.name}", file=sys.stderr)
            else:
                if a.origin in LAYOUT + layout_inputs and c.origin not in LAYOUT:
                    print(f"old amendment kept: {c.name} ({a.origin})", file=sys.stderr)
                amends.append(a)
        amends, _ = topo_order(amends, known_amended)
        known_amended |= {key(a.name) for a in amends}
        af = AMENDMENTS[f]
        outputs[af] = HEADERS[af] + "\n" + AMENDED_NS + "\n" + QUALIFIER_LINE + "\n" + "".join(
            tidy(split_heading(a.text)[1]) for a in amends)
    for k, a in amended.items():
        if k not in base:
            dropped.append((a.name, a.origin))

    # The families file: its own statements in place, less what moved away or was replaced.
    keep = {k for k in order if home[k] == FAMILIES}
    fam_text = open(os.path.join(data, FAMILIES), encoding="utf-8").read()
    header = re.match(r"(?://[^\n]*\n)+\s*\n", fam_text).group(0)
    parts, ns = [], "base"
    for b in families_blocks:
        if b.kind == "pragma" and "namespace" in b.text:
            ns = "amended" if "ms_409" in b.text else "base"
        if b.kind == "class" and key(b.name) not in keep:
            continue
        parts.append(tidy(b.text))
    outputs[FAMILIES] = header + "".join(parts)
    outputs[FAMILIES] = re.sub(r"(#pragma[^\n]*\n)\n+(Qualifier)", r"\1\2",
                               re.sub(r"\n{3,}", "\n\n", outputs[FAMILIES]))

    for name, origin in replaced:
        print(f"replaced: {name} ({origin})")
    for name, src, dst in moved:
        print(f"moved: {name} from {src} to {dst}")
    for name, origin in dropped:
        print(f"dropped amendment without class: {name} ({origin})")

    # One manifest: a row per class (name, the page it was checked against or "-", date).
    rows = {}
    manifests = sorted(os.path.basename(p) for p in glob.glob(os.path.join(data, "manifest-*.tsv")))
    for f in ["manifest.tsv"] + manifests:
        if os.path.exists(os.path.join(data, f)):
            for line in open(os.path.join(data, f), encoding="utf-8"):
                cells = line.rstrip("\n").split("\t")
                if len(cells) == 3 and (f != "manifest.tsv" or key(cells[0]) not in rows):
                    rows[key(cells[0])] = cells
    for k in sorted(set(rows) - set(base)):
        print(f"manifest row without class: {rows.pop(k)[0]}", file=sys.stderr)
    for k in order:
        if k not in rows:
            print(f"no manifest row: {base[k].name}", file=sys.stderr)
    outputs["manifest.tsv"] = "".join("\t".join(rows[k]) + "\n" for k in sorted(rows))

    outputs = {f: text.rstrip("\n") + "\n" for f, text in outputs.items()}
    stale = [f for f in outputs if not os.path.exists(os.path.join(data, f))
             or open(os.path.join(data, f), encoding="utf-8").read() != outputs[f]]
    if args.check:
        if stale or newer or manifests or os.path.exists(os.path.join(data, "cimv2-ms409.mof")):
            print("not merged or not ordered: " + ", ".join(stale + newer), file=sys.stderr)
            return 1
        return 0
    for f, text in outputs.items():
        with open(os.path.join(data, f), "w", encoding="utf-8") as out:
            out.write(text)
    if os.path.exists(os.path.join(data, "cimv2-ms409.mof")):
        os.remove(os.path.join(data, "cimv2-ms409.mof"))
    if args.remove_merged:
        for f in newer + manifests:
            os.remove(os.path.join(data, f))
    return 0


if __name__ == "__main__":
    sys.exit(main())
