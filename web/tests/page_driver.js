// Drives the converter page as a user would: choose a file through #input-file, fill the fields,
// press Convert, and read back the outcome and the database behind #download.
'use strict';

/** Fills the form, presses Convert and waits for the outcome (or only for the run to start). */
async function startConversion(page, file, { title = null, description = '', bits = 8, vad = false } = {}) {
  await page.setFiles('#input-file', [file]);
  await page.evaluate(`(() => {
    const title = ${JSON.stringify(title)};
    if (title !== null) document.getElementById('title').value = title;
    document.getElementById('description').value = ${JSON.stringify(description)};
    document.querySelector('input[name=bits][value="${bits}"]').checked = true;
    document.getElementById('vad').checked = ${vad ? 'true' : 'false'};
    document.getElementById('outcome').replaceChildren();
    document.getElementById('convert').click();
  })()`);
}

/** What the page shows once a run has ended; the database's bytes too unless withBytes is false
 *  (reading them back costs the tab memory of its own). */
async function outcomeOf(page, ms = 120000, withBytes = true) {
  await page.waitFor(`document.getElementById('outcome').textContent !== ''
                      && !document.getElementById('convert').disabled`, ms);
  return page.evaluate(`(async () => {
    const outcome = document.getElementById('outcome');
    const text = (selector) => { const e = outcome.querySelector(selector); return e ? e.textContent : ''; };
    const link = document.getElementById('download');
    let download = null;
    if (link && ${withBytes}) {
      const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
      let binary = '';
      for (let i = 0; i < bytes.length; i += 0x8000) {
        binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      }
      download = { name: link.getAttribute('download'), base64: btoa(binary) };
    }
    return {
      kind: Number(outcome.dataset.kind),
      message: text('.message'),
      detail: text('.detail'),
      notes: Array.from(outcome.querySelectorAll('.note')).map((e) => e.textContent),
      download,
      formUsable: !document.getElementById('convert').disabled
                  && !document.getElementById('input-file').disabled
                  && document.getElementById('cancel').disabled,
    };
  })()`).then((result) => {
    if (result.download) result.download.bytes = Buffer.from(result.download.base64, 'base64');
    return result;
  });
}

async function convertFile(page, file, options, ms = 120000, withBytes = true) {
  await startConversion(page, file, options);
  return outcomeOf(page, ms, withBytes);
}

module.exports = { startConversion, outcomeOf, convertFile };
