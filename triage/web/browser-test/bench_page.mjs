// The page's benchmark, not a test. Three modes:
//   node bench_page.mjs PAGE ZEMLOTRIAGE fleet LOGS REPEAT
//     the page reading every *.txt under LOGS (chosen through its file
//     input) against `zemlotriage --json` and `--json --html` on the same
//     files, in the same order; medians of REPEAT rounds, then the page's
//     memory after the last reading;
//   node bench_page.mjs PAGE ZEMLOTRIAGE big FILE REPEAT
//     one big file (a log, or a zip holding one) against `zemlotriage --json`,
//     with the browser's memory before, at its peak and after the reading;
//   node bench_page.mjs PAGE ZEMLOTRIAGE first-use LOG REPEAT
//     cold first use: a fresh browser and profile each round, LOG given to the
//     page as soon as its own script has run, and the time from navigation to
//     the first board laid out.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { browserName, openPage, waitForReading } from './browser.mjs';

const [pagePath, triage, mode, target, repeatText] = process.argv.slice(2);
const repeat = Number(repeatText);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const mib = (bytes) => (bytes / 2 ** 20).toFixed(1);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function timeCli(args, files) {
    const began = performance.now();
    const run = spawnSync(triage, [...args, ...files], { stdio: ['ignore', 'pipe', 'pipe'], maxBuffer: 1 << 30 });
    const seconds = (performance.now() - began) / 1000;
    if (run.status !== 0)
        throw new Error(`zemlotriage ${args.join(' ')} failed: ${run.stderr}`);
    return { seconds, runs: run.stdout.toString().split('\n').filter(Boolean).length };
}

// The resident memory of the browser and every process it started, from
// /proc: what the machine gives the browser, whichever browser it is.
function treeRss(rootPid) {
    const children = new Map();
    const rss = new Map();
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
            const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
            const parent = Number(fields[1]);
            if (!children.has(parent)) children.set(parent, []);
            children.get(parent).push(Number(entry));
            rss.set(Number(entry), Number(fields[21]) * 4096);
        } catch {
            // The process ended while the list was read.
        }
    }
    let total = 0;
    const stack = [rootPid];
    while (stack.length) {
        const pid = stack.pop();
        total += rss.get(pid) || 0;
        stack.push(...(children.get(pid) || []));
    }
    return total;
}

// Samples treeRss every 100 ms until stopped; hands back the highest.
function watchPeak(rootPid) {
    let peak = treeRss(rootPid);
    const timer = setInterval(() => { peak = Math.max(peak, treeRss(rootPid)); }, 100);
    return () => { clearInterval(timer); return Math.max(peak, treeRss(rootPid)); };
}

// What the page's workers hold: chromium tells each one's JS heap (DevTools
// protocol); the page tells the wasm memory of the last reading's reader.
async function workerMemory(page) {
    const memory = { workers: page.workers().length, wasm: await page.evaluate(() => window.zemlotriagePage.wasmMemoryBytes) };
    if (browserName === 'chromium') {
        memory.pageHeap = (await (await page.createCDPSession()).send('Runtime.getHeapUsage')).usedSize;
        memory.workerHeaps = [];
        for (const worker of page.workers()) {
            // A worker the page ends while it is asked is gone, not counted.
            const heap = await worker.client.send('Runtime.getHeapUsage').catch(() => null);
            if (heap) memory.workerHeaps.push(heap.usedSize);
        }
    }
    return memory;
}

const describeMemory = (memory) => `${memory.workers} worker(s)` + (memory.pageHeap === undefined ? ''
    : `, page JS heap ${mib(memory.pageHeap)} MiB, workers' JS heaps ${memory.workerHeaps.map(mib).join(' + ') || 0} MiB`) +
    `, the last reader's wasm memory ${mib(memory.wasm)} MiB`;

// What the browser alone takes to hand the page these files: every file
// loaded at once, as bytes, and nothing read. The page cannot be faster.
async function timeBrowserLoading(page, files) {
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
    for (let waited = 0; waited < 600000; waited += 50) {
        const loadedIn = await page.evaluate(() => window.loadedIn);
        if (loadedIn !== undefined) return loadedIn;
        await sleep(50);
    }
    throw new Error('the browser did not load the files in 10 minutes');
}

async function fleet(logs) {
    const files = fs.readdirSync(logs, { recursive: true }).filter((name) => name.endsWith('.txt')).sort()
        .map((name) => path.join(logs, name));
    const pageHtml = path.join(os.tmpdir(), `zemlotriage-bench-${process.pid}.html`);
    const cli = { json: [], html: [] };
    let cliRuns = 0;
    const { browser, page, problems, close } = await openPage(pagePath);
    const rss = { before: treeRss(browser.process().pid) };
    const pageSeconds = [];
    const withDriver = [];
    const browserLoading = [];
    let summary = '';
    let memory;
    try {
        // Rounds interleave the two, so that load from elsewhere hits both alike.
        for (let round = 0; round < repeat; ++round) {
            const json = timeCli(['--json'], files);
            cliRuns = json.runs;
            cli.json.push(json.seconds);
            cli.html.push(timeCli(['--json', '--html', pageHtml], files).seconds);
            const began = performance.now();
            const reading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(...files), 600000);
            withDriver.push((performance.now() - began) / 1000);
            pageSeconds.push(reading.seconds);
            if (reading.state !== 'done')
                throw new Error(`the page's reading ended ${reading.state}`);
            browserLoading.push(await timeBrowserLoading(page, files));
        }
        summary = await page.$eval('#progress', (progress) => progress.textContent);
        const pageRuns = await page.$$eval('#fleet tr', (rows) => rows.length - 1);
        const boards = await page.$$eval('section[id^="run-"]', (sections) => sections.length);
        if (pageRuns !== cliRuns || boards !== Math.min(cliRuns, 1000))
            throw new Error(`the page shows ${pageRuns} runs and ${boards} boards, the command line read ${cliRuns} runs`);
        memory = await workerMemory(page);
        await sleep(5000);
        rss.after = treeRss(browser.process().pid);
        memory.later = await workerMemory(page);
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
    console.log(`after the reading: ${describeMemory(memory)}`);
    console.log(`5 s later: ${describeMemory(memory.later)}; browser's processes ${mib(rss.before)} MiB before ` +
        `the first round, ${mib(rss.after)} MiB 5 s after the last`);
}

// One big file: time against the command line, and the browser's memory
// (all its processes) before the reading, at its peak, and a few seconds
// after it, once the page has given back what the reading held.
async function bigFile(file) {
    const size = fs.statSync(file).size;
    const { browser, page, problems, close } = await openPage(pagePath);
    const rows = [];
    let cliRuns = 0;
    try {
        const pid = browser.process().pid;
        for (let round = 0; round < repeat; ++round) {
            const cli = timeCli(['--json'], [file]);
            cliRuns = cli.runs;
            await sleep(2000);
            const before = treeRss(pid);
            const stopPeak = watchPeak(pid);
            const reading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(file), 1800000);
            const peak = stopPeak();
            if (reading.state !== 'done')
                throw new Error(`the page's reading ended ${reading.state}: ${reading.seen.at(-1)}`);
            const atDone = await workerMemory(page);
            await sleep(5000);
            rows.push({ cli: cli.seconds, page: reading.seconds, before, peak, after: treeRss(pid), atDone,
                later: await workerMemory(page) });
        }
        const runs = await page.$$eval('section[id^="run-"]', (sections) => sections.length);
        if (runs !== cliRuns)
            throw new Error(`the page shows ${runs} boards, the command line read ${cliRuns} runs`);
    } finally {
        await close();
    }
    if (problems.length)
        throw new Error(problems.join('\n'));
    const cli = median(rows.map((row) => row.cli));
    const pageSeconds = median(rows.map((row) => row.page));
    console.log(`${path.basename(file)}, ${(size / 1e6).toFixed(0)} MB, ${cliRuns} run(s); medians of ${repeat}; ` +
        `the page in ${browserName}`);
    console.log(`zemlotriage --json: ${cli.toFixed(2)} s`);
    console.log(`page (file given to board laid out): ${pageSeconds.toFixed(2)} s, ${(pageSeconds / cli).toFixed(2)}x; ` +
        `goal 3x: ${pageSeconds <= 3 * cli ? 'met' : 'missed'}`);
    rows.forEach((row, round) => {
        console.log(`round ${round + 1}: cli ${row.cli.toFixed(2)} s, page ${row.page.toFixed(2)} s; browser's ` +
            `processes ${mib(row.before)} MiB before, ${mib(row.peak)} MiB at the peak, ${mib(row.after)} MiB 5 s after`);
        console.log(`  when shown: ${describeMemory(row.atDone)}`);
        console.log(`  5 s later:  ${describeMemory(row.later)}`);
    });
}

// The log goes in as the page's script finishes (a person could not be
// quicker), from inside the page: the driver's round trips would be timed too.
async function firstUse(log) {
    const bytes = fs.readFileSync(log).toString('base64');
    const rounds = [];
    for (let round = 0; round < repeat; ++round) {
        const { page, problems, close } = await openPage(pagePath, {
            beforeNavigation: (page) => page.evaluateOnNewDocument((base64, name) => {
                document.addEventListener('DOMContentLoaded', () => {
                    const binary = atob(base64);
                    const data = new DataTransfer();
                    data.items.add(new File([Uint8Array.from(binary, (c) => c.charCodeAt(0))], name));
                    const boards = document.getElementById('boards');
                    window.firstUse = { scriptDoneAt: performance.now() };
                    new MutationObserver((changes, observer) => {
                        if (!boards.querySelector('section')) return;
                        observer.disconnect();
                        requestAnimationFrame(() => setTimeout(() => { window.firstUse.boardAt = performance.now(); }));
                    }).observe(boards, { childList: true });
                    const input = document.getElementById('files');
                    input.files = data.files;
                    input.dispatchEvent(new Event('change'));
                });
            }, bytes, path.basename(log)),
        });
        try {
            let times;
            for (let waited = 0; waited < 30000 && !times?.boardAt; waited += 20) {
                times = await page.evaluate(() => ({ ...window.firstUse,
                    compiledAt: window.zemlotriagePage.compiledAt, readyAt: window.zemlotriagePage.readyAt,
                    domContentLoadedAt: performance.getEntriesByType('navigation')[0].domContentLoadedEventStart,
                    loadAt: performance.getEntriesByType('navigation')[0].loadEventStart }));
                if (!times.boardAt) await sleep(20);
            }
            if (!times?.boardAt) throw new Error('no board within 30 s');
            rounds.push(times);
        } finally {
            await close();
        }
        if (problems.length)
            throw new Error(problems.join('\n'));
    }
    const keys = Object.keys(rounds[0]).filter((key) => typeof rounds[0][key] === 'number')
        .sort((a, b) => rounds[0][a] - rounds[0][b]);
    console.log(`cold first use of ${path.basename(log)} in ${browserName}, fresh profile each round; ms since ` +
        `navigation, median of ${repeat} (every round):`);
    for (const key of keys)
        console.log(`  ${key.padEnd(14)} ${median(rounds.map((r) => r[key])).toFixed(0).padStart(6)}   ` +
            rounds.map((r) => r[key].toFixed(0)).join(' '));
    const board = median(rounds.map((r) => r.boardAt));
    console.log(`first board laid out ${board.toFixed(0)} ms after navigation; goal 400 ms: ${board <= 400 ? 'met' : 'missed'}`);
}

if (mode === 'fleet') await fleet(target);
else if (mode === 'big') await bigFile(target);
else if (mode === 'first-use') await firstUse(target);
else throw new Error(`no mode ${mode}: fleet, big or first-use`);
