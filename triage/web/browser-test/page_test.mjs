// The page against the command line: node page_test.mjs PAGE ZEMLOTRIAGE
// INPUTS FOLDER OUT. INPUTS holds the logs the page is given, in the order
// given (order.txt) and the console text to paste (console.txt); FOLDER is
// dropped on the page, opened from disk and served. Every check that fails is
// named; the exit code is 1 when any did. BROWSER=firefox drives firefox-esr,
// which cannot be made to drag from disk: the checks of dropped folders are
// skipped, and said so, and the files go in a drop event made in the page.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { browserName, canDropFiles, dropFilesInPage, dropPaths, openPage, waitForReading } from './browser.mjs';
import { axeProblems, clippingProblems, kViewports, policyProblems } from './page_checks.mjs';

const [pagePath, triage, inputs, folder, out] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const skipped = (what) => console.log(`skipped in ${browserName}: ${what} (its driver cannot drag from disk)`);
const equal = (actual, expected, what) =>
    check(JSON.stringify(actual) === JSON.stringify(expected),
        `${what}:\n  page:    ${JSON.stringify(actual)}\n  command: ${JSON.stringify(expected)}`);

function cli(args, input) {
    const run = spawnSync(triage, args, { input, encoding: 'utf8', maxBuffer: 1 << 28 });
    return { stdout: run.stdout, stderr: run.stderr, status: run.status };
}

// The command line names files by the path it was given, the page by name.
const withoutFolder = (text) => text.split(inputs + path.sep).join('');

// The causes of every board, in order, as the page shows them.
const shownBoards = (page) => page.$$eval('section[id^="run-"]', (sections) => sections.map((section) => ({
    heading: section.querySelector('h2').textContent,
    meta: section.querySelector('.meta').textContent,
    causes: [...section.querySelectorAll('.cause code')].map((code) => code.textContent),
})));

// A check that throws (a reading that never ends, a page that went away) is
// a failure named by what it checked, and the other checks still run.
async function step(what, run) {
    try {
        return await run();
    } catch (error) {
        failures.push(`${what}: ${error.message}`);
        return undefined;
    }
}

// Every element of the boards with its attribute names, in order.
const markupOfBoards = (page) => page.$eval('#result', (result) => [...result.querySelectorAll('*')].map(
    (element) => [element.localName, ...[...element.attributes].map((attribute) => attribute.name).sort()].join(' ')));

// Escaping is the only barrier between a log's text and the page: hostile
// text in a log's fields and its name adds no element and no attribute to
// what its harmless twin shows, and runs nothing.
async function hostileText(page) {
    const named = (prefix) => path.join(inputs, fs.readdirSync(inputs).find((name) => name.startsWith(prefix)));
    const title = await page.title();
    const markupOf = async (file) => {
        const reading = await waitForReading(page, async () =>
            (await page.$('#files')).uploadFile(file, path.join(inputs, 'clean-utf16be.txt')));
        check(reading.state === 'done', `hostile text: the reading of ${path.basename(file)} ended ${reading.state}`);
        return markupOfBoards(page);
    };
    const hostile = await markupOf(named('markup-hostile-'));
    check(hostile.length > 50, `hostile text: only ${hostile.length} elements shown`);
    equal(hostile, await markupOf(named('markup-harmless-')), 'hostile text: the elements and attributes of the boards');
    await new Promise((resolve) => setTimeout(resolve, 500));  // an image's error event comes late
    check(await page.title() === title, `hostile text ran as script: the page's title became "${await page.title()}"`);
}

// Downloads what `button` gives, pressed by mouse or, with `keyboard`, by
// tabbing to it and pressing Enter; hands back the file's name and text once
// the browser has finished writing it.
async function download(page, downloads, button, extension, keyboard = false) {
    for (const old of fs.readdirSync(downloads)) fs.rmSync(path.join(downloads, old), { recursive: true, force: true });
    if (keyboard) await pressByKeyboard(page, button);
    else await page.click(button);
    let last = null;
    let names = [];
    for (let waited = 0; waited < 10000; waited += 100) {
        await new Promise((resolve) => setTimeout(resolve, 100));
        names = fs.readdirSync(downloads);
        const name = names.find((file) => file.endsWith(extension));
        if (!name || names.some((file) => /\.(part|crdownload)$/.test(file))) continue;
        const size = fs.statSync(path.join(downloads, name)).size;
        if (last && last.name === name && last.size === size && size > 0)
            return { name, text: fs.readFileSync(path.join(downloads, name), 'utf8') };
        last = { name, size };
    }
    return { name: null, text: `(no ${extension} was downloaded; the folder holds ${JSON.stringify(names)})` };
}

// Puts the Tab key's starting point at the top of the page.
async function focusTop(page) {
    await page.evaluate(() => {
        const top = document.documentElement;
        top.tabIndex = -1;
        top.focus();
        top.removeAttribute('tabindex');
    });
}

// Tabs from the top of the page to `selector` (a person without a mouse)
// and presses Enter there.
async function pressByKeyboard(page, selector) {
    await focusTop(page);
    for (let tabs = 0; tabs < 60; ++tabs) {
        if (await page.evaluate((wanted) => document.activeElement.matches(wanted), selector)) {
            await page.keyboard.press('Enter');
            return;
        }
        await page.keyboard.press('Tab');
    }
    failures.push(`${selector} cannot be reached by the Tab key`);
}

// The downloads are named for the time of the reading and what was read.
const checkName = (name, what, extension) => check(
    new RegExp(`^zemlotriage-\\d{4}-\\d\\d-\\d\\d-\\d{4}-${what}\\${extension}$`).test(name || ''),
    `the download of ${what} is named ${name}`);

async function compareReading(page, downloads, expectedJson, expectedCsv, rename, what,
    { named, keyboard = false } = {}) {
    const records = expectedJson.trim().split('\n').map((line) => JSON.parse(line));
    const boards = await shownBoards(page);
    equal(boards.map((board) => board.heading), records.map((r) => `${rename(r.file)}, run ${r.run}`),
        `${what}: the boards`);
    equal(boards.map((board) => board.causes), records.map((r) => r.causes.map((cause) => cause.id)),
        `${what}: the causes shown`);
    const jsonFile = await download(page, downloads, '#download-json', '.jsonl', keyboard);
    equal(jsonFile.text, expectedJson, `${what}: the JSON Lines download`);
    checkName(jsonFile.name, named, '.jsonl');
    const csvFile = await download(page, downloads, '#download-csv', '.csv', keyboard);
    equal(csvFile.text, expectedCsv, `${what}: the CSV download`);
    checkName(csvFile.name, named, '.csv');
    return { records, boards };
}

const files = fs.readFileSync(path.join(inputs, 'order.txt'), 'utf8').trim().split('\n')
    .map((name) => path.join(inputs, name));
const json = cli(['--json', ...files]);
const csv = cli(['--csv', ...files]);
check(json.status === 1 && json.stderr !== '', 'the command line was expected to name the file that is not a report');
const errorsOfCli = withoutFolder(json.stderr).trim().split('\n').map((line) => line.replace(/^zemlotriage: /, ''));

// The run verdicts the command line's text summary gives, in order.
const verdictsOf = (summary) => summary.split('\n').filter((line) => / run \d+: \w+ \(/.test(line) && !line.startsWith(' '))
    .map((line) => / run \d+: (\w+) \(/.exec(line)[1]);

// Words beside colours: each board opens with its verdict in words (its
// causes counted), each cause says its severity and has a style of that
// severity, and says what it means; the fleet chart's bars take their
// causes' severity. A log's right-to-left override is shown, not obeyed.
async function checkWords(page, records, verdicts, what) {
    const shown = await page.$$eval('section[id^="run-"]', (sections) => sections.map((section) => ({
        verdict: section.querySelector('.verdict-line .verdict')?.textContent,
        words: section.querySelector('.verdict-line')?.textContent || '',
        causes: [...section.querySelectorAll('.cause')].map((cause) => ({
            severity: cause.querySelector('.severity')?.textContent,
            border: getComputedStyle(cause).borderLeftColor,
            meaning: cause.querySelector('.meaning')?.textContent || '',
            title: cause.querySelector('code')?.title || '',
        })),
    })));
    equal(shown.map((board) => board.verdict), verdicts, `${what}: the boards' verdicts`);
    const borders = { error: new Set(), warning: new Set(), info: new Set() };
    records.forEach((record, i) => {
        const board = shown[i] || { words: '', causes: [] };
        const counts = ['error', 'warning', 'info'].map((severity) => [severity,
            record.causes.filter((cause) => cause.severity === severity).length]).filter(([, n]) => n > 0)
            .map(([severity, n]) => `${n} ${severity}${n > 1 && severity !== 'info' ? 's' : ''}`).join(', ');
        check(counts ? board.words.includes(`${counts}: `) : / every check passed| the run /i.test(board.words),
            `${what}: the verdict of ${record.file} run ${record.run} in words: "${board.words}"`);
        record.causes.forEach((cause, j) => {
            const seen = board.causes[j] || {};
            check(seen.severity === cause.severity, `${what}: ${cause.id} is labelled ${seen.severity}`);
            check(seen.meaning.length > 40 && seen.title.length > 40, `${what}: ${cause.id} is not explained`);
            if (seen.border) borders[cause.severity].add(seen.border);
        });
    });
    for (const [severity, colours] of Object.entries(borders))
        check(colours.size <= 1, `${what}: ${severity} causes in ${colours.size} styles`);
    check(![...borders.info].some((colour) => borders.error.has(colour)), `${what}: info causes look like errors`);
    const bars = await page.$$eval('#fleet rect', (rects) => rects.map((rect) =>
        ({ fill: rect.getAttribute('fill'), severity: rect.textContent.split(', ').pop() })));
    const fills = {};
    for (const bar of bars) (fills[bar.severity] ??= new Set()).add(bar.fill);
    check(Object.keys(fills).length >= 2 && new Set(Object.values(fills).map((set) => [...set].join())).size ===
        Object.keys(fills).length && Object.values(fills).every((set) => set.size === 1),
    `${what}: the chart's bars by severity: ${JSON.stringify(bars)}`);
    const rlo = await page.evaluate(() => ({
        text: document.getElementById('boards').textContent,
        isolated: [...document.querySelectorAll('#boards bdi')].some((bdi) => bdi.textContent.includes('<U+202E>')),
    }));
    check(!rlo.text.includes('\u202E') && rlo.text.includes('gpj.exe') && rlo.isolated &&
        rlo.text.includes('proxy.corp.example:8080<U+202E>gpj.exe'),
    `${what}: the right-to-left override of the log is not shown as <U+202E> in an isolated value`);
}

// Two frames, so that what scrolled into sight is painted: Firefox paints a
// board that was out of sight (content-visibility) only at the next frame.
const painted = (page) => page.evaluate(() => new Promise((resolve) =>
    requestAnimationFrame(() => requestAnimationFrame(resolve))));

// At a phone's width and a desktop's: nothing clipped, by the elements'
// bounds; screenshots of the top and of a board to look at, at fixed paths
// (OUT/page-phone-board.png, OUT/page-desktop-board.png, ...).
async function checkLayout(page, what, shots) {
    for (const viewport of kViewports) {
        await page.setViewport({ width: viewport.width, height: viewport.height });
        failures.push(...await clippingProblems(page, `${what} at ${viewport.name} width`));
        await page.evaluate(() => window.scrollTo(0, 0));
        await painted(page);
        await page.screenshot({ path: path.join(out, `${shots}-${viewport.name}.png`) });
        // A board with causes of every severity.
        if (await page.$('.cause.info')) {
            await page.evaluate(() => document.querySelector('.cause.info').closest('section').scrollIntoView());
            await painted(page);
            await page.screenshot({ path: path.join(out, `${shots}-${viewport.name}-board.png`) });
        }
    }
    await page.setViewport({ width: 1200, height: 900 });
    await page.evaluate(() => window.scrollTo(0, 0));
}

// Every control of the page and every scroll box of a board is a stop of
// the Tab key, so the page works without a mouse.
async function checkKeyboardStops(page, what, wanted) {
    await focusTop(page);
    const stops = new Set();
    // Past the page's last stop, Firefox's Tab goes on into its own window's
    // controls, and the page no longer gets the keys: stop at the last wanted.
    for (let tabs = 0; tabs < 80 && stops.size < wanted.length; ++tabs) {
        await page.keyboard.press('Tab');
        for (const selector of await page.evaluate((all) => all.filter((one) => document.activeElement.matches(one)), wanted))
            stops.add(selector);
    }
    const missed = wanted.filter((selector) => !stops.has(selector));
    check(missed.length === 0, `${what}: the Tab key never reaches ${missed.join(', ')}`);
}

// The skip link is the first stop of the Tab key, in sight, and takes Enter
// to the boards.
async function checkSkipLink(page, what) {
    await focusTop(page);
    await page.keyboard.press('Tab');
    const skip = await page.evaluate(() => ({ matches: document.activeElement.matches('a.skip'),
        top: document.activeElement.getBoundingClientRect().top }));
    check(skip.matches && skip.top >= 0, `${what}: the first Tab does not show the skip link: ${JSON.stringify(skip)}`);
    await page.keyboard.press('Enter');
    check(await page.evaluate(() => location.hash === '#boards'), `${what}: the skip link does not lead to the boards`);
}

// The files, through the file input.
async function chooseFiles(page, downloads, what) {
    const reading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(...files));
    check(reading.state === 'done', `${what}: the reading ended ${reading.state}`);
    check(reading.seen.includes(`${files.length} of ${files.length} files`), `${what}: no "N of M files" progress: ${reading.seen}`);
    const { records, boards } = await compareReading(page, downloads, withoutFolder(json.stdout),
        withoutFolder(csv.stdout), (name) => name, what, { named: `${files.length}-files` });
    const errorsShown = await page.$$eval('#errors li', (items) => items.map((item) => item.textContent));
    equal(errorsShown, errorsOfCli, `${what}: the files not read`);
    return { records, boards };
}

const downloads = path.join(out, 'downloads');
fs.mkdirSync(downloads, { recursive: true });
const verdicts = verdictsOf(cli(files).stdout);
check(json.stdout.includes('\u202E'), 'the command line\'s JSON does not keep the log\'s right-to-left override');
const { page, problems, close } = await openPage(pagePath, { downloads });
try {
    failures.push(...await axeProblems(page, 'the empty page'));
    await checkLayout(page, 'the empty page', 'page-empty');
    const { records, boards } = await step('the files', () => chooseFiles(page, downloads, 'the files')) ??
        { records: [], boards: [] };
    await checkWords(page, records, verdicts, 'the page');
    failures.push(...await axeProblems(page, 'the page with boards'));
    await checkLayout(page, 'the page with boards', 'page');
    await checkSkipLink(page, 'the page');
    await checkKeyboardStops(page, 'the page', ['a.skip', '#files', '#show-input', '#download-json',
        '#download-csv', '.chart', '.runs', '.runs a', 'section summary']);
    check(records.length > files.length - 1, 'the chosen logs hold fewer runs than files');
    equal(await page.$eval('#reader-version', (footer) => footer.textContent),
        `Read by ${cli(['--version']).stdout.trim()}`, 'the footer, against --version');

    const cyrillic = records.find((r) => /[\u0400-\u04FF]/.test(r.os.product_name || ''));
    check(cyrillic !== undefined, 'no run of the command line has a Cyrillic product name');
    if (cyrillic) {
        const board = boards[records.indexOf(cyrillic)];
        check(board.meta.includes(cyrillic.os.product_name),
            `the board of ${cyrillic.file} does not show "${cyrillic.os.product_name}": ${board.meta}`);
    }
    // With boards shown the input area is one line; its button brings the paste box back.
    const inputHeight = await page.$eval('#input', (input) => input.getBoundingClientRect().height);
    check(inputHeight > 0 && inputHeight <= 60, `the input area is ${inputHeight} px high with boards shown`);
    await page.click('#show-input');

    // Files of many slices read as the command line reads them: a log, its
    // progress in bytes, and a zip archive, its entries read in pieces.
    for (const [name, what, progress] of [
        ['big-hosts.txt', 'a file of many slices', /^0 of 1 file; big-hosts\.txt: [0-9.]+ MB of [0-9.]+ MB$/],
        ['big-archive.zip', 'a zip archive of many slices', null]]) {
        const big = path.join(inputs, name);
        const bigJson = cli(['--json', big]);
        const bigCsv = cli(['--csv', big]);
        check(bigJson.status === 0, `the command line did not read ${big}: ${bigJson.stderr}`);
        const bigReading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(big));
        check(bigReading.state === 'done', `${what}: the reading ended ${bigReading.state}`);
        check(!progress || bigReading.seen.some((text) => progress.test(text)),
            `${what}: no progress in bytes while it was read: ${bigReading.seen}`);
        await compareReading(page, downloads, withoutFolder(bigJson.stdout), withoutFolder(bigCsv.stdout),
            (file) => file, what, { named: name.replace(/\.txt$/, '') });
    }

    // A failure inside the module is the file's error and the reading goes
    // on: told to copy 3 GB, the module's allocation fails and the module
    // catches it (wasm exceptions, and type information without RTTI). Only
    // chromium's driver reaches into a worker.
    if (browserName === 'chromium') {
        await step('a failure inside the module', async () => {
            const caught = await page.workers().at(-1).evaluate(() => {
                Module._PageReset();
                const name = Module._malloc(2);
                Module.HEAPU8.set([120, 0], name);
                const runs = Module._PageReadFile(name, name, 0xC0000000);
                return { runs, error: Module.UTF8ToString(Module._PageLastError()) };
            });
            check(caught.runs === 0 && /^stopped by an internal error: .*bad_alloc/.test(caught.error),
                `a failure inside the module: ${JSON.stringify(caught)}`);
        });
    } else {
        console.log(`skipped in ${browserName}: a failure inside the module (its driver cannot reach a worker)`);
    }

    await step('hostile text', () => hostileText(page));
    // The boards read since fold the input area again; the paste box comes back.
    await page.click('#show-input');

    // A console capture, pasted. A text box holds LF line ends, so the
    // command line is given what the box holds.
    await step('the console text', async () => {
        await page.$eval('#paste', (box, text) => { box.value = text; },
            fs.readFileSync(path.join(inputs, 'console.txt'), 'utf8'));
        const pasted = await page.$eval('#paste', (box) => box.value);
        const pastedJson = cli(['--json', '-'], pasted);
        const pastedCsv = cli(['--csv', '-'], pasted);
        check(pastedJson.status === 0, `the command line did not read the console text: ${pastedJson.stderr}`);
        const pasteReading = await waitForReading(page, () => pressByKeyboard(page, '#read-paste'));
        check(pasteReading.state === 'done', `the pasted text's reading ended ${pasteReading.state}`);
        // CSV guards a cell that starts with "-" against spreadsheet formulas: "'-".
        const asPasted = (text) => text.split('"file":"-"').join('"file":"pasted text"').replace(/^'-,/gm, 'pasted text,');
        await compareReading(page, downloads, asPasted(pastedJson.stdout), asPasted(pastedCsv.stdout),
            () => 'pasted text', 'the console text', { named: 'pasted-text', keyboard: true });
    });

    // Chromium reads no dropped folder on a page opened from disk: the page
    // says so and still reads the file dropped with it.
    await step('dropped files', async () => {
        if (canDropFiles) {
            const notReport = path.join(inputs, 'not-a-report.txt');
            await waitForReading(page, () => dropPaths(page, [folder, notReport]));
            const dropErrors = await page.$$eval('#errors li', (items) => items.map((item) => item.textContent));
            check(dropErrors.length === 2 && dropErrors[0].startsWith(`${path.basename(folder)}: cannot open: `) &&
                dropErrors[0].includes('web server') && dropErrors[1] === errorsOfCli[0],
            `a folder dropped on the page opened from disk: ${JSON.stringify(dropErrors)}`);
        } else {
            skipped('a folder and a file dropped on the page opened from disk');
            // The same files in a drop event made in the page.
            const reading = await waitForReading(page, () => dropFilesInPage(page, files));
            check(reading.state === 'done', `files in a drop event made in the page: the reading ended ${reading.state}`);
            equal(await shownBoards(page), boards, 'files in a drop event made in the page: the boards');
            equal(await page.$$eval('#errors li', (items) => items.map((item) => item.textContent)), errorsOfCli,
                'files in a drop event made in the page: the files not read');
        }
    });
    failures.push(...await policyProblems(page, 'the page opened from disk', 'http://127.0.0.1:9/probe'));
} finally {
    await close();
}

// The command line's --html page of the same files, checked as the browser page is.
const htmlPath = path.join(out, 'fleet.html');
const htmlRun = cli(['--html', htmlPath, ...files]);
check(htmlRun.status === 1, `zemlotriage --html ended ${htmlRun.status}: ${htmlRun.stderr}`);
const html = await openPage(htmlPath);
try {
    await checkWords(html.page, json.stdout.trim().split('\n').map((line) => JSON.parse(line)), verdicts, '--html');
    failures.push(...await axeProblems(html.page, '--html'));
    await checkLayout(html.page, '--html', 'html');
    await checkSkipLink(html.page, '--html');
    await checkKeyboardStops(html.page, '--html', ['a.skip', '.chart', '.runs', '.runs a', 'section summary']);
    failures.push(...await policyProblems(html.page, '--html', 'http://127.0.0.1:9/probe'));
} finally {
    await html.close();
    failures.push(...html.problems);
}

// Served, the page reads chosen files as from disk, and a dropped folder as
// the command line reads it: the kinds it reads, in any letter case, at any
// depth, in name order, named by their path below the folder's parent.
async function dropFolderOnServed(page) {
    const json = cli(['--json', folder]);
    const expected = json.stdout.trim().split('\n').map((line) => JSON.parse(line)).map((r) => ({
        heading: `${path.relative(path.dirname(folder), r.file)}, run ${r.run}`,
        causes: r.causes.map((cause) => cause.id),
    }));
    const reading = await waitForReading(page, () => dropPaths(page, [folder]));
    check(reading.state === 'done', `the served page's reading of a dropped folder ended ${reading.state}`);
    const shown = (await shownBoards(page)).map(({ heading, causes }) => ({ heading, causes }));
    check(expected.length > 5, 'the dropped folder holds fewer than six runs');
    equal(shown, expected, 'a folder dropped on the served page, in name order');
    const errorsShown = await page.$$eval('#errors li', (items) => items.map((item) => item.textContent));
    equal(errorsShown, json.stderr.trim().split('\n').map((line) =>
        line.replace(/^zemlotriage: /, '').split(path.dirname(folder) + path.sep).join('')),
    'a folder dropped on the served page: what was not read');
}

const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1',
    '--directory', path.dirname(pagePath)], { stdio: ['ignore', 'pipe', 'ignore'] });
try {
    const port = await new Promise((resolve, reject) => {
        server.stdout.on('data', (text) => { const found = / port (\d+)/.exec(text); if (found) resolve(found[1]); });
        server.on('exit', () => reject(new Error('the web server ended')));
    });
    const served = await openPage(`http://127.0.0.1:${port}/${path.basename(pagePath)}`, { downloads });
    try {
        await step('the files chosen on the served page',
            () => chooseFiles(served.page, downloads, 'the files chosen on the served page'));
        failures.push(...await policyProblems(served.page, 'the served page', `http://127.0.0.1:${port}/probe`));
        if (canDropFiles) await step('a folder dropped on the served page', () => dropFolderOnServed(served.page));
        else skipped('a folder dropped on the served page');
    } finally {
        await served.close();
        failures.push(...served.problems);
    }
} finally {
    server.kill();
}

failures.push(...problems);
for (const failure of failures)
    console.error(`FAILED: ${failure}`);
if (failures.length === 0)
    console.log(`the page said in ${browserName} what the command line says; screenshots of boards ` +
        `${['phone', 'desktop'].map((name) => path.join(out, `page-${name}-board.png`)).join(' and ')}, more in ` +
        path.join(out, '*.png'));
process.exit(failures.length === 0 ? 0 : 1);
