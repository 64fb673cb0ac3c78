#!/usr/bin/env python3
"""Adds planted structures to a generated count matrix (for the golden end-to-end cases):
constant genes (not-a-number concordances), nested groups (a species' profile absent from
part of its samples, one of them with outlier samples), shared core genes (one species plus a trace of another) and shared
accessory genes (a species' profile in part of its samples plus a trace of another)."""
import sys

matrix, truth, out = sys.argv[1:4]
lines = open(matrix).read().split('\n')
header, rows = lines[0], [l.split('\t') for l in lines[1:] if l]
roles = {}
for l in open(truth).read().split('\n')[1:]:
    if l:
        _, name, species, role = l.split('\t')
        roles[name] = (species, role)
counts = {r[0]: [int(c) for c in r[1:]] for r in rows}
def core(species):
    return [r[0] for r in rows if roles[r[0]] == (species, 'core')]
def present(species):
    genes = core(species)
    return [s for s in range(len(rows[0]) - 1) if sum(1 for g in genes if counts[g][s] > 0) > len(genes) / 2]

new = []
for i in range(20):
    new.append(('flat_%02d' % (i + 1), [9] * (len(rows[0]) - 1)))
where = present('species_01')
dropped = set(where[::3])
for i, g in enumerate(core('species_01')[:25]):
    new.append(('nested_%02d' % (i + 1), [0 if s in dropped else 2 * c for s, c in enumerate(counts[g])]))
# the same nested pattern with two samples far off the proportional line (outliers)
where = present('species_11')
dropped = set(where[::3])
far = set([s for s in where if s not in dropped][:2])
for i, g in enumerate(core('species_11')[:25]):
    new.append(('outlier_nested_%02d' % (i + 1),
                [0 if s in dropped else (12 if s in far else 2) * c for s, c in enumerate(counts[g])]))
for i, (a, b) in enumerate(zip(core('species_02')[:12], core('species_03')[:12])):
    new.append(('shared_core_%02d' % (i + 1), [x + y // 10 for x, y in zip(counts[a], counts[b])]))
dropped = set(present('species_04')[::4])
for i, (a, b) in enumerate(zip(core('species_04')[:12], core('species_05')[:12])):
    new.append(('shared_accessory_%02d' % (i + 1),
                [(0 if s in dropped else x) + y // 10 for s, (x, y) in enumerate(zip(counts[a], counts[b]))]))

# interleave the planted genes with the others so that they do not all sit at the end
result = [header]
step = max(1, len(rows) // len(new))
k = 0
for i, r in enumerate(rows):
    result.append('\t'.join(r))
    if i % step == step - 1 and k < len(new):
        result.append('\t'.join([new[k][0]] + [str(c) for c in new[k][1]]))
        k += 1
for name, c in new[k:]:
    result.append('\t'.join([name] + [str(x) for x in c]))
open(out, 'w').write('\n'.join(result) + '\n')
