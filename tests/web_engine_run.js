// Runs the web edition's engine under Node as a page's worker would, for
// tests/web_engine_check.sh. Usage:
//   node --no-experimental-fetch web_engine_run.js ENGINE_JS OUT_DIR [RUN OPTIONS...]
//   node web_engine_run.js --ppm-of PNG PPM
// Writes to OUT_DIR what the engine reported: log (its whole log), streamed
// (the lines it passed on one by one), census.csv (round 0 and every round
// as "impactsim run --census-csv" writes them), grid (its final map, as
// --grid-out writes it) and last_round (the opinions the last round passed
// on, likewise), map.ppm and chart.ppm (the pictures as the last round's
// onRound found them, which must be the pictures after the run). Prints
// "seed: N" to stderr; exits 2 with the engine's problem for bad input.
// The second form writes the pixels of a PNG as the runner writes them
// (8-bit grey, RGB or RGBA, not interlaced) to a binary PPM, so that the
// pictures compare byte for byte.
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

// A binary PPM of width x height pixels from rgb(i) = [r, g, b] of pixel i.
function ppm(width, height, rgb) {
  const body = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; ++i) body.set(rgb(i), i * 3);
  return Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`), body]);
}

// The PPM of an 8-bit, non-interlaced PNG of colour type 0, 2 or 6.
function ppmOfPng(png) {
  const fail = (why) => { throw new Error('unsupported PNG: ' + why); };
  if (!png.subarray(0, 8).equals(Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]))) fail('signature');
  let header = null;
  const data = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at), type = png.toString('latin1', at + 4, at + 8);
    const chunk = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') header = chunk;
    if (type === 'IDAT') data.push(chunk);
    at += 12 + length;
  }
  const width = header.readUInt32BE(0), height = header.readUInt32BE(4);
  const channels = {0: 1, 2: 3, 6: 4}[header[9]];
  if (header[8] !== 8 || !channels || header[12] !== 0) fail('depth, colour type or interlace');
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? pixels[y * stride + x - channels] : 0;
      const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      if (predictor === undefined) fail('filter ' + filter);
      pixels[y * stride + x] = (raw[y * (stride + 1) + 1 + x] + predictor) & 255;
    }
  }
  return ppm(width, height, (i) => channels === 1 ? [pixels[i], pixels[i], pixels[i]]
                                                  : pixels.subarray(i * channels, i * channels + 3));
}

if (process.argv[2] === '--ppm-of') {
  fs.writeFileSync(process.argv[4], ppmOfPng(fs.readFileSync(process.argv[3])));
  process.exit(0);
}

const [engineJs, outDir, ...options] = process.argv.slice(2);
const opinionChar = (k) => '0123456789abcdefg'[k];

const streamed = [];
let census = '';
let lastRound = null;
let engine = null;
// The engine's picture `name` (map or chart) as a PPM, read from its memory.
const pictureOf = (name) => {
  const call = (what) => engine.ccall(`impactsim_${name}_${what}`, 'number', [], []);
  const width = call('width'), height = call('height'), at = call('pixels') >>> 2;
  const pixels = engine.HEAPU32.subarray(at, at + width * height);
  return ppm(width, height, (i) => [(pixels[i] >>> 16) & 255, (pixels[i] >>> 8) & 255, pixels[i] & 255]);
};
let lastPictures = null;
const hooks = {
  onLogLine: (line) => streamed.push(line + '\n'),
  onRound: (round, changes, counts, opinions) => {
    if (round === 0) census = 'round,changes' + Array.from(counts, (_, k) => ',opinion' + (k + 1)).join('') + '\n';
    census += [round, changes, ...counts].join(',') + '\n';
    lastRound = opinions;
    lastPictures = {map: pictureOf('map'), chart: pictureOf('chart')};
  },
};

require(path.resolve(engineJs))(hooks).then((module) => {
  engine = module;
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
  for (const name of ['map', 'chart']) {
    write(name + '.ppm', lastPictures[name]);
    if (!pictureOf(name).equals(lastPictures[name])) {
      process.stderr.write(`the ${name} changed after the last round's onRound\n`);
    }
  }
});
