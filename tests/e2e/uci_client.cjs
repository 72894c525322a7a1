// Drives a UCI engine through node-uci, the UCI client of the npm registry,
// with chess.js as the referee of every move the engine names.
//
// usage: node uci_client.cjs REFEREE_DIR ENGINE [--any-engine] [CHECK...]
//   REFEREE_DIR  the folder whose node_modules hold chess.js and node-uci
//   ENGINE       the engine's program, started without arguments
//   --any-engine leave out what is KELO's own (its id lines, the exact form of
//                its info lines, "bestmove 0000" where another engine may say
//                "(none)"), so that the checks can be tried on any UCI engine
//   CHECK        run only these checks (default: all), each with a fresh engine:
//                handshake infinite movetime depth game longgame hash ponder multipv mated
//
// Prints one line per check, "ok NAME" or "FAILED NAME: why" followed by the
// exchange with the engine, and exits with 1 when a check failed.
'use strict';
const path = require('path');

const args = process.argv.slice(2);
const anyEngine = args.includes('--any-engine');
const [refereeDir, enginePath, ...wanted] = args.filter((a) => a !== '--any-engine');
if (!refereeDir || !enginePath) {
  console.error('usage: node uci_client.cjs REFEREE_DIR ENGINE [--any-engine] [CHECK...]');
  process.exit(2);
}
const modules = path.join(path.resolve(refereeDir), 'node_modules');
const { Chess } = require(path.join(modules, 'chess.js'));
const { Engine } = require(path.join(modules, 'node-uci'));

const KELO_NAME = 'KELO 0.56Z';
const KELO_AUTHOR = 'Brenu';
// The position after 1.e4 c5 2.Nf3 d6: an ordinary middlegame start.
const SICILIAN = ['e2e4', 'c7c5', 'g1f3', 'd7d6'];
const MATED_FEN = 'rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3';  // White is mated
const INFO_SEARCH = /^info depth (\d+) seldepth (\d+)(?: multipv \d+)? score (cp|mate) (-?\d+) time (\d+) nodes (\d+) nps (\d+) hashfull (\d+)(?: tbhits \d+)? pv( [a-h][1-8][a-h][1-8][nbrq]?)+$/;

class CheckFailed extends Error {}
function expect(condition, why) { if (!condition) throw new CheckFailed(why); }

// A UCI session: node-uci's Engine, plus a record of every line both ways
// with its time, for the timing checks and for the report of a failure.
class Session {
  async start() {
    this.engine = new Engine(path.resolve(enginePath));
    this.log = [];
    this.lines = [];
    this.waiters = [];
    this.t0 = Date.now();
    const write = this.engine.write.bind(this.engine);
    this.engine.write = (command) => { this.note('>', command); write(command); };
    const handshake = this.engine.init();
    // init() has spawned the process and sent "uci" before its first wait:
    // every line is also kept here, with its time.
    let pending = '';
    this.engine.proc.stdout.on('data', (chunk) => {
      pending += chunk;
      for (let nl; (nl = pending.indexOf('\n')) >= 0;) {
        const line = pending.slice(0, nl).replace(/\r$/, '');
        pending = pending.slice(nl + 1);
        const entry = { line, at: Date.now() };
        this.lines.push(entry);
        this.note('<', line);
        for (const w of this.waiters.slice()) w(entry);
      }
    });
    this.exited = false;
    this.engine.proc.on('exit', () => { this.exited = true; for (const w of this.waiters.slice()) w(null); });
    await this.within(handshake, 5000, 'no "uciok" after "uci"');
    return this;
  }

  note(direction, text) {
    this.log.push(`${String(Date.now() - this.t0).padStart(6)} ms ${direction} ${text}`);
  }

  // Resolves with the first line from now on that passes test (its entry:
  // line and arrival time); rejects after timeoutMs or when the engine ends.
  next(test, timeoutMs, why) {
    return new Promise((resolve, reject) => {
      const stop = () => { clearTimeout(timer); this.waiters.splice(this.waiters.indexOf(w), 1); };
      const w = (entry) => {
        if (entry === null) { stop(); reject(new CheckFailed(`${why}: the engine ended`)); }
        else if (test(entry.line)) { stop(); resolve(entry); }
      };
      const timer = setTimeout(() => { stop(); reject(new CheckFailed(`${why} within ${timeoutMs} ms`)); }, timeoutMs);
      this.waiters.push(w);
    });
  }

  within(promise, ms, why) {
    let timer;
    const timeout = new Promise((_, reject) => { timer = setTimeout(() => reject(new CheckFailed(why)), ms); });
    return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
  }

  // "isready" through node-uci, bounded in time.
  ready(why = 'no "readyok" after "isready"') { return this.within(this.engine.isready(), 5000, why); }

  async quit() {
    if (!this.engine.proc) return;
    const proc = this.engine.proc;
    if (this.exited) return;
    try { await this.within(this.engine.quit(), 3000, 'the engine did not end on "quit"'); }
    finally { if (!this.exited) proc.kill('SIGKILL'); }
  }
}

// chess.js after the given moves from the start position (or from fen).
function game(moves = [], fen = undefined) {
  const chess = fen ? new Chess(fen) : new Chess();
  for (const m of moves) playUci(chess, m);
  return chess;
}

// Plays a move in UCI notation on chess.js; null when it is not legal there.
function playUci(chess, text) {
  const m = /^([a-h][1-8])([a-h][1-8])([nbrq]?)$/.exec(text || '');
  if (!m) return null;
  try { return chess.move({ from: m[1], to: m[2], promotion: m[3] || undefined }); } catch (e) { return null; }
}

// A bestmove answer is legal in the position, and so is its ponder move after it.
function expectLegalBest(result, chess, where) {
  const fen = chess.fen();
  expect(playUci(chess, result.bestmove), `bestmove ${result.bestmove} is not legal in ${fen} (${where})`);
  if (result.ponder) {
    expect(playUci(chess, result.ponder), `ponder move ${result.ponder} is not legal after ${result.bestmove} in ${fen}`);
    chess.undo();
  }
  chess.undo();
}

// The search lines among lines since index from (not "info string").
function searchInfo(s, from) {
  return s.lines.slice(from).map((e) => e.line).filter((l) => /^info /.test(l) && !/^info string /.test(l) && / pv /.test(l));
}

// Every search line names a score in centipawns or moves to mate, a node
// count and a principal variation that can be played from the root.
function expectWellFormedInfo(lines, rootMoves, rootFen) {
  expect(lines.length > 0, 'no info line with a pv');
  for (const line of lines) {
    if (!anyEngine) expect(INFO_SEARCH.test(line), `info line not of the form "info depth D seldepth S score cp|mate X time T nodes N nps R hashfull H pv ...": ${line}`);
    const score = / score (cp|mate) (-?\d+)( |$)/.exec(line);
    expect(score, `no score in: ${line}`);
    expect(/ nodes \d+( |$)/.test(line), `no node count in: ${line}`);
    const pv = / pv (.+)$/.exec(line)[1].trim().split(/\s+/);
    const chess = game(rootMoves, rootFen);
    for (const m of pv) expect(playUci(chess, m), `pv move ${m} is not legal in ${chess.fen()}: ${line}`);
  }
}

const checks = {
  // "uci": id name and author, the hash options, then "uciok" (init() waits for it).
  async handshake(s) {
    const { id, options } = s.engine;
    if (anyEngine) {
      expect(id.name, 'no "id name" line');
      expect(id.author, 'no "id author" line');
    } else {
      expect(id.name === KELO_NAME, `id name is "${id.name}", not "${KELO_NAME}"`);
      expect(id.author === KELO_AUTHOR, `id author is "${id.author}", not "${KELO_AUTHOR}"`);
    }
    const hash = options.get('Hash');
    expect(hash && hash.type === 'spin', 'no "option name Hash type spin ..." line');
    expect(Number.isInteger(hash.default) && hash.min <= hash.default && hash.default <= hash.max,
      `Hash option without a default between min and max: ${JSON.stringify(hash)}`);
    const clear = options.get('Clear Hash');
    expect(clear && clear.type === 'button', 'no "option name Clear Hash type button" line');
    const ponder = options.get('Ponder');
    expect(ponder && ponder.type === 'check', 'no "option name Ponder type check" line');
    await s.ready();
  },

  // "isready" while "go infinite" searches is answered at once, and the
  // search goes on until "stop", whose bestmove is legal.
  async infinite(s) {
    await s.within(s.engine.position('startpos', SICILIAN), 5000, 'no "readyok" after "position"');
    const from = s.lines.length;
    const running = s.next((l) => /^info .* pv /.test(l), 5000, 'no info line after "go infinite"');
    s.engine.goInfinite({});
    await running;
    await new Promise((r) => setTimeout(r, 300));  // let the search get under way
    // node-uci's own wait for "readyok" looks only at the last line of each
    // chunk read, and a search line can follow it in the same chunk; the
    // answer is taken from this script's own line record instead.
    const answer = s.next((l) => l === 'readyok', 2000, 'no "readyok" during "go infinite"');
    const asked = Date.now();
    s.engine.write('isready');
    const readyok = await answer;
    expect(readyok.at - asked <= 50, `"readyok" came ${readyok.at - asked} ms after "isready" during the search`);
    await new Promise((r) => setTimeout(r, 500));  // an infinite search must not end by itself
    const early = s.lines.slice(from).find((e) => /^bestmove/.test(e.line));
    expect(!early, `"${early && early.line}" before "stop" in an infinite search`);
    const result = await s.within(s.engine.stop(), 3000, 'no bestmove after "stop"');
    expect(result.bestmove, 'no bestmove after "stop"');
    expectLegalBest(result, game(SICILIAN), 'after stop');
    expectWellFormedInfo(searchInfo(s, from), SICILIAN);
    await s.ready();
  },

  // "go movetime 500" answers after about half a second.
  async movetime(s) {
    const moves = ['d2d4', 'g8f6', 'c2c4', 'e7e6'];
    await s.within(s.engine.position('startpos', moves), 5000, 'no "readyok" after "position"');
    const sent = Date.now();
    const result = await s.within(s.engine.go({ movetime: 500 }), 5000, 'no bestmove after "go movetime 500"');
    const elapsed = Date.now() - sent;
    expect(elapsed >= 300 && elapsed <= 800, `bestmove after ${elapsed} ms for "go movetime 500"`);
    expectLegalBest(result, game(moves), 'go movetime 500');
  },

  // "go depth 5": search lines up to depth 5 and no deeper, each well formed.
  async depth(s) {
    await s.within(s.engine.position('startpos', SICILIAN), 5000, 'no "readyok" after "position"');
    const from = s.lines.length;
    const result = await s.within(s.engine.go({ depth: 5 }), 30000, 'no bestmove after "go depth 5"');
    expectLegalBest(result, game(SICILIAN), 'go depth 5');
    const lines = searchInfo(s, from);
    expectWellFormedInfo(lines, SICILIAN);
    const depths = lines.map((l) => Number(/ depth (\d+)/.exec(l)[1]));
    expect(Math.max(...depths) === 5, `"go depth 5" showed the depths ${depths.join(' ')}`);
    if (!anyEngine) expect(lines.every((l) => !/ multipv /.test(l)), 'a "multipv" field with MultiPV 1');
    // node-uci's parse of the same lines agrees on the numbers.
    for (const info of result.info.filter((i) => i.pv)) {
      expect(Number.isInteger(info.depth) && info.depth <= 5, `node-uci read the depth ${info.depth}`);
      expect(['cp', 'mate'].includes(info.score && info.score.unit) && Number.isInteger(info.score.value),
        `node-uci read the score ${JSON.stringify(info.score)}`);
      expect(Number.isInteger(info.nodes) && info.nodes >= 0, `node-uci read the nodes ${info.nodes}`);
    }
  },

  // Sixteen plies of the engine against itself on a clock kept here: each
  // move legal, and none taking more than a third of the mover's time left
  // plus its increment (and 100 ms for the pipes).
  async game(s) {
    await s.within(s.engine.ucinewgame(), 5000, 'no "readyok" after "ucinewgame"');
    const chess = new Chess();
    const moves = [];
    const clock = { w: 8000, b: 8000 };
    const inc = 100;
    for (let ply = 0; ply < 16 && !chess.isGameOver(); ++ply) {
      await s.within(s.engine.position('startpos', moves), 5000, 'no "readyok" after "position"');
      const side = chess.turn();
      const sent = Date.now();
      const result = await s.within(s.engine.go({ wtime: clock.w, btime: clock.b, winc: inc, binc: inc }),
        clock[side] + 2000, `no bestmove at ply ${ply + 1} with ${clock[side]} ms left`);
      const elapsed = Date.now() - sent;
      const share = Math.round(clock[side] / 3) + inc + 100;
      expect(elapsed <= share, `ply ${ply + 1} took ${elapsed} ms with ${clock[side]} ms left (share ${share} ms)`);
      expectLegalBest(result, chess, `ply ${ply + 1}`);
      playUci(chess, result.bestmove);
      moves.push(result.bestmove);
      clock[side] += inc - elapsed;
      expect(clock[side] > 0, `the clock of ${side} ran out at ply ${ply + 1}`);
    }
    expect(moves.length === 16 || chess.isGameOver(), `the game stopped after ${moves.length} plies`);
  },

  // A game of 80 plies sent whole on one "position" line of over 400
  // characters, as an interface sends it late in a game: the answer is legal
  // in the position after the last move.
  async longgame(s) {
    const chess = new Chess();
    const moves = [];
    let seed = 12345;
    while (moves.length < 80) {
      const legal = chess.moves({ verbose: true });
      expect(legal.length > 0, 'the made-up game ended early');  // the seed gives 80 plies
      seed = (seed * 1103515245 + 12345) % 2147483648;
      const m = legal[seed % legal.length];
      chess.move(m);
      moves.push(m.from + m.to + (m.promotion || ''));
    }
    expect(!chess.isGameOver(), 'the made-up game is over');
    const length = ('position startpos moves ' + moves.join(' ')).length;
    await s.within(s.engine.position('startpos', moves), 5000, 'no "readyok" after a long "position" line');
    const result = await s.within(s.engine.go({ depth: 3 }), 30000, 'no bestmove after a long "position" line');
    expectLegalBest(result, chess, `after a position line of ${length} characters`);
  },

  // A new hash size, and a cleared table, leave the engine ready to search.
  async hash(s) {
    await s.within(s.engine.setoption('Hash', '16'), 5000, 'no "readyok" after "setoption name Hash value 16"');
    await s.within(s.engine.position('startpos', SICILIAN), 5000, 'no "readyok" after "position"');
    let result = await s.within(s.engine.go({ depth: 4 }), 30000, 'no bestmove after the hash size changed');
    expectLegalBest(result, game(SICILIAN), 'after setoption Hash');
    await s.within(s.engine.setoption('Clear Hash'), 5000, 'no "readyok" after "setoption name Clear Hash"');
    result = await s.within(s.engine.go({ depth: 4 }), 30000, 'no bestmove after the table was cleared');
    expectLegalBest(result, game(SICILIAN), 'after setoption Clear Hash');
  },

  // "go ponder": no bestmove before "ponderhit" or "stop"; after "ponderhit"
  // the go line's time counts from there, after "stop" the answer comes at once.
  async ponder(s) {
    await s.within(s.engine.setoption('Ponder', 'true'), 5000, 'no "readyok" after "setoption name Ponder"');
    await s.within(s.engine.position('startpos', SICILIAN), 5000, 'no "readyok" after "position"');
    const cases = [
      // The budget of 10 s with 30 moves to go is 163 ms.
      { go: 'go ponder wtime 10000 btime 10000', end: 'ponderhit', most: 163 + 50 },
      { go: 'go ponder movetime 5000', end: 'stop', most: 50 },
      // Its depth reached, a ponder search still waits for the hit.
      { go: 'go ponder depth 3', end: 'ponderhit', most: 50 },
    ];
    for (const c of cases) {
      const from = s.lines.length;
      const running = s.next((l) => /^info .* pv /.test(l), 5000, `no info line after "${c.go}"`);
      s.engine.write(c.go);
      await running;
      await new Promise((r) => setTimeout(r, 700));  // the opponent thinks
      const early = s.lines.slice(from).find((e) => /^bestmove/.test(e.line));
      expect(!early, `"${early && early.line}" before "${c.end}" after "${c.go}"`);
      const answer = s.next((l) => /^bestmove /.test(l), 5000, `no bestmove after "${c.end}"`);
      const sent = Date.now();
      s.engine.write(c.end);
      const best = await answer;
      expect(best.at - sent <= c.most, `bestmove ${best.at - sent} ms after "${c.end}" ("${c.go}"), more than ${c.most}`);
      const [, bestmove, ponderMove] = /^bestmove (\S+)(?: ponder (\S+))?/.exec(best.line);
      expectLegalBest({ bestmove, ponder: ponderMove }, game(SICILIAN), c.go);
      await s.ready();
    }
  },

  // MultiPV 3, "go depth 10" at the start and in kiwipete: every depth
  // shown has three lines, multipv 1 to 3, with three different first moves
  // and scores best first, and the move played is the deepest best line's.
  // Then "searchmoves" on a mate in one that leaves out the mate: the move
  // played is one of those named; naming no legal move answers as a mate.
  async multipv(s) {
    await s.within(s.engine.setoption('MultiPV', '3'), 5000, 'no "readyok" after "setoption name MultiPV"');
    const KIWIPETE = 'r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1';
    for (const fen of ['startpos', KIWIPETE]) {
      await s.within(s.engine.position(fen), 5000, 'no "readyok" after "position"');
      const from = s.lines.length;
      const result = await s.within(s.engine.go({ depth: 10 }), 60000, `no bestmove after "go depth 10" in ${fen}`);
      const lines = searchInfo(s, from);
      expectWellFormedInfo(lines, [], fen === 'startpos' ? undefined : fen);
      const byDepth = new Map();
      for (const line of lines) {
        const m = /^info depth (\d+) seldepth \d+ multipv (\d) score (cp|mate) (-?\d+) .* pv (\S+)/.exec(line);
        expect(m, `no "multipv I" after the depth: ${line}`);
        // Mates above every centipawn score, the nearest mate highest.
        const score = m[3] === 'cp' ? Number(m[4]) : (Number(m[4]) > 0 ? 1e6 - Number(m[4]) : -1e6 - Number(m[4]));
        if (!byDepth.has(m[1])) byDepth.set(m[1], []);
        byDepth.get(m[1]).push({ rank: Number(m[2]), score, move: m[5] });
      }
      for (const [depth, ranked] of byDepth) {
        const text = JSON.stringify(ranked);
        expect(ranked.map((r) => r.rank).join() === '1,2,3', `depth ${depth} in ${fen}: ranks ${text}`);
        expect(new Set(ranked.map((r) => r.move)).size === 3, `depth ${depth} in ${fen}: first moves ${text}`);
        expect(ranked[0].score >= ranked[1].score && ranked[1].score >= ranked[2].score, `depth ${depth} in ${fen}: scores ${text}`);
      }
      expect(byDepth.has('10'), `no depth 10 lines in ${fen}`);
      expect(result.bestmove === byDepth.get('10')[0].move, `bestmove ${result.bestmove}, not the best line's first move in ${fen}`);
      // node-uci reads the ranks too.
      const ranks = new Set(result.info.filter((i) => i.pv && i.depth === 10).map((i) => i.multipv));
      expect([1, 2, 3].every((r) => ranks.has(r)), `node-uci read the ranks ${[...ranks].join(' ')} at depth 10`);
    }
    const MATE_IN_ONE = '6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1';  // a1a8 mates
    await s.within(s.engine.position(MATE_IN_ONE), 5000, 'no "readyok" after "position fen"');
    let result = await s.within(s.engine.go({ depth: 4 }), 10000, 'no bestmove in the mate in one');
    expect(result.bestmove === 'a1a8', `bestmove ${result.bestmove}, not the mate a1a8`);
    result = await s.within(s.engine.go({ depth: 4, searchmoves: ['a1a5', 'g1f2'] }), 10000, 'no bestmove after "searchmoves"');
    expect(['a1a5', 'g1f2'].includes(result.bestmove), `bestmove ${result.bestmove} after "searchmoves a1a5 g1f2"`);
    result = await s.within(s.engine.go({ depth: 4, searchmoves: ['e2e4'] }), 10000, 'no bestmove after "searchmoves" of no legal move');
    expect(result.bestmove === '0000', `bestmove ${result.bestmove} after "searchmoves" of no legal move`);
    await s.ready();
  },

  // A checkmated side has no move to name.
  async mated(s) {
    await s.within(s.engine.position(MATED_FEN), 5000, 'no "readyok" after "position fen"');
    const result = await s.within(s.engine.go({ depth: 3 }), 5000, 'no bestmove in a mated position');
    if (anyEngine) expect(['0000', '(none)'].includes(result.bestmove), `bestmove ${result.bestmove} in a mated position`);
    else expect(result.bestmove === '0000', `bestmove ${result.bestmove}, not 0000, in a mated position`);
    await s.ready();
  },
};

(async () => {
  const names = wanted.length ? wanted : Object.keys(checks);
  let failed = 0;
  for (const name of names) {
    if (!checks[name]) { console.log(`FAILED ${name}: no such check (${Object.keys(checks).join(', ')})`); ++failed; continue; }
    const s = new Session();
    try {
      await s.start();
      await checks[name](s);
      await s.quit();
      console.log(`ok ${name}`);
    } catch (e) {
      ++failed;
      console.log(`FAILED ${name}: ${e instanceof CheckFailed ? e.message : e.stack || e}`);
      console.log((s.log || []).map((l) => '    ' + l).join('\n'));
      try { await s.quit(); } catch (ignored) { /* reported above */ }
    }
  }
  console.log(`uci_client: ${names.length - failed} of ${names.length} checks ok`);
  process.exit(failed ? 1 : 0);
})();
