// Replays a recorded xboard session against an engine and writes what it
// said, with the fields that depend on time masked, so that two engines (or
// two builds) can be compared byte for byte.
//
// usage: node xboard_replay.cjs ENGINE SESSION OUTPUT
//
// SESSION holds one input line per line. Lines are sent in order; after a
// "ping N" the replay waits for "pong N" before it sends anything more, so the
// answers to everything before are complete. Lines starting with "#" are not
// sent: "#wait RE" waits for an output line matching the regular expression
// RE, received since the last line sent (for an analysis that ends by
// itself), "#empty" sends an empty line, and any other "#" line is a
// comment. Blank lines are skipped.
//
// OUTPUT gets every line sent, as "> LINE", and every line received, as it
// came, in the order of the exchange. Masked: the centiseconds of the
// thinking lines and their NPS figure, and perft's TIME value. Output is
// kept as bytes (the engine writes ISO-8859-1 letters). Exits with 1 when the
// engine ends early or a wait times out; the output is written all the same,
// with a last line saying what went wrong.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');

const [enginePath, sessionPath, outputPath] = process.argv.slice(2);
if (!enginePath || !sessionPath || !outputPath) {
  console.error('usage: node xboard_replay.cjs ENGINE SESSION OUTPUT');
  process.exit(2);
}
const WAIT_MS = Number(process.env.REPLAY_WAIT_MS || 60000);

// depth score centiseconds nodes pv [hits% NPS=rate]
const THINKING = /^(-?\d+ -?\d+ )(\d+)( \d+ .*\[\d+\.\d+% NPS=)([-\d.a-z]+)\]$/;
function mask(line) {
  const t = THINKING.exec(line);
  if (t) return `${t[1]}*${t[3]}*]`;
  if (/^TIME:/.test(line)) return 'TIME:*';
  return line;
}

const record = [];
const received = [];  // the engine's lines as they came
let sentAt = 0;       // the number of lines received when the last line was sent
const child = spawn(enginePath, [], { stdio: ['pipe', 'pipe', 'inherit'] });
let pending = '';
let waiter = null;
let exitStatus = null;
child.stdout.on('data', (chunk) => {
  pending += chunk.toString('latin1');
  for (let nl; (nl = pending.indexOf('\n')) >= 0;) {
    const line = pending.slice(0, nl);
    pending = pending.slice(nl + 1);
    received.push(line);
    record.push(mask(line));
    if (waiter) waiter(line);
  }
});
// 'close' comes after the last output has been read.
child.on('close', (code, signal) => { exitStatus = signal ? `signal ${signal}` : `status ${code}`; if (waiter) waiter(null); });
child.stdin.on('error', () => { /* the engine has gone: reported through exitStatus */ });

function send(line) {
  sentAt = received.length;
  record.push('> ' + line);
  child.stdin.write(Buffer.from(line + '\n', 'latin1'));
}

// Resolves when an output line passes test; rejects on timeout or exit.
function waitFor(test, what) {
  return new Promise((resolve, reject) => {
    if (exitStatus !== null) { reject(new Error(`the engine ended (${exitStatus}) before ${what}`)); return; }
    const timer = setTimeout(() => { waiter = null; reject(new Error(`no ${what} within ${WAIT_MS} ms`)); }, WAIT_MS);
    waiter = (line) => {
      if (line === null) { clearTimeout(timer); waiter = null; reject(new Error(`the engine ended (${exitStatus}) before ${what}`)); }
      else if (test(line)) { clearTimeout(timer); waiter = null; resolve(); }
    };
  });
}

function finish(problem) {
  if (pending) record.push(mask(pending) + ' [no line end]');
  if (problem) record.push('!! ' + problem);
  fs.writeFileSync(outputPath, Buffer.from(record.join('\n') + '\n', 'latin1'));
  if (problem) console.error('xboard_replay: ' + problem);
  child.kill('SIGKILL');
  process.exit(problem ? 1 : 0);
}

(async () => {
  const lines = fs.readFileSync(sessionPath, 'latin1').split('\n');
  try {
    for (const raw of lines) {
      const line = raw.replace(/\r$/, '');
      if (line === '') continue;
      if (line === '#empty') { send(''); continue; }
      const wait = /^#wait (.*)$/.exec(line);
      if (wait) {
        // The line may have come already, since the last line was sent.
        const re = new RegExp(wait[1]);
        if (!received.slice(sentAt).some((l) => re.test(l)))
          await waitFor((l) => re.test(l), `output line matching /${wait[1]}/`);
        continue;
      }
      if (line.startsWith('#')) continue;
      send(line);
      const ping = /^ping (\S+)$/.exec(line);
      if (ping) await waitFor((l) => l === 'pong ' + ping[1], `"pong ${ping[1]}"`);
      if (line === 'quit') {
        if (exitStatus === null) await new Promise((resolve) => child.once('close', resolve));
        record.push(`[ended: ${exitStatus}]`);
      }
    }
    if (exitStatus === null) throw new Error('the session did not end with "quit"');
    finish(null);
  } catch (e) {
    finish(e.message);
  }
})();
