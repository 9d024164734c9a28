// The reader's worker: the page's WebAssembly module (appended after this
// script in the same blob) reads the files here, off the page's thread. The
// page loads the files and sends their bytes: a File sent here would cost a
// round trip to the browser per file before the first is read.
// Messages in, in order: {begin: total}, {files: [{name, bytes} or {name,
// error}]} any number of times, {end: true}; {output: "json" or "csv"} for a
// download of the last reading. Messages out: "ready" with the report style,
// "progress" with the boards of the runs read since the last (at most every
// kShowEveryMs, and at the last file: each showing costs the page a layout),
// "done" with the fleet view that goes before the boards, "output" with the
// bytes of a download.
'use strict';

var kShowEveryMs = 100;
var pending = [];
var encoder = new TextEncoder();
var reading = null;
var Module = {
    onRuntimeInitialized: function () {
        postMessage({ type: 'ready', style: output(3, 'text') });
        pending.forEach(handle);
        pending = null;
    },
};

onmessage = function (event) {
    if (pending) pending.push(event.data);
    else handle(event.data);
};

function handle(request) {
    if (request.begin !== undefined) begin(request.begin);
    else if (request.files) readFiles(request.files);
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

function readFile(file) {
    if (file.error) {
        reading.errors.push({ name: file.name, message: file.error });
    } else {
        var message;
        try {
            var bytes = new Uint8Array(file.bytes);
            var name = toHeap(encoder.encode(file.name));
            var data = toHeap(bytes);
            Module._PageReadFile(name, data, bytes.length);
            Module._free(data);
            Module._free(name);
            message = Module.UTF8ToString(Module._PageLastError());
        } catch (error) {
            // The module failed where it could not say so itself: this file's
            // error, and the next file is read.
            message = 'the reader failed on this file: ' + error;
        }
        if (message) reading.errors.push({ name: file.name, message: message });
    }
    reading.done += 1;
}

function readFiles(files) {
    files.forEach(readFile);
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
