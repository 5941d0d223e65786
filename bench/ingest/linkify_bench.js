// Reference side of bench_link_detector: runs linkify-it (fuzzy links on) over the same
// corpus and case list and prints one JSON object. Usage: node linkify_bench.js CORPUS CASES REPS
'use strict';
const fs = require('fs');
const LinkifyIt = require('linkify-it');

const [corpusPath, casesPath, repsArg] = process.argv.slice(2);
const reps = Number(repsArg || 3);
const linkify = new LinkifyIt({ fuzzyLink: true, fuzzyEmail: true, fuzzyIP: false });

function webLinks(text) {
  const found = linkify.match(text) || [];
  return found.filter((m) => m.schema === '' || /^https?:$/i.test(m.schema));
}

const corpus = fs.readFileSync(corpusPath, 'utf8');
const bytes = Buffer.byteLength(corpus, 'utf8');
let best = Infinity;
let count = 0;
for (let i = 0; i < reps; ++i) {
  const start = process.hrtime.bigint();
  count = webLinks(corpus).length;
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  best = Math.min(best, seconds);
}

const cases = fs.readFileSync(casesPath, 'utf8').split('\n')
  .filter((line) => line && !line.startsWith('#'))
  .map((line) => {
    const text = line.split('\t')[0];
    const first = webLinks(text)[0];
    return first ? first.raw : null;
  });

process.stdout.write(JSON.stringify({ bytes, seconds: best, links: count, cases }) + '\n');
