// Drives the converter page as a user would: choose a file through #input-file, fill the fields,
// press Convert, and read back the outcome and the databases behind #download (and #download-2,
// #download-3, ... for the further parts of a split run).
'use strict';

/** Fills the form, presses Convert and waits for the outcome (or only for the run to start). */
async function startConversion(page, file,
  { title = null, description = '', bits = 8, vad = false, bestQuality = false, split = false } = {}) {
  await page.setFiles('#input-file', [file]);
  await page.evaluate(`(() => {
    const title = ${JSON.stringify(title)};
    if (title !== null) document.getElementById('title').value = title;
    document.getElementById('description').value = ${JSON.stringify(description)};
    document.querySelector('input[name=bits][value="${bits}"]').checked = true;
    document.getElementById('vad').checked = ${vad ? 'true' : 'false'};
    document.getElementById('best-quality').checked = ${bestQuality ? 'true' : 'false'};
    document.getElementById('split').checked = ${split ? 'true' : 'false'};
    document.getElementById('outcome').replaceChildren();
    document.getElementById('convert').click();
  })()`);
}

/** What the page shows once a run has ended; the databases' bytes too unless withBytes is false
 *  (reading them back costs the tab memory of its own). download is the first database (or null),
 *  downloads all of them in their order on the page. */
async function outcomeOf(page, ms = 120000, withBytes = true) {
  await page.waitFor(`document.getElementById('outcome').textContent !== ''
                      && !document.getElementById('convert').disabled`, ms);
  return page.evaluate(`(async () => {
    const outcome = document.getElementById('outcome');
    const text = (selector) => { const e = outcome.querySelector(selector); return e ? e.textContent : ''; };
    const downloads = [];
    for (const link of document.querySelectorAll('#actions a[download]')) {
      let base64 = '';
      if (${withBytes}) {
        const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
        let binary = '';
        for (let i = 0; i < bytes.length; i += 0x8000) {
          binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        }
        base64 = btoa(binary);
      }
      downloads.push({ id: link.id, name: link.getAttribute('download'), base64 });
    }
    return {
      kind: Number(outcome.dataset.kind),
      message: text('.message'),
      detail: text('.detail'),
      details: Array.from(outcome.querySelectorAll('.detail')).map((e) => e.textContent),
      notes: Array.from(outcome.querySelectorAll('.note')).map((e) => e.textContent),
      downloads,
      formUsable: !document.getElementById('convert').disabled
                  && !document.getElementById('input-file').disabled
                  && document.getElementById('cancel').disabled,
    };
  })()`).then((result) => {
    for (const d of result.downloads) d.bytes = Buffer.from(d.base64, 'base64');
    result.download = result.downloads.length > 0 ? result.downloads[0] : null;
    return result;
  });
}

async function convertFile(page, file, options, ms = 120000, withBytes = true) {
  await startConversion(page, file, options);
  return outcomeOf(page, ms, withBytes);
}

module.exports = { startConversion, outcomeOf, convertFile };
