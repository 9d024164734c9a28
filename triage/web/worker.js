// The reader's worker: the page's WebAssembly module (its script appended
// after this one in the same blob) reads the files here, off the page's
// thread. The page compiles the module once and sends it to each worker; a
// reading gets a worker of its own, so its memory goes with it.
// The page loads small files and sends their bytes (a File sent here would
// cost a round trip to the browser per file before the first is read); a
// file larger than a slice comes as a Blob, read here a slice at a time.
// A zip archive's entries are read from a Blob (a small archive's bytes are
// made one) a piece at a time, inflated by the browser's own
// DecompressionStream and handed to the module as they come; the module
// finds the entries from the archive's end and says which to read.
// Messages in: {module} first; then, in order, {begin: total}, {files: [{name,
// bytes} or {name, blob} or {name, error}]} any number of times, {end: true},
// {outputs: true} once the page has shown the reading; messages are handled one after another, each once the one before has
// finished. Messages out: "ready" with the report style, "progress" with the
// boards of the runs read since the last (at most every kShowEveryMs, and at
// the last file: each showing costs the page a layout) and the bytes read of
// a big file, "done" with the fleet view that goes before the boards,
// "outputs" with the bytes of both downloads, after which the page ends this
// worker and the memory of the reading with it.
'use strict';

var kShowEveryMs = 100;
var kSliceBytes = 256 * 1024;  // as the command line reads; also the unpacked bytes handed to the module at once
var pending = [];
var queue = Promise.resolve();  // a big file's slices are read asynchronously
var encoder = new TextEncoder();
var reading = null;
var archive = null;  // the Blob of the zip archive being listed
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
    if (request.outputs) return sendOutputs();
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

function noteError(name) {
    var message = Module.UTF8ToString(Module._PageLastError());
    if (message) reading.errors.push({ name: name, message: message });
}

// Hands `bytes` to the entry being read, in pieces; false once it wants no more.
function feedEntry(bytes) {
    for (var at = 0; at < bytes.length; at += kSliceBytes) {
        var piece = toHeap(bytes.subarray(at, at + kSliceBytes));
        var more = Module._PageEntryFeed(piece, Math.min(kSliceBytes, bytes.length - at));
        Module._free(piece);
        if (!more) return false;
    }
    return true;
}

// Hands an entry's bytes to the module as they are read (and inflated);
// returns why they stopped coming, or ''.
async function readEntry(source, entry) {
    var stream = source.slice(entry.offset, entry.offset + entry.packed).stream();
    if (entry.deflated) stream = stream.pipeThrough(new DecompressionStream('deflate-raw'));
    var reader = stream.getReader();
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
        return entry.deflated ? 'damaged in the archive: its packed bytes do not inflate' : 'read error: ' + error.message;
    }
}

// What the module asks for while it lists an archive held as a Blob.
Module.readArchiveBytes = function (offset, size, into) {
    try {
        var bytes = new FileReaderSync().readAsArrayBuffer(archive.slice(offset, offset + size));
        if (bytes.byteLength !== size) return 0;
        Module.HEAPU8.set(new Uint8Array(bytes), into);
        return 1;
    } catch (error) {
        return 0;
    }
};

// The archive's entries, as the module's plan (PageReadFile, PageListArchive) says.
async function readArchive(source) {
    var plan = JSON.parse(Module.UTF8ToString(Module._PageArchivePlan()));
    for (var i = 0; i < plan.entries.length; ++i) {
        var entry = plan.entries[i];
        if (entry.refusal) {
            reading.errors.push({ name: entry.name, message: entry.refusal });
            continue;
        }
        Module._PageEntryBegin(i);
        var stopped = await readEntry(source, entry);
        var why = toHeap(encoder.encode(stopped));
        Module._PageEntryEnd(why);
        Module._free(why);
        noteError(entry.name);
    }
    return plan.error;
}

// A file loaded whole: a log, a mail, or a zip archive, read entry by entry.
async function readWhole(name, bytes) {
    var runs;
    try {
        var namePointer = toHeap(encoder.encode(name));
        var data = toHeap(bytes);
        runs = Module._PageReadFile(namePointer, data, bytes.length);
        Module._free(data);
        Module._free(namePointer);
    } catch (error) {
        // The module failed where it could not say so itself: this file's
        // error, and the next file is read.
        reading.errors.push({ name: name, message: 'the reader failed on this file: ' + error });
        return;
    }
    if (runs >= 0) {
        noteError(name);
    } else {
        var error = await readArchive(new Blob([bytes]));
        if (error) reading.errors.push({ name: name, message: error });
    }
}

function startsLikeZip(bytes) {
    return bytes.length >= 4 && bytes[0] === 0x50 && bytes[1] === 0x4b &&
        ((bytes[2] === 3 && bytes[3] === 4) || (bytes[2] === 5 && bytes[3] === 6));
}

// A big file a slice at a time, the next slice loading while one is read.
async function readSlices(file) {
    var size = file.blob.size;
    if (size === 0) return readWhole(file.name, new Uint8Array(0));
    var slice = function (at) { return file.blob.slice(at, at + kSliceBytes).arrayBuffer(); };
    var buffer = 0;
    var readError = '';
    try {
        var next = slice(0);
        for (var at = 0; at < size;) {
            var bytes = new Uint8Array(await next);
            if (at === 0 && startsLikeZip(bytes)) {
                await readBigArchive(file);
                return;
            }
            if (at === 0) {
                var name = toHeap(encoder.encode(file.name));
                Module._PageBeginFile(name);
                Module._free(name);
                buffer = Module._malloc(kSliceBytes);
            }
            at += bytes.length;
            if (at < size) next = slice(at);
            toHeap(bytes, buffer);
            if (!Module._PageFeed(buffer, bytes.length)) break;  // no log: the rest changes nothing
            show({ name: file.name, read: at, size: size });
        }
    } catch (error) {
        if (!buffer) {
            reading.errors.push({ name: file.name, message: 'read error: ' + error.message });
            return;
        }
        readError = 'read error: ' + error.message;
    }
    Module._free(buffer);
    var why = toHeap(encoder.encode(readError));
    Module._PageEndFile(why);
    Module._free(why);
    noteError(file.name);
}

// A zip archive larger than a slice: listed and read from its Blob, never whole.
async function readBigArchive(file) {
    var name = toHeap(encoder.encode(file.name));
    archive = file.blob;
    try {
        Module._PageListArchive(name, file.blob.size);
    } catch (error) {
        reading.errors.push({ name: file.name, message: 'the reader failed on this file: ' + error });
        return;
    } finally {
        archive = null;
        Module._free(name);
    }
    var error = await readArchive(file.blob);
    if (error) reading.errors.push({ name: file.name, message: error });
}

async function readFile(file) {
    if (file.error) reading.errors.push({ name: file.name, message: file.error });
    else if (file.blob) await readSlices(file);
    else await readWhole(file.name, new Uint8Array(file.bytes));
    reading.done += 1;
}

async function readFiles(files) {
    for (var i = 0; i < files.length; ++i) {
        await readFile(files[i]);
        show(null);
    }
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

// Both downloads, written once the page has laid out the boards (not while
// it does), so that the page can end this worker and give its memory back.
function sendOutputs() {
    var outputs = { type: 'outputs' };
    var buffers = [];
    [['json', 1], ['csv', 2]].forEach(function (kind) {
        try {
            outputs[kind[0]] = { bytes: output(kind[1]) };
            buffers.push(outputs[kind[0]].bytes.buffer);
        } catch (error) {
            outputs[kind[0]] = { error: String(error) };
        }
    });
    postMessage(outputs, buffers);
}
