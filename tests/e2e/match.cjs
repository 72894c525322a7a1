// Plays KELO against another xboard engine, game by game, with chess.js as
// an independent referee: every move is checked for legality before it is
// passed on, and each KELO move is timed against the budget of its own clock.
// usage: node match.cjs CHESS_JS_DIR KELO OPPONENT GAMES
'use strict';
const { spawn } = require('child_process');
const [chessDir, keloPath, opponentPath, gamesArg] = process.argv.slice(2);
const { Chess } = require(chessDir);
const GAMES = Number(gamesArg || 2);
const BASE_MS = 20000;  // each side's whole game: "level 0 0:20 0"
const MAX_PLIES = 400;

function startEngine(path, name) {
  const child = spawn(path, [], { cwd: process.env.MATCH_DIR || '.', stdio: ['pipe', 'pipe', 'inherit'] });
  const engine = { name, child, buffer: '', waiters: [], lines: [], exited: false };
  child.stdout.on('data', (chunk) => {
    engine.buffer += chunk.toString('latin1');
    let nl;
    while ((nl = engine.buffer.indexOf('\n')) >= 0) {
      const line = engine.buffer.slice(0, nl).replace(/\r$/, '');
      engine.buffer = engine.buffer.slice(nl + 1);
      engine.lines.push(line);
      for (const w of engine.waiters.slice()) w(line);
    }
  });
  child.on('exit', () => { engine.exited = true; for (const w of engine.waiters.slice()) w(null); });
  engine.send = (line) => { if (!engine.exited) child.stdin.write(line + '\n'); };
  // Resolves with the first line matching test, or null when the engine ends.
  engine.waitFor = (test, timeoutMs) => new Promise((resolve) => {
    const done = (value) => { clearTimeout(timer); engine.waiters.splice(engine.waiters.indexOf(w), 1); resolve(value); };
    const w = (line) => { if (line === null) done(null); else if (test(line)) done(line); };
    const timer = setTimeout(() => done(undefined), timeoutMs);
    engine.waiters.push(w);
  });
  return engine;
}

async function playGame(gameNo, keloIsWhite) {
  const kelo = startEngine(keloPath, 'KELO');
  const other = startEngine(opponentPath, 'opponent');
  const report = { game: gameNo, keloWhite: keloIsWhite, plies: 0, result: null, error: null, worstLateMs: -1e9, moves: [] };
  const problems = (e) => e.lines.filter((l) => /illegal|ilegal|error/i.test(l) && !/^#/.test(l));
  try {
    for (const e of [kelo, other]) { e.send('xboard'); e.send('protover 2'); }
    const ready = await kelo.waitFor((l) => l.startsWith('feature') && l.includes('done=1'), 5000);
    if (!ready) throw new Error('KELO sent no feature line');
    for (const e of [kelo, other]) { e.send('new'); e.send('level 0 0:20 0'); }
    other.send('easy');  // no pondering: the two engines share the machine's cores
    // The engine reads at most ten lines a second: let the set-up lines pass
    // before the clock starts.
    kelo.send('ping 1');
    if (!(await kelo.waitFor((l) => l === 'pong 1', 5000))) throw new Error('KELO did not answer ping');
    await new Promise((r) => setTimeout(r, 150));  // the pause after reading "ping"
    const chess = new Chess();
    const keloSide = keloIsWhite ? 'w' : 'b';
    let keloLeft = BASE_MS, otherLeft = BASE_MS;
    let sent;
    sent = Date.now();
    if (keloIsWhite) kelo.send('go');
    else { other.send('time ' + Math.round(otherLeft / 10)); other.send('otim ' + Math.round(keloLeft / 10)); other.send('go'); }
    while (!chess.isGameOver() && report.plies < MAX_PLIES) {
      const mover = chess.turn() === keloSide ? kelo : other;
      const waiting = chess.turn() === keloSide;
      const budget = Math.trunc(keloLeft / 61);
      const line = await mover.waitFor((l) => /^move /.test(l), 60000);
      const elapsed = Date.now() - sent;
      if (line === null) throw new Error(mover.name + ' ended during the game');
      if (line === undefined) throw new Error(mover.name + ' sent no move');
      const text = line.slice(5).trim();
      const m = /^([a-h][1-8])([a-h][1-8])([nbrq]?)$/.exec(text);
      let played = null;
      try { played = m && chess.move({ from: m[1], to: m[2], promotion: m[3] || undefined }); } catch (e) { played = null; }
      if (!played) throw new Error(mover.name + ' played an illegal move ' + text + ' in ' + chess.fen());
      report.moves.push(text);
      report.plies++;
      if (waiting) {
        if (elapsed - budget > report.worstLateMs) {
          report.worstLateMs = elapsed - budget;
          report.worstLatePly = report.plies;
        }
        keloLeft -= elapsed;
      } else {
        otherLeft -= elapsed;
      }
      if (chess.isGameOver()) break;
      const receiver = mover === kelo ? other : kelo;
      if (receiver === other) { other.send('time ' + Math.max(1, Math.round(otherLeft / 10))); other.send('otim ' + Math.max(1, Math.round(keloLeft / 10))); }
      receiver.send(text);
      sent = Date.now();
    }
    report.result = chess.isCheckmate() ? (chess.turn() === 'w' ? '0-1' : '1-0')
      : chess.isGameOver() ? '1/2-1/2' : 'unfinished';
    const bad = problems(kelo).concat(problems(other));
    if (bad.length) report.error = 'engine complained: ' + bad.join(' | ');
    if (kelo.exited) report.error = 'KELO ended before the game did';
  } catch (e) {
    report.error = e.message;
  }
  kelo.send('quit'); other.send('quit');
  setTimeout(() => { kelo.child.kill('SIGKILL'); other.child.kill('SIGKILL'); }, 1000);
  return report;
}

(async () => {
  for (let g = 0; g < GAMES; ++g) {
    const r = await playGame(g, g % 2 === 0);
    const { moves, ...summary } = r;
    console.log('GAME ' + JSON.stringify(summary) + ' moves ' + moves.join(' '));
  }
  process.exit(0);
})();
