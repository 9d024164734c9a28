// Opening the page in Debian's chromium or firefox-esr (BROWSER=firefox) for
// the page test and the benchmark: a fresh profile, every request but the
// page itself and the page's own blob: URLs refused and recorded, every
// console error recorded, in the page and in its workers.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { recordViolations } from './page_checks.mjs';

export const browserName = process.env.BROWSER || 'chromium';
if (!['chromium', 'firefox'].includes(browserName))
    throw new Error(`BROWSER is chromium or firefox, not ${browserName}`);
// Only chromium's own protocol can drag files from disk onto a page.
export const canDropFiles = browserName === 'chromium';

const kChromiumFlags = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// Firefox is driven over WebDriver BiDi, in a profile the driver makes and
// removes; downloads go to a folder of the caller's without a question.
// Firefox takes only an absolute folder: given a relative one, it saves to
// the user's Downloads folder instead, where the test never looks.
function launchFirefox(downloads) {
    return puppeteer.launch({
        product: 'firefox',
        protocol: 'webDriverBiDi',
        executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
        headless: true,
        defaultViewport: { width: 1200, height: 900 },
        extraPrefsFirefox: downloads ? {
            'browser.download.dir': path.resolve(downloads),
            'browser.download.folderList': 2,
            'browser.download.useDownloadDir': true,
            'browser.download.always_ask_before_handling_new_types': false,
            // The downloads panel would take the keyboard's focus from the page.
            'browser.download.alwaysOpenPanel': false,
        } : {},
    });
}

async function launchChromium(profile, downloads) {
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: [...kChromiumFlags, `--user-data-dir=${profile}`],
        defaultViewport: { width: 1200, height: 900 },
    });
    if (downloads) {
        await (await browser.target().createCDPSession()).send('Browser.setDownloadBehavior',
            { behavior: 'allow', downloadPath: downloads });
    }
    return browser;
}

// `where` is the page's file, or its http:// URL when served;
// `beforeNavigation(page)` runs once the page is made, before it is opened.
export async function openPage(where, { downloads, beforeNavigation } = {}) {
    const profile = browserName === 'chromium' ? fs.mkdtempSync(path.join(os.tmpdir(), 'zemlotriage-page-')) : null;
    const browser = profile ? await launchChromium(profile, downloads) : await launchFirefox(downloads);
    const page = await browser.newPage();
    const url = /^https?:/.test(where) ? where : pathToFileURL(where).href;
    const problems = [];
    const watchConsole = (where) => (message) => {
        // A check of the page's policy has it refuse what it tries.
        if (message.type() === 'error' && !(page.probingPolicy && /Content Security Policy|base URI/.test(message.text())))
            problems.push(`console error in ${where}: ${message.text()}`);
    };
    // Firefox tells the workers' console and what its security policy
    // refused (in the page and in workers) through these two.
    page.on('console', watchConsole('the page'));
    page.on('pageerror', (error) => {
        if (!(page.probingPolicy && /Content-Security-Policy/.test(error.message)))
            problems.push(`page error: ${error.message}`);
    });
    page.on('workercreated', (worker) => {
        worker.on('console', watchConsole('the worker'));
        // Chromium logs what a worker's security policy refused apart from
        // its console.
        if (browserName === 'chromium') {
            worker.client.on('Log.entryAdded', ({ entry }) => {
                if (entry.level === 'error') problems.push(`error logged in the worker: ${entry.text}`);
            });
            worker.client.send('Log.enable').catch(() => {});
        }
    });
    await page.setRequestInterception(true);
    page.on('request', (request) => {
        // A data: URL goes nowhere: Firefox's own style sheet draws list
        // bullets with a font from one.
        if (request.url() === url || /^(blob|data):/.test(request.url())) {
            request.continue();
            return;
        }
        problems.push(`request to ${request.url()}`);
        request.abort();
    });
    await recordViolations(page);
    if (beforeNavigation) await beforeNavigation(page);
    await page.goto(url, { waitUntil: 'load' });
    const close = async () => {
        await browser.close();
        if (profile) fs.rmSync(profile, { recursive: true, force: true });
    };
    return { browser, page, problems, close };
}

// Waits until the page has shown a finished reading and laid it out. Hands
// back what the progress line said along the way, and how long the page took
// from the event that gave it the files (or its first progress line) to the
// frame after the last, on the page's own clock (the driver's round trips are
// not the page's time).
export async function waitForReading(page, start, timeout = 120000) {
    await page.evaluate(() => {
        const progress = document.getElementById('progress');
        progress.dataset.state = 'waiting';
        window.progressSeen = [];
        window.progressTimes = [];
        window.shownAt = undefined;
        window.givenAt = undefined;
        for (const type of ['change', 'drop', 'click']) {
            if (window.markGiven) window.removeEventListener(type, window.markGiven, true);
        }
        window.markGiven = () => { window.givenAt ??= performance.now(); };
        for (const type of ['change', 'drop', 'click'])
            window.addEventListener(type, window.markGiven, true);
        const observer = new MutationObserver(() => {
            window.progressSeen.push(progress.textContent);
            window.progressTimes.push(performance.now());
            if (progress.dataset.state === 'done' || progress.dataset.state === 'failed') {
                observer.disconnect();
                requestAnimationFrame(() => setTimeout(() => { window.shownAt = performance.now(); }));
            }
        });
        observer.observe(progress, { childList: true, characterData: true, subtree: true });
    });
    await start();
    await waitInPage(page, () => window.shownAt !== undefined, timeout);
    return page.evaluate(() => ({
        state: document.getElementById('progress').dataset.state,
        seen: window.progressSeen,
        seconds: (window.shownAt - (window.givenAt ?? window.progressTimes[0])) / 1000,
    }));
}

// Waits until `predicate` holds in the page, asking it every 50 ms. Not
// puppeteer's waitForFunction: that one compiles the predicate inside the
// page with Function(), which a page whose policy allows no eval refuses
// (Firefox reports it as the page's own violation). An evaluation the
// driver sends runs as the driver's code in both browsers.
export async function waitInPage(page, predicate, timeout) {
    for (const began = Date.now(); !(await page.evaluate(predicate));) {
        if (Date.now() - began > timeout) throw new Error(`waited ${timeout / 1000} s in vain for ${predicate}`);
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
}

// Drops files and folders (paths) on the page's drop zone, as a user's drag
// from the file manager does.
export async function dropPaths(page, paths) {
    if (!canDropFiles) throw new Error(`${browserName} cannot be made to drop files on the page`);
    const session = await page.createCDPSession();
    const box = await (await page.$('#drop-zone')).boundingBox();
    const data = { items: [], files: paths.map((where) => path.resolve(where)), dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
        await session.send('Input.dispatchDragEvent', { type, x: box.x + 20, y: box.y + 20, data });
}

// Where the driver cannot drag from disk: a drop event made in the page,
// carrying files from disk (set on a hidden input of the driver's own). It
// checks the page's handling of dropped files, not the browser's drag, nor
// folders, which an input cannot be given.
export async function dropFilesInPage(page, paths) {
    await page.evaluate(() => {
        const input = document.createElement('input');
        Object.assign(input, { type: 'file', multiple: true, hidden: true, id: 'driver-files' });
        document.body.append(input);
    });
    const input = await page.$('#driver-files');
    await input.uploadFile(...paths.map((where) => path.resolve(where)));
    await page.evaluate(() => {
        const input = document.getElementById('driver-files');
        const data = new DataTransfer();
        for (const file of input.files) data.items.add(file);
        input.remove();
        document.getElementById('drop-zone').dispatchEvent(
            new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
    });
}
