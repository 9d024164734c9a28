// The reader's worker: the page's WebAssembly module (appended after this
// script in the same blob) reads the files here, off the page's thread.
// Messages in: {items: [{name, blob}]}. Messages out: "ready" with the
// report style, "progress" (at most every 50 ms, and at the last file), "done"
// with the outputs.
'use strict';

var kReadAhead = 64;  // files being loaded while one is read: hides each load's latency
var kProgressEveryMs = 50;
var pending = [];
var readings = Promise.resolve();
var Module = {
    onRuntimeInitialized: function () {
        postMessage({ type: 'ready', style: output(3, 'text') });
        pending.forEach(queue);
        pending = null;
    },
};

onmessage = function (event) {
    if (pending) pending.push(event.data);
    else queue(event.data);
};

function queue(request) {
    readings = readings.then(function () { return readAll(request); });
}

// Copies `bytes` into the module's memory, NUL-terminated; the caller frees.
function toHeap(bytes) {
    var pointer = Module._malloc(bytes.length + 1);
    Module.HEAPU8.set(bytes, pointer);
    Module.HEAPU8[pointer + bytes.length] = 0;
    return pointer;
}

// One of the module's outputs (0 body, 1 JSON Lines, 2 CSV, 3 style).
function output(kind, as) {
    var pointer = Module._PageOutput(kind);
    var bytes = Module.HEAPU8.slice(pointer, pointer + Module._PageOutputSize());
    return as === 'text' ? new TextDecoder().decode(bytes) : bytes;
}

function load(item) {
    var loading = item.error ? Promise.reject(new Error(item.error)) : item.blob.arrayBuffer();
    return loading.then(function (buffer) { return { bytes: new Uint8Array(buffer) }; },
        function (error) { return { error: 'cannot open: ' + error.message }; });
}

async function readAll(request) {
    var items = request.items;
    var errors = [];
    var encoder = new TextEncoder();
    var loads = items.slice(0, kReadAhead).map(load);
    var lastProgress = 0;
    Module._PageReset();
    for (var i = 0; i < items.length; ++i) {
        var loaded = await loads[i];
        loads[i] = null;
        if (i + kReadAhead < items.length) loads[i + kReadAhead] = load(items[i + kReadAhead]);
        if (loaded.error) {
            errors.push({ name: items[i].name, message: loaded.error });
        } else {
            var name = toHeap(encoder.encode(items[i].name));
            var data = toHeap(loaded.bytes);
            Module._PageReadFile(name, data, loaded.bytes.length);
            Module._free(data);
            Module._free(name);
            var message = Module.UTF8ToString(Module._PageLastError());
            if (message) errors.push({ name: items[i].name, message: message });
        }
        if (i + 1 === items.length || performance.now() - lastProgress >= kProgressEveryMs) {
            lastProgress = performance.now();
            postMessage({ type: 'progress', done: i + 1, total: items.length });
        }
    }
    var jsonLines = output(1);
    var csv = output(2);
    postMessage({
        type: 'done',
        files: items.length,
        runs: Module._PageRunCount(),
        errors: errors,
        body: output(0, 'text'),
        jsonLines: jsonLines,
        csv: csv,
        wasmMemoryBytes: Module.HEAPU8.buffer.byteLength,
    }, [jsonLines.buffer, csv.buffer]);
}
