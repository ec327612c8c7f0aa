// Drives a web page in a running chromium through the DevTools protocol, for
// tests/web_page_check.sh. Usage:
//   node --experimental-websocket web_page_run.js DEVTOOLS_PORT URL OUT_DIR [SELECTOR...]
// Opens URL in a new tab, clicks each SELECTOR (a control to change), presses
// Start and waits for the run to end; Start must be disabled meanwhile. Writes to OUT_DIR: log (the page's log),
// command (the command line the page shows), rects (each control's name and
// its rectangle in the client area as the browser lays it out, one per line,
// "NAME left top width height", and the description's, "want NAME ..."),
// counters (the Round and Iteration counters after the run), run_ms (the
// run's time from Start to its end, for the record), paint (the
// page's first-paint times, for the record), map.ppm and
// chart.ppm (the canvases' pixels after the run), log_help (the
// log after "help" is pressed), page.png (a screenshot) and after_end (what
// End left otherwise than the page opened: empty when nothing). The run is
// made offline, once the page's engine has loaded. Exits 1 if the page does
// not finish a run within two minutes.
'use strict';
const fs = require('fs');
const path = require('path');

const [port, url, outDir, ...clicks] = process.argv.slice(2);
const pause = (ms) => new Promise((done) => setTimeout(done, ms));

async function connect() {
  const target = await (await fetch(`http://127.0.0.1:${port}/json/new?about:blank`,
                                    { method: 'PUT' })).json();
  const socket = new WebSocket(target.webSocketDebuggerUrl);
  await new Promise((done, fail) => { socket.onopen = done; socket.onerror = fail; });
  let next = 0;
  const waiting = new Map();
  socket.onmessage = (event) => {
    const m = JSON.parse(event.data);
    if (waiting.has(m.id)) { waiting.get(m.id)(m); waiting.delete(m.id); }
  };
  const send = (method, params = {}) => new Promise((done) => {
    waiting.set(++next, done);
    socket.send(JSON.stringify({ id: next, method, params }));
  });
  const evaluate = async (expression) => {
    const m = await send('Runtime.evaluate', { expression, returnByValue: true });
    if (m.error || m.result.exceptionDetails) throw new Error(JSON.stringify(m));
    return m.result.result.value;
  };
  return { socket, send, evaluate };
}

async function until(evaluate, expression, what) {
  for (let waited = 0; waited < 120000; waited += 50) {
    if (await evaluate(expression)) return;
    await pause(50);
  }
  throw new Error('timed out waiting for ' + what);
}

const rectsScript = `(() => {
  const d = JSON.parse(document.getElementById('description').textContent);
  const client = document.getElementById('client').getBoundingClientRect();
  const lines = [];
  for (const c of d.controls) {
    const r = document.getElementById(c.name).getBoundingClientRect();
    lines.push(['want', c.name, ...c.rect].join(' '));
    lines.push([c.name, r.left - client.left, r.top - client.top, r.width, r.height].join(' '));
  }
  return lines.join('\\n') + '\\n';
})()`;

// A canvas's pixels as [width, height, its RGB bytes in base64].
const pixelsScript = (id) => `(() => {
  const c = document.getElementById(${JSON.stringify(id)});
  const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let bytes = '';
  for (let i = 0; i < rgba.length; i += 4) {
    bytes += String.fromCharCode(rgba[i], rgba[i + 1], rgba[i + 2]);
  }
  return [c.width, c.height, btoa(bytes)];
})()`;

(async () => {
  const { socket, send, evaluate } = await connect();
  await send('Emulation.setDeviceMetricsOverride',
             { width: 760, height: 800, deviceScaleFactor: 1, mobile: false });
  await send('Page.navigate', { url });
  await until(evaluate, `location.href === ${JSON.stringify(url)} &&
    document.readyState === 'complete'`, 'the page');
  for (const selector of clicks) await evaluate(`document.querySelector(${JSON.stringify(selector)}).click()`);
  // Once the page and its engine are loaded, the run needs no network.
  await until(evaluate, `document.body.dataset.engine === 'ready'`, 'the engine');
  await send('Network.enable');
  await send('Network.emulateNetworkConditions',
             { offline: true, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
  // Start and End are disabled from the click until the run's end.
  const start = `document.getElementById('BitBtn1')`;
  if (!await evaluate(`${start}.click(), ${start}.disabled && BitBtn2.disabled`)) {
    throw new Error('Start or End stayed enabled');
  }
  await until(evaluate, `document.body.dataset.runs === '1'`, 'the run');
  if (await evaluate(`${start}.disabled`)) throw new Error('Start stayed disabled after the run');
  const write = (name, data) => fs.writeFileSync(path.join(outDir, name), data);
  write('log', await evaluate(`document.getElementById('Memo1').value`));
  write('counters', await evaluate(`['Edit1', 'Edit2']
    .map((id) => document.getElementById(id).value).join(' ') + '\\n'`));
  write('command', await evaluate(`document.getElementById('command').textContent`) + '\n');
  write('rects', await evaluate(rectsScript));
  write('run_ms', await evaluate(`document.body.dataset.lastRunMs`) + '\n');
  write('paint', await evaluate(`performance.getEntriesByType('paint')
    .map((e) => e.name + ' ' + e.startTime.toFixed(1) + ' ms').join('\\n') + '\\n'`));
  for (const [id, file] of [['MapBox', 'map.ppm'], ['ProcessBox', 'chart.ppm']]) {
    const [width, height, rgb] = await evaluate(pixelsScript(id));
    write(file, Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`),
                               Buffer.from(rgb, 'base64')]));
  }
  await evaluate(`document.getElementById('help1').click()`);
  write('log_help', await evaluate(`document.getElementById('Memo1').value`));
  const shot = await send('Page.captureScreenshot', { format: 'png' });
  write('page.png', Buffer.from(shot.result.data, 'base64'));
  // End: the page as it opened, every field, the log and the controls.
  write('after_end', await evaluate(`(BitBtn2.click(), [
    ...[...document.querySelectorAll('input')].filter((i) => i.type === 'radio' ||
      i.type === 'checkbox' ? i.checked !== i.defaultChecked : i.value !== i.defaultValue)
      .map((i) => i.id || i.name || i.parentElement.id || 'an input'), Memo1.value,
    command.textContent].join(' ').trim() + '\\n')`));
  socket.close();
})().catch((e) => { process.stderr.write(String(e.stack || e) + '\n'); process.exit(1); });
