// The reader's worker: the page's WebAssembly module (its script appended
// after this one in the same blob) reads the files here, off the page's
// thread. The page compiles the module once and sends it to each worker; a
// reading gets a worker of its own, so its memory goes with it.
// The page loads small files and sends their bytes (a File sent here would
// cost a round trip to the browser per file before the first is read); a
// file larger than a slice comes as a Blob, read here a slice at a time.
// Messages in: {module} first; then, in order, {begin: total}, {files: [{name,
// bytes} or {name, blob} or {name, error}]} any number of times, {end: true};
// {output: "json" or "csv"} for a download of the reading. Messages out:
// "ready" with the report style, "progress" with the boards of the runs read
// since the last (at most every kShowEveryMs, and at the last file: each
// showing costs the page a layout) and the bytes read of a big file, "done"
// with the fleet view that goes before the boards, "output" with the bytes of
// a download.
'use strict';

var kShowEveryMs = 100;
var kSliceBytes = 256 * 1024;  // as the command line reads
var pending = [];
var queue = Promise.resolve();  // a big file's slices are read asynchronously
var encoder = new TextEncoder();
var reading = null;
var instantiate = null;
var Module = {
    // The module comes compiled from the page.
    instantiateWasm: function (imports, received) {
        instantiate = function (module) {
            WebAssembly.instantiate(module, imports).then(function (instance) { received(instance, module); });
        };
        return {};
    },
    onRuntimeInitialized: function () {
        postMessage({ type: 'ready', style: output(3, 'text') });
        var waiting = pending;
        pending = null;
        waiting.forEach(inOrder);
    },
};

onmessage = function (event) {
    if (event.data.module) instantiate(event.data.module);
    else if (pending) pending.push(event.data);
    else inOrder(event.data);
};

// Requests are handled one after the other; a failure goes to the page as
// the worker's error.
function inOrder(request) {
    queue = queue.then(function () { return handle(request); }).catch(function (error) {
        setTimeout(function () { throw error; });
    });
}

function handle(request) {
    if (request.begin !== undefined) return begin(request.begin);
    if (request.files) return readFiles(request.files);
    if (request.end) return end();
    if (request.output) return sendOutput(request.output);
}

function begin(total) {
    Module._PageReset();
    reading = { total: total, done: 0, errors: [], lastShown: performance.now() };
}

// Copies `bytes` into the module's memory at `pointer`, or at a new block
// (NUL-terminated) that the caller frees.
function toHeap(bytes, pointer) {
    if (pointer === undefined) {
        pointer = Module._malloc(bytes.length + 1);
        Module.HEAPU8[pointer + bytes.length] = 0;
    }
    Module.HEAPU8.set(bytes, pointer);
    return pointer;
}

// One of the module's outputs (0 fleet view, 1 JSON Lines, 2 CSV, 3 style,
// 4 boards not sent yet).
function output(kind, as) {
    var pointer = Module._PageOutput(kind);
    var bytes = Module.HEAPU8.slice(pointer, pointer + Module._PageOutputSize());
    return as === 'text' ? new TextDecoder().decode(bytes) : bytes;
}

function beginFile(name) {
    var pointer = toHeap(encoder.encode(name));
    Module._PageBeginFile(pointer);
    Module._free(pointer);
}

function endFile(name, readError) {
    var pointer = toHeap(encoder.encode(readError || ''));
    Module._PageEndFile(pointer);
    Module._free(pointer);
    var message = Module.UTF8ToString(Module._PageLastError());
    if (message) reading.errors.push({ name: name, message: message });
    reading.done += 1;
}

function readWhole(file) {
    if (file.error) {
        reading.errors.push({ name: file.name, message: file.error });
        reading.done += 1;
        return;
    }
    var bytes = new Uint8Array(file.bytes);
    beginFile(file.name);
    var data = toHeap(bytes);
    Module._PageFeed(data, bytes.length);
    Module._free(data);
    endFile(file.name);
}

// A big file a slice at a time, the next slice loading while one is read.
async function readSlices(file) {
    var size = file.blob.size;
    var slice = function (at) { return file.blob.slice(at, at + kSliceBytes).arrayBuffer(); };
    beginFile(file.name);
    var buffer = Module._malloc(kSliceBytes);
    var readError = '';
    try {
        var next = slice(0);
        for (var at = 0; at < size;) {
            var bytes = new Uint8Array(await next);
            at += bytes.length;
            if (at < size) next = slice(at);
            toHeap(bytes, buffer);
            if (!Module._PageFeed(buffer, bytes.length)) break;  // no log: the rest changes nothing
            show({ name: file.name, read: at, size: size });
        }
    } catch (error) {
        readError = 'read error: ' + error.message;
    }
    Module._free(buffer);
    endFile(file.name, readError);
}

async function readFiles(files) {
    for (var i = 0; i < files.length; ++i) {
        if (files[i].blob) await readSlices(files[i]);
        else readWhole(files[i]);
    }
    show(null);
}

// The boards read since the last showing, and how far a big file is read.
function show(file) {
    var last = reading.done === reading.total;
    if (!last && performance.now() - reading.lastShown < kShowEveryMs) return;
    reading.lastShown = performance.now();
    var boards = output(4);
    postMessage({ type: 'progress', done: reading.done, total: reading.total, file: last ? null : file,
        boards: boards }, [boards.buffer]);
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
    var bytes = output(name === 'json' ? 1 : 2);
    postMessage({ type: 'output', name: name, bytes: bytes }, [bytes.buffer]);
}
