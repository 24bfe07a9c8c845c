// Plays SWF movies in a real player (Ruffle, pinned) inside headless Chromium,
// on behalf of the C++ tests, and hands back exact frames and trace output.
//
// Protocol: one JSON object a line on stdin, one answer a line on stdout, one
// request at a time, each answer carrying the request's id.
//   {"id":1,"cmd":"load","swf":"/abs/movie.swf","width":W?,"height":H?}
//     -> {"id":1,"width":..,"height":..,"frameRate":..,"numFrames":..,
//         "swfVersion":..,"backgroundColor":..,"isActionScript3":..,
//         "playerWidth":..,"playerHeight":..}
//   {"id":2,"cmd":"frames","count":N,"out":"/abs/prefix"}
//     -> {"id":2,"width":..,"height":..,
//         "frames":[{"frame":k,"width":..,"height":..,"file":..,"trace":[..]}],
//         "trace":[every line since the load]}
//     Frame k's pixels go to prefix + k + ".rgba": width*height*4 bytes, rows
//     top down, RGBA, 8 bits each, not premultiplied. k counts from 1 at load.
//   {"id":3,"cmd":"click","x":X,"y":Y}
//     -> {"id":3,"trace":[lines the click made the movie trace]}
//     Moves the mouse over the stage point (X, Y) (movie pixels), presses and
//     releases it there, as a user's click; no frame runs.
//   Load may also carry "flashvars":{"name":"value",..} (the movie's FlashVars)
//   and "network":true, which lets the movie open addresses (getURL, into
//   new windows) and send FSCommands; without it the movie reaches nothing.
//   {"id":4,"cmd":"events"} -> {"id":4,"origin":"http://127.0.0.1:port",
//     "hits":[paths],"fscommands":[{"command":..,"args":..}]}: the requests
//     that reached origin + "/hit/..." and the FSCommands sent since the
//     last events request; both lists start empty again.
//   {"id":5,"cmd":"page","html":"..","files":{"name":"/abs/file"},
//     "width":W,"height":H,"waitMs":T,"out":"/abs/file.rgba"}
//     -> {"id":5,"width":..,"height":..,"file":..,"players":N,"frames":F,
//         "movieWidth":..,"movieHeight":..}: serves the
//     page, with Ruffle's settings and script in place of the text
//     {{RUFFLE}} and the named files beside it, from the loopback server in
//     a page of its own; waits until every player Ruffle put in place of the
//     page's elements has read its movie, runs F frames (T ms of the first
//     movie's time, at least one) under the harness's clock and writes a
//     screenshot of the page as RGBA. N counts the players (0 when none
//     came within two seconds of the page's load), movieWidth and
//     movieHeight are what the first of them read from its movie.
//   {"id":6,"cmd":"quit"} -> {"id":6} and the process exits.
// Any request may carry "timeoutMs" in place of the watchdog's default time.
// A failure answers {"id":..,"error":"text"}. Before the first request the
// script prints {"event":"ready",...} once the browser is up and the player has
// proven it can be stepped, or {"event":"fatal","error":..} and exits.
//
// Nothing but this script writes to stdout: console output goes to stderr.

import { chromium } from 'playwright-core';
import http from 'node:http';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import crypto from 'node:crypto';
import readline from 'node:readline';
import zlib from 'node:zlib';
import { fileURLToPath } from 'node:url';

const RUFFLE_VERSION = '0.6.0';
const here = path.dirname(fileURLToPath(import.meta.url));
const ruffleDir = path.join(here, 'node_modules', '@ruffle-rs', 'ruffle');
const chromiumPath = process.env.TW_CHROMIUM || '/usr/bin/chromium';
// The watchdog: no request may take longer than this (--timeout-ms=N), unless
// it names its own time.
const option = (name) => {
  const arg = process.argv.find((a) => a.startsWith(`--${name}=`));
  return arg ? arg.slice(name.length + 3) : undefined;
};
const requestTimeoutMs = Number(option('timeout-ms')) || 60000;
// Where the browser profile goes (--scratch-dir=DIR): a caller that removes
// the folder afterwards cleans up even after a killed child.
const scratchDir = option('scratch-dir') || os.tmpdir();
// Bytes of one frame's pixels is bounded so a wrong size cannot exhaust memory.
const maxPlayerSide = 4096;
const maxTimeoutMs = 3600000;

const out = process.stdout;
console.log = console.info = console.warn = console.error = (...args) =>
  process.stderr.write(args.map(String).join(' ') + '\n');

function send(obj) {
  out.write(JSON.stringify(obj) + '\n');
}

// ---------------------------------------------------------------------------
// A server on the loopback interface that serves the page, Ruffle's own files
// and the one movie being played, and nothing else. The movie is reached by a
// random token, never by a path, so no request can name another file.

const ruffleFiles = new Map(); // file name -> content type
function scanRuffle() {
  let pkg;
  try {
    pkg = JSON.parse(fs.readFileSync(path.join(ruffleDir, 'package.json'), 'utf8'));
  } catch {
    throw new Error(`Ruffle is not installed in ${ruffleDir}: run platform/player/setup.sh`);
  }
  if (pkg.version !== RUFFLE_VERSION) {
    throw new Error(`Ruffle ${pkg.version} is installed, the harness needs exactly ${RUFFLE_VERSION}: run npm ci`);
  }
  for (const name of fs.readdirSync(ruffleDir)) {
    if (name.endsWith('.wasm')) ruffleFiles.set(name, 'application/wasm');
    else if (name.endsWith('.js')) ruffleFiles.set(name, 'text/javascript');
  }
}

let movie = null; // { token, file, bytes }
const hits = []; // paths of the requests that reached /hit/
let served = null; // { token, html, files } of the page request being served

// Installed in every page before the player's script: it catches what the
// player does not hand out through its public interface.
const pageHooks = String.raw`// The player's internal handle is created by the wasm glue with Object.create on
// its class prototype and is not reachable through the public interface; catch
// it here. Only the stepping methods are used, and their presence is checked.
window.twHandles = [];
// The player reports its own failures (an unreadable movie, say) only as
// console lines styled with %c; keep the text of its errors for our messages.
window.twErrors = [];
// Its warnings and errors while a movie plays (a script that failed, a font
// it could not find) are kept too, for the caller to read with "log".
window.twLog = [];
for (const name of ['log', 'warn', 'error']) {
  const log = console[name];
  console[name] = function (...args) {
    if (typeof args[0] === 'string') {
      const level = /^%c(ERROR|WARN)/.exec(args[0]);
      if (level) {
        const text = args[0].replace(/%c/g, '');
        if (level[1] === 'ERROR') window.twErrors.push(text.replace(/^ERROR\\s+\\S+:\\d+\\s+/, ''));
        if (window.twLog.length < 1000) window.twLog.push(text.replace(/\\s+/g, ' ').trim());
      }
    }
    return log.apply(this, args);
  };
}
{
  const create = Object.create;
  Object.create = function (proto, props) {
    const made = props === undefined ? create(proto) : create(proto, props);
    if (proto !== null && typeof proto === 'object' && typeof proto.tick_for_background === 'function')
      window.twHandles.push(made);
    return made;
  };
}
// The player warns over its own canvas that it draws in software (here it
// always does); the notice would take the clicks meant for the movie and
// cover its pixels in screenshots.
window.twQuiet = (player) => {
  if (!player.shadowRoot || player.shadowRoot.querySelector('style[data-tw-quiet]')) return;
  const quiet = document.createElement('style');
  quiet.dataset.twQuiet = '';
  quiet.textContent = '#hardware-acceleration-modal { display: none !important; }';
  player.shadowRoot.appendChild(quiet);
};
`;

const pageHtml = (origin) => `<!doctype html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; padding: 0; background: #000; overflow: hidden; }
#stage > * { display: block; }
</style>
<script>
${pageHooks}window.RufflePlayer = { config: {
  publicPath: ${JSON.stringify(origin + '/ruffle/')},
  polyfills: false, autoplay: 'off', splashScreen: false, unmuteOverlay: 'hidden',
  contextMenu: 'off', letterbox: 'off', warnOnUnsupportedContent: false,
  upgradeToHttps: false, allowNetworking: 'none', openUrlMode: 'deny',
  fontSources: [], logLevel: 'warn',
} };
</script>
<script src="/ruffle/ruffle.js"></script>
</head><body><div id="stage"></div></body></html>`;

function startServer() {
  return new Promise((resolve, reject) => {
    const server = http.createServer((req, res) => {
      const fail = (code) => { res.writeHead(code, { 'Content-Type': 'text/plain' }); res.end(String(code)); };
      const url = new URL(req.url, 'http://127.0.0.1');
      const p = url.pathname;
      if (req.method !== 'GET' && req.method !== 'HEAD') return fail(405);
      if (p === '/favicon.ico') { res.writeHead(204); return res.end(); }
      if (p === '/') {
        const body = pageHtml(server.origin);
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
        return res.end(body);
      }
      if (p.startsWith('/ruffle/')) {
        // Only names read from Ruffle's folder at start-up; anything with a
        // separator or dots in front is simply not in the map.
        const name = p.slice('/ruffle/'.length);
        const type = ruffleFiles.get(name);
        if (!type) return fail(404);
        const stream = fs.createReadStream(path.join(ruffleDir, name));
        stream.on('error', () => fail(404));
        // The files are content-hashed and the version pinned, so the browser
        // may keep them; this saves refetching 14 MB of wasm per movie.
        res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'public, max-age=31536000, immutable' });
        return stream.pipe(res);
      }
      if (p.startsWith('/hit/')) {
        hits.push(p + url.search);
        res.writeHead(204, { 'Cache-Control': 'no-store' });
        return res.end();
      }
      if (served && p.startsWith(`/page/${served.token}/`)) {
        // The path arrives percent-encoded, as a page names a file with a
        // space or a '#' in it.
        let name;
        try { name = decodeURIComponent(p.slice(`/page/${served.token}/`.length)); } catch { return fail(400); }
        if (name === 'index.html') {
          res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
          return res.end(served.html);
        }
        // Only the names the request listed; nothing else of the disk.
        const file = Object.hasOwn(served.files, name) ? served.files[name] : null;
        if (!file) return fail(404);
        const type = name.endsWith('.swf') ? 'application/x-shockwave-flash' : 'application/octet-stream';
        const stream = fs.createReadStream(file);
        stream.on('error', () => fail(404));
        res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' });
        return stream.pipe(res);
      }
      if (movie && p === `/movie/${movie.token}.swf`) {
        res.writeHead(200, { 'Content-Type': 'application/x-shockwave-flash', 'Cache-Control': 'no-store' });
        return res.end(movie.bytes);
      }
      return fail(404);
    });
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      server.origin = `http://127.0.0.1:${server.address().port}`;
      resolve(server);
    });
  });
}

// ---------------------------------------------------------------------------
// Browser and page.

let server, context, page, userDataDir;
// Set while the harness opens a page of its own; any other page is a window
// that a movie opened.
let creatingPage = false;
async function ownPage() {
  creatingPage = true;
  try { return await context.newPage(); } finally { creatingPage = false; }
}
const pageErrors = []; // the last few console errors and page errors, for messages

function notePageError(text) {
  pageErrors.push(text);
  if (pageErrors.length > 20) pageErrors.shift();
}

async function launch() {
  userDataDir = await fsp.mkdtemp(path.join(scratchDir, 'tw-player-chromium-'));
  if (!fs.existsSync(chromiumPath)) throw new Error(`Chromium not found at ${chromiumPath}: run platform/player/setup.sh`);
  context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 550, height: 400 },
    deviceScaleFactor: 1,
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-popup-blocking',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      // Chromium reaches out to outside services despite the flags above; a dead
      // proxy keeps every such request on this machine.
      '--proxy-server=http://127.0.0.1:9', '--proxy-bypass-list=<-loopback>;127.0.0.1',
    ],
  });
  context.on('request', (r) => {
    if (!r.url().startsWith(server.origin + '/') && !r.url().startsWith('blob:') && !r.url().startsWith('data:'))
      notePageError(`request outside the harness: ${r.url()}`);
  });
  context.on('page', (p) => {
    if (creatingPage) return;
    // A window a movie opened: its request has reached the server already.
    setTimeout(() => p.close().catch(() => {}), 200);
  });
  const blank = context.pages();
  await newPage();
  for (const p of blank) await p.close().catch(() => {});
}

// One page serves movie after movie: a fresh page would compile the player's
// 14 MB of wasm again, about two seconds each time. A page is replaced only
// when it crashed or a request overran the watchdog.
let pageBroken = true;

async function newPage() {
  if (page) await page.close().catch(() => {});
  page = null;
  pageBroken = true;
  const fresh = await ownPage();
  fresh.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') notePageError(`console: ${m.text()}`); });
  fresh.on('pageerror', (e) => notePageError(`page error: ${e.message}`));
  fresh.on('crash', () => { pageBroken = true; notePageError('the page crashed'); });
  // The watchdog bounds every request; Playwright's own limits would only cut it shorter.
  fresh.setDefaultTimeout(maxTimeoutMs);
  await fresh.goto(server.origin + '/', { waitUntil: 'load' });
  page = fresh;
  pageBroken = false;
}

function recentErrors() {
  return pageErrors.length ? ` (page said: ${pageErrors.slice(-5).join(' | ')})` : '';
}

// The stage size from the movie's header, or null where it cannot be had
// here (LZMA-compressed movies, damaged headers). Knowing it before the load
// saves a resize of the player, which costs about half a second.
function stageSizeOf(bytes) {
  if (bytes.length < 9) return null;
  const signature = bytes.toString('latin1', 0, 3);
  let body;
  if (signature === 'FWS') {
    body = bytes.subarray(8);
  } else if (signature === 'CWS') {
    try {
      body = zlib.inflateSync(bytes.subarray(8, 8 + 4096), { finishFlush: zlib.constants.Z_SYNC_FLUSH });
    } catch {
      return null;
    }
  } else {
    return null;
  }
  // RECT: UB[5] field width, then SB fields Xmin, Xmax, Ymin, Ymax in twips.
  let pos = 0;
  const read = (n, signed) => {
    if ((pos + n + 7) >> 3 > body.length) throw new Error('short header');
    let v = 0;
    for (let i = 0; i < n; i++, pos++) v = v * 2 + ((body[pos >> 3] >> (7 - (pos & 7))) & 1);
    return signed && n > 0 && v >= 2 ** (n - 1) ? v - 2 ** n : v;
  };
  try {
    const n = read(5, false);
    const [x0, x1, y0, y1] = [read(n, true), read(n, true), read(n, true), read(n, true)];
    const w = Math.round((x1 - x0) / 20), h = Math.round((y1 - y0) / 20);
    return w > 0 && h > 0 ? { w, h } : null;
  } catch {
    return null;
  }
}

// Loads the current movie in place of the last one and prepares it for
// stepping. Returns the movie's metadata and the player's size.
async function loadInPage(width, height, flashvars, network) {
  pageErrors.length = 0;
  if (pageBroken || !page || page.isClosed()) await newPage();
  // Held for the whole request: a request abandoned by the watchdog then
  // fails on its own closed page instead of reaching into the next one.
  const ourPage = page;
  const guess = stageSizeOf(movie.bytes);
  const first = {
    w: Math.min(width || (guess && guess.w) || 550, maxPlayerSide),
    h: Math.min(height || (guess && guess.h) || 400, maxPlayerSide),
  };
  // The viewport only has to hold the player; the canvas follows the element.
  await ourPage.setViewportSize({ width: first.w, height: first.h });
  return await ourPage.evaluate(async ({ url, width, height, first, maxSide, flashvars, network }) => {
    const fail = (msg) => { throw new Error(msg); };
    if (!window.RufflePlayer || typeof window.RufflePlayer.newest !== 'function')
      fail('ruffle.js did not load');
    // Removing the old player destroys its instance.
    window.twPlayer = null;
    window.twHandle = null;
    window.twHandles.length = 0;
    window.twErrors.length = 0;
    window.twLog.length = 0;
    const stage = document.getElementById('stage');
    stage.replaceChildren();

    const player = window.RufflePlayer.newest().createPlayer();
    const setSize = (w, h) => { player.style.width = w + 'px'; player.style.height = h + 'px'; };
    setSize(first.w, first.h);
    stage.appendChild(player);
    window.twQuiet(player);
    const api = player.ruffle();
    window.twFSCommands = [];
    const options = { url, parameters: flashvars || {} };
    if (network) {
      Object.assign(options, { allowNetworking: 'all', openUrlMode: 'allow', allowScriptAccess: true });
    }
    await api.load(options);
    if (network && typeof api.addFSCommandHandler === 'function')
      api.addFSCommandHandler((command, args) => { window.twFSCommands.push({ command: String(command), args: String(args) }); return true; });
    const handle = window.twHandles[window.twHandles.length - 1];
    if (!handle) fail('the player made no internal handle for the movie');
    for (const m of ['enable_background_tick_mode', 'tick_for_background'])
      if (typeof handle[m] !== 'function')
        fail(`the player's internal handle has no ${m}(): frame stepping needs Ruffle pinned at the version in package.json`);

    // The movie's header is read asynchronously after load() resolves. A movie
    // the player cannot read only shows as an error line and no metadata.
    let firstError = 0;
    for (let waited = 0; !api.metadata; waited += 10) {
      if (window.twErrors.length && !firstError) firstError = waited || 1;
      if (firstError && waited - firstError > 300) fail(`the player could not read the movie: ${window.twErrors.join('; ')}`);
      if (waited > 15000) fail('the player could not read the movie (no metadata after 15 s)');
      await new Promise((r) => setTimeout(r, 10));
    }
    const md = api.metadata;
    const w = width || Math.round(md.width), h = height || Math.round(md.height);
    if (!(w > 0 && h > 0 && w <= maxSide && h <= maxSide)) fail(`unusable player size ${w}x${h}`);
    setSize(w, h);

    // Set after load: a value set before is dropped with the old instance.
    window.twTrace = [];
    api.traceObserver = (line) => { window.twTrace.push(String(line)); };

    // The player resizes its canvas on its own schedule; wait until it matches.
    const canvas = () => player.shadowRoot && player.shadowRoot.querySelector('canvas');
    for (let waited = 0; !(canvas() && canvas().width === w && canvas().height === h); waited += 16) {
      if (waited > 5000) fail(`the player's canvas did not take the size ${w}x${h}`);
      await new Promise((r) => requestAnimationFrame(() => r()));
    }

    // From here on only our ticks advance the movie: the first tick sets the
    // clock, and each later tick one frame period on runs exactly one frame.
    handle.enable_background_tick_mode();
    window.twClock = performance.now();
    handle.tick_for_background(window.twClock);
    api.resume();
    Object.assign(window, { twPlayer: player, twHandle: handle, twFrame: 0 });
    return {
      width: md.width, height: md.height, frameRate: md.frameRate, numFrames: md.numFrames,
      swfVersion: md.swfVersion, backgroundColor: md.backgroundColor ?? null,
      isActionScript3: !!md.isActionScript3, playerWidth: w, playerHeight: h,
    };
  }, { url: `${server.origin}/movie/${movie.token}.swf`, width, height, first, maxSide: maxPlayerSide, flashvars, network });
}

// Runs one frame and reads the canvas in the same task as the tick: once the
// task ends the drawing buffer may already be cleared.
// Frames cross over as PNG: every byte handed through the automation channel
// costs time (raw RGBA at 550 x 400 took over 100 ms a frame, the same frame
// as PNG a fifth of that), and the PNG carries the very same pixels.
async function stepOne(ourPage) {
  return await ourPage.evaluate(() => {
    const player = window.twPlayer;
    const fps = player.ruffle().metadata.frameRate || 24;
    // The epsilon keeps rounding from leaving the player a hair short of a frame.
    window.twClock += 1000 / fps + 1e-6;
    window.twHandle.tick_for_background(window.twClock);
    const canvas = player.shadowRoot.querySelector('canvas');
    const url = canvas.toDataURL('image/png');
    return {
      frame: ++window.twFrame, width: canvas.width, height: canvas.height,
      trace: window.twTrace.splice(0), png: url.slice(url.indexOf(',') + 1),
    };
  });
}

// Decodes the PNG files the browser writes: 8-bit RGB or RGBA, not interlaced.
function decodePng(png) {
  const sig = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  if (png.length < 8 || !png.subarray(0, 8).equals(sig)) throw new Error('frame is not a PNG');
  let pos = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos + 8 <= png.length) {
    const len = png.readUInt32BE(pos);
    const type = png.toString('latin1', pos + 4, pos + 8);
    const body = png.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const depth = body[8], color = body[9], interlace = body[12];
      if (depth !== 8 || (color !== 2 && color !== 6) || interlace !== 0) throw new Error(`unexpected PNG format (depth ${depth}, color type ${color}, interlace ${interlace})`);
      channels = color === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      idat.push(body);
    } else if (type === 'IEND') {
      break;
    }
    pos += 12 + len;
  }
  if (!channels) throw new Error('PNG has no header');
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  if (raw.length !== (stride + 1) * height) throw new Error('PNG data has the wrong length');
  // Undo the row filters in place: each row becomes its plain bytes, and the
  // row above (already plain) serves the Up, Average and Paeth filters.
  for (let y = 0; y < height; y++) {
    const at = y * (stride + 1) + 1;
    const up = at - (stride + 1);
    const filter = raw[at - 1];
    if (filter === 0) continue;
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? raw[at + i - channels] : 0;
      const b = y > 0 ? raw[up + i] : 0;
      switch (filter) {
        case 1: raw[at + i] += a; break;
        case 2: raw[at + i] += b; break;
        case 3: raw[at + i] += (a + b) >> 1; break;
        case 4: {
          const c = i >= channels && y > 0 ? raw[up + i - channels] : 0;
          const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
          raw[at + i] += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: throw new Error(`bad PNG filter ${filter}`);
      }
    }
  }
  const out = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; y++) {
    const at = y * (stride + 1) + 1;
    if (channels === 4) {
      raw.copy(out, y * width * 4, at, at + stride);
      continue;
    }
    for (let x = 0; x < width; x++) {
      const o = (y * width + x) * 4, i = at + x * 3;
      out[o] = raw[i]; out[o + 1] = raw[i + 1]; out[o + 2] = raw[i + 2]; out[o + 3] = 255;
    }
  }
  return { width, height, pixels: out };
}

// ---------------------------------------------------------------------------
// Requests.

let loaded = null; // { traceSoFar: [] } while a movie is ready to step
// Bumped when a request overruns the watchdog: its handler may still run on
// and must neither bring its movie back nor touch the next movie's page.
let generation = 0;
function stillCurrent(mine) {
  if (mine !== generation) throw new Error('abandoned by the watchdog');
}

function requireAbsolute(value, what) {
  if (typeof value !== 'string' || !path.isAbsolute(value)) throw new Error(`${what} must be an absolute path`);
  return value;
}

function optionalSize(value, what) {
  if (value === undefined || value === null) return 0;
  if (!Number.isInteger(value) || value <= 0 || value > maxPlayerSide) throw new Error(`${what} must be an integer from 1 to ${maxPlayerSide}`);
  return value;
}

function flashvarsOf(value) {
  if (value === undefined || value === null) return {};
  if (typeof value !== 'object' || Array.isArray(value)) throw new Error('flashvars must be an object of strings');
  for (const v of Object.values(value)) if (typeof v !== 'string') throw new Error('flashvars must be an object of strings');
  return value;
}

const handlers = {
  async events() {
    let fscommands = [];
    if (loaded && page && !page.isClosed())
      fscommands = await page.evaluate(() => (window.twFSCommands || []).splice(0));
    return { origin: server.origin, hits: hits.splice(0), fscommands };
  },

  async log() {
    let lines = [];
    if (loaded && page && !page.isClosed()) lines = await page.evaluate(() => window.twLog.splice(0));
    return { lines };
  },

  async page(req) {
    if (typeof req.html !== 'string') throw new Error('page needs the html');
    const files = req.files || {};
    for (const [name, file] of Object.entries(files)) {
      // Any name a page may ask for (its address percent-encoded), but a
      // name only: no folder, no control character, nothing hidden.
      if (name === '' || /[\/\\\x00-\x1f]/.test(name) || name.startsWith('.')) throw new Error(`bad file name ${name}`);
      requireAbsolute(file, `file ${name}`);
    }
    const width = optionalSize(req.width, 'width') || 550;
    const height = optionalSize(req.height, 'height') || 400;
    const waitMs = Number.isInteger(req.waitMs) && req.waitMs >= 0 && req.waitMs <= 60000 ? req.waitMs : 1000;
    const out = requireAbsolute(req.out, 'out');
    // A slow start ends in our own message, with the player's complaints,
    // before the watchdog's.
    const watchdogMs = Number.isInteger(req.timeoutMs) ? req.timeoutMs : requestTimeoutMs;
    // The page names where Ruffle comes in by the text {{RUFFLE}}: there go
    // our hooks, its settings (it takes over <object> and <embed> elements)
    // and its script. The players start paused and are stepped under our
    // clock once they have read their movies, so the shot is the same on
    // every run, however long the page took to start.
    const ruffle = `<script>${pageHooks}window.RufflePlayer = { config: {
  publicPath: ${JSON.stringify(server.origin + '/ruffle/')}, polyfills: true, autoplay: 'off',
  splashScreen: false, unmuteOverlay: 'hidden', contextMenu: 'off', letterbox: 'off',
  warnOnUnsupportedContent: false, upgradeToHttps: false, allowNetworking: 'none', openUrlMode: 'deny',
  fontSources: [], logLevel: 'warn' } };</script><script src="/ruffle/ruffle.js"></script>`;
    served = { token: crypto.randomBytes(16).toString('hex'), html: req.html.replace('{{RUFFLE}}', ruffle), files };
    const fresh = await ownPage();
    try {
      fresh.on('console', (m) => { if (m.type() === 'error') notePageError(`console: ${m.text()}`); });
      fresh.on('pageerror', (e) => notePageError(`page error: ${e.message}`));
      await fresh.setViewportSize({ width, height });
      await fresh.goto(`${server.origin}/page/${served.token}/index.html`, { waitUntil: 'load' });
      const shown = await fresh.evaluate(async ({ waitMs, readyMs, emptyMs }) => {
        const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
        const all = () => [...document.querySelectorAll('ruffle-object, ruffle-embed, ruffle-player')];
        const started = performance.now();
        let firstError = 0;
        // Every player the page holds must have read its movie; a page whose
        // elements the player takes over holds them soon after its load.
        for (;;) {
          const players = all();
          players.forEach(window.twQuiet);
          const unread = players.filter((p) => !(typeof p.ruffle === 'function' && p.ruffle().metadata)).length;
          const waited = performance.now() - started;
          if (players.length && !unread && window.twHandles.length >= players.length) break;
          if (!players.length && waited > emptyMs) return { players: 0, frames: 0 };
          if (window.twErrors.length && !firstError) firstError = waited || 1;
          if (firstError && waited - firstError > 300)
            throw new Error(`the page's player could not read its movie: ${window.twErrors.join('; ')}`);
          if (waited > readyMs)
            throw new Error(`${unread} of the page's ${players.length} players had not read their movie after ${readyMs} ms`);
          await sleep(20);
        }
        for (const handle of window.twHandles)
          for (const m of ['enable_background_tick_mode', 'tick_for_background'])
            if (typeof handle[m] !== 'function')
              throw new Error(`the player's internal handle has no ${m}(): frame stepping needs Ruffle pinned at the version in package.json`);
        const players = all();
        const md = players[0].ruffle().metadata;
        const period = 1000 / (md.frameRate || 24);
        // The epsilon keeps rounding from leaving a player a hair short of a frame.
        const frames = Math.max(1, Math.round(waitMs / period));
        // A player the page replaced leaves a handle whose instance is gone;
        // it refuses the first call and is left out.
        const live = window.twHandles.filter((handle) => {
          try { handle.enable_background_tick_mode(); return true; } catch { return false; }
        });
        if (live.length < players.length)
          throw new Error(`only ${live.length} of the page's ${players.length} players can be stepped`);
        let clock = performance.now();
        for (const handle of live) handle.tick_for_background(clock);
        for (const player of players) player.ruffle().resume();
        for (let i = 0; i < frames; i++) {
          clock += period + 1e-6;
          for (const handle of live) handle.tick_for_background(clock);
        }
        return { players: players.length, frames, movieWidth: md.width, movieHeight: md.height };
      }, { waitMs, readyMs: Math.max(1000, watchdogMs - 5000), emptyMs: 2000 });
      // The drawing reaches the screen with the browser's next frames.
      await fresh.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(() => r()))));
      const image = decodePng(await fresh.screenshot({ type: 'png' }));
      await fsp.writeFile(out, image.pixels);
      return { width: image.width, height: image.height, file: out, players: shown.players, frames: shown.frames,
        movieWidth: shown.movieWidth || 0, movieHeight: shown.movieHeight || 0 };
    } finally {
      served = null;
      await fresh.close().catch(() => {});
    }
  },

  async load(req) {
    // A failed load must not leave the last movie to be stepped by mistake.
    loaded = null;
    const mine = generation;
    const file = requireAbsolute(req.swf, 'swf');
    const width = optionalSize(req.width, 'width');
    const height = optionalSize(req.height, 'height');
    let st, bytes;
    try { st = await fsp.stat(file); } catch { throw new Error(`cannot read ${file}`); }
    if (!st.isFile()) throw new Error(`${file} is not a file`);
    try { bytes = await fsp.readFile(file); } catch (e) { throw new Error(`cannot read ${file}: ${e.code || e.message}`); }
    stillCurrent(mine);
    movie = { token: crypto.randomBytes(16).toString('hex'), file, bytes };
    let meta;
    try {
      meta = await loadInPage(width, height, flashvarsOf(req.flashvars), req.network === true);
    } catch (e) {
      throw new Error(`loading ${file}: ${cleanMessage(e)}${recentErrors()}`);
    }
    stillCurrent(mine);
    loaded = { traceSoFar: [] };
    return meta;
  },

  async frames(req) {
    if (!loaded) throw new Error('no movie is loaded');
    const mine = generation;
    const current = loaded;
    const ourPage = page;
    const prefix = requireAbsolute(req.out, 'out');
    const count = req.count;
    if (!Number.isInteger(count) || count < 0 || count > 100000) throw new Error('count must be an integer from 0 to 100000');
    const frames = [];
    let width = 0, height = 0;
    for (let i = 0; i < count; i++) {
      stillCurrent(mine);
      let f;
      try {
        f = await stepOne(ourPage);
      } catch (e) {
        throw new Error(`stepping frame: ${cleanMessage(e)}${recentErrors()}`);
      }
      const file = `${prefix}${f.frame}.rgba`;
      const image = decodePng(Buffer.from(f.png, 'base64'));
      if (image.width !== f.width || image.height !== f.height) throw new Error(`frame ${f.frame} came back ${image.width}x${image.height}, not ${f.width}x${f.height}`);
      await fsp.writeFile(file, image.pixels);
      current.traceSoFar.push(...f.trace);
      width = f.width; height = f.height;
      frames.push({ frame: f.frame, width: f.width, height: f.height, file, trace: f.trace });
    }
    return { width, height, frames, trace: current.traceSoFar };
  },
};

// Mouse input goes to the player element through the browser's own input
// pipeline, so the player sees the pointer events a user's click makes.
handlers.click = async function click(req) {
  if (!loaded) throw new Error('no movie is loaded');
  const mine = generation;
  const current = loaded;
  const ourPage = page;
  for (const key of ['x', 'y'])
    if (typeof req[key] !== 'number' || !Number.isFinite(req[key])) throw new Error(`${key} must be a number`);
  const box = await ourPage.evaluate(() => {
    const player = window.twPlayer;
    const r = player.getBoundingClientRect();
    const md = player.ruffle().metadata;
    return { left: r.left, top: r.top, width: r.width, height: r.height, stageWidth: md.width, stageHeight: md.height };
  });
  if (req.x < 0 || req.y < 0 || req.x >= box.stageWidth || req.y >= box.stageHeight)
    throw new Error(`(${req.x}, ${req.y}) lies outside the ${box.stageWidth}x${box.stageHeight} stage`);
  const x = box.left + (req.x + 0.5) * box.width / box.stageWidth;
  const y = box.top + (req.y + 0.5) * box.height / box.stageHeight;
  stillCurrent(mine);
  // Over first: a button takes a press only once the pointer is over it.
  await ourPage.mouse.move(x, y);
  await ourPage.mouse.down();
  await ourPage.mouse.up();
  // The player handles the events in tasks of their own; a round trip
  // through the page lets them run before the trace is read.
  const trace = await ourPage.evaluate(() => new Promise((resolve) =>
    setTimeout(() => resolve(window.twTrace.splice(0)), 0)));
  stillCurrent(mine);
  current.traceSoFar.push(...trace);
  return { trace };
};

function cleanMessage(e) {
  // Playwright wraps page errors in call logs; the first line is what matters.
  return String(e && e.message ? e.message : e).split('\n')[0].replace(/^page\.evaluate: (Error: )?/, '');
}

// A request that outlives the watchdog leaves the page in an unknown state;
// throw the page away so the next load starts clean.
function withWatchdog(promise, what, onOverrun, ms = requestTimeoutMs) {
  let timer;
  const guard = new Promise((_, reject) => {
    timer = setTimeout(() => {
      if (onOverrun) onOverrun();
      reject(new Error(`${what} took longer than ${ms} ms`));
    }, ms);
  });
  return Promise.race([promise, guard]).finally(() => clearTimeout(timer));
}

async function shutdown(code) {
  try { if (context) await withWatchdog(context.close(), 'closing the browser'); } catch {}
  try { if (server) server.close(); } catch {}
  try { if (userDataDir) await fsp.rm(userDataDir, { recursive: true, force: true }); } catch {}
  process.exit(code);
}

// ---------------------------------------------------------------------------
// Playing for the application (preview, frame capture). Two requests beside
// load and frames:
//   {"id":..,"cmd":"open","swf":..,"width":..,"height":..,
//    "scale":"showAll"|"noBorder"|"exactFit"|"noScale","fscommand":true|false}
//     -> as load. With fscommand the movie's FSCommand calls are reported
//        (the player passes them on only with script access and networking
//        on; the dead proxy and the narrow server still keep every request
//        on this machine). The scale mode applies when the player's size
//        differs from the stage's.
//   {"id":..,"cmd":"advance","out":"/abs/prefix","periodMs":P?}
//     -> {"id":..,"frame":k,"width":..,"height":..,"file":..,"trace":[..],
//         "fscommand":[[command, args], ..]}
//     Moves the player's clock on by P ms of movie time (one frame period
//     when absent) and runs what falls due: exactly one frame when P is the
//     movie's own period, none or several when it is not. The picture after
//     it goes to prefix + k + ".rgba" as with frames.

const scaleModes = ['showAll', 'noBorder', 'exactFit', 'noScale'];

handlers.open = async (req) => {
  const scale = req.scale === undefined || req.scale === null ? null : req.scale;
  if (scale !== null && !scaleModes.includes(scale)) throw new Error(`scale must be one of ${scaleModes.join(', ')}`);
  const fscommand = req.fscommand === true;
  if (pageBroken || !page || page.isClosed()) await newPage();
  const ourPage = page;
  // The player takes the page's configuration when it loads; change it for
  // this one load and put it back, so that plain loads stay as they were.
  const settings = {};
  if (scale) settings.scale = scale;
  if (fscommand) Object.assign(settings, { allowScriptAccess: true, allowNetworking: 'all' });
  const saved = await ourPage.evaluate((s) => {
    const config = window.RufflePlayer.config;
    const old = {};
    for (const key of Object.keys(s)) { old[key] = Object.hasOwn(config, key) ? config[key] : undefined; config[key] = s[key]; }
    return old;
  }, settings);
  let meta;
  try {
    meta = await handlers.load(req);
  } finally {
    if (!ourPage.isClosed()) {
      await ourPage.evaluate((old) => {
        const config = window.RufflePlayer.config;
        for (const [key, value] of Object.entries(old)) if (value === undefined) delete config[key]; else config[key] = value;
      }, saved).catch(() => {});
    }
  }
  await ourPage.evaluate((wanted) => {
    window.twFSCommands = [];
    if (wanted) window.twPlayer.ruffle().addFSCommandHandler((command, args) => { window.twFSCommands.push({ command: String(command), args: String(args ?? '') }); });
  }, fscommand);
  return meta;
};

handlers.advance = async (req) => {
  if (!loaded) throw new Error('no movie is loaded');
  const mine = generation;
  const current = loaded;
  const ourPage = page;
  const prefix = requireAbsolute(req.out, 'out');
  const period = req.periodMs === undefined || req.periodMs === null ? null : req.periodMs;
  if (period !== null && !(typeof period === 'number' && period > 0 && period <= 60000)) throw new Error('periodMs must be a number above 0 and at most 60000');
  let f;
  try {
    // Ticks and reads in one evaluation, as stepOne does: later the canvas may be blank.
    f = await ourPage.evaluate((periodMs) => {
      const player = window.twPlayer;
      const fps = player.ruffle().metadata.frameRate || 24;
      window.twClock += (periodMs ?? 1000 / fps) + 1e-6;
      window.twHandle.tick_for_background(window.twClock);
      const canvas = player.shadowRoot.querySelector('canvas');
      const url = canvas.toDataURL('image/png');
      return {
        frame: ++window.twFrame, width: canvas.width, height: canvas.height, trace: window.twTrace.splice(0),
        // Entries are [command, args] pairs or {command, args} objects.
        fscommand: (window.twFSCommands || []).splice(0).map((c) => (Array.isArray(c) ? c : [String(c.command), String(c.args ?? '')])),
        png: url.slice(url.indexOf(',') + 1),
      };
    }, period);
  } catch (e) {
    throw new Error(`stepping frame: ${cleanMessage(e)}${recentErrors()}`);
  }
  stillCurrent(mine);
  const file = `${prefix}${f.frame}.rgba`;
  const image = decodePng(Buffer.from(f.png, 'base64'));
  if (image.width !== f.width || image.height !== f.height) throw new Error(`frame ${f.frame} came back ${image.width}x${image.height}, not ${f.width}x${f.height}`);
  await fsp.writeFile(file, image.pixels);
  current.traceSoFar.push(...f.trace);
  return { frame: f.frame, width: f.width, height: f.height, file, trace: f.trace, fscommand: f.fscommand };
};

// The smallest movie there is: an uncompressed header with an empty stage and
// an End tag. Loading it proves the player starts and can be stepped.
const emptyMovie = Buffer.from([
  0x46, 0x57, 0x53, 0x06, 0x15, 0x00, 0x00, 0x00, // FWS, version 6, 21 bytes
  0x30, 0x0a, 0x00, 0xa0, 0x00,                   // RECT 0..20 x 0..20 twips (1 px)
  0x00, 0x0c, 0x01, 0x00,                         // 12 fps, 1 frame
  0x40, 0x00, 0x00, 0x00,                         // ShowFrame, End
]);

async function main() {
  const started = Date.now();
  scanRuffle();
  server = await startServer();
  await launch();
  const probe = path.join(userDataDir, 'probe.swf');
  await fsp.writeFile(probe, emptyMovie);
  await handlers.load({ swf: probe });
  await handlers.frames({ count: 1, out: path.join(userDataDir, 'probe-') });
  loaded = null;
  send({ event: 'ready', ruffle: RUFFLE_VERSION, browser: context.browser()?.version() ?? null, ms: Date.now() - started });
}

let busy = Promise.resolve();
let quitting = false;

function handleLine(line) {
  if (!line.trim()) return;
  busy = busy.then(async () => {
    if (quitting) return;
    let req;
    try {
      req = JSON.parse(line);
    } catch {
      return send({ id: null, error: 'request is not JSON' });
    }
    if (!req || typeof req !== 'object') return send({ id: null, error: 'request is not a JSON object' });
    const id = req.id !== undefined ? req.id : null;
    if (req.cmd === 'quit') {
      quitting = true;
      send({ id });
      return shutdown(0);
    }
    const handler = Object.hasOwn(handlers, req.cmd) ? handlers[req.cmd] : null;
    if (!handler) return send({ id, error: `unknown command ${JSON.stringify(req.cmd)}` });
    const ms = req.timeoutMs === undefined ? requestTimeoutMs : req.timeoutMs;
    if (!Number.isInteger(ms) || ms <= 0 || ms > maxTimeoutMs) return send({ id, error: `timeoutMs must be an integer from 1 to ${maxTimeoutMs}` });
    let overran = false;
    try {
      const result = await withWatchdog(handler(req), `the ${req.cmd} request`, () => { overran = true; }, ms);
      send({ id, ...result });
    } catch (e) {
      if (!overran) return send({ id, error: cleanMessage(e) });
      // The page may still be running the movie; a new page is the only way
      // to be sure nothing of it lingers.
      loaded = null;
      generation += 1;
      send({ id, error: `${cleanMessage(e)}; the movie was unloaded` });
      try { await withWatchdog(newPage(), 'replacing the page'); } catch { return shutdown(3); }
    }
  });
}

main().then(() => {
  const rl = readline.createInterface({ input: process.stdin });
  rl.on('line', handleLine);
  // The caller went away: nobody is left to ask for anything.
  rl.on('close', () => { busy.then(() => { if (!quitting) { quitting = true; shutdown(0); } }); });
}, async (e) => {
  // The whole text, browser log included, goes to the log the caller shows.
  process.stderr.write(`${e && e.stack ? e.stack : e}\n`);
  send({ event: 'fatal', error: cleanMessage(e) });
  await shutdown(2);
});

process.on('SIGTERM', () => shutdown(0));
// Nobody reads our answers any more.
out.on('error', () => shutdown(0));
