// Runs the web edition's engine under Node as a page's worker would, for
// tests/web_engine_check.sh. Usage:
//   node --no-experimental-fetch web_engine_run.js ENGINE_JS OUT_DIR [RUN OPTIONS...]
// Writes to OUT_DIR what the engine reported: log (its whole log), streamed
// (the lines it passed on one by one), census.csv (round 0 and every round
// as "impactsim run --census-csv" writes them), grid (its final map, as
// --grid-out writes it) and last_round (the opinions the last round passed
// on, likewise). Prints "seed: N" to stderr; exits 2 with the engine's
// problem for bad input.
'use strict';
const fs = require('fs');
const path = require('path');

const [engineJs, outDir, ...options] = process.argv.slice(2);
const opinionChar = (k) => '0123456789abcdefg'[k];

const streamed = [];
let census = '';
let lastRound = null;
const hooks = {
  onLogLine: (line) => streamed.push(line + '\n'),
  onRound: (round, changes, counts, opinions) => {
    if (round === 0) census = 'round,changes' + Array.from(counts, (_, k) => ',opinion' + (k + 1)).join('') + '\n';
    census += [round, changes, ...counts].join(',') + '\n';
    lastRound = opinions;
  },
};

require(path.resolve(engineJs))(hooks).then((engine) => {
  const status = engine.ccall('impactsim_run', 'number', ['string', 'number'],
                              [options.join('\n'), 0]);
  if (status !== 0) {
    process.stderr.write('impactsim: ' + engine.ccall('impactsim_error', 'string', [], []) + '\n');
    process.exit(status);
  }
  process.stderr.write('seed: ' + (engine.ccall('impactsim_seed', 'number', [], []) >>> 0) + '\n');
  const grid = engine.ccall('impactsim_final_map', 'string', [], []);
  const side = Math.round(Math.sqrt(lastRound.length));
  let rows = '';
  for (let y = 0; y < side; ++y) {
    rows += Array.from(lastRound.subarray(y * side, (y + 1) * side), opinionChar).join('') + '\n';
  }
  const write = (name, text) => fs.writeFileSync(path.join(outDir, name), text);
  write('log', engine.ccall('impactsim_log', 'string', [], []));
  write('streamed', streamed.join(''));
  write('census.csv', census);
  write('grid', grid);
  write('last_round', rows);
});
