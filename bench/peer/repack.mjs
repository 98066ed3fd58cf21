// SPDX-License-Identifier: MIT
// The peer repack of the benchmark: loads an executable, rebuilds its
// resource section from the parsed resources without changing any, and
// writes the result, flushed to disk like uitrans flushes its output.
//
// Usage: node repack.mjs INPUT OUTPUT
// On failure it prints the library's error on one line of standard error
// and exits with status 1.
import {
  closeSync,
  fsyncSync,
  openSync,
  readFileSync,
  writeSync,
} from 'node:fs';
import { NtExecutable, NtExecutableResource } from 'resedit';

function repack(input) {
  const exe = NtExecutable.from(readFileSync(input), { ignoreCert: true });
  const resources = NtExecutableResource.from(exe);
  resources.outputResource(exe);
  return new Uint8Array(exe.generate());
}

function writeFlushed(path, bytes) {
  const fd = openSync(path, 'w');
  try {
    for (let done = 0; done < bytes.length;) {
      done += writeSync(fd, bytes, done, bytes.length - done);
    }
    fsyncSync(fd);
  } finally {
    closeSync(fd);
  }
}

const [input, output] = process.argv.slice(2);
if (!input || !output) {
  process.stderr.write('usage: node repack.mjs INPUT OUTPUT\n');
  process.exit(2);
}
try {
  writeFlushed(output, repack(input));
} catch (error) {
  const text = error instanceof Error ? error.message : String(error);
  process.stderr.write(`${text.replace(/\s+/g, ' ')}\n`);
  process.exit(1);
}
