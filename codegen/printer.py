"""Templates that read as the C++ they produce, and the formatting of what the generator writes.

A template is C++ text with `$name` (or `${name}` before letters) for the values it takes, written
indented like the code around it in the generator; `cpp` strips that indentation. C++ itself never
uses `$`, so braces and everything else stay as they are in the output. A placeholder alone on its line
takes a block: every line of the value is indented like the placeholder, and an empty value takes the
line away.
"""

import pathlib
import re
import string
import subprocess
import sys
import textwrap


BLOCK = re.compile(r"^([ \t]*)\$\{?(\w+)\}?[ \t]*$")


def cpp(template, **values):
    """The template with its values in place; a missing value is an error, not an empty string."""
    text = textwrap.dedent(template)
    if text.startswith("\n"):
        text = text[1:]
    out = []
    for line in text.split("\n"):
        block = BLOCK.match(line)
        if block:
            value = str(values[block.group(2)])
            if value:
                out.append(textwrap.indent(value, block.group(1)))
        else:
            out.append(string.Template(line).substitute(values))
    return "\n".join(out)


def lines(*parts):
    """Joins lines and lists of lines, leaving out the empty parts (None, '' or [])."""
    out = []
    for part in parts:
        if isinstance(part, (list, tuple)):
            out += [p for p in part if p]
        elif part:
            out.append(part)
    return "\n".join(out)


def indent(text, levels=1):
    return textwrap.indent(text, "    " * levels) if text else text


def format_cpp(text, clang_format, style_file):
    """`text` formatted by clang-format with the repository's style, or unchanged when there is no
    clang-format (or it fails): the build works without it, only the generated files are less tidy."""
    if not clang_format:
        return text
    try:
        result = subprocess.run([clang_format, f"--style=file:{style_file}"], input=text, capture_output=True,
                                text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"warning: {clang_format} failed ({error}); writing unformatted output", file=sys.stderr)
        return text
    return result.stdout


REPOSITORY = pathlib.Path(__file__).resolve().parent.parent
STYLE_FILE = REPOSITORY / ".clang-format"
