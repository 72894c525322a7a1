// Plays won endings out with real moves: KELO as the winner against a
// defender that plays the tables' longest defence (KELO itself with the
// tablebases on), chess.js checking every move. Positions are drawn at
// random and kept when the tables call them won for either side to move.
//
// usage: node tools/endgame-match.cjs CHESS_JS_DIR KELO TB_DIR [options]
//   --classes kqk,krk,kbnk,kqkr,kpk   material of the positions, won for White
//   --per N         positions per class (default 20)
//   --seed S        the positions' random seed (default 1)
//   --off MS        the winner plays without the tables, MS milliseconds a
//                   move ("st"), instead of with them
//
// Prints one line per game (class, FEN, the tables' distance, the moves the
// winner took, the result: mate, or draw when chess.js calls one, the
// fifty-move rule among them) and a summary; exits with 1 when a move was
// illegal or an engine failed. TB_DIR must hold the classes' tables and
// those the endings convert into (kqk for kpk, kqk and krk ... as needed).
'use strict';
const { spawn, execFileSync } = require('child_process');
const path = require('path');

const args = process.argv.slice(2);
const [chessDir, keloPath, tbDir] = args;
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};
const { Chess } = require(chessDir);
const classes = option('--classes', 'kqk,krk,kbnk,kqkr,kpk').split(',');
const per = Number(option('--per', '20'));
let seed = Number(option('--seed', '1'));
const offMs = option('--off', null);
const tbPath = path.resolve(tbDir);
const tbTool = path.join(path.dirname(path.resolve(keloPath)), 'kelo-tb');

function random(n) {
  seed = (seed * 1103515245 + 12345) % 2147483648;
  return Math.floor((seed / 2147483648) * n);
}

const SQUARES = [];
for (const f of 'abcdefgh') for (const r of '12345678') SQUARES.push(f + r);

// A legal position of the class with the given side to move, or null.
function randomPosition(cls, turn) {
  const letters = cls.slice(1).split('k');  // "kqkr" -> ["q", "r"]
  const chess = new Chess();
  chess.clear();
  const used = new Set();
  const place = (type, color) => {
    for (;;) {
      const sq = SQUARES[random(64)];
      if (used.has(sq)) continue;
      if (type === 'p' && /[18]$/.test(sq)) continue;
      used.add(sq);
      chess.put({ type, color }, sq);
      return;
    }
  };
  place('k', 'w');
  place('k', 'b');
  for (const t of letters[0]) place(t, 'w');
  for (const t of letters[1] || '') place(t, 'b');
  const board = chess.fen().split(' ')[0];
  const fen = `${board} ${turn} - - 0 1`;
  const other = `${board} ${turn === 'w' ? 'b' : 'w'} - - 0 1`;
  try {
    // Neither king in check for the side not to move, kings apart.
    const a = new Chess(fen);
    const b = new Chess(other);
    if (b.inCheck()) return null;
    if (a.isGameOver()) return null;
    return fen;
  } catch (e) {
    return null;
  }
}

function probe(fens) {
  const out = execFileSync(tbTool, ['probe', tbPath, '-'], { input: fens.join('\n') + '\n' });
  return out.toString().trim().split('\n').map(Number);
}

function startEngine(tables) {
  const child = spawn(path.resolve(keloPath), [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const e = { child, buffer: '', waiters: [], lines: [] };
  child.stdout.on('data', (chunk) => {
    e.buffer += chunk.toString('latin1');
    for (let nl; (nl = e.buffer.indexOf('\n')) >= 0;) {
      const line = e.buffer.slice(0, nl);
      e.buffer = e.buffer.slice(nl + 1);
      for (const w of e.waiters.slice()) w(line);
    }
  });
  e.send = (l) => child.stdin.write(l + '\n');
  e.move = (timeoutMs) => new Promise((resolve) => {
    const timer = setTimeout(() => done(null), timeoutMs);
    const w = (line) => { if (/^move /.test(line)) done(line.slice(5)); };
    const done = (v) => { clearTimeout(timer); e.waiters.splice(e.waiters.indexOf(w), 1); resolve(v); };
    e.waiters.push(w);
  });
  if (tables) e.send(`option Tablebases=${tbPath}`);
  return e;
}

async function play(fen, distance, winnerWhite) {
  const winner = startEngine(offMs === null);
  const defender = offMs === null ? winner : startEngine(true);
  const chess = new Chess(fen);
  for (const e of new Set([winner, defender])) {
    e.send('new');
    e.send('force');
    e.send(`setboard ${fen}`);
    e.send(offMs === null ? 'st 1' : `st ${Number(offMs) / 1000}`);
  }
  let winnerMoves = 0;
  let outcome = '';
  for (let ply = 0; ply < 300; ++ply) {
    if (chess.isCheckmate()) { outcome = 'mate'; break; }
    if (chess.isDraw() || chess.isStalemate()) { outcome = 'draw'; break; }
    const winnerToMove = (chess.turn() === 'w') === winnerWhite;
    const mover = winnerToMove ? winner : defender;
    const waiting = mover.move(60000);
    mover.send('go');
    const move = await waiting;
    mover.send('force');
    if (!move) { outcome = 'no move'; break; }
    const m = /^([a-h][1-8])([a-h][1-8])([nbrq]?)$/.exec(move);
    let ok = null;
    try { ok = m && chess.move({ from: m[1], to: m[2], promotion: m[3] || undefined }); } catch (e) { ok = null; }
    if (!ok) { outcome = `illegal ${move}`; break; }
    if (winnerToMove) ++winnerMoves;
    // The other engine learns the move.
    if (defender !== winner) (winnerToMove ? defender : winner).send(move);
  }
  for (const e of new Set([winner, defender])) { e.send('quit'); }
  return { winnerMoves, outcome };
}

(async () => {
  let failures = 0, exact = 0, won = 0, total = 0, beyond = 0;
  for (const cls of classes) {
    const chosen = [];
    while (chosen.length < per) {
      const batch = [];
      while (batch.length < 200) {
        const f = randomPosition(cls, random(2) ? 'w' : 'b');
        if (f) batch.push(f);
      }
      const scores = probe(batch);
      for (let i = 0; i < batch.length && chosen.length < per; ++i) {
        const s = scores[i];
        if (s === -1 || s === 0 || Number.isNaN(s)) continue;
        // Won for White, the stronger side, whoever is to move.
        if ((s > 0) !== (batch[i].split(' ')[1] === 'w')) continue;
        chosen.push({ fen: batch[i], score: s });
      }
    }
    for (const { fen, score } of chosen) {
      // A win in n moves scores 15000 - 2n; mated after n moves, 2n - 15000.
      const winnerToMove = score > 0;
      const distance = winnerToMove ? (15000 - score) / 2 : (15000 + score) / 2;
      const whiteToMove = fen.split(' ')[1] === 'w';
      const winnerWhite = winnerToMove === whiteToMove;
      const r = await play(fen, distance, winnerWhite);
      ++total;
      const mated = r.outcome === 'mate';
      if (mated) ++won;  // chess.js calls the fifty-move draw first
      if (mated && r.winnerMoves === distance) ++exact;
      if (mated) beyond += r.winnerMoves - distance;
      if (r.outcome.startsWith('illegal') || r.outcome === 'no move') ++failures;
      console.log(`${cls} ${fen} distance ${distance} took ${r.winnerMoves} ${r.outcome}`);
    }
  }
  console.log(`${total} games: ${exact} mated in exactly the tables' distance, ${won} won within` +
              ` fifty moves, ${beyond} moves beyond the distances in all; ${failures} failures`);
  process.exit(failures ? 1 : 0);
})();
