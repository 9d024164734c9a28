// The page's own script: it gathers files (picker, drop, pasted text), hands
// them to the reader's worker and shows what the reader wrote. It renders
// nothing of a report itself.
'use strict';

var workerUrl = URL.createObjectURL(new Blob([document.getElementById('reader-worker').textContent + '\n' +
    document.getElementById('reader-module').textContent], { type: 'text/javascript' }));
var elements = {};
['input', 'files', 'drop-zone', 'paste', 'read-paste', 'show-input', 'progress', 'errors', 'downloads',
    'download-json', 'download-csv', 'fleet-view', 'boards'].forEach(function (id) { elements[id] = document.getElementById(id); });

// Files being loaded at once: the browser loads them on its own threads, and
// enough in flight hide each load's round trip to it.
var kLoadAhead = 256;
var kBatchFiles = 32;  // files handed to the reader in one message at most
// A larger file goes to the reader as it is, which reads it a slice at a time.
var kSliceBytes = 256 * 1024;
var worker = null;
var spare = null;  // the next reading's worker, started when the last one ended
// The downloads of the last reading, which its worker sends as it ends:
// {json, csv}, each {bytes} or {error}; and the one asked for before they came.
var outputs = null;
var wanted = null;
var busy = false;
var readingId = 0;  // a reading's loads stop when a newer one starts
var reportStyle = null;
var utf8 = new TextDecoder();
var encoder = new TextEncoder();
// The reader writes a download when it is asked for; its name says what was
// read and when (downloadName).
var downloads = {
    json: { type: 'application/x-ndjson', extension: '.jsonl' },
    csv: { type: 'text/csv', extension: '.csv' },
};
var readingName = 'zemlotriage';
// The invisible format characters the reader shows as "<U+202E>" in what a
// person reads (text_util.h), here for the names of files it could not read.
var kHiddenFormatCharacters = /[\u061C\u180E\u200B\u200E\u200F\u202A-\u202E\u2060-\u2064\u2066-\u206F\uFEFF]/g;
// For the benchmark: when the module was compiled and the reader first
// ready, and the reader's memory at the end of the last reading.
window.zemlotriagePage = { compiledAt: undefined, readyAt: undefined, wasmMemoryBytes: 0 };

// The reader's module is compiled once, at once, while the page opens: its
// bytes are in the page gzipped, as base64.
var compiled = (function () {
    var text = atob(document.getElementById('reader-wasm').textContent.trim());
    var gzipped = new Uint8Array(text.length);
    for (var i = 0; i < text.length; ++i) gzipped[i] = text.charCodeAt(i);
    var bytes = new Blob([gzipped]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Response(bytes).arrayBuffer().then(function (wasm) { return WebAssembly.compile(wasm); })
        .then(function (module) {
            window.zemlotriagePage.compiledAt = performance.now();
            return module;
        });
})();

function startWorker() {
    var started = new Worker(workerUrl);
    started.onmessage = function (event) {
        if (started === worker || event.data.type === 'ready') handle(event.data);
    };
    started.onerror = function (event) {
        event.preventDefault();
        if (started !== worker) return;
        busy = false;
        readingId += 1;
        setProgress('The reader stopped: ' + (event.message || 'unknown error'), 'failed');
        // The next reading gets a reader in a sound state.
        started.terminate();
        worker = startWorker();
    };
    compiled.then(function (module) { started.postMessage({ module: module }); });
    return started;
}

function setProgress(text, state) {
    elements.progress.textContent = text;
    elements.progress.dataset.state = state;
}

function megabytes(bytes) {
    return (bytes / 1e6).toFixed(1) + ' MB';
}

function shownText(text) {
    return text.replace(kHiddenFormatCharacters, function (c) {
        return '<U+' + c.charCodeAt(0).toString(16).toUpperCase().padStart(4, '0') + '>';
    });
}

// "zemlotriage-2026-12-09-1357-clean-pc": the time of the reading, and the one
// file's name, the one folder's, or how many files there were.
function downloadName(items, when) {
    var two = function (n) { return String(n).padStart(2, '0'); };
    var stamp = when.getFullYear() + '-' + two(when.getMonth() + 1) + '-' + two(when.getDate()) + '-' +
        two(when.getHours()) + two(when.getMinutes());
    var tops = items.map(function (item) { return item.name.split('/')[0]; });
    var what;
    if (items.length === 1) what = tops[0].replace(/\.txt$/i, '');
    else if (tops.length && items[0].name.indexOf('/') > 0 && tops.every(function (top) { return top === tops[0]; }))
        what = tops[0];
    else what = items.length + '-files';
    what = what.replace(/[^\p{L}\p{N}._-]+/gu, '-').replace(/^[-.]+|-+$/g, '').slice(0, 60) || 'logs';
    return 'zemlotriage-' + stamp + '-' + what;
}

function plural(count, word) {
    return count + ' ' + word + (count === 1 ? '' : 's');
}

// A new reading replaces the last one, and its reader with the memory it
// took; one still running is abandoned.
function read(items) {
    if (worker.used) {
        worker.terminate();
        worker = spare || startWorker();
        spare = null;
    }
    worker.used = true;
    busy = true;
    outputs = null;
    wanted = null;
    readingId += 1;
    elements.errors.textContent = '';
    elements['fleet-view'].textContent = '';
    elements.boards.textContent = '';
    readingName = downloadName(items, new Date());
    elements.downloads.hidden = true;
    setProgress('0 of ' + plural(items.length, 'file'), 'reading');
    worker.postMessage({ begin: items.length });
    sendFiles(items, readingId);
}

function load(item) {
    var loading = { ready: false };
    if (!item.error && item.blob.size > kSliceBytes) {
        loading.ready = true;
        loading.file = Promise.resolve({ name: item.name, blob: item.blob });
        return loading;
    }
    var bytes = item.error ? Promise.reject(new Error(item.error)) : item.blob.arrayBuffer();
    loading.file = bytes.then(function (buffer) { return { name: item.name, bytes: buffer }; },
        function (error) { return { name: item.name, error: 'cannot open: ' + error.message }; });
    loading.file.then(function () { loading.ready = true; });
    return loading;
}

// Loads the files in order, a few ahead, and hands each batch that is ready
// to the reader, so that it reads while the rest load.
async function sendFiles(items, id) {
    var loads = items.slice(0, kLoadAhead).map(load);
    var batch = [];
    var buffers = [];
    for (var i = 0; i < items.length; ++i) {
        var file = await loads[i].file;
        if (id !== readingId) return;
        loads[i] = null;
        if (i + kLoadAhead < items.length) loads[i + kLoadAhead] = load(items[i + kLoadAhead]);
        batch.push(file);
        if (file.bytes) buffers.push(file.bytes);
        if (i + 1 === items.length || batch.length === kBatchFiles || !loads[i + 1].ready) {
            worker.postMessage({ files: batch }, buffers);
            batch = [];
            buffers = [];
        }
    }
    worker.postMessage({ end: true });
}

function handle(message) {
    if (message.type === 'ready') {
        if (window.zemlotriagePage.readyAt === undefined) window.zemlotriagePage.readyAt = performance.now();
        if (!reportStyle) {
            reportStyle = document.createElement('style');
            reportStyle.textContent = message.style;
            document.head.appendChild(reportStyle);
        }
    } else if (message.type === 'progress') {
        if (message.boards.length) {
            elements.boards.insertAdjacentHTML('beforeend', utf8.decode(message.boards));
            elements.input.classList.add('collapsed');
        }
        setProgress(message.done + ' of ' + plural(message.total, 'file') + (message.file ? '; ' +
            message.file.name + ': ' + megabytes(message.file.read) + ' of ' + megabytes(message.file.size) : ''),
        'reading');
    } else if (message.type === 'done') {
        busy = false;
        message.errors.forEach(function (error) {
            var line = document.createElement('li');
            var name = document.createElement('bdi');
            name.textContent = shownText(error.name);
            line.append(name, ': ' + shownText(error.message));
            elements.errors.appendChild(line);
        });
        elements['fleet-view'].insertAdjacentHTML('afterbegin', message.head);
        elements.downloads.hidden = message.runs === 0;
        window.zemlotriagePage.wasmMemoryBytes = message.wasmMemoryBytes;
        // The downloads once the boards are laid out; then the worker ends.
        var reader = worker;
        requestAnimationFrame(function () {
            setTimeout(function () { if (reader === worker) reader.postMessage({ outputs: true }); });
        });
        if (!spare) spare = startWorker();
        setProgress('Read ' + plural(message.files, 'file') + ': ' + plural(message.runs, 'run') +
            (message.errors.length ? ', ' + message.errors.length + ' not read' : ''), 'done');
    } else if (message.type === 'outputs') {
        // All the reading held is now in the page: its worker and memory go.
        outputs = message;
        worker.terminate();
        worker = spare || startWorker();
        spare = null;
        if (wanted) offer(wanted);
    }
}

function offer(name) {
    if (!outputs) {
        wanted = name;
        return;
    }
    wanted = null;
    var download = downloads[name];
    var file = readingName + download.extension;
    if (outputs[name].error) setProgress('The download of ' + file + ' failed: ' + outputs[name].error, 'failed');
    else save(new Blob([outputs[name].bytes], { type: download.type }), file);
}

function save(blob, name) {
    var link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
}

// The kinds the command line reads in a folder, in any letter case.
var readNames = /\.(txt|log|eml|zip)$/i;

// Names in the command line's order: by their UTF-8 bytes (JavaScript's own
// comparison goes by UTF-16 units, which differs past U+FFFF).
function byName(a, b) {
    var x = encoder.encode(a.name);
    var y = encoder.encode(b.name);
    for (var i = 0; i < x.length && i < y.length; ++i)
        if (x[i] !== y[i]) return x[i] - y[i];
    return x.length - y.length;
}

// A folder's logs, as the command line finds them: the kinds it reads, at
// any depth, in name order whatever order the browser lists them in.
function walkFolder(directory, into) {
    return new Promise(function (resolve, reject) {
        var reader = directory.createReader();
        var entries = [];
        (function more() {
            reader.readEntries(function (batch) {
                if (batch.length) {
                    entries = entries.concat(Array.prototype.slice.call(batch));
                    more();
                    return;
                }
                entries.sort(byName);
                entries.reduce(function (previous, entry) {
                    return previous.then(function () { return walkEntry(entry, into); });
                }, Promise.resolve()).then(resolve, reject);
            }, reject);
        })();
    });
}

function walkEntry(entry, into) {
    if (entry.isDirectory) return walkFolder(entry, into);
    if (!readNames.test(entry.name)) return Promise.resolve();
    return new Promise(function (resolve) {
        var name = entry.fullPath.replace(/^\//, '');
        entry.file(function (file) {
            into.push({ name: name, blob: file });
            resolve();
        }, function (error) {
            into.push({ name: name, blob: null, error: error.message });
            resolve();
        });
    });
}

// Chromium reads no folder (nor a file through its entry) on a page opened
// from disk; a dropped file itself reads anywhere.
function folderError(error) {
    return error.message + (location.protocol === 'file:'
        ? ' (this browser reads no dropped folder on a page opened from disk: open the page from a web server,' +
          ' or choose or drop the files themselves)'
        : '');
}

function dropped(dataTransfer) {
    var items = [];
    var walks = [];
    // Entries and files must be taken while the drop event lasts.
    Array.prototype.forEach.call(dataTransfer.items || [], function (item) {
        if (item.kind !== 'file') return;
        var entry = item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
        var file = item.getAsFile();
        var found = [];
        items.push(found);
        if (entry && entry.isDirectory) {
            walks.push(walkFolder(entry, found).catch(function (error) {
                found.push({ name: entry.fullPath.replace(/^\//, ''), blob: null, error: folderError(error) });
            }));
        } else if (file) {
            found.push({ name: file.name, blob: file });
        }
    });
    Promise.all(walks).then(function () {
        read([].concat.apply([], items));
    });
}

elements.files.addEventListener('change', function () {
    var items = Array.prototype.map.call(elements.files.files, function (file) {
        return { name: file.name, blob: file };
    });
    if (items.length) read(items);
    elements.files.value = '';
});
elements['read-paste'].addEventListener('click', function () {
    read([{ name: 'pasted text', blob: new Blob([elements.paste.value]) }]);
});
// Once boards are shown the input area is one line; the paste box comes back here.
elements['show-input'].addEventListener('click', function () {
    elements.input.classList.remove('collapsed');
    elements.paste.focus();
});
elements['download-json'].addEventListener('click', function () { offer('json'); });
elements['download-csv'].addEventListener('click', function () { offer('csv'); });

// A drop anywhere is taken, so that a near miss does not open the file instead.
window.addEventListener('dragover', function (event) {
    event.preventDefault();
    elements['drop-zone'].classList.add('over');
});
window.addEventListener('dragleave', function () { elements['drop-zone'].classList.remove('over'); });
window.addEventListener('drop', function (event) {
    event.preventDefault();
    elements['drop-zone'].classList.remove('over');
    dropped(event.dataTransfer);
});

worker = startWorker();
