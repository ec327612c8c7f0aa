// A program's page: reads its window's description (embedded by the build),
// turns the chosen settings into "impactsim run"'s option words, and runs the
// engine in a worker (worker.js), showing each round as the window does.
// Query: ?seed=MS repeats a run.
'use strict';
(() => {
  const d = JSON.parse(document.getElementById('description').textContent);
  const byId = (id) => document.getElementById(id);
  const query = new URLSearchParams(location.search);
  const start = byId('BitBtn1');
  const log = byId('Memo1');
  let seed = 0;

  const appendLine = (line) => {
    log.append(line + '\n');  // in the document's text, as the log's contents
    log.scrollTop = log.scrollHeight;
  };

  // The clock's seed (UTC milliseconds of the day), or the one asked for.
  const chooseSeed = () => {
    const asked = query.get('seed');
    seed = asked !== null && /^[0-9]+$/.test(asked) ? Number(asked) : Date.now() % 86400000;
    byId('seed').textContent = String(seed);
  };

  // The option words of the chosen settings, from the description's tables.
  const optionWords = () => {
    const words = ['--program', d.program, '--seed', String(seed)];
    for (const c of d.controls) {
      if (c.kind === 'radio' && c.words.length > 0) {
        const chosen = document.querySelector(`input[name="${c.name}"]:checked`);
        words.push(...c.words[Number(chosen.value)]);
      } else if (c.kind === 'check') {
        const checked = byId(c.name).querySelector('input').checked;
        if (checked) words.push(c.words.on);
        else if (c.words.off) words.push(c.words.off);
      }
    }
    return words;
  };

  const paint = (id, picture) => {
    if (!picture) return;
    const canvas = byId(id);
    const image = new ImageData(new Uint8ClampedArray(picture.rgba), picture.width, picture.height);
    canvas.getContext('2d').putImageData(image, 0, 0);
  };

  const showRound = (m) => {
    byId('Edit1').value = String(m.round);
    // The last turn of the round, as the window shows it once a round ends.
    if (m.round > 0) byId('Edit2').value = String(m.turns);
    const first = m.round === 0 ? 3 : 8;
    m.census.slice(0, 5).forEach((n, k) => { byId('Edit' + (first + k)).value = String(n); });
    paint('MapBox', m.map);
    paint('ProcessBox', m.chart);
  };

  // The engine loads with the page, so that a page once loaded runs
  // offline.
  const worker = new Worker('worker.js');
  const end = byId('BitBtn2');
  let began = 0;
  // As the window serves no input during a run, neither Start nor End
  // answers until it ends.
  const busy = (running) => { start.disabled = running; end.disabled = running; };
  worker.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'ready') document.body.dataset.engine = 'ready';
    else if (m.type === 'line') appendLine(m.text);
    else if (m.type === 'round') showRound(m);
    else if (m.type === 'problem') { appendLine('impactsim: ' + m.text); busy(false); }
    else if (m.type === 'done') {
      // How long the run took, Start to its end, for whoever measures.
      document.body.dataset.lastRunMs = (performance.now() - began).toFixed(1);
      document.body.dataset.runs = String(Number(document.body.dataset.runs || 0) + 1);
      busy(false);
    }
  };
  worker.onerror = (event) => { appendLine('impactsim: ' + event.message); busy(false); };

  start.addEventListener('click', () => {
    if (start.disabled) return;
    busy(true);
    chooseSeed();  // the clock at Start, as the window reads it
    const words = optionWords();
    byId('command').textContent = 'impactsim run ' + words.join(' ');
    began = performance.now();
    worker.postMessage({ words });
  });

  byId('help1').addEventListener('click', () => d.help.forEach(appendLine));
  // A browser closes only the tabs its pages opened: End returns the page to
  // how it opened instead (controls, fields, log, pictures), in place, so
  // that it needs no network either.
  end.addEventListener('click', () => {
    if (end.disabled) return;
    for (const input of document.querySelectorAll('input')) {
      if (input.type === 'radio' || input.type === 'checkbox') input.checked = input.defaultChecked;
      else input.value = input.defaultValue;
    }
    log.textContent = '';
    for (const canvas of document.querySelectorAll('canvas')) {
      canvas.getContext('2d').clearRect(0, 0, canvas.width, canvas.height);
    }
    byId('command').textContent = '';
    chooseSeed();
  });

  chooseSeed();
})();
