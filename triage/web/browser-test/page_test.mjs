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

async function download(page, downloads, button, name) {
    const file = path.join(downloads, name);
    fs.rmSync(file, { force: true });
    await page.click(button);
    for (let waited = 0; waited < 10000 && !fs.existsSync(file); waited += 100)
        await new Promise((resolve) => setTimeout(resolve, 100));
    return fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : `(no ${name} was downloaded)`;
}

async function compareReading(page, downloads, expectedJson, expectedCsv, rename, what) {
    const records = expectedJson.trim().split('\n').map((line) => JSON.parse(line));
    const boards = await shownBoards(page);
    equal(boards.map((board) => board.heading), records.map((r) => `${rename(r.file)}, run ${r.run}`),
        `${what}: the boards`);
    equal(boards.map((board) => board.causes), records.map((r) => r.causes.map((cause) => cause.id)),
        `${what}: the causes shown`);
    equal(await download(page, downloads, '#download-json', 'zemlotriage.jsonl'), expectedJson,
        `${what}: the JSON Lines download`);
    equal(await download(page, downloads, '#download-csv', 'zemlotriage.csv'), expectedCsv,
        `${what}: the CSV download`);
    return { records, boards };
}

const files = fs.readFileSync(path.join(inputs, 'order.txt'), 'utf8').trim().split('\n')
    .map((name) => path.join(inputs, name));
const json = cli(['--json', ...files]);
const csv = cli(['--csv', ...files]);
check(json.status === 1 && json.stderr !== '', 'the command line was expected to name the file that is not a report');
const errorsOfCli = withoutFolder(json.stderr).trim().split('\n').map((line) => line.replace(/^zemlotriage: /, ''));

// The files, through the file input.
async function chooseFiles(page, downloads, what) {
    const reading = await waitForReading(page, async () => (await page.$('#files')).uploadFile(...files));
    check(reading.state === 'done', `${what}: the reading ended ${reading.state}`);
    check(reading.seen.includes(`${files.length} of ${files.length} files`), `${what}: no "N of M files" progress: ${reading.seen}`);
    const { records, boards } = await compareReading(page, downloads, withoutFolder(json.stdout),
        withoutFolder(csv.stdout), (name) => name, what);
    const errorsShown = await page.$$eval('#errors li', (items) => items.map((item) => item.textContent));
    equal(errorsShown, errorsOfCli, `${what}: the files not read`);
    return { records, boards };
}

const downloads = path.join(out, 'downloads');
fs.mkdirSync(downloads, { recursive: true });
const { page, problems, close } = await openPage(pagePath, { downloads });
try {
    const { records, boards } = await chooseFiles(page, downloads, 'the files');
    check(records.length > files.length - 1, 'the chosen logs hold fewer runs than files');

    const cyrillic = records.find((r) => /[\u0400-\u04FF]/.test(r.os.product_name || ''));
    check(cyrillic !== undefined, 'no run of the command line has a Cyrillic product name');
    if (cyrillic) {
        const board = boards[records.indexOf(cyrillic)];
        check(board.meta.includes(cyrillic.os.product_name),
            `the board of ${cyrillic.file} does not show "${cyrillic.os.product_name}": ${board.meta}`);
    }
    await page.screenshot({ path: path.join(out, 'page.png'), fullPage: false });

    // A console capture, pasted. A text box holds LF line ends, so the
    // command line is given what the box holds.
    await page.$eval('#paste', (box, text) => { box.value = text; },
        fs.readFileSync(path.join(inputs, 'console.txt'), 'utf8'));
    const pasted = await page.$eval('#paste', (box) => box.value);
    const pastedJson = cli(['--json', '-'], pasted);
    const pastedCsv = cli(['--csv', '-'], pasted);
    check(pastedJson.status === 0, `the command line did not read the console text: ${pastedJson.stderr}`);
    const pasteReading = await waitForReading(page, () => page.click('#read-paste'));
    check(pasteReading.state === 'done', `the pasted text's reading ended ${pasteReading.state}`);
    // CSV guards a cell that starts with "-" against spreadsheet formulas: "'-".
    const asPasted = (text) => text.split('"file":"-"').join('"file":"pasted text"').replace(/^'-,/gm, 'pasted text,');
    await compareReading(page, downloads, asPasted(pastedJson.stdout), asPasted(pastedCsv.stdout),
        () => 'pasted text', 'the console text');

    // Chromium reads no dropped folder on a page opened from disk: the page
    // says so and still reads the file dropped with it.
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
} finally {
    await close();
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
        await chooseFiles(served.page, downloads, 'the files chosen on the served page');
        if (canDropFiles) await dropFolderOnServed(served.page);
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
    console.log(`the page said in ${browserName} what the command line says; screenshot ${path.join(out, 'page.png')}`);
process.exit(failures.length === 0 ? 0 : 1);
