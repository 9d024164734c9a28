// The reader's worker: the page's WebAssembly module (appended after this
// script in the same blob) reads the files here, off the page's thread. The
// page loads the files and sends their bytes: a File sent here would cost a
// round trip to the browser per file before the first is read.
// A zip archive's entries are inflated here, by the browser's own
// DecompressionStream, and handed to the module in pieces as they come; the
// module says which entries to read and reads them. Messages are handled one
// after another, each once the one before has finished.
// Messages in, in order: {begin: total}, {files: [{name, bytes} or {name,
// error}]} any number of times, {end: true}; {output: "json" or "csv"} for a
// download of the last reading. Messages out: "ready" with the report style,
// "progress" with the boards of the runs read since the last (at most every
// kShowEveryMs, and at the last file: each showing costs the page a layout),
// "done" with the fleet view that goes before the boards, "output" with the
// bytes of a download.
'use strict';

var kShowEveryMs = 100;
var kPieceBytes = 256 * 1024;  // unpacked bytes handed to the module at once
var pending = [];
var encoder = new TextEncoder();
var reading = null;
var Module = {
    onRuntimeInitialized: function () {
        postMessage({ type: 'ready', style: output(3, 'text') });
        pending.forEach(function (request) { handled = handled.then(function () { return handle(request); }); });
        pending = null;
    },
};

var handled = Promise.resolve();
onmessage = function (event) {
    if (pending) pending.push(event.data);
    else handled = handled.then(function () { return handle(event.data); });
};

function handle(request) {
    if (request.begin !== undefined) begin(request.begin);
    else if (request.files) return readFiles(request.files);
    else if (request.end) end();
    else if (request.output) sendOutput(request.output);
}

function begin(total) {
    Module._PageReset();
    reading = { total: total, done: 0, errors: [], lastShown: performance.now() };
}

// Copies `bytes` into the module's memory, NUL-terminated; the caller frees.
function toHeap(bytes) {
    var pointer = Module._malloc(bytes.length + 1);
    Module.HEAPU8.set(bytes, pointer);
    Module.HEAPU8[pointer + bytes.length] = 0;
    return pointer;
}

// One of the module's outputs (0 fleet view, 1 JSON Lines, 2 CSV, 3 style,
// 4 boards not sent yet).
function output(kind, as) {
    var pointer = Module._PageOutput(kind);
    var bytes = Module.HEAPU8.slice(pointer, pointer + Module._PageOutputSize());
    return as === 'text' ? new TextDecoder().decode(bytes) : bytes;
}

function noteError(name) {
    var message = Module.UTF8ToString(Module._PageLastError());
    if (message) reading.errors.push({ name: name, message: message });
}

// Hands `bytes` to the entry being read, in pieces; false once it wants no more.
function feedEntry(bytes) {
    for (var at = 0; at < bytes.length; at += kPieceBytes) {
        var piece = toHeap(bytes.subarray(at, at + kPieceBytes));
        var more = Module._PageEntryFeed(piece, Math.min(kPieceBytes, bytes.length - at));
        Module._free(piece);
        if (!more) return false;
    }
    return true;
}

async function inflateEntry(packed) {
    var reader = new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
    try {
        while (true) {
            var piece = await reader.read();
            if (piece.done) return '';
            if (!feedEntry(piece.value)) {
                reader.cancel();
                return '';
            }
        }
    } catch (error) {
        return 'damaged in the archive: its packed bytes do not inflate';
    }
}

async function readArchive(bytes) {
    var plan = JSON.parse(Module.UTF8ToString(Module._PageArchivePlan()));
    for (var i = 0; i < plan.entries.length; ++i) {
        var entry = plan.entries[i];
        if (entry.refusal) {
            reading.errors.push({ name: entry.name, message: entry.refusal });
            continue;
        }
        var packed = bytes.subarray(entry.offset, entry.offset + entry.packed);
        Module._PageEntryBegin(i);
        var stopped = entry.deflated ? await inflateEntry(packed) : (feedEntry(packed), '');
        var why = toHeap(encoder.encode(stopped));
        Module._PageEntryEnd(why);
        Module._free(why);
        noteError(entry.name);
    }
    return plan.error;
}

async function readFile(file) {
    if (file.error) {
        reading.errors.push({ name: file.name, message: file.error });
    } else {
        var runs;
        var bytes = new Uint8Array(file.bytes);
        try {
            var name = toHeap(encoder.encode(file.name));
            var data = toHeap(bytes);
            runs = Module._PageReadFile(name, data, bytes.length);
            Module._free(data);
            Module._free(name);
        } catch (error) {
            // The module failed where it could not say so itself: this file's
            // error, and the next file is read.
            reading.errors.push({ name: file.name, message: 'the reader failed on this file: ' + error });
            runs = null;
        }
        if (runs !== null && runs >= 0) {
            noteError(file.name);
        } else {
            var error = await readArchive(bytes);
            if (error) reading.errors.push({ name: file.name, message: error });
        }
    }
    reading.done += 1;
}

async function readFiles(files) {
    for (var i = 0; i < files.length; ++i) await readFile(files[i]);
    if (reading.done === reading.total || performance.now() - reading.lastShown >= kShowEveryMs) {
        reading.lastShown = performance.now();
        var boards = output(4);
        postMessage({ type: 'progress', done: reading.done, total: reading.total, boards: boards }, [boards.buffer]);
    }
}

function end() {
    postMessage({
        type: 'done',
        files: reading.total,
        runs: Module._PageRunCount(),
        errors: reading.errors,
        head: output(0, 'text'),
        wasmMemoryBytes: Module.HEAPU8.buffer.byteLength,
    });
}

function sendOutput(name) {
    try {
        var bytes = output(name === 'json' ? 1 : 2);
        postMessage({ type: 'output', name: name, bytes: bytes }, [bytes.buffer]);
    } catch (error) {
        postMessage({ type: 'output', name: name, error: String(error) });
    }
}
