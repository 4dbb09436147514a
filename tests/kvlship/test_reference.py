"""The vendor's reference in docs/ against the code: every [package] key and
[files] option the manifest's reader knows (tools/kvlship/build/manifest.cpp) has its
entry in docs/manifest.md, every key the stock module reads
(modules/stock/settings.cpp) its entry in docs/stock-module.md, and neither
describes a key the code does not know. `kvlship keys` lists the code's."""

import os
import re
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build")).absolute()


def code_keys():
    """{(document, section): {key, ...}} as kvlship knows them."""
    listed = subprocess.run([str(BUILD / "bin" / "kvlship"), "keys"], capture_output=True,
                            text=True, check=True, timeout=60).stdout.split("\n")
    keys = {}
    for line in filter(None, listed):
        kind, *rest = line.split(" ")
        if kind == "stock":
            keys.setdefault(("stock-module.md", f"[{rest[0]}]"), set()).add(rest[1])
        else:
            keys.setdefault(("manifest.md", f"[{kind}]"), set()).add(rest[0])
    return keys


def documented(document):
    """{section: {key, ...}}: each `## [SECTION]` and its `### \\`key\\`` headings."""
    sections, current = {}, None
    for line in (ROOT / "docs" / document).read_text().splitlines():
        heading = re.match(r"^## (\[\w+\])\s*$", line)
        if heading:
            current = sections.setdefault(heading.group(1), set())
        key = re.match(r"^### `([\w-]+)`\s*$", line)
        if key and current is not None:
            current.add(key.group(1))
    return sections


def test_every_key_the_code_knows_is_documented_and_no_other():
    keys = code_keys()
    assert ("manifest.md", "[package]") in keys and ("stock-module.md", "[PRODUCT]") in keys
    docs = {name: documented(name) for name in ("manifest.md", "stock-module.md")}
    for (document, section), known in sorted(keys.items()):
        written = docs[document].get(section, set())
        assert known - written == set(), f"{document} {section} lacks {sorted(known - written)}"
        assert written - known == set(), f"{document} {section} describes {sorted(written - known)}"
    for document, sections in docs.items():
        unknown = {s for s in sections if (document, s) not in keys}
        assert not unknown, f"{document} describes sections the code does not know: {unknown}"
