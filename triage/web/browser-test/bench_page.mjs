// node bench_page.mjs PAGE ZEMLOTRIAGE LOGS REPEAT: times the page reading
// every *.txt under LOGS (chosen through its file input) against
// `zemlotriage --json` and `zemlotriage --json --html` on the same files, in
// the same order; medians of REPEAT rounds, then the page's memory after the
// last reading.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { browserName, openPage, waitForReading } from './browser.mjs';

const [pagePath, triage, logs, repeatText] = process.argv.slice(2);
const repeat = Number(repeatText);
const files = fs.readdirSync(logs, { recursive: true }).filter((name) => name.endsWith('.txt')).sort()
    .map((name) => path.join(logs, name));
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const mib = (bytes) => (bytes / 2 ** 20).toFixed(1);

function timeCli(args) {
    const began = performance.now();
    const run = spawnSync(triage, [...args, ...files], { stdio: ['ignore', 'pipe', 'pipe'], maxBuffer: 1 << 30 });
    const seconds = (performance.now() - began) / 1000;
    if (run.status !== 0)
        throw new Error(`zemlotriage ${args.join(' ')} failed: ${run.stderr}`);
    return { seconds, runs: run.stdout.toString().split('\n').filter(Boolean).length };
}

// What the browser alone takes to hand the page these files: every file
// loaded at once, as bytes, and nothing read. The page cannot be faster.
async function timeBrowserLoading(page) {
    await page.evaluate(() => {
        window.loadedIn = undefined;
        window.addEventListener('change', (event) => {
            event.stopImmediatePropagation();
            const began = performance.now();
            Promise.all(Array.from(event.target.files, (file) => file.arrayBuffer())).then(() => {
                window.loadedIn = (performance.now() - began) / 1000;
                event.target.value = '';
            });
        }, { capture: true, once: true });
    });
    await (await page.$('#files')).uploadFile(...files);
    await page.waitForFunction(() => window.loadedIn !== undefined, { timeout: 600000 });
    return page.evaluate(() => window.loadedIn);
}

const pageHtml = path.join(os.tmpdir(), `zemlotriage-bench-${process.pid}.html`);
const cli = { json: [], html: [] };
let cliRuns = 0;
const { page, problems, close } = await openPage(pagePath);
const pageSeconds = [];
const withDriver = [];
const browserLoading = [];
let summary = '';
let memory = {};
try {
    // Rounds interleave the two, so that load from elsewhere hits both alike.
    for (let round = 0; round < repeat; ++round) {
        const json = timeCli(['--json']);
        cliRuns = json.runs;
        cli.json.push(json.seconds);
        cli.html.push(timeCli(['--json', '--html', pageHtml]).seconds);
        const began = performance.now();
        const reading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(...files), 600000);
        withDriver.push((performance.now() - began) / 1000);
        pageSeconds.push(reading.seconds);
        if (reading.state !== 'done')
            throw new Error(`the page's reading ended ${reading.state}`);
        browserLoading.push(await timeBrowserLoading(page));
    }
    summary = await page.$eval('#progress', (progress) => progress.textContent);
    const pageRuns = await page.$$eval('#fleet tr', (rows) => rows.length - 1);
    const boards = await page.$$eval('section[id^="run-"]', (sections) => sections.length);
    if (pageRuns !== cliRuns || boards !== Math.min(cliRuns, 1000))
        throw new Error(`the page shows ${pageRuns} runs and ${boards} boards, the command line read ${cliRuns} runs`);
    memory.wasm = await page.evaluate(() => window.zemlotriagePage.wasmMemoryBytes);
    // Only chromium tells the heaps' sizes (DevTools protocol).
    if (browserName === 'chromium') {
        memory.pageHeap = (await (await page.createCDPSession()).send('Runtime.getHeapUsage')).usedSize;
        memory.workerHeap = (await page.workers()[0].client.send('Runtime.getHeapUsage')).usedSize;
    }
} finally {
    await close();
    fs.rmSync(pageHtml, { force: true });
}
if (problems.length)
    throw new Error(problems.join('\n'));

const pageMedian = median(pageSeconds);
const json = median(cli.json);
const html = median(cli.html);
console.log(`${files.length} files, ${cliRuns} runs; medians of ${repeat} rounds; the page in ${browserName}`);
console.log(`zemlotriage --json:         ${json.toFixed(2)} s`);
console.log(`zemlotriage --json --html:  ${html.toFixed(2)} s`);
console.log(`page (files given to boards laid out): ${pageMedian.toFixed(2)} s, ${(pageMedian / json).toFixed(2)}x --json, ` +
    `${(pageMedian / html).toFixed(2)}x --json --html; goal 3x: ${pageMedian <= 3 * json ? 'met' : 'missed'}`);
console.log(`the same with the driver setting the files on the input: ${median(withDriver).toFixed(2)} s`);
console.log(`the browser only loading the files for the page, nothing read: ${median(browserLoading).toFixed(2)} s`);
console.log(`page says: ${summary}`);
console.log('page memory after the reading: ' + (memory.pageHeap === undefined ? ''
    : `page JS heap ${mib(memory.pageHeap)} MiB, worker JS heap ${mib(memory.workerHeap)} MiB, `) +
    `wasm memory ${mib(memory.wasm)} MiB`);
