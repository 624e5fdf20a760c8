#!/usr/bin/env python3
"""Non-blank, non-comment C++ lines of code (plugin, pollserver, host, wenmessagebox, tools) and of tests/*, per folder: scripts/loc.py [ROOT]"""
import os, re, sys
def count(path):
    n = 0; inblock = False
    for line in open(path, errors='replace'):
        s = line.strip()
        if inblock:
            if '*/' in s: inblock = False; s = s.split('*/',1)[1].strip()
            else: continue
        if not s or s.startswith('//'): continue
        if s.startswith('/*'):
            if '*/' not in s: inblock = True
            continue
        n += 1
    return n
root = sys.argv[1] if len(sys.argv) > 1 else "."
def tree(d):
    t = 0
    for dp, dn, fn in os.walk(os.path.join(root, d)):
        for f in fn:
            if f.endswith(('.cpp', '.h', '.hpp', '.cc')): t += count(os.path.join(dp, f))
    return t
code = {d: tree(d) for d in ['plugin', 'pollserver', 'host', 'wenmessagebox', 'tools']}
tests = {d: tree('tests/' + d) for d in sorted(os.listdir(os.path.join(root, 'tests'))) if os.path.isdir(os.path.join(root, 'tests', d))}
C = sum(code.values()); T = sum(tests.values())
print('code', code, C)
print('tests', tests, T)
print('ratio %.3f  (0.4 -> %d, 0.33 -> %d)' % (T / C, int(0.4 * C), int(0.33 * C)))
