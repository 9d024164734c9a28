// The reader's worker: the page's WebAssembly module (appended after this
// script in the same blob) reads the files here, off the page's thread.
// Messages in: {items: [{name, blob}]}. Messages out: "ready" with the
// report style, "progress" per file, "done" with the outputs.
'use strict';

var pending = [];
var Module = {
    onRuntimeInitialized: function () {
        postMessage({ type: 'ready', style: output(3, 'text') });
        pending.forEach(readAll);
        pending = null;
    },
};

onmessage = function (event) {
    if (pending) pending.push(event.data);
    else readAll(event.data);
};

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

function readAll(request) {
    var items = request.items;
    var errors = [];
    var reader = new FileReaderSync();
    var encoder = new TextEncoder();
    Module._PageReset();
    for (var i = 0; i < items.length; ++i) {
        var bytes = null;
        try {
            if (items[i].error) throw new Error(items[i].error);
            bytes = new Uint8Array(reader.readAsArrayBuffer(items[i].blob));
        } catch (error) {
            errors.push({ name: items[i].name, message: 'cannot open: ' + error.message });
        }
        if (bytes) {
            var name = toHeap(encoder.encode(items[i].name));
            var data = toHeap(bytes);
            Module._PageReadFile(name, data, bytes.length);
            Module._free(data);
            Module._free(name);
            var message = Module.UTF8ToString(Module._PageLastError());
            if (message) errors.push({ name: items[i].name, message: message });
        }
        postMessage({ type: 'progress', done: i + 1, total: items.length });
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
