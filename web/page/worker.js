// Runs the engine (impactsim-engine.js and .wasm) for a page: one message
// {words: [...]} per run, "impactsim run"'s option words. Posts
// {type:'ready'} once the engine is loaded; then, per run, {type:'line',
// text} for each log line, {type:'round', round, changes, census, turns,
// map, chart} after each round (round 0 included; turns: the round's number
// of turns; map and chart {width, height, rgba} when the engine has its
// picture functions, else absent), then {type:'done', seed} or
// {type:'problem', text} for bad input.
'use strict';
importScripts('impactsim-engine.js');

let engine = null;

// A picture of the engine's as RGBA bytes, from its 0xFFRRGGBB words.
const picture = (name) => {
  if (typeof engine[`_impactsim_${name}_pixels`] !== 'function') return undefined;
  const width = engine[`_impactsim_${name}_width`]();
  const height = engine[`_impactsim_${name}_height`]();
  const at = engine[`_impactsim_${name}_pixels`]() >>> 2;
  const words = engine.HEAPU32.subarray(at, at + width * height);
  const rgba = new Uint8ClampedArray(width * height * 4);
  for (let i = 0; i < words.length; ++i) {
    const w = words[i];
    rgba[4 * i] = (w >>> 16) & 255;
    rgba[4 * i + 1] = (w >>> 8) & 255;
    rgba[4 * i + 2] = w & 255;
    rgba[4 * i + 3] = 255;
  }
  return { width, height, rgba: rgba.buffer };
};

const hooks = {
  onLogLine: (text) => postMessage({ type: 'line', text }),
  onRound: (round, changes, census, cells) => {
    const map = picture('map');
    const chart = picture('chart');
    const buffers = [map, chart].filter(Boolean).map((p) => p.rgba);
    postMessage({ type: 'round', round, changes, census: Array.from(census), turns: cells.length,
                  map, chart }, buffers);
  },
};

const ready = createImpactsimEngine(hooks).then((module) => {
  engine = module;
  postMessage({ type: 'ready' });
});

onmessage = (event) => {
  ready.then(() => {
    const status = engine.ccall('impactsim_run', 'number', ['string', 'number'],
                                [event.data.words.join('\n'), Date.now() % 86400000]);
    if (status !== 0) {
      postMessage({ type: 'problem', text: engine.ccall('impactsim_error', 'string', [], []) });
      return;
    }
    postMessage({ type: 'done', seed: engine.ccall('impactsim_seed', 'number', [], []) >>> 0 });
  });
};
