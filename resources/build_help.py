#!/usr/bin/env python3
"""Builds the help file that carries the start page.

  build_help.py SOURCE_DIR OUT_DIR [--chmcmd PATH]

Copies the files named in SOURCE_DIR/lumcenter.hhp into OUT_DIR/stage, the
pages converted from their UTF-8 sources to Windows-1251 (the charset they
declare, and the one the centre's browser control reads them in), then, with
--chmcmd, compiles OUT_DIR/lumcenter.chm from them.

It refuses, naming the file and line, a page with a character that has no
Windows-1251 form, a page that does not declare that charset, a page that
refers to a local file the project does not list (it would be missing from
the help file) and a listed file that no page uses (it would only add size).
"""

import os
import re
import shutil
import subprocess
import sys

PROJECT = "lumcenter.hhp"
CHM = "lumcenter.chm"
PAGE_SUFFIXES = (".htm", ".html")
# src="...", href="...", url(...): references a page can make to other files.
REFERENCE = re.compile(r"""(?:\bsrc|\bhref)\s*=\s*["']([^"']*)["']|url\(\s*["']?([^"')]*)["']?\s*\)""", re.I)
CHARSET = re.compile(r"""<meta[^>]+charset\s*=\s*["']?windows-1251""", re.I)


class HelpError(Exception):
    pass


def project_files(project_path):
    files, section = [], None
    with open(project_path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
            elif section == "FILES" and line and not line.startswith(";"):
                files.append(line.replace("\\", "/"))
    if not files:
        raise HelpError("%s lists no files" % project_path)
    return files


def local_references(text):
    """Yields (line number, path) for each reference to a file of the help
    content: no scheme, no in-page anchor, no script."""
    for m in REFERENCE.finditer(text):
        target = (m.group(1) if m.group(1) is not None else m.group(2)).strip()
        target = target.split("#", 1)[0].split("?", 1)[0]
        if not target or re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):
            continue
        yield text.count("\n", 0, m.start()) + 1, target


def page_bytes(path, text, listed, used):
    rel_dir = os.path.dirname(path)
    if not CHARSET.search(text):
        raise HelpError("%s: does not declare charset windows-1251" % path)
    for line, target in local_references(text):
        resolved = os.path.normpath(os.path.join(rel_dir, target)).replace("\\", "/")
        if resolved not in listed:
            raise HelpError("%s:%d: refers to %s, which %s does not list" % (path, line, target, PROJECT))
        used.add(resolved)
    try:
        return text.encode("cp1251")
    except UnicodeEncodeError as e:
        line = text.count("\n", 0, e.start) + 1
        raise HelpError("%s:%d: %r has no Windows-1251 form" % (path, line, text[e.start:e.end]))


def stage(source_dir, stage_dir):
    files = project_files(os.path.join(source_dir, PROJECT))
    listed = set(files)
    if os.path.isdir(stage_dir):
        shutil.rmtree(stage_dir)  # no stale files from an earlier list
    os.makedirs(stage_dir)
    used = set()
    for rel in files:
        src = os.path.join(source_dir, rel)
        if not os.path.isfile(src):
            raise HelpError("%s lists %s, which does not exist" % (PROJECT, rel))
        dst = os.path.join(stage_dir, rel)
        os.makedirs(os.path.dirname(dst) or stage_dir, exist_ok=True)
        if rel.lower().endswith(PAGE_SUFFIXES):
            used.add(rel)
            with open(src, encoding="utf-8", errors="strict") as f:
                text = f.read()
            data = page_bytes(rel, text, listed, used)
            with open(dst, "wb") as f:
                f.write(data)
        else:
            shutil.copyfile(src, dst)
    unused = [rel for rel in files if rel not in used]
    if unused:
        raise HelpError("%s lists files no page uses: %s" % (PROJECT, ", ".join(unused)))
    with open(os.path.join(source_dir, PROJECT), encoding="utf-8") as f:
        project = f.read()
    with open(os.path.join(stage_dir, PROJECT), "wb") as f:
        f.write(project.encode("cp1251"))
    return files


def compile_chm(chmcmd, stage_dir, out_path):
    result = subprocess.run([chmcmd, "--no-html-scan", PROJECT], cwd=stage_dir,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    built = os.path.join(stage_dir, CHM)
    # chmcmd reports some failures only in its output, so the file is checked too.
    if result.returncode != 0 or re.search(r"\berror\b", result.stdout, re.I) or not os.path.isfile(built):
        raise HelpError("chmcmd failed:\n" + result.stdout)
    with open(built, "rb") as f:
        if f.read(4) != b"ITSF":
            raise HelpError("chmcmd wrote something that is not a help file")
    os.replace(built, out_path)


def main(argv):
    args = argv[1:]
    chmcmd = None
    if "--chmcmd" in args:
        i = args.index("--chmcmd")
        chmcmd = args[i + 1]
        del args[i:i + 2]
    if len(args) != 2:
        sys.stderr.write(__doc__)
        return 2
    source_dir, out_dir = args
    stage_dir = os.path.join(out_dir, "stage")
    try:
        stage(source_dir, stage_dir)
        if chmcmd:
            compile_chm(chmcmd, stage_dir, os.path.join(out_dir, CHM))
    except HelpError as e:
        sys.stderr.write("help: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
