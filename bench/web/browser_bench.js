// Times conversions in headless Chromium and watches the tab's memory: the page converts each
// file given on the command line, and this prints the time the worker took (reading the File,
// converting, handing the database over), the processor time Chromium's renderer processes used
// meanwhile (on a busy machine the fairer figure), and the peak resident memory of the largest
// renderer (the tab, with its worker) while it ran, sampled every 50 ms.
//
//   node bench/web/browser_bench.js SITE RUNS BITS VAD FILE...     (bench/web/run calls it)
//   PAGE_QUERY='?simd=0' ...                                         the module without SIMD
//   PAGE_QUERY='?warm=0' ...                                         without the worker's warm-up
//   WAIT_MS=3000 ...                                                 converts that long after the
//                                                                    page is ready, as a user who
//                                                                    chooses a file first
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { Browser, serve } = require('../../web/tests/browser.js');
const { convertFile } = require('../../web/tests/page_driver.js');

function cpuSeconds(pid) {
  try {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return (Number(fields[11]) + Number(fields[12])) / 100;  // utime + stime, in clock ticks
  } catch (e) {
    return 0;
  }
}

const totalCpu = (pids) => pids.reduce((sum, pid) => sum + cpuSeconds(pid), 0);

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
      const cpu = [];
      let peak = 0;
      let heap = 0;  // the module's memory at the end of a run
      for (let run = 0; run < Number(runs); run++) {
        const page = await browser.newPage(server.url + (process.env.PAGE_QUERY || ''));
        await page.waitFor(`document.documentElement.dataset.module`);
        await new Promise((resolve) => setTimeout(resolve, Number(process.env.WAIT_MS || 0)));
        const pids = browser.rendererPids();
        const cpuBefore = totalCpu(pids);
        const sampler = setInterval(() => {
          for (const pid of browser.rendererPids()) peak = Math.max(peak, residentBytes(pid));
        }, 50);
        const result = await convertFile(page, file, { bits: Number(bits), vad: vad === '1' }, 3600000,
                                         false);
        clearInterval(sampler);
        cpu.push(totalCpu(pids) - cpuBefore);
        if (result.kind !== 0 && result.kind !== 1) throw new Error(`${file}: ${result.message} ${result.detail}`);
        times.push(Number(await page.evaluate(`document.getElementById('outcome').dataset.seconds`)));
        heap = Math.max(heap, Number(await page.evaluate(`document.getElementById('outcome').dataset.heapBytes`)));
        await browser.send('Target.closeTarget', { targetId: page.targetId });
      }
      const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
      console.log(`${path.basename(file)}\t${median(times).toFixed(3)}\t${median(cpu).toFixed(2)}\t` +
                  `${(peak / 1048576).toFixed(1)}\t${(heap / 1048576).toFixed(1)}`);
    }
  } finally {
    await browser.close();
    server.stop();
  }
}

main().catch((error) => { console.error(error.message || error); process.exit(1); });
