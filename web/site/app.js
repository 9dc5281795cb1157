// The page: the converter dialog's fields, a worker that converts (worker.js), the outcome with
// the database to download and a Play button that plays what the handheld will play.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const form = $('form');
  const inputFile = $('input-file');
  const title = $('title');
  const description = $('description');
  const vad = $('vad');
  const bestQuality = $('best-quality');
  const split = $('split');
  const convertButton = $('convert');
  const cancelButton = $('cancel');
  const progress = $('progress');
  const progressText = $('progress-text');
  const outcome = $('outcome');
  const actions = $('actions');
  const dropCover = $('drop-cover');

  // The outcome kinds the module returns, as in the job: saved, saved but cut, and failures.
  const kSaved = 0;
  const kCut = 1;
  const kInputError = 2;
  const kCancelled = 5;
  // The converter's own outcome texts, as the module gives them once it is ready (the page says
  // nothing in words of its own): inputError, fileIoError, cancelled, errorCaption,
  // cancelledCaption.
  let texts = null;

  let worker = null;
  let workerReady = null;
  let running = null;        // the run in progress: {resolve}
  let chosenFile = null;
  let lastTitleSuggestion = '';
  let downloadUrls = [];
  let databases = null;      // the last saved databases, in order: [{bytes, name}]
  let player = null;         // {context, source} while playing

  function startWorker() {
    // ?simd=0 on the page's address makes the worker load the module without SIMD, ?reader=0
    // read the input in its own thread, as where a worker cannot start another, ?warm=0 skip its
    // warm-up (for tests and measurements).
    const asked = new URLSearchParams(location.search);
    const passed = new URLSearchParams();
    for (const key of ['simd', 'reader', 'warm']) if (asked.get(key) === '0') passed.set(key, '0');
    worker = new Worker(passed.toString() ? `worker.js?${passed}` : 'worker.js');
    workerReady = new Promise((resolve, reject) => {
      worker.onmessage = (event) => {
        const m = event.data;
        if (m.type === 'ready') {
          texts = m.texts.outcome;
          document.documentElement.dataset.module = m.module;
          document.documentElement.dataset.reader = m.reader;
          resolve();
        }
        else if (m.type === 'failed') reject(new Error(m.error));
        else if (m.type === 'progress') showProgress(m.permille, m.text);
        else if ((m.type === 'done' || m.type === 'decoded' || m.type === 'crashed') && running) {
          running.resolve(m);
        }
      };
      worker.onerror = (event) => {
        reject(new Error(event.message));
        if (running) running.resolve({ type: 'crashed', error: event.message || 'the converter stopped' });
      };
    });
  }

  function ask(message, transfer = []) {
    return new Promise((resolve) => {
      running = { resolve };
      worker.postMessage(message, transfer);
    }).finally(() => { running = null; });
  }

  function stem(name) {
    const dot = name.lastIndexOf('.');
    return dot > 0 ? name.slice(0, dot) : name;
  }

  // The title follows the chosen file while it is empty or still holds the last suggestion.
  function chooseFile(file) {
    chosenFile = file;
    const suggestion = file ? stem(file.name).slice(0, 31) : '';
    if (title.value === '' || title.value === lastTitleSuggestion) title.value = suggestion;
    lastTitleSuggestion = suggestion;
  }

  function showProgress(permille, text) {
    progress.value = permille;
    progressText.textContent = text;
  }

  function setBusy(busy) {
    for (const control of form.querySelectorAll('input, button')) control.disabled = busy;
    cancelButton.disabled = !busy;
    if (busy) cancelButton.focus();
  }

  function clearOutcome() {
    stopPlaying();
    outcome.replaceChildren();
    outcome.className = '';
    actions.replaceChildren();
    for (const url of downloadUrls) URL.revokeObjectURL(url);
    downloadUrls = [];
    databases = null;
  }

  function paragraph(className, text) {
    const p = document.createElement('p');
    p.className = className;
    p.textContent = text;
    return p;
  }

  function showOutcome(result, note) {
    const failed = result.kind !== kSaved && result.kind !== kCut;
    outcome.className = failed ? 'failed' : 'saved';
    outcome.replaceChildren(paragraph('message', result.message));
    // One summary line for each database (a split run saves several).
    for (const line of (result.detail || '').split('\n').filter((l) => l !== '')) {
      outcome.append(paragraph('detail', line));
    }
    if (result.notice) outcome.append(paragraph('note', 'Note: ' + result.notice));
    if (note && !failed) outcome.append(paragraph('note', note));
    outcome.dataset.kind = String(result.kind);
    if (result.seconds !== undefined) outcome.dataset.seconds = result.seconds.toFixed(3);
    if (result.heapBytes !== undefined) outcome.dataset.heapBytes = String(result.heapBytes);
    if (failed) return;
    // A link for each database: #download for the first, #download-2, #download-3, ... for the
    // further parts of a split run.
    databases = result.databases;
    const links = databases.map((saved, i) => {
      const url = URL.createObjectURL(new Blob([saved.bytes], { type: 'application/vnd.palm' }));
      downloadUrls.push(url);
      const link = document.createElement('a');
      link.id = i === 0 ? 'download' : `download-${i + 1}`;
      link.className = i === 0 ? 'button primary' : 'button';
      link.href = url;
      link.download = saved.name;
      link.textContent = 'Download ' + saved.name;
      return link;
    });
    const play = document.createElement('button');
    play.type = 'button';
    play.id = 'play';
    play.textContent = 'Play';
    play.setAttribute('aria-describedby', 'play-hint');
    play.addEventListener('click', togglePlay);
    const hint = paragraph('hint', databases.length > 1
      ? 'Plays the databases one after the other, as the handheld will play them.'
      : 'Plays the database as the handheld will play it.');
    hint.id = 'play-hint';
    actions.append(...links, play, hint);
  }

  // A failure the page finds itself, in the converter's words (a converter that did not load
  // has none: then its error is the message).
  function failure(message, detail) {
    if (!texts) return { kind: kInputError, message: detail, caption: '', detail: '', notice: '' };
    return { kind: kInputError, message: texts[message], caption: texts.errorCaption, detail, notice: '' };
  }

  // Decodes a file the browser can read, at its own rate where its header states one.
  async function decodeInBrowser(file) {
    const buffer = await file.arrayBuffer();
    const described = ZelvioSniff.describe(new Uint8Array(buffer, 0, Math.min(buffer.byteLength, 1 << 22)));
    const stated = described.rate && described.rate >= 3000 && described.rate <= 768000 ? described.rate : null;
    const rate = stated || 48000;
    const context = new OfflineAudioContext(1, 1, rate);
    const audio = await context.decodeAudioData(buffer);
    return { audio, format: described.format, rate, stated: stated !== null };
  }

  async function convert() {
    if (running) return;
    clearOutcome();
    // The file input's selection as it is now: a script may press Convert right after setting
    // it, before its change event has been handled.
    if ((inputFile.files[0] || null) !== chosenFile) chooseFile(inputFile.files[0] || null);
    const file = chosenFile;
    const settings = {
      type: 'convert',
      title: title.value,
      description: description.value,
      bits: Number(form.querySelector('input[name=bits]:checked').value),
      vad: vad.checked,
      bestQuality: bestQuality.checked,
      split: split.checked,
    };
    if (!file) {
      try { await workerReady; } catch (error) { /* failure() says so */ }
      showOutcome(failure('inputError', 'no input file was chosen'));
      return;
    }
    settings.name = file.name;
    settings.databaseName = stem(file.name) + '.pdb';
    setBusy(true);
    showProgress(0, 'Reading: 0%');
    let result;
    let note = '';
    try {
      await workerReady;
      const head = new Uint8Array(await file.slice(0, 12).arrayBuffer());
      let decoded = null;
      const wave = ZelvioSniff.isWave(head);
      if (!wave && file.size > 0) {
        try {
          decoded = await decodeInBrowser(file);
        } catch (error) {
          decoded = null;  // not for the browser either: our own reader says what is wrong
        }
      }
      if (decoded && running === null && !cancelled) {
        const { audio } = decoded;
        const channels = audio.numberOfChannels;
        const planes = [];
        if (channels <= 2) {
          for (let c = 0; c < channels; c++) {
            const plane = new Float32Array(audio.length);
            audio.copyFromChannel(plane, c);
            planes.push(plane);
          }
        }
        const how = `${decoded.format}, decoded by this browser at ${decoded.rate} Hz`;
        note = `Read by this browser's own decoder (${decoded.format}) at ${decoded.rate} Hz` +
               (decoded.stated ? ', the rate the file states.' : '.');
        result = await ask({ ...settings, planes, sampleRate: decoded.rate, channels,
                             frames: audio.length, format: how, notice: '' },
                           planes.map((p) => p.buffer));
      } else if (!cancelled) {
        note = 'Read by the converter\'s own WAVE reader, straight from the file.';
        result = await ask({ ...settings, file });
        // Neither the browser nor our reader took it: say both, as the command line does.
        const notWave = '": not a RIFF WAVE file';
        if (!wave && result && result.detail && result.detail.endsWith(notWave)) {
          result.detail += ' nor another audio format this browser decodes';
        }
      }
    } catch (error) {
      result = failure('inputError', String(error && error.message || error));
    }
    if (cancelled || !result) {
      result = texts ? { kind: kCancelled, message: texts.cancelled, caption: texts.cancelledCaption,
                         detail: '', notice: '' }
                     : failure('cancelled', 'the converter did not start');
    } else if (result.type === 'crashed') {
      result = failure('fileIoError', result.error);
      restartWorker();
    }
    cancelled = false;
    if (result.kind === kSaved || result.kind === kCut) showProgress(1000, 'Done: 100%');
    else progressText.textContent = '';
    showOutcome(result, note);
    setBusy(false);
    const link = $('download');
    (link || outcome).focus();
  }

  let cancelled = false;

  function restartWorker() {
    worker.terminate();
    startWorker();
  }

  // A run in the worker cannot be interrupted from here (one thread, no shared memory), so
  // Cancel ends the worker and starts a fresh one: the stop is immediate and the next run starts
  // clean.
  function cancel() {
    cancelled = true;
    if (running) {
      restartWorker();
      running.resolve(null);
    }
  }

  function stopPlaying() {
    if (!player) return;
    player.source.onended = null;
    try { player.source.stop(); } catch (e) { /* already ended */ }
    player.context.close();
    player = null;
    const play = $('play');
    if (play) play.textContent = 'Play';
  }

  async function togglePlay() {
    const play = $('play');
    if (player) { stopPlaying(); return; }
    if (!databases || running) return;
    play.disabled = true;
    const parts = [];
    for (const saved of databases) {
      const answer = await ask({ type: 'decode', bytes: saved.bytes.slice(0) });
      if (!answer || answer.error) {
        play.disabled = false;
        outcome.append(paragraph('note', `Cannot play ${saved.name}: ` + (answer ? answer.error : 'stopped')));
        return;
      }
      parts.push(answer.samples);
    }
    play.disabled = false;
    const length = parts.reduce((sum, samples) => sum + samples.length, 0);
    const context = new AudioContext();
    const buffer = context.createBuffer(1, Math.max(1, length), 10000);
    const channel = buffer.getChannelData(0);
    let at = 0;
    for (const samples of parts) {
      for (let i = 0; i < samples.length; i++) channel[at + i] = samples[i] / 32768;
      at += samples.length;
    }
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    source.onended = stopPlaying;
    player = { context, source };
    play.textContent = 'Stop';
    source.start();
  }

  inputFile.addEventListener('change', () => chooseFile(inputFile.files[0] || null));
  form.addEventListener('submit', (event) => { event.preventDefault(); convert(); });
  cancelButton.addEventListener('click', cancel);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && !cancelButton.disabled) cancel();
  });

  // A file dropped anywhere on the page is the recording.
  let dragDepth = 0;
  const hasFiles = (event) => event.dataTransfer && Array.from(event.dataTransfer.types).includes('Files');
  document.addEventListener('dragenter', (event) => {
    if (!hasFiles(event)) return;
    event.preventDefault();
    dragDepth++;
    dropCover.hidden = false;
  });
  document.addEventListener('dragover', (event) => { if (hasFiles(event)) event.preventDefault(); });
  document.addEventListener('dragleave', () => {
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) dropCover.hidden = true;
  });
  document.addEventListener('drop', (event) => {
    if (!hasFiles(event)) return;
    event.preventDefault();
    dragDepth = 0;
    dropCover.hidden = true;
    if (running || event.dataTransfer.files.length === 0) return;
    inputFile.files = event.dataTransfer.files;
    chooseFile(inputFile.files[0]);
    inputFile.focus();
  });

  // Offline once opened: the service worker keeps the site's files (not from a file: URL).
  if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }

  startWorker();
  if (inputFile.files[0]) chooseFile(inputFile.files[0]);
})();
