#!/usr/bin/env python3
"""Every command the README and docs/ show in a ```sh block names a program that is here:
a script of the repository, a program of the build, or a command on PATH (the packages
scripts/install-deps.sh installs). Blocks without "sh" (usage lines, output, trees) are
text and are not read."""
import argparse
import os
import re
import shlex
import shutil
import sys

PREFIXES = {"sudo", "exec", "time", "env", "nice", "setsid", "xvfb-run", "!"}
OUR_PROGRAMS = {"qynsample": "app", "qynconvert": "app"}


def blocks(path):
    """(line number, text) of each command in the file's sh blocks, continuations joined."""
    inside, pending, start = False, "", 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            stripped = line.strip()
            if stripped.startswith("```"):
                inside = not inside and stripped[3:].strip() in ("sh", "bash", "shell")
                continue
            if not inside:
                continue
            if not pending:
                start = number
            pending += " " + stripped
            if pending.endswith("\\"):
                pending = pending[:-1]
            elif pending.rstrip().endswith(("|", "&&", "||")):
                pass
            elif pending.strip():
                yield start, pending.strip()
                pending = ""


def programs(command):
    """The program word of each simple command in a shell line."""
    lexer = shlex.shlex(command, posix=True, punctuation_chars=";&|()<>")
    lexer.whitespace_split = True
    lexer.commenters = "#"
    expect_program = True
    for token in lexer:
        if token and set(token) <= set(";&|()"):
            expect_program = True
            continue
        if set(token) <= set("<>"):
            next(lexer, None)  # the redirection's target
            continue
        if not expect_program:
            continue
        if token in PREFIXES or re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*=.*", token) or token.startswith("-"):
            continue
        expect_program = False
        yield token


def missing(program, root, build):
    if program.startswith(("bench_", "build/bench/")):
        return None  # built only with -DQYN_BUILD_BENCH=ON, which scripts/bench.sh sets
    if program.startswith("build/"):
        return None if os.access(os.path.join(build, program[len("build/"):]), os.X_OK) else "not built"
    if "/" in program:
        path = os.path.join(root, program)
        return None if os.path.isfile(path) and os.access(path, os.X_OK) else "no such script"
    if program in OUR_PROGRAMS:
        return None if os.access(os.path.join(build, OUR_PROGRAMS[program], program), os.X_OK) else "not built"
    return None if shutil.which(program) else "not on PATH"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    files = [os.path.join(args.root, "README.md")]
    docs = os.path.join(args.root, "docs")
    files += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    failures, checked = [], 0
    for path in files:
        for number, command in blocks(path):
            for program in programs(command):
                checked += 1
                why = missing(program, args.root, args.build)
                if why:
                    failures.append(f"{os.path.relpath(path, args.root)}:{number}: {program}: {why}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{checked} commands checked, {len(failures)} missing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
