// Times conversions in headless Chromium and watches the tab's memory: the page converts each
// file given on the command line, and this prints the time the worker took (reading the File,
// converting, handing the database over) and the peak resident memory of Chromium's renderer
// processes (the tab and its worker) while it ran, sampled every 50 ms.
//
//   node bench/web/browser_bench.js SITE RUNS BITS VAD FILE...     (bench/web/run calls it)
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { Browser, serve } = require('../../web/tests/browser.js');
const { convertFile } = require('../../web/tests/page_driver.js');

function residentBytes(pid) {
  try {
    const match = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
    return match ? Number(match[1]) * 1024 : 0;
  } catch (e) {
    return 0;
  }
}

async function main() {
  const [site, runs, bits, vad, ...files] = process.argv.slice(2);
  const server = await serve(path.resolve(site));
  const browser = await Browser.launch();
  try {
    for (const file of files) {
      const times = [];
      let peak = 0;
      for (let run = 0; run < Number(runs); run++) {
        const page = await browser.newPage(server.url);
        await page.waitFor(`true`);
        const sampler = setInterval(() => {
          const total = browser.rendererPids().reduce((sum, pid) => sum + residentBytes(pid), 0);
          peak = Math.max(peak, total);
        }, 50);
        const result = await convertFile(page, file, { bits: Number(bits), vad: vad === '1' });
        clearInterval(sampler);
        if (result.kind !== 0 && result.kind !== 1) throw new Error(`${file}: ${result.message} ${result.detail}`);
        times.push(Number(await page.evaluate(`document.getElementById('outcome').dataset.seconds`)));
        await browser.send('Target.closeTarget', { targetId: page.targetId });
      }
      times.sort((a, b) => a - b);
      const median = times[Math.floor(times.length / 2)];
      console.log(`${path.basename(file)}\t${median.toFixed(3)}\t${(peak / 1048576).toFixed(1)}`);
    }
  } finally {
    await browser.close();
    server.stop();
  }
}

main().catch((error) => { console.error(error.message || error); process.exit(1); });
