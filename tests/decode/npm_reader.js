// The npm reader of Level III products (nexrad-level-3-data), for checking
// our decoder against a reader written elsewhere and for timing it.
//
//   node npm_reader.js compare OURS.jsonl DIR
//     OURS.jsonl: one line per file as `decode_dump --json` prints it. For
//     every file that both readers decode to radials, the radials must agree:
//     same count, start azimuths and widths within 0.1 degree, the same level
//     at every gate (and the same physical value where the reader scales
//     them). Prints one line per disagreement and a closing count; exits 1 on
//     any disagreement.
//   node npm_reader.js compare-jx4 OURS.jsonl
//     The same for the output of `jx4 decode --format json`: each line names
//     a .jx4 file and an entry, whose image the reader is given as this
//     script reads it from the file's own index.
//   node npm_reader.js time REPEATS FILE...
//     Parses those of the files that the reader parses REPEATS times; prints
//     as JSON the time spent parsing (node's start-up and the file reads
//     excluded) and the files timed.
//
// The package is found in $NIMBREL_NPM_DIR/node_modules.
'use strict';
const fs = require('fs');
const path = require('path');

const npmDir = process.env.NIMBREL_NPM_DIR;
const parse = require(path.join(npmDir, 'node_modules', 'nexrad-level-3-data'));

// The reader reports some problems on the console and goes on; keep it quiet.
function quietly(fn) {
  const saved = [console.log, console.error, console.warn];
  console.log = console.error = console.warn = () => {};
  try {
    return fn();
  } finally {
    [console.log, console.error, console.warn] = saved;
  }
}

// The reader's radials of the first radial packet in its layers, or null.
function npmRadials(result) {
  for (const layer of result.radialPackets || []) {
    for (const packet of Array.isArray(layer) ? layer : [layer]) {
      if (!packet) continue;
      const radials = packet.radialsRaw || packet.radials;
      if (Array.isArray(radials) && radials.length > 0 && Array.isArray(radials[0].bins)) {
        // Where the product carries a scale, the reader's scaled radials hold
      // physical values too.
      const scaled = result.productDescription?.plot?.scale !== undefined && packet.radialsRaw
        ? packet.radials : null;
      return { radials, bins: packet.numberBins, scaled };
      }
    }
  }
  return null;
}

// Our radials, from either form of our output: accessors by radial and gate.
function oursFromDump(ours) {
  return {
    count: ours.radials.length,
    gates: ours.gates,
    azimuth: (r) => ours.radials[r][0],
    width: (r) => ours.radials[r][1],
    level: (r, g) => ours.radials[r][2][g],
    value: (r, g) => ours.values[ours.radials[r][2][g]],
  };
}

function oursFromJx4(ours) {
  return {
    count: ours.radial_count,
    gates: ours.gate_count,
    azimuth: (r) => ours.azimuths_deg[r],
    width: (r) => ours.widths_deg[r],
    level: (r, g) => ours.levels[r][g],
    value: (r, g) => ours.values[r][g],
  };
}

// The disagreements of our radials with the reader's (at most five).
function disagreements(ours, theirs) {
  const problems = [];
  if (theirs.radials.length !== ours.count) {
    problems.push(`radial count ${ours.count} (ours) vs ${theirs.radials.length} (npm)`);
  }
  const n = Math.min(theirs.radials.length, ours.count);
  for (let r = 0; r < n && problems.length < 5; r += 1) {
    const t = theirs.radials[r];
    if (Math.abs(t.startAngle - ours.azimuth(r)) > 0.1 || Math.abs(t.angleDelta - ours.width(r)) > 0.1) {
      problems.push(`radial ${r}: azimuth ${ours.azimuth(r)}/${ours.width(r)} (ours) vs ` +
        `${t.startAngle}/${t.angleDelta} (npm)`);
    }
    // The npm reader expands every run byte of 0xAF1F radials, padding
    // included, so its radials may run past the gate count: compare the
    // product's gates only (beyond them the bytes are padding).
    for (let g = 0; g < ours.gates; g += 1) {
      const level = g < t.bins.length ? t.bins[g] : 0;  // runs that end early leave level 0
      if (level !== ours.level(r, g)) {
        problems.push(`radial ${r} gate ${g}: level ${ours.level(r, g)} (ours) vs ${level} (npm)`);
        break;
      }
      if (theirs.scaled) {
        const value = ours.value(r, g);
        const other = theirs.scaled[r].bins[g] ?? null;
        const same = value === null ? other === null
          : other !== null && Math.abs(value - other) <= 1e-5 * Math.max(1, Math.abs(other));
        if (!same) {
          problems.push(`radial ${r} gate ${g}: value ${value} (ours) vs ${other} (npm)`);
          break;
        }
      }
    }
  }
  return problems;
}

// The image of entry `entry` of a .jx4 file, read through its index
// (little-endian: the count at 16, then 16-byte entries from 20: id,
// reserved, offset, length).
function jx4Image(file, entry) {
  const bytes = fs.readFileSync(file);
  const at = 20 + 16 * entry;
  const offset = bytes.readUInt32LE(at + 8);
  const length = bytes.readUInt32LE(at + 12);
  return bytes.subarray(offset, offset + length);
}

function parseBytes(bytes) {
  try {
    return quietly(() => parse(bytes));
  } catch (e) {
    return null;
  }
}

// Compares every line of `oursFile`; `locate(line)` gives the product's
// name, its bytes and our radials.
function compareAll(oursFile, locate) {
  const lines = fs.readFileSync(oursFile, 'utf8').split('\n').filter((l) => l.length > 0);
  let compared = 0;
  let disagreeing = 0;
  let npmRefused = 0;
  let notRadial = 0;
  let valuesCompared = 0;
  for (const line of lines) {
    const product = locate(JSON.parse(line));
    if (!product.ours) {
      notRadial += 1;
      continue;
    }
    const result = parseBytes(product.bytes());
    const theirs = result && npmRadials(result);
    if (!theirs) {
      npmRefused += 1;
      continue;
    }
    compared += 1;
    const problems = disagreements(product.ours, theirs);
    if (theirs.scaled) valuesCompared += Math.min(theirs.radials.length, product.ours.count);
    if (problems.length > 0) {
      disagreeing += 1;
      console.log(`${product.name}: ${problems.join('; ')}`);
    }
  }
  console.log(`compared ${compared} products radial by radial: ${compared - disagreeing} agree, ` +
    `${disagreeing} disagree; ${npmRefused} with radials the npm reader does not read, ` +
    `${notRadial} without radials; physical values compared on ${valuesCompared} radials`);
  return disagreeing === 0 && compared > 0 ? 0 : 1;
}

function compare(oursFile, dir) {
  return compareAll(oursFile, (ours) => ({
    name: ours.file,
    bytes: () => fs.readFileSync(path.join(dir, ours.file)),
    ours: ours.ok && ours.image === 'radial' ? oursFromDump(ours) : null,
  }));
}

function compareJx4(oursFile) {
  return compareAll(oursFile, (ours) => ({
    name: `${ours.file} entry ${ours.entry} (${ours.category})`,
    bytes: () => jx4Image(ours.file, ours.entry),
    ours: !ours.error && ours.image === 'radial' ? oursFromJx4(ours) : null,
  }));
}

function time(repeats, files) {
  // One untimed pass finds the files the reader parses; only those are timed.
  const all = files.map((file) => ({ file, bytes: fs.readFileSync(file) }));
  const parsed = all.filter(({ bytes }) => {
    try {
      quietly(() => parse(bytes));
      return true;
    } catch (e) {
      return false;
    }
  });
  const start = process.hrtime.bigint();
  quietly(() => {
    for (let i = 0; i < repeats; i += 1) {
      for (const { bytes } of parsed) parse(bytes);
    }
  });
  const ns = Number(process.hrtime.bigint() - start);
  console.log(JSON.stringify({ repeats, ms: ns / 1e6, files: parsed.map(({ file }) => file) }));
  return 0;
}

const [mode, a, b, ...rest] = process.argv.slice(2);
if (mode === 'compare') process.exit(compare(a, b));
if (mode === 'compare-jx4') process.exit(compareJx4(a));
if (mode === 'time') process.exit(time(Number(a), [b, ...rest].filter((f) => f)));
console.error('usage: node npm_reader.js compare OURS.jsonl DIR | compare-jx4 OURS.jsonl | ' +
  'time REPEATS FILE...');
process.exit(2);
