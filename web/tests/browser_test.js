// The page in a real headless Chromium, served by `python3 -m http.server` from the built site
// folder: the reference vectors give their databases byte for byte through #input-file and
// #download, lossy files convert through the browser's decoder, bad inputs are refused in the
// command line's words with nothing to download, Cancel stops a long run at once, and split and
// best quality give the databases `zelvio convert` writes with --split and --encoder search.
//
//   node --test web/tests/             (SITE=build-web/site by default; scripts/web --test runs it)
//   ZELVIO_CLI=path/to/zelvio          the command line to compare with (build/src/cli/zelvio)
//   ZELVIO_SCREENSHOT=docs/web-page.png also saves the page after a conversion
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { after, before, describe, test } = require('node:test');

const { Browser, serve } = require('./browser.js');
const { convertFile, outcomeOf, startConversion } = require('./page_driver.js');
const { waveBytes, withChunkBeforeData, writeLongWave } = require('./wave_files.js');

const root = path.resolve(__dirname, '..', '..');
const site = path.resolve(process.env.SITE || path.join(root, 'build-web', 'site'));
const vectors = path.join(root, 'tests', 'data', 'vectors');
const lossy = path.join(root, 'tests', 'data', 'lossy');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'zelvio-web-test-'));
const cli = path.resolve(process.env.ZELVIO_CLI || path.join(root, 'build', 'src', 'cli', 'zelvio'));

/** Runs `zelvio convert input -o NAME.pdb args...` in a folder of its own; the summary lines it
 *  printed and every database it wrote, by file name. */
function convertWithCli(input, args) {
  assert.ok(fs.existsSync(cli), `the command line ${cli} is needed (build it, or set ZELVIO_CLI)`);
  const folder = fs.mkdtempSync(path.join(scratch, 'cli-'));
  const name = path.basename(input).replace(/\.[^.]+$/, '.pdb');
  const out = execFileSync(cli, ['convert', path.resolve(input), '-o', name, '--threads', '1', ...args],
    { cwd: folder, encoding: 'utf8' });
  const databases = new Map();
  for (const file of fs.readdirSync(folder).sort()) {
    databases.set(file, fs.readFileSync(path.join(folder, file)));
  }
  fs.rmSync(folder, { recursive: true, force: true });
  return { lines: out.split('\n').filter((line) => line !== ''), databases };
}

const kSaved = 0;
const kFileIoError = 3;
const kInputErrorText = 'Cannot open input WAVE file!';

let server;
let browser;
let page;

before(async () => {
  server = await serve(site);
  browser = await Browser.launch();
  page = await browser.newPage(server.url);
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});

describe('reference vectors', () => {
  const names = fs.readdirSync(vectors).filter((f) => f.endsWith('.wav')).map((f) => f.slice(0, -4));
  for (const name of names) {
    for (const bits of [8, 4, 3, 2]) {
      test(`${name} at ${bits} bits with detection gives the reference database`, async () => {
        const result = await convertFile(page, path.join(vectors, `${name}.wav`), {
          title: `T ${name}`,
          description: `Corpus file ${name}.wav at ${bits} bits with VAD`,
          bits,
          vad: true,
        });
        assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
        assert.ok(result.download, 'a download link');
        assert.equal(result.download.name, `${name}.pdb`);
        const expected = fs.readFileSync(path.join(vectors, `${name}.b${bits}.vad.pdb`));
        assert.ok(result.download.bytes.equals(expected),
          `the database differs from ${name}.b${bits}.vad.pdb (${result.download.bytes.length} ` +
          `bytes against ${expected.length})`);
        assert.match(result.detail, new RegExp(`^${name}\\.pdb: saved, [\\d,]+ bytes, `));
        assert.ok(result.notes.some((n) => n.includes('own WAVE reader')), result.notes.join(' | '));
      });
    }
  }

  test('the title follows the chosen file until the user types one', async () => {
    const fresh = await browser.newPage(server.url);
    await fresh.setFiles('#input-file', [path.join(vectors, `${names[0]}.wav`)]);
    assert.equal(await fresh.evaluate(`document.getElementById('title').value`), names[0]);
    await fresh.evaluate(`document.getElementById('title').value = 'Mine'`);
    await fresh.setFiles('#input-file', [path.join(vectors, `${names[1]}.wav`)]);
    assert.equal(await fresh.evaluate(`document.getElementById('title').value`), 'Mine');
    await browser.send('Target.closeTarget', { targetId: fresh.targetId });
  });
});

describe('formats the browser decodes', () => {
  const cases = [
    { file: 'speech.mp3', format: 'MP3', rate: 44100 },
    { file: 'speech.ogg', format: 'Ogg Vorbis', rate: 44100 },
    { file: 'speech.opus', format: 'Ogg Opus', rate: 48000 },
    { file: 'speech.m4a', format: 'M4A/AAC', rate: 44100 },
  ];
  for (const c of cases) {
    test(`${c.file} converts through the browser's decoder at its own rate`, async () => {
      const result = await convertFile(page, path.join(lossy, c.file), { bits: 4, vad: true });
      assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
      assert.ok(result.download && result.download.bytes.length > 78, 'a database to download');
      assert.equal(result.download.name, c.file.replace(/\.[^.]+$/, '.pdb'));
      // 2 s of speech: about 100 Frames (the decoder's padding may add one or two).
      assert.match(result.detail, /, 4-bit ADPCM with voice activity detection, 10\d Frames \(0:02\), 2 records$/);
      assert.ok(result.notes.some((n) => n.includes(`own decoder (${c.format}) at ${c.rate} Hz`)),
        result.notes.join(' | '));
    });
  }
});

describe('bad input', () => {
  const write = (name, bytes) => {
    const file = path.join(scratch, name);
    fs.writeFileSync(file, bytes);
    return file;
  };
  const cases = [
    { name: 'notes.txt', bytes: Buffer.from('These are not the droids you are looking for.\n'.repeat(40)),
      detail: '"notes.txt": not a RIFF WAVE file nor another audio format this browser decodes' },
    { name: 'empty.wav', bytes: Buffer.alloc(0), detail: '"empty.wav": the file is empty' },
    // What `zelvio convert` says of the same files. Cut inside its header (a WAVE cut inside its sample data is read to its end, as the
    // command line reads it).
    { name: 'cut.wav', bytes: waveBytes({ rate: 8000, frames: 400 }).subarray(0, 30),
      detail: '"cut.wav": file ends inside the header' },
    { name: 'three.wav', bytes: waveBytes({ rate: 8000, channels: 3, frames: 800 }),
      detail: '"three.wav": 3 channels (only mono and stereo are supported)' },
    { name: 'slow.wav', bytes: waveBytes({ rate: 500, frames: 500 }),
      detail: '"slow.wav": a sample rate of 500 Hz is not supported (613 to 617575 Hz are)' },
    { name: 'fast.wav', bytes: waveBytes({ rate: 700000, frames: 7000 }),
      detail: '"fast.wav": a sample rate of 700000 Hz is not supported (613 to 617575 Hz are)' },
    { name: 'compressed.wav', bytes: waveBytes({ rate: 8000, frames: 800, formatTag: 0x55 }),
      detail: '"compressed.wav": unsupported encoding (format tag 85, MP3)' },
    { name: 'broken.mp3', bytes: Buffer.concat([Buffer.from([0xff, 0xfb, 0x90, 0x64]), Buffer.alloc(3000, 0x5a)]),
      detail: '"broken.mp3": not a RIFF WAVE file nor another audio format this browser decodes' },
  ];
  for (const c of cases) {
    test(`${c.name} is refused with the reason and nothing to download`, async () => {
      const result = await convertFile(page, write(c.name, c.bytes));
      assert.notEqual(result.kind, kSaved);
      // The command line's words: zelvio: MESSAGE (DETAIL)
      assert.equal(result.message, kInputErrorText);
      assert.equal(result.detail, c.detail);
      assert.equal(result.download, null);
      assert.ok(result.formUsable, 'the form is usable again');
    });
  }
});

describe('the dialog\'s options against the command line', () => {
  const cases = [
    // Best quality is the search encoder: the 4, 3 and 2 bit modes, with and without detection.
    { file: 'speech_pauses_10000_m16.wav', bits: 4, vad: true, bestQuality: true },
    { file: 'sm_22050_s16.wav', bits: 3, vad: false, bestQuality: true },
    { file: 'u8_sm_8000_s8.wav', bits: 2, vad: true, bestQuality: true },
    // 8 bits has no codes to search: the same bytes as without.
    { file: 'sm_22050_s16.wav', bits: 8, vad: true, bestQuality: true },
    // Split with audio that fits one database: that one database, as without splitting.
    { file: 'sm_22050_s16.wav', bits: 4, vad: true, split: true },
  ];
  for (const c of cases) {
    const what = [c.bestQuality && 'best quality', c.split && 'split'].filter(Boolean).join(' and ');
    test(`${c.file} at ${c.bits} bits with ${what} gives the command line's database`, async () => {
      const input = path.join(vectors, c.file);
      const args = ['--bits', String(c.bits), '--title', 'Options', '--description', what];
      if (c.vad) args.push('--vad');
      if (c.bestQuality) args.push('--encoder', 'search');
      if (c.split) args.push('--split');
      const expected = convertWithCli(input, args);
      const result = await convertFile(page, input,
        { title: 'Options', description: what, bits: c.bits, vad: c.vad, bestQuality: c.bestQuality,
          split: c.split });
      assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
      assert.deepEqual(result.downloads.map((d) => d.name), [...expected.databases.keys()]);
      assert.ok(result.download.bytes.equals(expected.databases.get(result.download.name)),
        `${result.download.name} differs from the command line's`);
      assert.deepEqual(result.details, expected.lines);
    });
  }

  test('a split recording offers each part, equal to the command line\'s parts', async () => {
    // 22 minutes at 10000 Hz: more than one 8-bit database holds (21:05).
    const long = path.join(scratch, 'lecture.wav');
    writeLongWave(long, { rate: 10000, channels: 1, seconds: 22 * 60 });
    const expected = convertWithCli(long, ['--bits', '8', '--split', '--title', 'Lecture']);
    assert.deepEqual([...expected.databases.keys()], ['lecture-1.pdb', 'lecture-2.pdb']);
    const result = await convertFile(page, long, { title: 'Lecture', bits: 8, split: true });
    assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
    assert.deepEqual(result.downloads.map((d) => [d.id, d.name]),
      [['download', 'lecture-1.pdb'], ['download-2', 'lecture-2.pdb']]);
    for (const d of result.downloads) {
      assert.ok(d.bytes.equals(expected.databases.get(d.name)), `${d.name} differs from the command line's`);
    }
    // The command line's summary, a line for each part.
    assert.deepEqual(result.details, expected.lines);

    // Without split the same recording is cut, in one database.
    const single = await convertFile(page, long, { title: 'Lecture', bits: 8, split: false });
    assert.equal(single.kind, 1, `${single.message} ${single.detail}`);
    assert.deepEqual(single.downloads.map((d) => d.name), ['lecture.pdb']);
    assert.match(single.detail, /^lecture\.pdb: saved \(cut\), /);
  });
});

describe('the two modules', () => {
  test('Chromium runs the module with SIMD, and the one without gives the same databases', async () => {
    assert.equal(await page.evaluate(`document.documentElement.dataset.module`), 'zelvio-simd.js');
    const plain = await browser.newPage(server.url + '?simd=0');
    await plain.waitFor(`document.documentElement.dataset.module`);
    assert.equal(await plain.evaluate(`document.documentElement.dataset.module`), 'zelvio.js');
    for (const [name, bits] of [['sm_22050_s16', 4], ['u8_sm_8000_s8', 2]]) {
      const result = await convertFile(plain, path.join(vectors, `${name}.wav`), {
        title: `T ${name}`, description: `Corpus file ${name}.wav at ${bits} bits with VAD`, bits, vad: true,
      });
      assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
      assert.ok(result.download.bytes.equals(fs.readFileSync(path.join(vectors, `${name}.b${bits}.vad.pdb`))),
        `${name} at ${bits} bits without SIMD`);
    }
    await browser.send('Target.closeTarget', { targetId: plain.targetId });
  });

  test('a site without the SIMD module converts with the other one', async () => {
    const folder = path.join(scratch, 'site-without-simd');
    fs.cpSync(site, folder, { recursive: true });
    for (const file of ['zelvio-simd.js', 'zelvio-simd.wasm']) fs.rmSync(path.join(folder, file));
    const own = await serve(folder);
    const tab = await browser.newPage(own.url);
    try {
      await tab.waitFor(`document.documentElement.dataset.module`);
      assert.equal(await tab.evaluate(`document.documentElement.dataset.module`), 'zelvio.js');
      const name = 'speech_pauses_10000_m16';
      const result = await convertFile(tab, path.join(vectors, `${name}.wav`), {
        title: `T ${name}`, description: `Corpus file ${name}.wav at 3 bits with VAD`, bits: 3, vad: true,
      });
      assert.ok(result.download, `${result.message} ${result.detail}`);
      assert.ok(result.download.bytes.equals(fs.readFileSync(path.join(vectors, `${name}.b3.vad.pdb`))));
    } finally {
      await browser.send('Target.closeTarget', { targetId: tab.targetId });
      own.stop();
    }
  });
});

describe('cancel', () => {
  test('Cancel stops a long conversion within half a second and the page converts again', async () => {
    const long = path.join(scratch, 'long.wav');
    writeLongWave(long, { rate: 617575, channels: 1, seconds: 120 });
    await startConversion(page, long, { bits: 4, vad: true });
    await page.waitFor(`document.getElementById('progress').value > 0`);
    await new Promise((resolve) => setTimeout(resolve, 300));
    const running = await page.evaluate(`document.getElementById('cancel').disabled === false`);
    assert.ok(running, 'the conversion is still running when Cancel is pressed');
    const pressed = Date.now();
    await page.evaluate(`document.getElementById('cancel').click()`);
    const result = await outcomeOf(page, 5000);
    const took = Date.now() - pressed;
    assert.ok(took < 500, `stopped after ${took} ms`);
    assert.equal(result.message, 'Conversion cancelled');
    assert.equal(result.download, null);
    assert.ok(result.formUsable);
    fs.rmSync(long);

    const name = 'sm_22050_s16';
    const again = await convertFile(page, path.join(vectors, `${name}.wav`), {
      title: `T ${name}`, description: `Corpus file ${name}.wav at 2 bits with VAD`, bits: 2, vad: true,
    });
    assert.ok(again.download, `${again.message} ${again.detail}`);
    assert.ok(again.download.bytes.equals(fs.readFileSync(path.join(vectors, `${name}.b2.vad.pdb`))));
  });
});

describe('reading the file', () => {
  // The worker reads the File in spans of a few MiB, some spans ahead of the converter.
  test('a WAVE whose audio starts spans into the file gives the command line\'s database, read in ' +
       'a thread of its own or, where a worker cannot start another, in the worker\'s', async () => {
    const input = path.join(scratch, 'far.wav');
    const tone = waveBytes({ rate: 22050, channels: 2, frames: 22050 * 90 });
    fs.writeFileSync(input, withChunkBeforeData(tone, 'junk', 21 * 1048576 + 1));
    const expected = convertWithCli(input, ['--bits', '4', '--vad', '--title', 'Far']);
    const inWorker = await browser.newPage(server.url + '?reader=0');
    await inWorker.waitFor(`document.documentElement.dataset.reader`);
    for (const [where, reader] of [[page, 'reader.js'], [inWorker, 'worker.js']]) {
      assert.equal(await where.evaluate(`document.documentElement.dataset.reader`), reader);
      const result = await convertFile(where, input, { title: 'Far', bits: 4, vad: true });
      assert.equal(result.kind, kSaved, `${reader}: ${result.message} ${result.detail}`);
      assert.ok(result.download.bytes.equals(expected.databases.get('far.pdb')), reader);
      assert.deepEqual(result.details, expected.lines);
    }
    await browser.send('Target.closeTarget', { targetId: inWorker.targetId });
    fs.rmSync(input);
  });

  test('the worker\'s warm-up when it starts shows nothing and leaves no download', async () => {
    const fresh = await browser.newPage(server.url);
    await fresh.waitFor(`document.documentElement.dataset.module`);
    await new Promise((resolve) => setTimeout(resolve, 1500));  // the warm-up takes about 0.1 s
    assert.deepEqual(await fresh.evaluate(`[document.getElementById('progress').value,
      document.getElementById('outcome').textContent, document.getElementById('download')]`),
    [0, '', null]);
    await browser.send('Target.closeTarget', { targetId: fresh.targetId });
  });

  test('a file changed on disk while it is read is refused, with nothing to download', async () => {
    const input = path.join(scratch, 'changing.wav');
    writeLongWave(input, { rate: 617575, channels: 1, seconds: 120 });
    await startConversion(page, input, { bits: 4, vad: true });
    await page.waitFor(`document.getElementById('progress').value > 0`);
    fs.truncateSync(input, 64 * 1048576);
    const result = await outcomeOf(page, 60000);
    fs.rmSync(input);
    assert.equal(result.kind, kFileIoError, `${result.message} ${result.detail}`);
    assert.match(result.detail, /cannot read the file/);
    assert.equal(result.download, null);
    assert.ok(result.formUsable);
  });
});

describe('listening', () => {
  test('Play decodes the database and plays it', async () => {
    const result = await convertFile(page, path.join(vectors, 'speech_pauses_10000_m16.wav'),
      { bits: 3, vad: true });
    assert.equal(result.kind, kSaved);
    await page.evaluate(`document.getElementById('play').click()`);
    await page.waitFor(`document.getElementById('play').textContent === 'Stop'`, 10000);
    await page.evaluate(`document.getElementById('play').click()`);
    await page.waitFor(`document.getElementById('play').textContent === 'Play'`, 10000);
  });
});

describe('layout', () => {
  test('on a phone-sized screen nothing is wider than the screen', async () => {
    const phone = await browser.newPage(server.url);
    await phone.send('Emulation.setDeviceMetricsOverride',
      { width: 360, height: 740, deviceScaleFactor: 2, mobile: true });
    await phone.evaluate(`new Promise((resolve) => requestAnimationFrame(() => resolve()))`);
    const widths = await phone.evaluate(`[document.documentElement.scrollWidth,
      document.getElementById('convert').getBoundingClientRect().right]`);
    assert.ok(widths[0] <= 360 && widths[1] <= 360, `widths ${widths}`);
    await browser.send('Target.closeTarget', { targetId: phone.targetId });
  });

  test('every control has a label and the outcome and progress are live regions', async () => {
    const unlabelled = await page.evaluate(`Array.from(document.querySelectorAll('input, button'))
      .filter((e) => !(e.labels && e.labels.length) && !e.textContent.trim()).map((e) => e.id)`);
    assert.deepEqual(unlabelled, []);
    for (const id of ['outcome', 'progress-text']) {
      assert.equal(await page.evaluate(`document.getElementById('${id}').getAttribute('aria-live')`), 'polite');
    }
  });
});

describe('texts', () => {
  test('the page\'s labels, access keys and hints are the dialog\'s, as the module has them', async () => {
    const tab = await browser.newPage(server.url);
    // The module's own copy of the dialog's texts (src/frontend), loaded beside the page.
    const texts = JSON.parse(await tab.evaluate(`new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = 'zelvio.js';
      script.onload = resolve;
      script.onerror = reject;
      document.head.append(script);
    }).then(() => createZelvio()).then((m) => m.UTF8ToString(m._zelvio_page_texts()))`));
    const shown = await tab.evaluate(`(() => {
      const words = (e) => e ? e.textContent.replace(/\\s+/g, ' ').trim() : null;
      const controls = ${JSON.stringify(texts.controls.map((c) => c.id))}.map((id) => {
        const e = document.getElementById(id);
        if (!e) return { id };
        const hint = document.getElementById(e.getAttribute('aria-describedby'));
        // The access key sits on the control or on its label.
        return { id, label: words(e.labels[0]), key: e.accessKey || e.labels[0].accessKey, hint: words(hint) };
      });
      return { controls, modeGroup: words(document.querySelector('fieldset legend')) };
    })()`);
    assert.ok(texts.controls.length >= 10);
    for (const [i, expected] of texts.controls.entries()) {
      const page = shown.controls[i];
      assert.equal(page.label, expected.label, `the label of #${expected.id}`);
      assert.equal(page.key, expected.key, `the access key of #${expected.id}`);
      // The file input's hint goes on to say which files the browser takes.
      if (expected.id === 'input-file') assert.ok(page.hint.startsWith(expected.hint + ':'), page.hint);
      else assert.equal(page.hint, expected.hint, `the hint of #${expected.id}`);
    }
    assert.equal(shown.modeGroup, texts.modeGroup);
    await browser.send('Target.closeTarget', { targetId: tab.targetId });
  });

  test('an outcome the page finds itself is in the converter\'s words', async () => {
    const tab = await browser.newPage(server.url);
    await tab.waitFor(`!document.getElementById('convert').disabled`);
    await tab.evaluate(`document.getElementById('convert').click()`);
    const result = await outcomeOf(tab, 10000, false);
    assert.equal(result.message, kInputErrorText);
    assert.equal(result.detail, 'no input file was chosen');
    assert.equal(result.download, null);
    await browser.send('Target.closeTarget', { targetId: tab.targetId });
  });
});

describe('offline', () => {
  test('once opened, the page converts with the server gone', async () => {
    const own = await serve(site);
    const tab = await browser.newPage(own.url);
    await tab.waitFor(`navigator.serviceWorker.ready.then((r) => !!r.active)`, 30000);
    await tab.waitFor(`caches.open('zelvio-site').then((c) => c.keys()).then((k) => k.length >= 8)`, 30000);
    own.stop();
    await tab.send('Page.reload');
    await tab.waitFor(`document.readyState === 'complete' && !!document.getElementById('convert')`);
    const name = 'u8_sm_8000_s8';
    const result = await convertFile(tab, path.join(vectors, `${name}.wav`), {
      title: `T ${name}`, description: `Corpus file ${name}.wav at 8 bits with VAD`, bits: 8, vad: true,
    });
    assert.equal(result.kind, kSaved, `${result.message} ${result.detail}`);
    assert.ok(result.download.bytes.equals(fs.readFileSync(path.join(vectors, `${name}.b8.vad.pdb`))));
    await browser.send('Target.closeTarget', { targetId: tab.targetId });
  });
});

describe('screenshot', { skip: !process.env.ZELVIO_SCREENSHOT }, () => {
  test('the page after a conversion', async () => {
    const shot = await browser.newPage(server.url);
    await convertFile(shot, path.join(root, 'examples', 'chimes.wav'), {
      title: 'Chimes', description: 'Four seconds of chimes', bits: 4, vad: true,
    });
    await shot.evaluate(`document.activeElement.blur()`);
    // The whole page, from its top.
    const height = await shot.evaluate(`document.documentElement.scrollHeight`);
    await shot.send('Emulation.setDeviceMetricsOverride',
      { width: browser.size.width, height, deviceScaleFactor: 1, mobile: false });
    await shot.evaluate(`window.scrollTo(0, 0)`);
    await shot.screenshot(path.resolve(process.env.ZELVIO_SCREENSHOT));
  });
});
